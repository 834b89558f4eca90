// Sliders and value boxes on the real dialog: what a release, a key and a typed
// text put on the bus, in the boxes and in the settings copy.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include "panel_fixture.h"
#include "panel/hex_text.h"

namespace zarnix::test {
namespace {

class SliderTest : public PanelTest {
protected:
    // The window as the operator gets it: shown, which runs the start-up once.
    void StartShown()
    {
        dlg = std::make_unique<CMyQuorel_controller_r2_1Dlg>(context);
        dlg->show();
        bus.ClearLog();
        messages.Clear();
        clock = CVirtualClock{};
    }
    // Lets the thumb go at `position` after dragging it there.
    void Release(int id, int position)
    {
        QSlider* slider = Slider(id);
        slider->setSliderDown(true);
        slider->setSliderPosition(position);
        slider->setSliderDown(false);
    }
    // Types `text` into the box from empty, keystroke by keystroke.
    void Type(int id, const char* text)
    {
        Box(id)->setEnabled(true); // the 3DNR boxes start disabled
        Box(id)->clear();
        QTest::keyClicks(Box(id), text);
    }
};

TEST_F(SliderTest, ReleaseWritesThePositionShowsItAndRecordsIt)
{
    const struct {
        int slider, minimum, maximum, position;
        Strings writes; // "@ms 30:index=value"; each write is also the entry recorded
        int box;
        const char* text;
    } rows[] = {
        {1000, 1, 255, 0x5A, {"@0 30:02=5a"}, 1009, "5a"}, {1001, 1, 255, 0x21, {"@0 30:03=21"}, 1010, "21"},
        {1047, 1, 255, 0xC0, {"@0 30:07=c0"}, 1048, "c0"}, {1006, 0, 255, 0x80, {"@0 30:04=80"}, 1011, "80"},
        {1023, 0, 8, 7, {"@0 30:12=7"}, 1024, "7"},        {1019, 0, 31, 0x1E, {"@0 30:06=1e"}, 1020, "1e"},
        {1007, 0, 63, 0x3A, {"@0 30:22=3a"}, 1013, "3a"},  {1008, 0, 100, 0x63, {"@0 30:23=63"}, 1014, "63"},
        {1015, 0, 100, 0x0C, {"@0 30:24=c"}, 1016, "c"},   {1028, 0, 100, 0x40, {"@0 30:0a=40"}, 1030, "40"},
        {1029, 0, 100, 0x41, {"@0 30:09=41"}, 1031, "41"}, {1042, 1, 255, 0x99, {"@0 30:27=99"}, 1043, "99"},
        {1056, 0, 255, 0xEE, {"@0 30:28=ee"}, 1057, "ee"}, {1060, 0, 255, 0x11, {"@0 30:19=11"}, 1061, "11"},
        {1062, 0, 255, 0x12, {"@0 30:1a=12"}, 1063, "12"}, {1064, 0, 255, 0x13, {"@0 30:1b=13"}, 1065, "13"},
        {1068, 0, 4, 2, {"@0 30:42=2"}, 1069, "x16"},      {1070, 1, 6, 4, {"@0 30:43=4"}, 1071, "4"},
        // The markers go out high part first, 35 ms after each half.
        {1078, 158, 909, 909, {"@0 30:4b=3", "@45 30:4a=8d"}, 0, nullptr},
        {1079, 19, 310, 310, {"@0 30:4d=1", "@45 30:4c=36"}, 0, nullptr},
        {1082, 8, 255, 0x40, {"@0 30:2a=40"}, 1085, "40"}, {1083, 0, 200, 0xC8, {"@0 30:2b=c8"}, 1086, "c8"},
        {1084, 0, 200, 0x05, {"@0 30:2c=5"}, 1087, "5"},
    };
    StartQuiet();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.slider);
        EXPECT_EQ(Slider(row.slider)->minimum(), row.minimum);
        EXPECT_EQ(Slider(row.slider)->maximum(), row.maximum);
        if (row.box)
            Box(row.box)->setText("?");
        dlg->m_abSettingKnown.fill(false);
        bus.ClearLog();
        clock = CVirtualClock{};

