// The option lists' close-up handlers on the real dialog and the simulated camera.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QTest>

#include <vector>

#include "link/iic_link.h"
#include "panel/drop_down_combo.h"
#include "panel_fixture.h"

namespace zarnix::test {
namespace {

using CDlg = CMyQuorel_controller_r2_1Dlg;

class ListHandlersTest : public PanelTest {
protected:
    CDropDownCombo* Combo(int id) const { return DlgItem<CDropDownCombo>(*dlg, id); }
    // The operator opens the list and takes entry `index` with Return, or leaves with Escape (-1).
    void Pick(int id, int index)
    {
        Combo(id)->showPopup();
        QAbstractItemView* view = Combo(id)->view();
        if (index >= 0)
            view->setCurrentIndex(view->model()->index(index, 0));
        QTest::keyClick(view, index >= 0 ? Qt::Key_Return : Qt::Key_Escape);
        QCoreApplication::processEvents();
    }
};

// Each list's command and settings entry, and what each of its entries sends (-1: nothing).
const struct CListCase {
    int id;
    ESetCommand command;
    std::uint8_t entry;
    QString CDlg::*text;
    std::int32_t CDlg::*index;
    std::vector<int> values;
} kListCases[] = {
    {1002, ESetCommand::SetShutterMode, 0x00, &CDlg::m_strShutterMode, &CDlg::m_nShutterMode,
     {0, 1, 2, 3, 4, 5, 6, 7, 0x0A, 0x0F, 0x1F}},
    // The shutter limits are kept crosswise to the registers they write.
    {1035, ESetCommand::SetMaxShutter, 0x25, &CDlg::m_strMaxShutter, &CDlg::m_nMaxShutter, {0, 1, 2, 3, 4, 5, 6, 7}},
    {1045, ESetCommand::SetMinShutter, 0x26, &CDlg::m_strMinShutter, &CDlg::m_nMinShutter, {0, 1, 2, 3, 4, 5, 6, 7}},
    {1005, ESetCommand::SetSensUpMode, 0x01, &CDlg::m_strSensUpMode, &CDlg::m_nSensUpMode, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
    {1003, ESetCommand::SetDayNightMode, 0x20, &CDlg::m_strDnMode, &CDlg::m_nDnMode, {0, 1, 2}},
    {1004, ESetCommand::SetColourBurst, 0x21, &CDlg::m_strColourBurst, &CDlg::m_nColourBurst, {0, 1}},
    {1022, ESetCommand::SetBlcGain, 0x11, &CDlg::m_strBlcGain, &CDlg::m_nBlcGain, {0, 1, 2}},
    // BLC mode 1 (set up by the test; the BLC mode list comes after these two).
    {1026, ESetCommand::SetBlcWindowPos1, 0x13, &CDlg::m_strBlcWindowPos, &CDlg::m_nBlcWindowPos,
     {0x00, 0x03, 0x07, 0x30, 0x33, 0x37, 0x70, 0x73, 0x77}},
    {1036, ESetCommand::SetBlcWindowSize1, 0x14, &CDlg::m_strBlcWindowSize, &CDlg::m_nBlcWindowSize,
     {0x11, 0x12, 0x14, 0x18, 0x21, 0x22, 0x24, 0x28, 0x41, 0x42, 0x44, 0x48, 0x81, 0x82, 0x84, 0x88}},
    {1021, ESetCommand::SetBlcMode, 0x10, &CDlg::m_strBlcMode, &CDlg::m_nBlcMode, {0, 1, 2}},
    {1027, ESetCommand::SetWhiteBalanceMode, 0x08, &CDlg::m_strWbMode, &CDlg::m_nWbMode, {0, 1, 2, 3, 4, -1, 6}},
};

TEST_F(ListHandlersTest, EveryEntrySendsItsValueAndKeepsItInItsEntry)
{
    Live(0x10, 1);
    Live(0x00, 0x1F);
    StartQuiet();
    for (const CListCase& c : kListCases) {
        ASSERT_EQ(Combo(c.id)->count(), static_cast<int>(c.values.size())) << c.id;
        for (int i = 0; i < Combo(c.id)->count(); ++i) {
            SCOPED_TRACE(testing::Message() << "list " << c.id << " entry " << i);
            auto expected = dlg->m_awSettings;
            dlg->m_abSettingKnown.fill(false);
            bus.ClearLog();
            Pick(c.id, i);
            const int v = c.values[static_cast<std::size_t>(i)];
            char write[16];
            std::snprintf(write, sizeof write, "30:%02x=%x", SetCommandInfo(c.command).index, v);
            EXPECT_EQ(Writes(), v < 0 ? Strings{} : Strings{write});
            expected[c.entry] = static_cast<std::uint16_t>(v < 0 ? i : v); // AWC set and run is still kept
            EXPECT_EQ(dlg->m_awSettings, expected);
            for (std::size_t e = 0; e < kShadowSize; ++e)
                EXPECT_EQ(dlg->m_abSettingKnown[e], e == c.entry) << "entry " << e;
            EXPECT_EQ((*dlg).*c.index, i);
            EXPECT_EQ((*dlg).*c.text, Combo(c.id)->itemText(i));
        }
    }
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(ListHandlersTest, OnlyLimitedAutoEnablesTheShutterLimits)
{
    Live(0x25, 2);
    Live(0x26, 5);
    StartQuiet();
    for (int i = 0; i <= 10; ++i) {
        SCOPED_TRACE(i);
        bus.ClearLog();
        Pick(1002, i);
        EXPECT_EQ(Enabled(1035), i == 10);
        EXPECT_EQ(Enabled(1045), i == 10);
        EXPECT_EQ(List(1035)->currentIndex(), 2); // rebuilt and reselected, not sent
        EXPECT_EQ(List(1045)->currentIndex(), 5);
        EXPECT_EQ(Writes().size(), 1u);
    }
}

TEST_F(ListHandlersTest, WindowChoicesGoToTheWindowOfTheBlcMode)
{
    // BLC mode as the camera reports it; what "6: Right Center" and "11: HxV 4x4" then send.
    const struct {
        std::uint8_t blcMode;
        Strings sent;
    } cases[] = {{0, {}}, {1, {"30:13=37", "30:14=44"}}, {2, {"30:15=37", "30:16=44"}}, {3, {}},
                 {5, {"30:13=37", "30:14=44"}}, {6, {"30:15=37", "30:16=44"}}, {7, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.blcMode));
        Live(0x10, c.blcMode);
        StartQuiet();
        const auto before = dlg->m_awSettings;
        Pick(1026, 5);
        Pick(1036, 10);
        EXPECT_EQ(Writes(), c.sent);
        // The copy keeps the first window whatever the mode; the second's entries never follow.
        EXPECT_EQ(dlg->m_awSettings[0x13], 0x37);
        EXPECT_EQ(dlg->m_awSettings[0x14], 0x44);
        EXPECT_EQ(dlg->m_awSettings[0x15], before[0x15]);
        EXPECT_EQ(dlg->m_awSettings[0x16], before[0x16]);
    }
}

TEST_F(ListHandlersTest, WhiteBalanceChoiceSetsTheGainAndPushButtonEnabling)
{
    const std::vector<int> gains = {1028, 1029, 1030, 1031, 1037, 1038};
    const struct {
        int index;
        bool gains, pushButton;
    } cases[] = {{0, false, false}, {1, false, false}, {2, true, false}, {3, false, false},
                 {4, false, false}, {5, false, true},  {6, false, true}};
    StartQuiet();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        for (int id : gains)
            dlg->Item(id)->setEnabled(!c.gains);
        dlg->Item(1032)->setEnabled(!c.pushButton);
        Pick(1027, c.index);
        for (int id : gains)
            EXPECT_EQ(Enabled(id), c.gains) << id;
        EXPECT_EQ(Enabled(1032), c.pushButton);
    }
}

TEST_F(ListHandlersTest, KeyboardChoiceInTheClosedListSendsNothing)
{
    Live(0x20, 1);
    StartQuiet();
    Combo(1003)->setFocus();
    QTest::keyClick(Combo(1003), Qt::Key_Down);
    QCoreApplication::processEvents();
    ASSERT_EQ(Combo(1003)->currentIndex(), 2);
    EXPECT_TRUE(Writes().empty());
    // Opening reselects the entry the window keeps; closing sends it again.
    Pick(1003, -1);
    EXPECT_EQ(Writes(), (Strings{"30:20=1"}));
    EXPECT_EQ(List(1003)->currentText(), "1:  Colour");
}

TEST_F(ListHandlersTest, WithNoEntryChosenNothingIsSentAndTheCopyStays)
{
    Live(0x00, 0x1F); // limits enabled
    Live(0x08, 5);    // push button enabled, gains disabled
    Live(0x10, 1);
    StartQuiet();
    for (const CListCase& c : kListCases) {
        SCOPED_TRACE(c.id);
        (*dlg).*c.text = "zz"; // as after a camera code the list does not know
        const auto settings = dlg->m_awSettings;
        const auto known = dlg->m_abSettingKnown;
        Pick(c.id, -1);
        EXPECT_TRUE(Writes().empty());
        EXPECT_EQ(dlg->m_awSettings, settings);
        EXPECT_EQ(dlg->m_abSettingKnown, known);
        EXPECT_EQ((*dlg).*c.index, -1);
        EXPECT_EQ(List(c.id)->count(), 1); // just its text, until it is opened again
        EXPECT_EQ(List(c.id)->currentText(), "zz");
    }
    EXPECT_FALSE(Enabled(1035));
    EXPECT_FALSE(Enabled(1045));
    EXPECT_TRUE(Enabled(1032));
    EXPECT_FALSE(Enabled(1028));
    Pick(1003, 1);
    EXPECT_EQ(List(1003)->count(), 3);
    EXPECT_EQ(Writes(), (Strings{"30:20=1"}));
}

TEST_F(ListHandlersTest, ABusFailureIsShownAndTheChoiceStillKept)
{
    Live(0x20, 2);
    StartQuiet();
    camera.FailOn(ESimFrame::DataFrame, 0x30, 0x20, kStatusNoAck, 1);
    dlg->m_abSettingKnown[0x20] = false;
    Pick(1003, 0);
    EXPECT_EQ(messages.Texts(), (Strings{StatusText(kStatusNoAck)}));
    EXPECT_EQ(camera.Peek(0x30, 0x20), 2);
    EXPECT_EQ(dlg->m_awSettings[0x20], 0);
    EXPECT_TRUE(dlg->m_abSettingKnown[0x20]);
    EXPECT_EQ(dlg->m_strDnMode, "0:  BandW");
}

} // namespace
} // namespace zarnix::test
