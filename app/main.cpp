// The program: the splash for two seconds, then the control panel on the chosen
// adapter (the simulated camera when there is none) until the operator closes it.
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <chrono>

#include <fstream>
#include <memory>
#include <string>

#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>

#include "app/about_dialog.h"
#include "app/splash.h"
#include "panel/main_dialog.h"
#include "panel/message_box_sink.h"
#include "link/adapters/backend.h"
#include "link/adapters/recording_adapter.h"
#include "sim/sim_camera.h"

using namespace zarnix;

namespace {

constexpr unsigned kSplashMs = 2000;

const char* const kUsage =
    "Usage: zarnix-controller [--simulate | --bus BUS [--force] | --adapter-lib PATH] [--trace FILE]\n"
    "The control panel of the Zarnix camera module.\n"
    "\n"
    "  --bus BUS           the Linux i2c-dev bus: number, device or adapter name\n"
    "                      (zarnixctl --list-buses lists them)\n"
    "  --force             claim the camera's address even where a kernel driver holds it\n"
    "  --adapter-lib PATH  a vendor adapter library exporting the six adapter calls\n"
    "  --simulate          the built-in simulated camera\n"
    "  --trace FILE        write every adapter call, with its time, to FILE\n"
    "  -h, --help          this help\n"
    "  --version           the version\n"
    "Without a backend option the first i2c-dev bus on USB is used, and the simulated\n"
    "camera when there is none; the window's title says which.\n";

// Refuses to start: on stderr and, for whoever started the window from a desktop, in a box.
int Refuse(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
    QMessageBox::critical(nullptr, "Zarnix_controller", QString::fromStdString(text));
    return 1;
}

// Keeps the time spent in pauses, so that the start-up benchmark can tell our own
// start-up work apart from the splash's 2 s and the protocol's pauses.
class CPauseTally final : public CClock {
public:
    explicit CPauseTally(CClock& inner) : m_inner(inner) {}
    Micros Now() const override { return m_inner.Now(); }
    void Pause(unsigned ms) override
    {
        const auto begin = std::chrono::steady_clock::now();
        m_inner.Pause(ms);
        m_paused += std::chrono::steady_clock::now() - begin;
        m_askedMs += ms;
    }
    std::chrono::nanoseconds Paused() const { return m_paused; }
    unsigned long AskedMs() const { return m_askedMs; }

private:
    CClock& m_inner;
    std::chrono::nanoseconds m_paused{0};
    unsigned long m_askedMs = 0;
};

// For the start-up benchmark (bench/startup.cpp), and left out of the usage text:
// --startup-probe prints on stdout when each stage of the start-up was reached
// (steady time, which is CLOCK_MONOTONIC and shared with the benchmark) and how
// long the pauses took until then, and quits once the window is first painted.
// Without the option it does nothing.
class CStartupProbe final : public QObject {
public:
    explicit CStartupProbe(bool on) : m_on(on) {}
    bool On() const { return m_on; }
    void TallyPauses(const CPauseTally& tally) { m_tally = &tally; }

