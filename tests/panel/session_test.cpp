// Every control of the window driven as an operator drives it, family by
// family, on the simulated camera; after each action what went on the bus, what
// the operator was told and what every control shows are recorded as text, family
// by family, in tests/data/window.golden, and the start-up's traffic in
// tests/data/window-startup.trace. ZARNIX_GOLDEN=record writes the recordings
// anew; their diff shows what changed.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <fstream>
#include <sstream>

#include "panel_fixture.h"
#include "tests/folder_fixture.h"

namespace zarnix::test {
namespace {

class ScriptTest : public PanelTest {
protected:
    void SetUp() override
    {
        home = std::filesystem::current_path();
        std::filesystem::current_path(folder.path); // settings files by plain names, as typed
        messages.answer = true;
        Start();
    }
    void TearDown() override
    {
        dlg.reset();
        std::filesystem::current_path(home);
        PanelTest::TearDown();
    }
    // Every named control, by name.
    QList<QWidget*> Named()
    {
        QList<QWidget*> widgets = dlg->findChildren<QWidget*>();
        widgets.removeIf([](QWidget* w) { return w->objectName().isEmpty() || w->objectName().startsWith("qt_"); });
        std::sort(widgets.begin(), widgets.end(), [](QWidget* a, QWidget* b) { return a->objectName() < b->objectName(); });
        return widgets;
    }
    // What every named control shows.
    std::string Controls()
    {
        std::ostringstream out;
        for (QWidget* w : Named()) {
            out << w->objectName().toStdString() << (w->isEnabled() ? "" : " disabled");
            if (auto* list = qobject_cast<QComboBox*>(w))
                out << " '" << list->currentText().toStdString() << "' of " << list->count();
            else if (auto* slider = qobject_cast<QSlider*>(w))
                out << " " << slider->minimum() << ".." << slider->maximum() << " at " << slider->value();
            else if (auto* box = qobject_cast<QLineEdit*>(w))
                out << " '" << box->text().toStdString() << "'";
            else if (auto* button = qobject_cast<QAbstractButton*>(w))
                out << (button->isChecked() ? " checked" : "") << " '" << button->text().toStdString() << "'";
            else if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty())
                out << " '" << label->text().toStdString() << "'";
            else if (auto* bar = qobject_cast<QProgressBar*>(w))
                out << " " << bar->value();
            out << "\n";
        }
        return out.str();
    }
    // Records one action: the traffic, the messages and the controls after it.
    void Note(const std::string& action)
    {
        QCoreApplication::processEvents();
        std::ostringstream out;
        out << "== " << action << "\n";
        for (const std::string& call : Calls())
            out << call << "\n";
        for (const std::string& text : messages.Texts())
            out << "message " << text << "\n";
        out << Controls();
        bus.ClearLog();
        messages.Clear();
        family += out.str();
    }
    void EndFamily(const std::string& name)
    {
        recorded << "=== " << name << "\n" << family;
        family.clear();
    }

    void Pick(const std::string& name, int index)
    {
        auto* list = Find<QComboBox>(name);
        if (!list->isEnabled())
            return Note(name + " disabled");
        if (index < 0) { // closed with no entry chosen
            list->showPopup();
            QTest::keyClick(list->view(), Qt::Key_Escape);
        } else {
            Choose(list, index);
        }
        Note(name + " entry " + std::to_string(index));
    }
    void Drag(const std::string& name, int to)
    {
        auto* slider = Find<QSlider>(name);
        slider->setSliderDown(true);
        slider->setSliderPosition(to);
        slider->setSliderDown(false);
        Note(name + " dragged to " + std::to_string(to));
    }
    void Key(const std::string& name, Qt::Key key)
    {
        QWidget* widget = Find<QWidget>(name);
        widget->setFocus();
        QTest::keyClick(widget, key);
        Note(name + " key " + std::to_string(key));
    }
    void Type(const std::string& name, const char* text)
    {
        QWidget* widget = Find<QWidget>(name);
        auto* list = qobject_cast<QComboBox*>(widget);
        QLineEdit* box = list ? list->lineEdit() : qobject_cast<QLineEdit*>(widget);
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
        Note(name + " typed " + text);
    }
    void Click(const std::string& name)
    {
        Find<QAbstractButton>(name)->click(); // as a mouse click on its caption
        Note(name + " clicked");
    }

