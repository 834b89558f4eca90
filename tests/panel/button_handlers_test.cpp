// The window's push buttons, check boxes and radio buttons on the simulated camera.
#include <gtest/gtest.h>

#include <ostream>
#include <utility>

#include "panel_fixture.h"

namespace zarnix::test {
namespace {

using CDlg = CMyQuorel_controller_r2_1Dlg;
using Strings = std::vector<std::string>;
using Records = std::vector<std::pair<std::uint8_t, std::uint16_t>>;

const std::vector<int> kOsdKeys = {1049, 1050, 1051, 1052, 1053};
const std::vector<int> k3dnrControls = {1059, 1060, 1061, 1062, 1063, 1064, 1065};

class ButtonTest : public PanelTest {
protected:
    // Mirror, flip, iris and 3DNR all off, white balance on "AWC set" so that
    // "PWB" is enabled; the markers stay at the camera's 512 and 160.
    void StartPlain()
    {
        Live(0x05, 0);
        Live(0x18, 0);
        Live(0x30, 0);
        Live(0x08, 6);
        StartQuiet();
    }
    void Click(int id)
    {
        EXPECT_TRUE(Enabled(id)) << "a disabled control takes no click: " << id;
        Button(id)->click();
    }
    void Forget()
    {
        bus.ClearLog();
        messages.Clear();
        clock = CVirtualClock{};
    }
    void ExpectRecorded(const Records& records, const std::array<std::uint16_t, kShadowSize>& before) const
    {
        auto expected = before;
        for (const auto& [entry, value] : records) {
            expected[entry] = value;
            EXPECT_TRUE(dlg->m_abSettingKnown[entry]) << "entry " << int(entry);
        }
        for (unsigned i = 0; i < kShadowSize; ++i)
            EXPECT_EQ(dlg->m_awSettings[i], expected[i]) << "entry " << i;
    }
};

// One click of one control, after `before` has set the scene.
struct ButtonRow {
    int id;
    const char* caption;
    std::vector<int> before;
    Strings sends; // "@ms bank:index=value" from the click at 0
    long endMs;    // when the handler is done, its pauses included
    Records records;
    int CDlg::*member = nullptr; // the check member that follows the box
    std::vector<int> enables = {};
    std::vector<int> disables = {};
    const char* message = nullptr;
    bool (*also)(const CDlg&) = nullptr; // further state the click leaves
    bool enableFirst = false;            // for a box the refresh disables
};

void PrintTo(const ButtonRow& row, std::ostream* os) { *os << row.id << " \"" << row.caption << "\""; }

const ButtonRow kButtonRows[] = {
    {1049, "Up", {1054}, {"@0 30:40=3"}, 10, {}},
    {1052, "Down", {1054}, {"@0 30:40=4"}, 10, {}},
    {1050, "<--", {1054}, {"@0 30:40=1"}, 10, {}},
    {1051, "-->", {1054}, {"@0 30:40=2"}, 10, {}},
    {1053, "Enter", {1054}, {"@0 30:40=5"}, 10, {}},
    {1054, "OSD Control", {}, {"@0 30:40=5"}, 10, {}, &CDlg::m_bOsdControl, kOsdKeys},
    {1054, "OSD Control", {1054}, {"@0 30:40=0"}, 10, {}, &CDlg::m_bOsdControl, {}, kOsdKeys},
    {1017, "Mirror (H-flip)", {}, {"@0 30:05=1"}, 10, {{0x05, 1}}, &CDlg::m_bMirror},
    {1017, "Mirror (H-flip)", {1018}, {"@0 30:05=3"}, 10, {{0x05, 3}}, &CDlg::m_bMirror},
    {1017, "Mirror (H-flip)", {1018, 1017}, {"@0 30:05=2"}, 10, {{0x05, 2}}, &CDlg::m_bMirror},
    {1018, "V-flip", {}, {"@0 30:05=2"}, 10, {{0x05, 2}}, &CDlg::m_bVFlip},
    {1018, "V-flip", {1017}, {"@0 30:05=3"}, 10, {{0x05, 3}}, &CDlg::m_bVFlip},
    // The settings copy holds what the camera holds, which SAVE stores.
    {1033, "Iris Off", {}, {"@0 30:30=0"}, 10, {{0x30, 0}}, &CDlg::m_bIrisOff},
    {1033, "Iris Off", {1033}, {"@0 30:30=1"}, 10, {{0x30, 1}}, &CDlg::m_bIrisOff},
    {1032, "PWB", {}, {"@0 30:08=5"}, 10, {{0x08, 6}}, nullptr, {}, {}, nullptr,
     [](const CDlg& d) { return d.m_nWbMode == 5; }},
    {1058, "3DNR on/off", {}, {"@0 30:18=1"}, 10, {{0x18, 1}}, &CDlg::m_b3dnrOn, k3dnrControls},
    {1058, "3DNR on/off", {1058}, {"@0 30:18=0"}, 10, {{0x18, 0}}, &CDlg::m_b3dnrOn, {}, k3dnrControls},
    {1058, "3DNR on/off", {1058, 1059}, {"@0 30:18=2"}, 10, {{0x18, 2}}, &CDlg::m_b3dnrOn, {}, k3dnrControls},
    {1059, "3DNR auto mode", {1058}, {"@0 30:18=3"}, 10, {{0x18, 3}}, &CDlg::m_b3dnrAuto},
    {1059, "3DNR auto mode", {1058, 1059}, {"@0 30:18=1"}, 10, {{0x18, 1}}, &CDlg::m_b3dnrAuto},
    {1081, "Zoom On/Off", {}, {"@0 30:29=1"}, 10, {{0x29, 1}}, &CDlg::m_bZoomOn},
    {1081, "Zoom On/Off", {1081}, {"@0 30:29=0"}, 10, {{0x29, 0}}, &CDlg::m_bZoomOn},
    {1012, "Day Night mode active", {}, {}, 0, {}, &CDlg::m_bDayNightActive, {}, {}, nullptr, nullptr, true},
    {1066, "Start correction", {}, {"@0 30:41=1"}, 10, {}},
    {1067, "Clear all", {}, {"@0 30:41=2"}, 10, {}},
    {1072, "Show corrected pixels", {}, {"@0 30:44=1"}, 10, {}, &CDlg::m_bShowCorrected},
    {1072, "Show corrected pixels", {1072}, {"@0 30:44=0"}, 10, {}, &CDlg::m_bShowCorrected},
    // The two field pairs count the other way round.
    {1089, "Odd", {}, {"@0 30:45=1"}, 40, {}},
    {1091, "Even", {1089}, {"@0 30:45=0"}, 40, {}},
    {1073, "Odd", {}, {"@0 30:48=0"}, 40, {{0x48, 0}}, nullptr, {}, {}, nullptr,
     [](const CDlg& d) { return d.m_nManualField == 0; }},
    {1074, "Even", {1073}, {"@0 30:48=1"}, 40, {{0x48, 1}}, nullptr, {}, {}, nullptr,
     [](const CDlg& d) { return d.m_nManualField == 1; }},
    {1076, "Plus", {}, {"@0 30:48=1", "@60 30:49=1"}, 120, {}, nullptr, {}, {}, nullptr,
     [](const CDlg& d) { return d.m_nPixelSlot == 1 && DlgItem<QLineEdit>(d, 1075)->text() == "addr1"; }},
    {1077, "Min", {}, {"@0 30:48=1", "@60 30:49=4"}, 120, {}, nullptr, {}, {}, nullptr,
     [](const CDlg& d) { return d.m_nPixelSlot == 4 && DlgItem<QLineEdit>(d, 1075)->text() == "addr4"; }},
    {1080, "Assign Pixel", {1076}, {"@0 30:4e=1"}, 40, {}},
    {1080, "Assign Pixel", {}, {}, 30, {}, nullptr, {}, {}, "Address is Off, please select an address"},
    // Markers from the camera's 512 (0x200) and 160 (0xA0).
    {1088, "-", {}, {"@10 30:4b=1", "@55 30:4a=ff"}, 100, {{0x4B, 1}, {0x4A, 0xFF}}},
    {1093, "+", {}, {"@10 30:4b=2", "@55 30:4a=1"}, 100, {{0x4B, 2}, {0x4A, 0x01}}},
    {1090, "-", {}, {"@0 30:4d=0", "@45 30:4c=9f"}, 90, {{0x4D, 0}, {0x4C, 0x9F}}},
    {1094, "+", {}, {"@0 30:4d=0", "@45 30:4c=a1"}, 90, {{0x4D, 0}, {0x4C, 0xA1}}},
};

class ButtonRowTest : public ButtonTest, public ::testing::WithParamInterface<ButtonRow> {};

TEST_P(ButtonRowTest, SendsRecordsAndEnables)
{
    const ButtonRow& row = GetParam();
    StartPlain();
    if (row.enableFirst)
        dlg->Item(row.id)->setEnabled(true);
    for (int id : row.before)
        Click(id);
    Forget();
    const auto settings = dlg->m_awSettings;
    ASSERT_EQ(Button(row.id)->text(), row.caption);

    Click(row.id);

    EXPECT_EQ(WritesFrom(), row.sends);
    EXPECT_EQ(clock.Now(), Micros(row.endMs * 1000));
    EXPECT_EQ(messages.Texts(), row.message ? Strings{row.message} : Strings{});
    ExpectRecorded(row.records, settings);
    if (row.member) {
        EXPECT_EQ(dlg.get()->*row.member, Checked(row.id) ? 1 : 0);
    }
    for (int id : row.enables)
        EXPECT_TRUE(Enabled(id)) << id;
    for (int id : row.disables)
        EXPECT_FALSE(Enabled(id)) << id;
    if (row.also) {
        EXPECT_TRUE(row.also(*dlg));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryControl, ButtonRowTest, ::testing::ValuesIn(kButtonRows),
                         [](const auto& info) {
                             return "Control" + std::to_string(info.param.id) + "_" + std::to_string(info.index);
                         });

TEST_F(ButtonTest, ChecksSetFromCodeSendNothing)
{
    StartPlain();
    for (int id : {1017, 1018, 1033, 1054, 1058, 1059, 1081, 1012, 1072, 1089, 1091, 1073, 1074}) {
        Button(id)->setChecked(!Checked(id));
        EXPECT_TRUE(Writes().empty()) << id;
    }
}

TEST_F(ButtonTest, AddressSlotsGoRoundBothWays)
{
    StartPlain();
    const struct {
        int button;
        const char* shown[5];
    } kWays[] = {
        {1076, {"addr1", "addr2", "addr3", "addr4", "Off"}},
        {1077, {"addr4", "addr3", "addr2", "addr1", "Off"}},
    };
    for (const auto& way : kWays) {
        for (const char* shown : way.shown) {
            Forget();
            Click(way.button);
            const std::string slot = shown == std::string("Off") ? "0" : std::string(1, shown[4]);
            EXPECT_EQ(Text(1075), shown);
            EXPECT_EQ(dlg->m_nPixelSlot, std::stoi(slot));
            EXPECT_EQ(Writes(), (Strings{"30:48=1", "30:49=" + slot})) << way.button << " " << shown;
        }
    }
}

TEST_F(ButtonTest, MarkerButtonsStopAtTheSensorEdges)
{
    const struct {
        int button;
        std::uint8_t high, low; // the camera's marker before the click
        int position;           // after it
        Strings sends;
    } kEdges[] = {
        {1093, 3, 0x8D, 909, {"30:4b=3", "30:4a=8d"}}, // right edge
        {1088, 0, 0x9E, 158, {"30:4b=0", "30:4a=9e"}}, // left edge
        {1088, 1, 0x00, 255, {"30:4b=0", "30:4a=ff"}}, // down across a byte
        {1090, 0, 0x13, 19, {"30:4d=0", "30:4c=13"}},  // top edge
        {1094, 1, 0x36, 310, {"30:4d=1", "30:4c=36"}}, // bottom edge
        {1094, 0, 0xFF, 256, {"30:4d=1", "30:4c=0"}},  // up across a byte
    };
    for (const auto& edge : kEdges) {
        SCOPED_TRACE(edge.button);
        const bool horizontal = edge.button == 1088 || edge.button == 1093;
        Live(horizontal ? 0x4B : 0x4D, edge.high);
        Live(horizontal ? 0x4A : 0x4C, edge.low);
        StartPlain();
        const int otherBefore = horizontal ? dlg->m_nVertMarker : dlg->m_nHorMarker;

        Click(edge.button);

        EXPECT_EQ(Writes(), edge.sends);
        EXPECT_EQ(horizontal ? dlg->m_nHorMarker : dlg->m_nVertMarker, edge.position);
        EXPECT_EQ(Slider(horizontal ? 1078 : 1079)->value(), edge.position);
        EXPECT_EQ(horizontal ? dlg->m_nVertMarker : dlg->m_nHorMarker, otherBefore);
        EXPECT_EQ(Slider(horizontal ? 1079 : 1078)->value(), otherBefore);
    }
}

TEST_F(ButtonTest, AFailedCommandIsShownAndStillRecorded)
{
    const struct {
        int button;
        std::uint8_t index; // whose data frame fails
        Strings sends;
        Records records;
    } kFaults[] = {
        {1017, 0x05, {"30:05=1"}, {{0x05, 1}}},
        {1032, 0x08, {"30:08=5"}, {{0x08, 6}}},
        {1073, 0x48, {"30:48=0"}, {{0x48, 0}}},
        {1093, 0x4B, {"30:4b=2", "30:4a=1"}, {{0x4B, 2}, {0x4A, 0x01}}},
    };
    for (const auto& fault : kFaults) {
        SCOPED_TRACE(fault.button);
        StartPlain();
        const auto settings = dlg->m_awSettings;
        camera.FailOn(ESimFrame::DataFrame, 0x30, fault.index, kStatusTimeout, 1);

        Click(fault.button);

        EXPECT_EQ(messages.Texts(), Strings{"TIMEOUT, no response"});
        EXPECT_EQ(Writes(), fault.sends);
        ExpectRecorded(fault.records, settings);
    }
}

} // namespace
} // namespace zarnix::test
