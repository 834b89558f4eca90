// The program: the splash for two seconds, then the control panel on the
// simulated camera until the operator closes it.
#include <QApplication>
#include <QScreen>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/about_dialog.h"
#include "app/splash.h"
#include "panel/main_dialog.h"
#include "panel/message_box_sink.h"
#include "sim/sim_camera.h"

using namespace zarnix;

namespace {

constexpr unsigned kSplashMs = 2000;

const char* const kUsage =
    "Usage: zarnix-controller [--simulate] [--help] [--version]\n"
    "The control panel of the Zarnix camera module.\n"
    "  --simulate   run on the built-in simulated camera (the default)\n";

bool HasDisplay()
{
    // Qt aborts the process when it cannot reach a display; say so plainly instead.
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform && *platform && std::strncmp(platform, "xcb", 3) != 0 && std::strncmp(platform, "wayland", 7) != 0)
        return true;
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version")) {
            std::printf("zarnix-controller %s\n", ZARNIX_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--simulate") != 0) {
            std::fprintf(stderr, "zarnix-controller: unknown option '%s'\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (!HasDisplay()) {
        std::fputs("zarnix-controller: no display available (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "Start it from a desktop session, or use zarnixctl on the command line.\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setWindowIcon([] {
        QIcon icon;
        icon.addFile(":/icon32.png");
        icon.addFile(":/icon16.png");
        return icon;
    }());

    CSplash splash;
    splash.Create(":/splash.png", QGuiApplication::primaryScreen()->geometry());
    QApplication::processEvents();
    CRealClock clock;
    clock.Pause(kSplashMs);

    CSimCamera camera;
    CMessageBoxSink messages;
    CLinkContext context{camera, clock, messages};
    {
        CMyQuorel_controller_r2_1Dlg dialog(context);
        messages.SetParent(&dialog);
        QObject::connect(&dialog, &CMyQuorel_controller_r2_1Dlg::aboutRequested, &dialog, [&dialog] {
            CAboutDlg about(&dialog);
            about.exec();
        });
        splash.lower(); // the splash stays behind the panel until the program ends
        dialog.exec();
    }
    return 0;
}
