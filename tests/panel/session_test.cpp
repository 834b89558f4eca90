// Every control of the window driven as an operator drives it, family by
// family, on the simulated camera; after each action what went on the bus, what
// the operator was told and what every control shows are recorded, digested per
// family, in tests/data/window.golden. ZARNIX_GOLDEN=record writes the recording
// anew; ZARNIX_GOLDEN_DUMP=FILE writes every action's record in full, to compare.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <fstream>
#include <map>
#include <sstream>

#include "panel_fixture.h"
#include "tests/folder_fixture.h"

namespace zarnix::test {
namespace {

// Object names for the window's controls by their old ids.
const std::map<int, const char*> kObjectNames = {
    {1002, "shutterModeList"}, {1035, "maxShutterList"}, {1045, "minShutterList"}, {1047, "analogGainSlider"},
    {1048, "analogGainBox"}, {1005, "sensUpModeList"}, {1044, "aexReferenceLabel"}, {1042, "aexReferenceSlider"},
    {1043, "aexReferenceBox"}, {1000, "digitalGainYSlider"}, {1009, "digitalGainYBox"}, {1001,
    "digitalGainCSlider"}, {1010, "digitalGainCBox"}, {1012, "dayNightActiveCheck"}, {1003, "dnModeList"}, {1004,
    "colourBurstList"}, {1007, "dnDelaySlider"}, {1013, "dnDelayBox"}, {1008, "dnStartSlider"}, {1014,
    "dnStartBox"}, {1015, "dnStopSlider"}, {1016, "dnStopBox"}, {1025, "comDelayBox"}, {1092, "cameraAddressBox"},
    {1095, "searchAddressButton"}, {1017, "mirrorCheck"}, {1018, "vFlipCheck"}, {1041, "saveButton"}, {1019,
    "sharpnessSlider"}, {1020, "sharpnessBox"}, {1021, "blcModeList"}, {1022, "blcGainList"}, {1023,
    "hsblcLevelSlider"}, {1024, "hsblcLevelBox"}, {1036, "blcWindowSizeList"}, {1026, "blcWindowPosList"}, {1096,
    "fileNameBox"}, {1097, "browseButton"}, {1098, "fileToCameraRadio"}, {1099, "cameraToFileRadio"}, {1100,
    "progressBar"}, {1101, "startButton"}, {1108, "allRegistersCheck"}, {1034, "connectButton"}, {1, "okButton"},
    {2, "cancelButton"}, {1039, "wbModeLabel"}, {1027, "wbModeList"}, {1037, "rGainLabel"}, {1028, "rGainSlider"},
    {1030, "rGainBox"}, {1038, "bGainLabel"}, {1029, "bGainSlider"}, {1031, "bGainBox"}, {1032, "pwbButton"}, {1033,
    "irisOffCheck"}, {1006, "brightnessSlider"}, {1011, "brightnessBox"}, {1103, "deviceAddressBox"}, {1104,
    "registerAddressBox"}, {1106, "registerPlusButton"}, {1112, "registerMinusButton"}, {1105, "dataBox"}, {1110,
    "dataPlusButton"}, {1111, "dataMinusButton"}, {1107, "directWriteButton"}, {1113, "directReadButton"}, {1049,
    "osdUpButton"}, {1050, "osdLeftButton"}, {1053, "osdEnterButton"}, {1051, "osdRightButton"}, {1052,
    "osdDownButton"}, {1054, "osdControlCheck"}, {1056, "lowLumSlider"}, {1057, "lowLumBox"}, {1058,
    "dnrOnOffCheck"}, {1059, "dnrAutoCheck"}, {1060, "dnrLevelSlider"}, {1061, "dnrLevelBox"}, {1062,
    "dnrAgcStartSlider"}, {1063, "dnrAgcStartBox"}, {1064, "dnrAgcStopSlider"}, {1065, "dnrAgcStopBox"}, {1066,
    "startCorrectionButton"}, {1067, "clearAllButton"}, {1068, "suLevelSlider"}, {1069, "suLevelBox"}, {1070,
    "ddLevelSlider"}, {1071, "ddLevelBox"}, {1089, "autoFieldOddRadio"}, {1091, "autoFieldEvenRadio"}, {1072,
    "showCorrectedCheck"}, {1073, "manualFieldOddRadio"}, {1074, "manualFieldEvenRadio"}, {1075, "pixelAddressBox"},
    {1076, "addressPlusButton"}, {1077, "addressMinButton"}, {1078, "horMarkerSlider"}, {1088,
    "horMarkerMinusButton"}, {1093, "horMarkerPlusButton"}, {1079, "vertMarkerSlider"}, {1090,
    "vertMarkerMinusButton"}, {1094, "vertMarkerPlusButton"}, {1080, "assignPixelButton"}, {1081, "zoomOnOffCheck"},
    {1082, "zoomFactorSlider"}, {1085, "zoomFactorBox"}, {1083, "panSlider"}, {1086, "panBox"}, {1084,
    "tiltSlider"}, {1087, "tiltBox"}
};

std::string Digest(const std::string& text)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text)
        hash = (hash ^ c) * 0x100000001b3ull;
    char out[24];
    std::snprintf(out, sizeof out, "%016llx", static_cast<unsigned long long>(hash));
    return out;
}

