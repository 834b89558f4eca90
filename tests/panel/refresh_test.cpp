// The real dialog on the simulated camera: start-up, search and refresh.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include "panel/option_lists.h"
#include "panel_fixture.h"

namespace zarnix::test {
namespace {

using RefreshTest = PanelTest;

// The read-back ends 44 passes of 80 ms after the search's 10 ms.
constexpr long kReadBackEndMs = 10 + 44 * 80;

TEST_F(RefreshTest, ShowsTheCameraInEveryControl)
{
    Live(0x00, 0x1F); // limited auto shutter
    Live(0x25, 2);
    Live(0x26, 5);
    Live(0x01, 4);
    Live(0x20, 1);
    Live(0x21, 0);
    Live(0x10, 9);    // not a BLC mode: shows index 0
    Live(0x11, 2);
    Live(0x13, 0x73); // position: centre bottom
    Live(0x14, 0x12); // size: 2 wide, 1 high
    Live(0x08, 2);    // manual white balance
    Live(0x04, 0xC3);
    Live(0x43, 6);
    Live(0x06, 0x40); // above the sharpness range: thumb at its end, box shows the value
    Live(0x4A, 0x10);
    Live(0x4B, 0x02); // 528
    Live(0x4C, 0x05);
    Live(0x4D, 0x00); // 5, raised to 19
    Live(0x05, 0x02);
    Live(0x30, 0x01);
    Live(0x29, 0x01);
    Live(0x18, 0x02);
    Live(0x48, 0x00);
    camera.Poke(0xA0, 0x04, 0x5E);
    Start();

    EXPECT_TRUE(messages.Texts().empty());
    EXPECT_EQ(Text(1092), "70");
    EXPECT_EQ(Text(1025), "30");
    EXPECT_EQ(dlg->m_wComDelay, 30);

    EXPECT_EQ(List(1002)->currentIndex(), 10);
    EXPECT_EQ(List(1002)->currentText(), "Lim.auto mode");
    EXPECT_TRUE(Enabled(1035));
    EXPECT_TRUE(Enabled(1045));
    EXPECT_EQ(List(1035)->currentIndex(), 2); // Max Shutter shows 0x25
    EXPECT_EQ(List(1045)->currentIndex(), 5); // Min Shutter shows 0x26
    EXPECT_EQ(List(1005)->currentIndex(), 4);
    EXPECT_EQ(List(1003)->currentIndex(), 1);
    EXPECT_EQ(List(1004)->currentIndex(), 0);
    EXPECT_EQ(List(1004)->count(), 2);
    EXPECT_EQ(List(1021)->currentIndex(), 0);
    EXPECT_EQ(List(1022)->currentIndex(), 2);
    EXPECT_EQ(List(1026)->currentText(), "8: Center Bottom");
    EXPECT_EQ(List(1036)->currentText(), "02: HxV 2x1"); // the list's own table, read backwards
    EXPECT_EQ(dlg->m_nBlcWindowSize, 0x12);
    EXPECT_EQ(List(1027)->currentIndex(), 2);
    EXPECT_TRUE(Enabled(1028));
    EXPECT_TRUE(Enabled(1031));
    EXPECT_FALSE(Enabled(1032));

    EXPECT_EQ(Slider(1006)->minimum(), 0);
    EXPECT_EQ(Slider(1006)->maximum(), 255);
    EXPECT_EQ(Slider(1006)->value(), 0xC3);
    EXPECT_EQ(Text(1011), "c3");
    EXPECT_EQ(Slider(1070)->minimum(), 1);
    EXPECT_EQ(Slider(1070)->value(), 6);
    EXPECT_EQ(Text(1071), "6");
    EXPECT_EQ(dlg->m_awSettings[0x43], 6);
    EXPECT_EQ(Slider(1019)->value(), 31);
    EXPECT_EQ(Text(1020), "40");
    EXPECT_EQ(Slider(1078)->value(), 528);
    EXPECT_EQ(dlg->m_nHorMarker, 528);
    EXPECT_EQ(Slider(1079)->value(), 19);
    EXPECT_EQ(Slider(1082)->value(), 255); // zoom, pan and tilt are not read back
    EXPECT_EQ(Slider(1083)->value(), 200);

    EXPECT_FALSE(Checked(1017));
    EXPECT_TRUE(Checked(1018));
    EXPECT_TRUE(Checked(1033));
    EXPECT_FALSE(Checked(1081)); // zoom on/off is not read back, whatever the camera holds
    EXPECT_TRUE(Checked(1059));
    for (int id : {1059, 1060, 1061, 1062, 1063, 1064, 1065})
        EXPECT_FALSE(Enabled(id)) << id; // "3DNR on/off" starts cleared
    for (int id : {1049, 1050, 1051, 1052, 1053, 1012})
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(Checked(1074));
    EXPECT_FALSE(Checked(1073));
    EXPECT_TRUE(Checked(1091));
    EXPECT_FALSE(Checked(1089));
    EXPECT_EQ(Text(1075), "Off");
    EXPECT_EQ(Text(1103), "a0");
    EXPECT_EQ(Text(1104), "4");
    EXPECT_EQ(Text(1105), "5e");

    // After the read-back: field and slot (50 ms apart), auto field, manual field
    // (30 ms after each), then the direct panel's read.
    const long t = kReadBackEndMs;
    EXPECT_EQ(WritesFrom(Micros(t * 1000)),
              (Strings{"@" + std::to_string(t) + " 30:48=0", "@" + std::to_string(t + 60) + " 30:49=0",
                       "@" + std::to_string(t + 120) + " 30:45=0", "@" + std::to_string(t + 160) + " 30:48=1",
                       "@" + std::to_string(t + 200) + " read a0:04"}));
    EXPECT_EQ(dlg->m_awSettings[0x48], 1);
}

TEST_F(RefreshTest, ShutterCodesPickTheirEntryAndLimitEnabling)
{
    const struct {
        std::uint8_t code;
        int index;
        bool limits;
    } cases[] = {{0x0A, 8, false}, {0x0F, 9, false}, {0x1F, 10, true}, {0x03, 3, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.code));
        Live(0x00, c.code);
        Start();
        EXPECT_EQ(List(1002)->currentIndex(), c.index);
        EXPECT_EQ(Enabled(1035), c.limits);
        EXPECT_EQ(Enabled(1045), c.limits);
    }
}

TEST_F(RefreshTest, WithoutACameraTheWindowStillOpensOnPlaceholders)
{
    camera.SetPresent(false);
    Start();
    const std::string nack = "not a correct acknowledge recieved";
    EXPECT_EQ(messages.Texts(), (Strings{"No valid address found, re-power cam and retry.", nack,
                                         "Camera settings not correctly read, default values displayed",
                                         nack, nack, nack, nack, // manual field and slot
                                         nack, nack,             // auto field
                                         nack, nack,             // manual field
                                         nack}));                // the direct panel's read
    EXPECT_EQ(Text(1092), "fc");
    EXPECT_EQ(List(1002)->currentIndex(), 9);
    EXPECT_FALSE(Enabled(1035));
    EXPECT_FALSE(Enabled(1045));
    EXPECT_EQ(List(1005)->currentIndex(), 3);
    EXPECT_EQ(List(1003)->currentIndex(), 2);
    EXPECT_EQ(List(1004)->currentIndex(), 1);
    EXPECT_EQ(List(1021)->currentIndex(), 0);
    EXPECT_EQ(List(1022)->currentIndex(), 1);
    EXPECT_EQ(List(1036)->currentIndex(), 5);
    EXPECT_EQ(List(1026)->currentIndex(), 4);
    EXPECT_EQ(List(1027)->currentIndex(), -1);
    for (int slider : {1000, 1001, 1042, 1047, 1006, 1029, 1028, 1023, 1019, 1007, 1008, 1015, 1056, 1060, 1062,
                       1064, 1068, 1070})
        EXPECT_EQ(Slider(slider)->value(), Slider(slider)->maximum()) << slider;
    for (int box : {1009, 1011, 1020, 1071})
        EXPECT_EQ(Text(box), "ff") << box;
    EXPECT_EQ(Slider(1078)->value(), 909);
    EXPECT_EQ(Slider(1079)->value(), 310);
    EXPECT_EQ(Slider(1082)->value(), 255);
    EXPECT_EQ(Slider(1084)->value(), 200);
    for (int id : {1017, 1018, 1033, 1059, 1074})
        EXPECT_TRUE(Checked(id)) << id;
    EXPECT_FALSE(Checked(1081));
    EXPECT_EQ(Text(1105), "1");
}

// Each window code shows the entry that sends it, so opening and closing a list
// writes back what the camera holds; codes the lists do not know show the centre
// entry and the 2x2 size, and 0x90 and above count as the replacement codes.
TEST_F(RefreshTest, BlcWindowCodesShowTheEntryThatSendsThem)
{
    struct Case {
        std::uint8_t register_;
        std::uint8_t code;
        int list;
        QString text;
    };
    std::vector<Case> cases;
    for (const auto& entry : OptionList(ListId::BlcWindowSize).entries)
        cases.push_back({0x14, static_cast<std::uint8_t>(entry.value), 1036, entry.text});
    for (const auto& entry : OptionList(ListId::BlcWindowPos).entries)
        cases.push_back({0x13, static_cast<std::uint8_t>(entry.value), 1026, entry.text});
    cases.push_back({0x14, 0x13, 1036, "06: HxV 2x2"});
    cases.push_back({0x14, 0x90, 1036, "06: HxV 2x2"});
    cases.push_back({0x13, 0x34, 1026, "5: CENTER"});
    cases.push_back({0x13, 0xFE, 1026, "5: CENTER"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        Live(c.register_, c.code);
        Start();
        EXPECT_EQ(List(c.list)->currentText(), c.text);
    }
}

TEST_F(RefreshTest, ListTextsTakeTheFirstEntryTheyBeginWhenShown)
{
    Start();
    const std::size_t before = bus.Log().size();
    const struct {
        QString member;
        int index;
        QString shown;
    } cases[] = {
        {"2", 2, "2:  Auto"},          {"1:  COL", 1, "1:  Colour"}, {"0", 0, "0:  BandW"},
        {"3", 0, "3"},                 {"", 0, ""}, // no entry begins with it: the text stays, the choice too
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.member.toStdString());
        dlg->m_strDnMode = c.member;
        dlg->UpdateData(false);
        EXPECT_EQ(List(1003)->currentIndex(), c.index);
        EXPECT_EQ(List(1003)->currentText(), c.shown);
        List(1003)->setCurrentIndex(0);
    }
    // The camera address box never holds more than two characters.
    dlg->m_strCameraAddress = "123";
    dlg->UpdateData(false);
    EXPECT_EQ(Text(1092), "12");
    EXPECT_EQ(bus.Log().size(), before); // data exchange never talks to the camera
}

TEST_F(RefreshTest, SearchButtonShowsTheAddressFound)
{
    Start();
    camera.MoveCamera(0x3C);
    DlgItem<QPushButton>(*dlg, 1095)->click();
    EXPECT_EQ(Text(1092), "3c");
    EXPECT_EQ(dlg->m_wCameraAddress, 0x3C);
}

} // namespace
} // namespace zarnix::test