    CTempFolder folder;
    std::filesystem::path home;
    std::string family;
    std::ostringstream recorded;
};

TEST_F(ScriptTest, EveryControlMatchesItsRecording)
{
    // The start-up's traffic, a line per transaction with its time.
    std::string startup;
    for (const std::string& transaction : Transactions())
        startup += transaction + "\n";
    ExpectRecorded(ZARNIX_WINDOW_STARTUP, startup);
    Note("start-up");
    EndFamily("start-up");

    for (const char* list : {"shutterModeList", "maxShutterList", "minShutterList", "sensUpModeList", "dnModeList",
                             "colourBurstList", "blcModeList", "blcGainList", "blcWindowSizeList", "blcWindowPosList",
                             "wbModeList"})
        for (int index : {1, 3, 0})
            Pick(list, index);
    Pick("shutterModeList", 10); // limited automatic: the limit lists open up
    Pick("maxShutterList", 2);
    Pick("minShutterList", 4);
    Pick("wbModeList", 2); // manual: the gains open up
    EndFamily("lists");

    for (const auto& [slider, to] : std::initializer_list<std::pair<const char*, int>>{
             {"digitalGainYSlider", 0x40}, {"digitalGainCSlider", 0x41}, {"brightnessSlider", 0x90},
             {"dnDelaySlider", 20}, {"dnStartSlider", 30}, {"dnStopSlider", 40}, {"sharpnessSlider", 12},
             {"hsblcLevelSlider", 5}, {"rGainSlider", 60}, {"bGainSlider", 61}, {"aexReferenceSlider", 0x33},
             {"analogGainSlider", 0x22}, {"lowLumSlider", 0x44}, {"dnrLevelSlider", 0x55}, {"dnrAgcStartSlider", 0x66},
             {"dnrAgcStopSlider", 0x77}, {"suLevelSlider", 2}, {"ddLevelSlider", 3}, {"horMarkerSlider", 400},
             {"vertMarkerSlider", 200}, {"zoomFactorSlider", 0x20}, {"panSlider", 0x30}, {"tiltSlider", 0x31}})
        Drag(slider, to);
    Key("brightnessSlider", Qt::Key_Right);
    Key("brightnessSlider", Qt::Key_PageDown);
    EndFamily("sliders");

    for (const auto& [box, text] : std::initializer_list<std::pair<const char*, const char*>>{
             {"digitalGainYBox", "1ff"}, {"digitalGainCBox", "0"}, {"brightnessBox", "7f"}, {"analogGainBox", "12"},
             {"aexReferenceBox", "zz"}, {"lowLumBox", "3f"}, {"dnrLevelBox", "c0"}, {"dnrAgcStartBox", "10"},
             {"sharpnessBox", "40"}, {"dnDelayBox", "ff"}, {"dnStartBox", "65"}, {"dnStopBox", "5"},
             {"hsblcLevelBox", "9"}, {"suLevelBox", "7"}, {"ddLevelBox", "0"}, {"zoomFactorBox", "0"},
             {"panBox", "d0"}, {"tiltBox", "33"}, {"comDelayBox", "40"}, {"cameraAddressBox", "72"}})
        Type(box, text);
    Key("brightnessBox", Qt::Key_Return);
    EndFamily("boxes");

    for (const char* button :
         {"mirrorCheck", "vFlipCheck", "irisOffCheck", "irisOffCheck", "pwbButton", "dnrOnOffCheck", "dnrAutoCheck",
          "dnrOnOffCheck", "zoomOnOffCheck", "dayNightActiveCheck", "osdControlCheck", "osdUpButton", "osdDownButton",
          "osdLeftButton", "osdRightButton", "osdEnterButton", "osdControlCheck", "startCorrectionButton",
          "clearAllButton", "showCorrectedCheck", "autoFieldOddRadio", "autoFieldEvenRadio", "manualFieldOddRadio",
          "manualFieldEvenRadio", "addressPlusButton", "addressPlusButton", "addressMinButton", "assignPixelButton",
          "horMarkerMinusButton", "horMarkerPlusButton", "vertMarkerMinusButton", "vertMarkerPlusButton"})
        Click(button);
    Key("vFlipCheck", Qt::Key_Space);
    EndFamily("buttons");

    Type("deviceAddressBox", "30");
    Type("registerAddressBox", "4");
    Type("dataBox", "9c");
    for (const char* button : {"directWriteButton", "directReadButton", "registerPlusButton", "registerMinusButton",
                               "dataPlusButton", "dataMinusButton"})
        Click(button);
    Type("deviceAddressBox", "a0");
    Click("registerPlusButton");
    EndFamily("direct");

    Click("saveButton");
    Click("startButton"); // no file name yet
    Type("fileNameBox", "front");
    Click("cameraToFileRadio");
    Click("allRegistersCheck");
    Click("startButton");
    Click("startButton"); // the file is there now: the question, answered yes
    Click("fileToCameraRadio");
    Type("fileNameBox", "absent"); // refused before the camera is touched
    Click("startButton");
    Type("fileNameBox", "front");
    Click("startButton");
    Click("connectButton");
    Click("searchAddressButton");
    EndFamily("file control");

    // A register written by hand moves the control that shows it, a stored one
    // none; SAVE then stores what the camera has.
    for (const auto& [bank, index, data] :
         {std::tuple{"a0", "4", "11"}, {"30", "4a", "10"}, {"30", "18", "2"}, {"30", "1", "2"}}) {
        Type("deviceAddressBox", bank);
        Type("registerAddressBox", index);
        Type("dataBox", data);
        Click("directWriteButton");
    }
    // A list moves by a key too. Boxes that only show their slider take no typing;
    // an emptied box has no value to send, nor keeps one for SAVE.
    Key("shutterModeList", Qt::Key_Up);
    for (const char* box : {"rGainBox", "bGainBox", "dnrAgcStopBox"})
        Type(box, "12");
    for (const char* box : {"brightnessBox", "ddLevelBox", "zoomFactorBox"}) {
        Type(box, "1");
        Key(box, Qt::Key_Backspace);
    }
    Click("saveButton");
    EndFamily("by hand");

    // Connect shows what the camera has, whatever the window showed before: iris
    // 30:30, zoom 30:29 to 30:2c, 3DNR 30:18 and a BLC mode (30:10) of 8 and above
    // as "Off"; a camera gone reads 0xFF everywhere and is not asked again.
    const std::uint8_t shown[][7] = {{0x00, 1, 0x40, 0x10, 0xc0, 0x01, 0x09}, {0x01, 0, 0x08, 0, 0xc8, 0x02, 0x02}};
    for (const auto& registers : shown) {
        for (int i = 0; i < 7; ++i)
            camera.Poke(0x30, std::array<std::uint8_t, 7>{0x30, 0x29, 0x2a, 0x2b, 0x2c, 0x18, 0x10}[i], registers[i]);
        Click("osdControlCheck");
        Click("connectButton");
    }
    // A list whose text starts no entry (taken as the register box changes) closes with none chosen, sending nothing.
    Type("dnModeList", "zz");
    Type("registerAddressBox", "5");
    Pick("dnModeList", -1);
    camera.SetPresent(false);
    Click("connectButton");
    Click("saveButton"); // refused: what could not be read is not stored
    EndFamily("connect");

    // What a screen reader says for each control, and its tooltip.
    recorded << "=== names\n";
    for (QWidget* w : Named())
        recorded << w->objectName().toStdString() << " '"
                 << QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).toStdString() << "' tip '"
                 << w->toolTip().toStdString() << "'\n";
    ExpectRecorded(ZARNIX_WINDOW_GOLDEN, recorded.str());
}

} // namespace
} // namespace zarnix::test