        Release(row.slider, row.position);

        EXPECT_EQ(WritesFrom(), row.writes); // once: the box set from here does not write again
        EXPECT_EQ(clock.Now(), Micros(1000 * (row.writes.size() == 2 ? 90 : 10)));
        if (row.box) {
            EXPECT_EQ(Text(row.box), row.text);
        }
        for (const std::string& write : row.writes) {
            const unsigned entry = std::stoul(write.substr(write.find(':') + 1, 2), nullptr, 16);
            EXPECT_EQ(dlg->m_awSettings[entry], std::stoul(write.substr(write.find('=') + 1), nullptr, 16));
            EXPECT_TRUE(dlg->m_abSettingKnown[entry]) << write;
        }
    }
    EXPECT_EQ(dlg->m_nHorMarker, 909);
    EXPECT_EQ(dlg->m_nVertMarker, 310);
    EXPECT_TRUE(messages.Texts().empty());

    // A step past the marker's end keeps it there and sends nothing.
    bus.ClearLog();
    QTest::keyClick(Slider(1078), Qt::Key_Right);
    EXPECT_EQ(Slider(1078)->value(), 909);
    EXPECT_TRUE(Writes().empty());
}

TEST_F(SliderTest, DraggingTheThumbWithTheMouseWritesOnceOnRelease)
{
    StartShown();
    QSlider* slider = Slider(1006);
    slider->setValue(0); // the thumb at the left end
    const QPoint grab(3, slider->height() / 2);
    QTest::mousePress(slider, Qt::LeftButton, {}, grab);
    QTest::mouseMove(slider, grab + QPoint(slider->width() / 3, 0));
    QTest::mouseMove(slider, grab + QPoint(slider->width() / 2, 0));
    EXPECT_TRUE(Writes().empty()); // tracking sends nothing
    QTest::mouseRelease(slider, Qt::LeftButton, {}, grab + QPoint(slider->width() / 2, 0));

    const int position = slider->value();
    ASSERT_GT(position, 0);
    char expected[16];
    std::snprintf(expected, sizeof expected, "30:04=%x", position);
    EXPECT_EQ(Writes(), Strings{expected});
    EXPECT_EQ(Text(1011), QString::number(position, 16));
    EXPECT_EQ(dlg->m_awSettings[0x04], position);
}

TEST_F(SliderTest, KeysPageClicksAndStepsOnlyMoveTheThumb)
{
    StartShown();
    for (int id : {1000, 1001, 1047, 1006, 1023, 1019, 1007, 1008, 1015, 1028, 1029, 1042, 1056, 1060, 1062, 1064,
                   1068, 1070, 1078, 1079, 1082, 1083, 1084}) {
        SCOPED_TRACE(id);
        QSlider* slider = Slider(id);
        slider->setEnabled(true);
        slider->setFocus();
        const int start = (slider->minimum() + slider->maximum()) / 2;
        slider->setValue(start);
        const auto settings = dlg->m_awSettings;

        QTest::keyClick(slider, Qt::Key_Right);
        EXPECT_EQ(slider->value(), start + 1);
        QTest::keyClick(slider, Qt::Key_PageUp);
        QTest::keyClick(slider, Qt::Key_Left);
        QTest::keyClick(slider, Qt::Key_Home);
        EXPECT_EQ(slider->value(), slider->minimum());
        slider->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QTest::keyClick(slider, Qt::Key_End);
        // A click on the groove left of the thumb pages towards it.
        QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(2, slider->height() / 2));
        EXPECT_LT(slider->value(), slider->maximum());

        EXPECT_TRUE(Writes().empty());
        EXPECT_EQ(dlg->m_awSettings, settings);
    }
    EXPECT_EQ(Text(1011), QString::number(dlg->m_awSettings[0x04], 16));
}