class ScriptTest : public PanelTest {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zarnix-script-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        home = std::filesystem::current_path();
        std::filesystem::current_path(folder); // settings files by plain names, as typed
        messages.answer = true;
        Start();
        for (QWidget* widget : dlg->findChildren<QWidget*>()) {
            const QVariant id = widget->property(kDlgIdProperty);
            if (id.isValid() && kObjectNames.count(id.toInt()))
                widget->setObjectName(kObjectNames.at(id.toInt()));
        }
        dlg->m_confirm = [this](const QString& question) { return messages.Ask(question.toStdString()); };
        dlg->show();
    }
    void TearDown() override
    {
        dlg.reset();
        std::filesystem::current_path(home);
        std::filesystem::remove_all(folder);
        PanelTest::TearDown();
    }
    template <class T>
    T* Find(const std::string& name)
    {
        T* widget = dlg->findChild<T*>(QString::fromStdString(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // What every control shows, in a fixed order.
    std::string Controls()
    {
        std::ostringstream out;
        for (const auto& [id, name] : kObjectNames) {
            QWidget* w = dlg->findChild<QWidget*>(name);
            if (!w)
                continue;
            out << name << (w->isEnabled() ? "" : " disabled");
            if (auto* list = qobject_cast<QComboBox*>(w))
                out << " '" << list->currentText().toStdString() << "' of " << list->count();
            else if (auto* slider = qobject_cast<QSlider*>(w))
                out << " " << slider->minimum() << ".." << slider->maximum() << " at " << slider->value();
            else if (auto* box = qobject_cast<QLineEdit*>(w))
                out << " '" << box->text().toStdString() << "'";
            else if (auto* button = qobject_cast<QAbstractButton*>(w))
                out << (button->isChecked() ? " checked" : "") << " '" << button->text().toStdString() << "'";
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
        recorded << name << " " << Digest(family) << "\n";
        full << family;
        family.clear();
    }

    void Pick(const std::string& name, int index)
    {
        auto* list = Find<QComboBox>(name);
        if (!list->isEnabled())
            return Note(name + " disabled");
        list->showPopup();
        list->view()->setCurrentIndex(list->view()->model()->index(index, 0));
        QTest::keyClick(list->view(), Qt::Key_Return);
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
        auto* box = Find<QLineEdit>(name);
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

    std::filesystem::path folder, home;
    std::string family;
    std::ostringstream recorded, full;
};

TEST_F(ScriptTest, EveryControlMatchesItsRecording)
{
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
    Click("startButton");
    Click("connectButton");
    Click("searchAddressButton");
    EndFamily("file control");

    if (const char* dump = std::getenv("ZARNIX_GOLDEN_DUMP"))
        std::ofstream(dump) << full.str();
    const std::string golden = ZARNIX_WINDOW_GOLDEN;
    if (std::getenv("ZARNIX_GOLDEN") && std::string(std::getenv("ZARNIX_GOLDEN")) == "record")
        std::ofstream(golden) << recorded.str();
    else
        EXPECT_EQ(recorded.str(), ReadFile(golden));
}

} // namespace
} // namespace zarnix::test