    void Stamp(const char* stage) { Stamp(stage, std::chrono::steady_clock::now()); }
    void Stamp(const char* stage, std::chrono::steady_clock::time_point when)
    {
        if (m_on)
                std::printf("stamp %s %lld %lld\n", stage, static_cast<long long>(when.time_since_epoch().count()),
                        static_cast<long long>(m_tally ? m_tally->Paused().count() : 0));
    }
    // Closes `window` once it has been painted for the first time.
    void QuitWhenShown(QDialog& window)
    {
        if (!m_on)
            return;
        Stamp("dialog");
        m_window = &window;
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched == m_window && !m_seen) {
            m_seen = true;
            // Posted, so it runs once this first paint is done.
            QTimer::singleShot(0, this, [this] {
                Stamp("shown");
                std::printf("asked_ms %lu\n", m_tally ? m_tally->AskedMs() : 0);
                std::fflush(stdout);
                m_window->done(QDialog::Rejected);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_on;
    const CPauseTally* m_tally = nullptr;
    QDialog* m_window = nullptr;
    bool m_seen = false;
};

// 0 when what went to stdout arrived; 1, with the reason, when it did not (a full disk, a closed pipe).
int OutputWritten()
{
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return 0;
    std::fprintf(stderr, "zarnix-controller: cannot write the output: %s\n", std::strerror(errno));
    return 1;
}

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
    const auto started = std::chrono::steady_clock::now();
    bool probe = false;
    CBackendChoice choice;
    std::string trace;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return OutputWritten();
        }
        if (arg == "--version") {
            std::printf("zarnix-controller %s\n", ZARNIX_VERSION);
            return OutputWritten();
        }
        if (arg == "--simulate") {
            choice.simulate = true;
        } else if (arg == "--startup-probe") {
            probe = true;
        } else if (arg == "--force") {
            choice.force = true;
        } else if ((arg == "--bus" || arg == "--adapter-lib" || arg == "--trace") && hasValue) {
            (arg == "--bus" ? choice.bus : arg == "--adapter-lib" ? choice.adapterLib : trace) = argv[++i];
        } else {
            std::fprintf(stderr, "zarnix-controller: bad option '%s'\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if ((choice.simulate ? 1 : 0) + (choice.bus.empty() ? 0 : 1) + (choice.adapterLib.empty() ? 0 : 1) > 1) {
        std::fprintf(stderr, "zarnix-controller: choose one of --simulate, --bus and --adapter-lib\n%s", kUsage);
        return 2;
    }
    if (!HasDisplay()) {
        std::fputs("zarnix-controller: no display available (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "Start it from a desktop session, or use zarnixctl on the command line.\n",
                   stderr);
        return 1;
    }
    CStartupProbe startup(probe);
    startup.Stamp("main", started);
    QApplication app(argc, argv);
    startup.Stamp("application");
    QApplication::setWindowIcon([] {
        QIcon icon;
        icon.addFile(":/icon32.png");
        icon.addFile(":/icon16.png");
        return icon;
    }());

    // The adapter is settled, and a bus that cannot serve is reported, before the window opens.
    CBackend backend;
    std::string error;
    std::string shown;
    switch (OpenBackend(choice, SysfsRoot(), backend, error)) {
    case EBackendOpen::Failed:
        return Refuse(error);
    case EBackendOpen::NoAdapter:
        std::fprintf(stderr, "zarnix-controller: no USB-to-I2C adapter found; the window runs on the simulated "
                             "camera.\n");
        shown = "the simulated camera";
        break;
    case EBackendOpen::Simulated:
        shown = "the simulated camera";
        break;
    case EBackendOpen::Opened:
        shown = backend.description;
        break;
    }
    std::fprintf(stderr, "zarnix-controller: using %s\n", shown.c_str());

    CSplash splash;
    splash.Create(":/splash.png", QGuiApplication::primaryScreen()->geometry());
    QApplication::processEvents();
    CRealClock realClock;
    CPauseTally tally(realClock);
    CClock& clock = startup.On() ? static_cast<CClock&>(tally) : realClock;
    startup.TallyPauses(tally);
    startup.Stamp("splash");
    clock.Pause(kSplashMs);
    startup.Stamp("window");

    CSimCamera camera;
    CAdapter* adapter = backend.adapter ? backend.adapter.get() : &camera;
    CTraceFile traceFile;
    std::unique_ptr<CRecordingAdapter> recorder;
    if (!trace.empty()) {
        if (!traceFile.Open(trace, error))
            return Refuse(error);
        recorder = std::make_unique<CRecordingAdapter>(*adapter, clock);
        recorder->SetTraceStream(traceFile.Stream());
        adapter = recorder.get();
    }
    CMessageBoxSink messages;
    CLinkContext context{*adapter, clock, messages};
    {
        CMyQuorel_controller_r2_1Dlg dialog(context);
        // Nobody should take the simulated camera for a real one.
        dialog.setWindowTitle(dialog.windowTitle() + " - on " + QString::fromStdString(shown));
        messages.SetParent(&dialog);
        QObject::connect(&dialog, &CMyQuorel_controller_r2_1Dlg::aboutRequested, &dialog, [&dialog] {
            CAboutDlg about(&dialog);
            about.exec();
        });
        splash.lower(); // the splash stays behind the panel until the program ends
        startup.QuitWhenShown(dialog);
        dialog.exec();
    }
    return 0;
}