TEST_F(SliderTest, TypedValuesAreLimitedFlooredShownAndWrittenOncePerKeystroke)
{
    const struct {
        int box, slider;
        std::uint8_t index;
        const char* over; // typed past the limit
        const char* limitText;
        std::uint16_t limit;
        int sliderAtLimit;
        const char* zeroText; // after typing "0"
        std::uint16_t zeroValue, zeroOnBus;
        int sliderAtZero;
    } rows[] = {
        {1009, 1000, 0x02, "1ff", "255", 0xFF, 255, "0", 0, 0, 1},
        {1010, 1001, 0x03, "1ff", "ff", 0xFF, 255, "0", 0, 0, 1},
        {1011, 1006, 0x04, "100", "ff", 0xFF, 255, "0", 0, 0, 0},
        {1048, 1047, 0x07, "ff", "ff", 0xFF, 255, "0", 0, 0, 1},
        {1043, 1042, 0x27, "fff", "ff", 0xFF, 255, "0", 0, 0, 1},
        {1057, 1056, 0x28, "1ff", "ff", 0xFF, 255, "0", 0, 0, 0},
        {1061, 1060, 0x19, "1ff", "ff", 0xFF, 255, "0", 0, 0, 0},
        {1063, 1062, 0x1A, "200", "ff", 0xFF, 255, "0", 0, 0, 0},
        {1020, 1019, 0x06, "40", "63", 0x3F, 31, "0", 0, 0, 0}, // written above the slider's end
        {1013, 1007, 0x22, "3f", "63", 0x3F, 63, "0", 0, 0, 0},
        {1014, 1008, 0x23, "64", "100", 0x64, 100, "0", 0, 0, 0},
        {1016, 1015, 0x24, "99", "100", 0x64, 100, "0", 0, 0, 0},
        {1024, 1023, 0x12, "9", "8", 8, 8, "0", 0, 0, 0},
        {1069, 1068, 0x42, "5", "x64", 4, 4, "x4", 0, 0, 0},
        {1071, 1070, 0x43, "9", "6", 6, 6, "1", 1, 1, 1},
        {1085, 1082, 0x2A, "100", "ff", 0xFF, 255, " 1", 1, 8, 8}, // the zoom command never sends less than 8
        {1086, 1083, 0x2B, "c9", "c8", 0xC8, 200, "0", 0, 0, 0},
        {1087, 1084, 0x2C, "fff", "c8", 0xC8, 200, "0", 0, 0, 0},
    };
    StartQuiet();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.box);
        char reg[8];
        std::snprintf(reg, sizeof reg, "30:%02x=", row.index);

        bus.ClearLog();
        Type(row.box, row.over);
        EXPECT_EQ(Text(row.box), row.limitText);
        ASSERT_EQ(Writes().size(), std::strlen(row.over));
        EXPECT_EQ(Writes().back(), reg + QString::number(row.limit, 16).toStdString());
        EXPECT_EQ(Slider(row.slider)->value(), row.sliderAtLimit);
        EXPECT_EQ(dlg->m_awSettings[row.index], row.limit);

        bus.ClearLog();
        Type(row.box, "0");
        EXPECT_EQ(Text(row.box), row.zeroText);
        EXPECT_EQ(Writes(), Strings{reg + QString::number(row.zeroOnBus, 16).toStdString()});
        EXPECT_EQ(Slider(row.slider)->value(), row.sliderAtZero);
        EXPECT_EQ(dlg->m_awSettings[row.index], row.zeroValue);
    }
    // Below the limit the text stays as typed, except the SU level's label.
    Type(1011, "64");
    EXPECT_EQ(Text(1011), "64");
    Type(1069, "3");
    EXPECT_EQ(Text(1069), "x32");
    EXPECT_EQ(Writes().back(), "30:42=3");
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(SliderTest, ShowOnlyBoxesAndComDelayNeverWrite)
{
    StartQuiet();
    const auto settings = dlg->m_awSettings;
    for (int box : {1030, 1031, 1065}) {
        Type(box, "12");
        EXPECT_EQ(Text(box), "12") << box;
    }
    EXPECT_EQ(Slider(1028)->value(), settings[0x0A]);
    EXPECT_EQ(Slider(1064)->value(), settings[0x1B]);

    Type(1025, "45");
    EXPECT_EQ(dlg->m_wComDelay, 0x45);
    Type(1025, "1ff");
    EXPECT_EQ(Text(1025), "255");
    EXPECT_EQ(dlg->m_wComDelay, 0xFF);
    EXPECT_TRUE(Writes().empty());
    EXPECT_EQ(dlg->m_awSettings, settings);
}

