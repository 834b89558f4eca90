// What an operator meets at the window: Return and Escape, lists and sliders
// that show only what the camera has, the bar and status line of long
// operations, and what screen readers and tooltips say.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

#include "panel/option_lists.h"
#include "panel_fixture.h"
#include "settings/settings_file.h"
#include "sim/sim_state.h"
#include "tests/folder_fixture.h"
#include <filesystem>
#include <fstream>
#include <numeric>
#include <regex>

namespace zarnix::test {
namespace {

class OperatorTest : public PanelTest {
protected:
    // Register 0x30:index as the camera has it now.
    unsigned Live(std::uint8_t index) const { return camera.Peek(0x30, index); }
    void Focus(QWidget* widget)
    {
        dlg->activateWindow();
        widget->setFocus();
        QCoreApplication::processEvents();
    }
    // What takes the operator's input; a list's own text field counts with its list.
    static bool IsControl(QWidget* w)
    {
        return (qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QSlider*>(w) ||
                qobject_cast<QLineEdit*>(w)) && !qobject_cast<QComboBox*>(w->parentWidget());
    }

    CTempFolder folder;
};

TEST_F(OperatorTest, OnlyOkCancelAndEscapeCloseTheWindow)
{
    const struct {
        const char* control;
        Qt::Key key;
        int result; // -1: still open
    } cases[] = {
        {"vFlipCheck", Qt::Key_Return, -1},       {"blcGainList", Qt::Key_Return, -1},
        {"brightnessBox", Qt::Key_Enter, -1},     {"fileToCameraRadio", Qt::Key_Return, -1},
        {"okButton", Qt::Key_Return, QDialog::Accepted}, {"cancelButton", Qt::Key_Return, QDialog::Rejected},
        {"vFlipCheck", Qt::Key_Escape, -1},       {"brightnessBox", Qt::Key_Escape, -1},
        {"blcGainList", Qt::Key_Escape, -1},      {"startButton", Qt::Key_Escape, QDialog::Rejected},
    };
    for (const auto& c : cases) {
        Start();
        QSignalSpy finished(dlg.get(), &QDialog::finished);
        Focus(Find<QWidget>(c.control));
        QTest::keyClick(QApplication::focusWidget(), c.key);
        EXPECT_EQ(dlg->isVisible(), c.result < 0) << c.control;
        ASSERT_EQ(finished.count(), c.result < 0 ? 0 : 1) << c.control;
        EXPECT_EQ(c.result < 0 ? c.result : finished[0][0].toInt(), c.result) << c.control;
    }
    // In an open list Escape closes the pop-up, not the window.
    Start();
    auto* list = Find<QComboBox>("blcGainList");
    Focus(list);
    list->showPopup();
    QTest::keyClick(list->view(), Qt::Key_Escape);
    EXPECT_FALSE(list->view()->isVisible());
    EXPECT_TRUE(dlg->isVisible());
}

// A list or a slider moved by the wheel, held keys, a drag or a page click sends
// what it then shows, once; what would move without sending does not move. (A
// list moved by a key, and boxes without a value, are in the window's recording.)
TEST_F(OperatorTest, WhatTheWindowShowsIsWhatTheCameraHas)
{
    Start();
    auto* blc = Find<QComboBox>("blcModeList");
    QWheelEvent wheel(QPointF(5, 5), blc->mapToGlobal(QPointF(5, 5)), {}, {0, -120}, Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(blc, &wheel);
    QCoreApplication::processEvents();
    EXPECT_EQ(blc->currentIndex(), 1);
    EXPECT_EQ(Live(0x10), *EntryValue(ListId::BlcMode, 1));

    // A held key writes once, when it is let go.
    auto* brightness = Find<QSlider>("brightnessSlider");
    auto* box = Find<QLineEdit>("brightnessBox");
    const int start = brightness->value();
    Focus(brightness);
    bus.ClearLog();
    for (int i = 0; i < 3; ++i)
        QTest::keyPress(brightness, Qt::Key_Right);
    EXPECT_TRUE(bus.Log().empty());
    QTest::keyRelease(brightness, Qt::Key_Right);
    EXPECT_EQ(Only("Send").size(), 1u);
    EXPECT_EQ(Live(0x04), unsigned(start + 3));
    EXPECT_EQ(box->text().toUInt(nullptr, 16), unsigned(start + 3));

    // A dragged thumb shows its value in the box and writes once, when let go.
    const int thumb = brightness->style()->pixelMetric(QStyle::PM_SliderLength, nullptr, brightness);
    const QPoint grip(QStyle::sliderPositionFromValue(0, 255, brightness->value(), brightness->width() - thumb) +
                          thumb / 2, brightness->height() / 2);
    bus.ClearLog();
    QTest::mousePress(brightness, Qt::LeftButton, {}, grip);
    QTest::mouseMove(brightness, grip + QPoint(15, 0));
    EXPECT_GT(brightness->sliderPosition(), start + 3);
    EXPECT_EQ(box->text().toInt(nullptr, 16), brightness->sliderPosition());
    EXPECT_TRUE(bus.Log().empty());
    QTest::mouseRelease(brightness, Qt::LeftButton, {}, grip + QPoint(15, 0));
    EXPECT_EQ(Only("Send").size(), 1u);
    EXPECT_EQ(Live(0x04), unsigned(brightness->value()));

    // A click beside the thumb pages and writes on release; the wheel moves nothing.
    QTest::mouseClick(brightness, Qt::LeftButton, {}, QPoint(brightness->width() - 2, brightness->height() / 2));
    EXPECT_GT(brightness->value(), start + 3);
    EXPECT_EQ(Live(0x04), unsigned(brightness->value()));
    const int paged = brightness->value();
    QApplication::sendEvent(brightness, &wheel);
    EXPECT_EQ(brightness->value(), paged);

}

// Each shutter limit list shows and keeps the register it writes, and SAVE
// stores each where it belongs. (A register written by hand is in the window's
// recording.)
TEST_F(OperatorTest, SaveStoresWhatTheControlsShow)
{
    camera.Poke(0x30, 0x00, 0x1f); // limited automatic: the limit lists take picks
    camera.Poke(0x30, 0x25, 2);    // minimum shutter
    camera.Poke(0x30, 0x26, 5);    // maximum shutter
    Start();
    auto* maxList = Find<QComboBox>("maxShutterList");
    auto* minList = Find<QComboBox>("minShutterList");
    EXPECT_EQ(maxList->currentIndex(), 5);
    EXPECT_EQ(minList->currentIndex(), 2);
    Choose(maxList, 6);
    Choose(minList, 1);
    EXPECT_EQ(Live(0x26), 6u);
    EXPECT_EQ(Live(0x25), 1u);
    // A BLC window picked in mode 2 is mode 2's window; mode 1's stays as it was.
    const std::uint8_t mode1Window = camera.Peek(0x30, 0x13);
    Choose(Find<QComboBox>("blcModeList"), 2);
    Choose(Find<QComboBox>("blcWindowPosList"), 0);
    EXPECT_EQ(Live(0x15), 0u);

    Find<QPushButton>("saveButton")->click();
    EXPECT_EQ(camera.Peek(0xa0, 0x26), 6u);
    EXPECT_EQ(camera.Peek(0xa0, 0x25), 1u);
    EXPECT_EQ(camera.Peek(0xa0, 0x15), 0u);
    EXPECT_EQ(camera.Peek(0xa0, 0x13), mode1Window);
}

// The bar runs once from empty to full over each long operation; the status
// line says what it did.
TEST_F(OperatorTest, LongOperationsFillTheBarOnceAndSayWhatTheyDid)
{
    const std::string file = (folder.path / "front.qcs").string();
    messages.answer = true;
    Start();
    auto* bar = Find<QProgressBar>("progressBar");
    auto* status = Find<QLabel>("statusLabel");
    const struct {
        const char* button;
        const char* direction;
        bool all;
        int steps;
        const char* said;
    } cases[] = {
        {"saveButton", nullptr, false, 33, "Settings stored in the camera, 11.2 s"},
        {"startButton", "cameraToFileRadio", false, 128, "front.qcs written, 1280 values, 10.2 s"},
        {"startButton", "cameraToFileRadio", true, 472, "front.qcs written, 1280 values, 51.2 s"},
        {"startButton", "fileToCameraRadio", false, 22, "front.qcs written into the camera, checked and stored, 5.5 s"},
        {"startButton", "fileToCameraRadio", true, 452, "front.qcs written into the camera, checked and stored, 107.3 s"},
        {"startButton", "compareWithFileRadio", false, 49, "front.qcs: the camera matches (49 registers), 2.0 s"},
        {"startButton", "compareWithFileRadio", true, 1069, "front.qcs: the camera matches (1069 registers), 42.8 s"},
    };
    QTest::keyClicks(Find<QLineEdit>("fileNameBox"), QString::fromStdString(file));
    // The controls that take input now; the 3DNR ones stay greyed with 3DNR off.
    Find<QCheckBox>("dnrOnOffCheck")->click();
    const auto enabledControls = [&] {
        std::vector<std::string> names;
        for (QWidget* w : dlg->findChildren<QWidget*>())
            if (IsControl(w) && w->window() == dlg.get() && w->isEnabled())
                names.push_back(w->objectName().toStdString());
        return names;
    };
    const std::vector<std::string> before = enabledControls();
    for (const auto& c : cases) {
        if (c.direction)
            Find<QRadioButton>(c.direction)->click();
        Find<QCheckBox>("allRegistersCheck")->setChecked(c.all);
        std::vector<int> shown;
        int maximum = 0;
        std::vector<std::string> usable; // during the work: only Stop, and the bar shows progress
        const auto watch = QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) {
            shown.push_back(v);
            maximum = std::max(maximum, bar->maximum());
            if (v > 0) {
                usable = enabledControls();
                EXPECT_TRUE(bar->isEnabled());
            }
        });
        Find<QPushButton>(c.button)->click();
        QObject::disconnect(watch);
        EXPECT_EQ(maximum, c.steps) << c.said;
        if (!shown.empty() && shown.front() == 0)
            shown.erase(shown.begin()); // the bar's very first value
        std::vector<int> once(c.steps + 1); // 1 to the last step, then emptied at the end
        std::iota(once.begin(), once.end() - 1, 1);
        EXPECT_EQ(shown, once) << c.said;
        // What the line shows, and its name, are in the window's recording; a screen
        // reader hears the outcome as the line's description.
        EXPECT_EQ(QAccessible::queryAccessibleInterface(status)->text(QAccessible::Description).toStdString(), c.said);
        EXPECT_EQ(usable, c.direction ? std::vector<std::string>{"startButton"} : std::vector<std::string>{});
        EXPECT_EQ(enabledControls(), before) << c.said;
        for (const std::string& text : messages.Texts())
            EXPECT_EQ(text.rfind("? ", 0), 0u) << text; // questions only, no box for success
        messages.Clear();
    }
}

// The window fits the screen, can be resized and maximised, and at its smallest
// every control can still be scrolled into view whole.
TEST_F(OperatorTest, EveryControlIsReachableOnAScreenSmallerThanTheWindow)
{
    Start();
    auto* columns = dlg->findChild<QScrollArea*>();
    ASSERT_NE(columns, nullptr);
    const QSize whole = columns->widget()->size();
    const QSize screen = dlg->screen()->availableGeometry().size();
    ASSERT_FALSE(QSize(screen).expandedTo(whole) == screen) << "the offscreen screen is larger than the window";
    EXPECT_TRUE(QSize(screen).expandedTo(dlg->size()) == screen);
    EXPECT_LT(dlg->minimumSize().width(), screen.width());
    EXPECT_TRUE(dlg->windowFlags() & Qt::WindowMaximizeButtonHint);
    dlg->resize(dlg->minimumSize());
    QCoreApplication::processEvents();
    EXPECT_LT(columns->viewport()->width(), whole.width());
    for (QWidget* w : columns->widget()->findChildren<QWidget*>()) {
        if (!IsControl(w))
            continue;
        // ensureWidgetVisible would show a box's cursor only, not the whole box.
        const QPoint centre = w->mapTo(columns->widget(), w->rect().center());
        columns->ensureVisible(centre.x(), centre.y(), w->width() / 2 + 1, w->height() / 2 + 1);
        const QRect shown(w->mapTo(columns->viewport(), QPoint(0, 0)), w->size());
        EXPECT_TRUE(columns->viewport()->rect().contains(shown)) << w->objectName().toStdString();
    }
}

// A new file chosen for Camera to File gets the extension, as a typed name does.
TEST_F(OperatorTest, BrowseNamesTheFileStartUses)
{
    const std::string chosen = folder.path.string() + "/";
    std::ofstream(chosen + "old") << "";
    messages.answer = true;
    Start();
    const struct {
        const char* direction;
        const char* chosen;
        const char* used;
    } cases[] = {
        {"cameraToFileRadio", "new", "new.qcs"},
        {"cameraToFileRadio", "kept.QCS", "kept.QCS"},
        {"cameraToFileRadio", "old", "old"}, // an existing file keeps its name
        {"fileToCameraRadio", "plain", "plain"},
    };
    for (const auto& c : cases) {
        Find<QRadioButton>(c.direction)->click();
        dlg->SetFileChooser([&](bool) { return QString::fromStdString(chosen + c.chosen); });
        Find<QPushButton>("browseButton")->click();
        EXPECT_EQ(Find<QLineEdit>("fileNameBox")->text().toStdString(), chosen + c.used);
    }
    Find<QRadioButton>("cameraToFileRadio")->click();
    Find<QPushButton>("browseButton")->click(); // "plain", new
    Find<QPushButton>("startButton")->click();
    EXPECT_TRUE(std::filesystem::exists(chosen + "plain.qcs"));
}

// A part ("trace", "state", "file") of a run in the tool's recording.
std::string RecordedPart(const std::string& run, const std::string& part)
{
    const std::string recorded = ReadFile(std::filesystem::path(ZARNIX_WINDOW_GOLDEN).replace_filename("zarnixctl.golden"));
    const std::size_t begin = recorded.find("--- " + part + "\n", recorded.find("=== " + run + ":")) + part.size() + 5;
    return recorded.substr(begin, std::min(recorded.find("\n--- ", begin), recorded.find("\n=== ", begin)) + 1 - begin);
}

// How an operation ended, from its result: a SAVE on a camera that stops answering
// fails after the adapter's boxes, and a File to camera stopped midway says in
// full which registers already hold the file's values, its box kept short. A
// Compare with file reads what the tool's verify reads, on the camera the tool's
// recording left, and lists what it lists, each register under the window's name;
// stopped, or closed, it has read as far as that; a bad file is refused as File to
// camera refuses it, before the camera is read.
TEST_F(OperatorTest, TheStatusLineSaysHowAnOperationEnded)
{
    const char *front = "front.qcs", *good = "<b>camera.qcs", *bad = "bad.qcs";
    std::ofstream(folder.path / front) << FormatSettingsFile(std::vector<std::uint16_t>(kSettingsFileValues, 0x5A), front);
    std::ofstream(folder.path / good) << RecordedPart("dump-all", "file");
    std::ofstream(folder.path / bad) << "5a\n";
    messages.answer = true;
    Start();
    const std::string nack = "not a correct acknowledge recieved", stopped = "Stopped after reading register a0:01, nothing compared";
    const struct {
        const char* button;
        const char* file;
        const char* run;    // Compare: the tool's verify on the camera it compares with; none: File to camera
        bool all;
        unsigned goneAfter; // the camera's transfers before it stops answering; 0: it answers
        int stopAtStep;     // Start pressed again when the bar reaches this, the window closed at minus it; 0: never
        std::vector<std::string> boxes;
        std::string said;
    } cases[] = {
        {"saveButton", front, nullptr, false, 10, 0, std::vector<std::string>(56, nack),
         "SAVE failed at register a0:05: " + nack + ", "},
        {"startButton", front, nullptr, false, 0, 2, {"Stopped after writing register a0:03, settings not stored"},
         "File to camera stopped: registers a0:00 to a0:03 already hold the file's values; nothing was committed, "
         "the camera keeps its stored settings at the next power-on, "},
        {"startButton", good, "verify-all", true, 0, 0, {}, "<b>camera.qcs: the camera matches (1069 registers), 42.8 s"},
        {"startButton", good, "verify-changed", true, 0, 0,
         {"<b>camera.qcs: 2 of 1069 registers differ\n\na0:04 file 9a camera 12 Brightness\ne2:10 file eb camera 00\n"},
         "<b>camera.qcs: 2 of 1069 registers differ, 42.8 s"},
        {"startButton", good, "json-verify-changed", false, 0, 0,
         {"<b>camera.qcs: 1 of 49 registers differ\n\na0:04 file 9a camera 12 Brightness\n"},
         "<b>camera.qcs: 1 of 49 registers differ, 2.0 s"},
        {"startButton", bad, "verify-all", false, 0, 0, {CheckSettingsFile((folder.path / bad).string()).problem},
         "Compare with file not completed, 0.0 s"},
        {"startButton", good, "verify-all", false, 0, 2, {stopped}, "Compare with file not completed, 0.1 s"},
        {"startButton", good, "verify-all", false, 0, -2, {stopped}, "Compare with file not completed, 0.1 s"},
    };
    auto* bar = Find<QProgressBar>("progressBar");
    auto* start = Find<QPushButton>("startButton");
    // The tool's handles start at 1, the window's go on from its start-up.
    static const std::regex handle(R"((IICInit\([^)]*\)) = \d+|\(\d+([,)]))");
    for (const auto& c : cases) {
        CSimState state; // verify writes nothing: the camera after it is the camera before
        CSimStateError error;
        if (c.run && ParseSimState(RecordedPart(c.run, "state"), state, error))
            ApplySimState(state, camera);
        Find<QRadioButton>(c.run ? "compareWithFileRadio" : "fileToCameraRadio")->click();
        Find<QCheckBox>("allRegistersCheck")->setChecked(c.all);
        Find<QLineEdit>("fileNameBox")->selectAll();
        QTest::keyClicks(Find<QLineEdit>("fileNameBox"), QString::fromStdString((folder.path / c.file).string()));
        messages.Clear();
        bus.ClearLog();
        if (c.goneAfter)
            camera.DisappearAfter(camera.TransferCount() + c.goneAfter);
        const auto watch = QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) {
            if (v != 0 && c.stopAtStep == v)
                start->click();
            else if (v != 0 && c.stopAtStep == -v)
                dlg->close();
        });
        Find<QPushButton>(c.button)->click();
        QObject::disconnect(watch);
        std::vector<std::string> boxes;
        for (const std::string& text : messages.Texts())
            if (text.rfind("? ", 0) != 0)
                boxes.push_back(text);
        EXPECT_EQ(boxes, c.boxes) << c.said;
        auto* status = Find<QLabel>("statusLabel");
        EXPECT_EQ(status->text().toStdString().rfind(c.said, 0), 0u) << status->text().toStdString();
        // The file's name set as written: taken for markup, "<b>camera.qcs" would be a narrower "camera.qcs".
        const QString first = QString::fromStdString(c.said).section(QLatin1Char(' '), 0, 0);
        EXPECT_GE(status->minimumSizeHint().width(), status->fontMetrics().horizontalAdvance(first)) << c.said;
        EXPECT_EQ(dlg->isVisible(), c.stopAtStep >= 0) << c.said;
        EXPECT_EQ(camera.CommitCount(), state.commits) << c.said;
        camera.DisappearAfter(0);
        camera.SetPresent(true);
        if (!c.run)
            continue;
        // The tool searched first (7 calls), as the window did when it started; cut
        // short the window read as far, a bad file nothing.
        std::string tool = RecordedPart(c.run, "trace"), window;
        tool = std::regex_replace(tool, std::regex("^(.*\n){7}"), "", std::regex_constants::format_first_only);
        for (const CAdapterCallRecord& call : bus.Log())
            window += QString::asprintf("%12.3f ms  ", std::stod(tool) + double((call.time - bus.Log()[0].time).count()) / 1000)
                          .toStdString() + FormatCall(call) + "\n";
        window = std::regex_replace(window, handle, "$1(h$2");
        tool = std::regex_replace(tool, handle, "$1(h$2").substr(0, c.stopAtStep ? window.size() : c.file == bad ? 0 : tool.size());
        const auto at = std::mismatch(window.begin(), window.end(), tool.begin(), tool.end()).first - window.begin();
        EXPECT_TRUE(window == tool) << c.run << " from " << window.substr(at, 80) << " / " << tool.substr(at, 80);
    }
}

// What each says is in the window's recording; here, that each says something.
TEST_F(OperatorTest, ScreenReadersAndTooltipsNameEveryControl)
{
    Start();
    // Every control: a name of its own, never its current entry, and a tooltip.
    for (QWidget* w : dlg->findChildren<QWidget*>()) {
        if (!IsControl(w))
            continue;
        const QString spoken = QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name);
        EXPECT_FALSE(spoken.isEmpty()) << w->objectName().toStdString();
        EXPECT_FALSE(w->toolTip().isEmpty()) << w->objectName().toStdString();
        const auto* list = qobject_cast<QComboBox*>(w);
        EXPECT_TRUE(!list || spoken != list->currentText()) << w->objectName().toStdString();
    }
}

} // namespace
} // namespace zarnix::test
