// The program: the splash for two seconds, then the control panel on the chosen
// adapter (the simulated camera when there is none) until the operator closes it.
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <chrono>

#include <string>
#include <vector>

#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>

#include "app/about_dialog.h"
#include "app/splash.h"
#include "panel/control_panel.h"
#include "panel/message_box_sink.h"
#include "backend/backend.h"
#include "backend/options.h"
#include "link/messages.h"

using namespace zarnix;

namespace {

constexpr unsigned kSplashMs = 2000;

// Refuses to start: on stderr and, for whoever started the window from a desktop, in a box.
int Refuse(const std::string& text)
{
    // The names in it (a state file, a library) are whoever made them; a terminal
    // must not take them for its controls.
    std::fprintf(stderr, "%s\n", PrintableName(text, true).c_str());
    PlainTextBox(nullptr, QMessageBox::Critical, "Zarnix_controller", text, QMessageBox::Ok, QMessageBox::Ok);
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

enum EWindowOptionKey : int { kOptionStartupProbe = kFirstProgramOption, kOptionVersion };

std::vector<COptionRow> WindowOptionRows()
{
    std::vector<COptionRow> rows(BackendOptionRows().begin(), BackendOptionRows().end());
    rows.insert(rows.end(), {
        {"help", 'h', nullptr, "this help"},
        {"version", kOptionVersion, nullptr, "the version"},
        // For the start-up benchmark, see CStartupProbe.
        {"startup-probe", kOptionStartupProbe, nullptr, nullptr},
    });
    return rows;
}

void PrintUsage(std::FILE* to)
{
    std::fprintf(to,
                 "Usage: zarnix-controller [--simulate | --bus BUS [--force] | --adapter-lib PATH] [--trace FILE]\n"
                 "The control panel of the Zarnix camera module.\n\n%s"
                 "Without a backend option the first i2c-dev bus on USB is used, and the simulated\n"
                 "camera when there is none; the window's title says which.\n",
                 FormatOptionHelp(WindowOptionRows()).c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const auto started = std::chrono::steady_clock::now();
    bool probe = false, help = false, version = false;
    CBackendChoice choice;
    choice.simulateWhenNoAdapter = true;
    std::vector<std::string> operands;
    std::string error;
    const auto apply = [&](int key, const std::string& value, std::string& why) {
        switch (key) {
        case 'h': help = true; return true;
        case kOptionVersion: version = true; return true;
        case kOptionStartupProbe: probe = true; return true;
        default: return ApplyBackendOption(key, value, choice, why);
        }
    };
    if (ParseOptions(std::vector<std::string>(argv, argv + argc), WindowOptionRows(), apply, operands, error) &&
        !operands.empty())
        error = "the window takes no arguments, not '" + operands.front() + "'";
    if (error.empty())
        error = choice.Problem();
    if (!error.empty()) {
        std::fprintf(stderr, "zarnix-controller: %s\n", error.c_str());
        PrintUsage(stderr);
        return 2;
    }
    if (help) {
        PrintUsage(stdout);
        return OutputWritten();
    }
    if (version) {
        std::printf("zarnix-controller %s\n", ZARNIX_VERSION);
        return OutputWritten();
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
    CRealClock realClock;
    CPauseTally tally(realClock);
    CClock* clock = choice.virtualClock ? nullptr : startup.On() ? static_cast<CClock*>(&tally) : &realClock;
    CBackend backend;
    if (backend.Open(choice, error, clock) != EBackendOpen::Opened)
        return Refuse(error);
    if (backend.Simulated() && !choice.simulate)
        std::fprintf(stderr, "zarnix-controller: no USB-to-I2C adapter found; the window runs on the simulated "
                             "camera.\n");
    std::fprintf(stderr, "zarnix-controller: using %s\n", PrintableName(backend.Description()).c_str());

    CSplash splash;
    splash.Create(":/splash.png", QGuiApplication::primaryScreen()->geometry());
    QApplication::processEvents();
    startup.TallyPauses(tally);
    startup.Stamp("splash");
    backend.Clock().Pause(kSplashMs);
    startup.Stamp("window");

    CMessageBoxSink messages;
    CLinkContext context{backend.Adapter(), backend.Clock(), messages};
    {
        CControlPanel dialog(context);
        // Nobody should take the simulated camera for a real one.
        dialog.setWindowTitle(dialog.windowTitle() + " - on " + QString::fromStdString(backend.Description()));
        messages.SetParent(&dialog);
        QObject::connect(&dialog, &CControlPanel::aboutRequested, &dialog, [&dialog] {
            CAboutDlg about(&dialog);
            about.exec();
        });
        splash.lower(); // the splash stays behind the panel until the program ends
        startup.QuitWhenShown(dialog);
        dialog.exec();
    }
    if (!backend.Close(error)) {
        std::fprintf(stderr, "%s\n", PrintableName(error, true).c_str());
        return 1;
    }
    return 0;
}