TEST_F(SliderTest, BoxTextsReadLikeTheCLibraryReadsBase16)
{
    const struct {
        const char* text;
        std::uint32_t value;
    } rows[] = {
        {"", 0}, {"z", 0}, {"x12", 0}, {"0x", 0}, {"0xg", 0}, {" \t7", 7}, {"0x1a", 0x1A}, {"0X1A", 0x1A},
        {"12z4", 0x12}, {"+2b", 0x2B}, {"-0", 0}, {"-1", 0xFFFFFFFF}, {"-2", 0xFFFFFFFE}, {" 1", 1},
        {"ffffffff", 0xFFFFFFFF}, {"100000000", 0xFFFFFFFF}, {"-123456789", 0xFFFFFFFF}, {"0000000000000042", 0x42},
    };
    for (const auto& row : rows)
        EXPECT_EQ(HexTextValue(row.text), row.value) << '"' << row.text << '"';

    // A pasted text is one edit: one write of what it parses to.
    StartQuiet();
    Box(1011)->selectAll();
    Box(1011)->insert(" 0x2a;");
    EXPECT_EQ(Writes(), Strings{"30:04=2a"});
    EXPECT_EQ(Text(1011), " 0x2a;");
}

TEST_F(SliderTest, BusFailureIsShownAndTheValueStillRecorded)
{
    StartQuiet();
    camera.FailOn(ESimFrame::DataFrame, 0x30, 0x04, kStatusNoAck, 1);
    Type(1011, "7");
    EXPECT_EQ(messages.Texts(), Strings{"not a correct acknowledge recieved"});
    EXPECT_EQ(dlg->m_awSettings[0x04], 7);
    EXPECT_EQ(Slider(1006)->value(), 7);

    messages.Clear();
    camera.FailOn(ESimFrame::DataFrame, 0x30, 0x4D, kStatusNoAck, 1);
    Release(1079, 19);
    EXPECT_EQ(messages.Texts(), Strings{"not a correct acknowledge recieved"});
    EXPECT_EQ(dlg->m_awSettings[0x4D], 0);
    EXPECT_EQ(dlg->m_awSettings[0x4C], 0x13);
    EXPECT_EQ(camera.Peek(0x30, 0x4C), 0x13); // the low half still went out
}

TEST_F(SliderTest, ReturnInAValueBoxKeepsTheWindowOpen)
{
    StartShown();
    QSignalSpy accepted(dlg.get(), &QDialog::accepted);
    QSignalSpy finished(dlg.get(), &QDialog::finished);
    dlg->activateWindow();
    Box(1011)->setFocus();
    ASSERT_EQ(dlg->focusWidget(), Box(1011));
    Box(1011)->clear();
    QTest::keyClicks(Box(1011), "64");
    QTest::keyClick(Box(1011), Qt::Key_Return);
    QTest::keyClick(Box(1011), Qt::Key_Enter, Qt::KeypadModifier);

    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(accepted.count(), 0);
    EXPECT_EQ(finished.count(), 0);
    EXPECT_EQ(Text(1011), "64");
    EXPECT_EQ(Writes(), (Strings{"30:04=6", "30:04=64"}));
    EXPECT_EQ(dlg->m_awSettings[0x04], 0x64);
}

} // namespace
} // namespace zarnix::test
