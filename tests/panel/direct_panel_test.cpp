// The direct I2C panel on the real dialog and the simulated camera.
#include <gtest/gtest.h>

#include <QTest>

#include "link/iic_link.h"
#include "panel_fixture.h"

namespace zarnix::test {
namespace {

using CDlg = CMyQuorel_controller_r2_1Dlg;

constexpr int kBankBox = 1103, kIndexBox = 1104, kDataBox = 1105;
constexpr int kIndexPlus = 1106, kIndexMinus = 1112, kDataPlus = 1110, kDataMinus = 1111;

class DirectPanelTest : public PanelTest {
protected:
    // The operator replaces the box's text in one go, as a paste does.
    void Paste(int id, const QString& text)
    {
        Box(id)->selectAll();
        Box(id)->insert(text);
    }
    static QString Hex(unsigned value) { return QString::number(value, 16); }
};

TEST_F(DirectPanelTest, BankAndDataBoxesReadHexLikeStrtoulLimitedToAByte)
{
    const struct {
        const char* typed;
        std::uint16_t value;
    } cases[] = {
        {"3a", 0x3A}, {"0x3A", 0x3A}, {"FE", 0xFE},   {"1ff", 0xFF}, {"100", 0xFF}, {"", 0},
        {"zz", 0},    {"x5", 0},      {"0x", 0},      {"0xg", 0},    {" \t 7", 7},  {"+c", 0xC},
        {"-0", 0},    {"-1", 0xFF},   {"12g4", 0x12}, {"00000000000000000000001", 1},
        {"fffffffffffffffffffffffff", 0xFF},
    };
    const struct {
        int box;
        std::uint16_t CDlg::*member;
    } boxes[] = {{kBankBox, &CDlg::m_wDirectBank}, {kDataBox, &CDlg::m_wDirectData}};
    StartQuiet();
    for (const auto& b : boxes) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << b.box << " \"" << c.typed << '"');
            Paste(b.box, c.typed);
            EXPECT_EQ((*dlg).*b.member, c.value);
            EXPECT_EQ(Text(b.box), Hex(c.value)); // normalised at once
        }
    }
    EXPECT_TRUE(Writes().empty());
}

TEST_F(DirectPanelTest, RegisterBoxKeepsItsTypedTextUntilTheIndexIsStepped)
{
    camera.Poke(0xA0, 0x00, 0x6C);
    StartQuiet();
    Box(kIndexBox)->selectAll();
    QTest::keyClicks(Box(kIndexBox), "1ff");
    EXPECT_EQ(dlg->m_wDirectIndex, 0xFF);
    EXPECT_EQ(Text(kIndexBox), "1ff");
    // Round to 0x00 of the stored-settings bank the panel starts on, which is read.
    Button(kIndexPlus)->click();
    EXPECT_EQ(Text(kIndexBox), "0");
    EXPECT_EQ(Writes(), (Strings{"read a0:00"}));
    EXPECT_EQ(Text(kDataBox), "6c");
}

TEST_F(DirectPanelTest, DataStepsWrapWithinAByteAndSendNothing)
{
    const struct {
        const char* start;
        int button;
        const char* shown;
    } cases[] = {{"0", kDataMinus, "ff"}, {"ff", kDataPlus, "0"}, {"7f", kDataPlus, "80"}, {"80", kDataMinus, "7f"}};
    StartQuiet();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << " " << c.button);
        Paste(kDataBox, c.start);
        Button(c.button)->click();
        EXPECT_EQ(Text(kDataBox), c.shown);
        EXPECT_EQ(Hex(dlg->m_wDirectData), c.shown);
    }
    EXPECT_TRUE(Writes().empty());
}

TEST_F(DirectPanelTest, IndexStepsReadTheNewRegisterExceptInTheLiveBank)
{
    const struct {
        const char* bank;
        const char* start;
        int button;
        std::uint8_t index;
        const char* read; // nullptr: nothing is read and the data stays
    } cases[] = {
        {"a0", "ff", kIndexPlus, 0x00, "read a0:00"}, {"a0", "0", kIndexMinus, 0xFF, "read a0:ff"},
        {"e0", "10", kIndexPlus, 0x11, "read e0:11"}, {"30", "ff", kIndexPlus, 0x00, nullptr},
        {"30", "0", kIndexMinus, 0xFF, nullptr},
    };
    camera.Poke(0xA0, 0xFF, 0x02);
    camera.Poke(0xE0, 0x11, 0x03);
    StartQuiet();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bank << ":" << c.start << " " << c.button);
        Paste(kBankBox, c.bank);
        Paste(kIndexBox, c.start);
        Paste(kDataBox, "5a");
        bus.ClearLog();
        Button(c.button)->click();
        EXPECT_EQ(dlg->m_wDirectIndex, c.index);
        EXPECT_EQ(Text(kIndexBox), Hex(c.index));
        EXPECT_EQ(Writes(), c.read ? Strings{c.read} : Strings{});
        const auto bank = static_cast<std::uint8_t>(dlg->m_wDirectBank);
        EXPECT_EQ(Text(kDataBox), c.read ? Hex(camera.Peek(bank, c.index)) : "5a");
    }
}

TEST_F(DirectPanelTest, ReadAndWriteUseTheMembersOnAnyBank)
{
    Live(0x19, 0x42);
    StartQuiet();
    Paste(kBankBox, "30");
    Paste(kIndexBox, "19");
    Button(1113)->click();
    EXPECT_EQ(Writes(), (Strings{"read 30:19"})); // the live bank too, unlike the steps
    EXPECT_EQ(Text(kDataBox), Hex(camera.Peek(0x30, 0x19)));

    Paste(kDataBox, "80");
    const auto settings = dlg->m_awSettings;
    bus.ClearLog();
    clock = CVirtualClock{};
    Button(1107)->click();
    // Exactly what the 3DNR level command sends for 0x80; the window's copy does not follow.
    EXPECT_EQ(Transactions(), (Strings{"@0 SendSub 70 00 30 19 =0", "@10 Send 70 80 =0"}));
    EXPECT_EQ(dlg->m_awSettings, settings);
}

TEST_F(DirectPanelTest, ReadWithoutACameraShowsTheAdapterMessageThenOne)
{
    StartQuiet();
    camera.SetPresent(false);
    Button(1113)->click();
    EXPECT_EQ(messages.Texts(), (Strings{StatusText(kStatusNoAck)}));
    EXPECT_EQ(Text(kDataBox), "1");
}

} // namespace
} // namespace zarnix::test
