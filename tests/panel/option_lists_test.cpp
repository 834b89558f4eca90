#include "panel/option_lists.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSignalSpy>

#include <string>

#include "panel/drop_down_combo.h"

namespace zarnix {
namespace {

// The platform's sorted list compares texts ignoring case; Qt's combo does not sort.
TEST(OptionListTable, EveryListIsInCaseInsensitiveOrderWithItsCount)
{
    const struct { ListId list; std::size_t count; } kCases[] = {
        {ListId::ShutterMode, 11}, {ListId::MaxShutter, 8}, {ListId::MinShutter, 8},   {ListId::SensUpMode, 9},
        {ListId::DnMode, 3},       {ListId::ColourBurst, 2}, {ListId::BlcMode, 3},     {ListId::BlcGain, 3},
        {ListId::BlcWindowPos, 9}, {ListId::BlcWindowSize, 16}, {ListId::WbMode, 7},
    };
    ASSERT_EQ(OptionLists().size(), std::size(kCases));
    for (const auto& c : kCases) {
        const COptionList& list = OptionList(c.list);
        SCOPED_TRACE(list.caption);
        EXPECT_EQ(list.controlId, static_cast<int>(c.list));
        EXPECT_EQ(FindOptionList(list.controlId), &list);
        ASSERT_EQ(list.entries.size(), c.count);
        for (std::size_t i = 1; i < list.entries.size(); ++i)
            EXPECT_LT(QString::compare(list.entries[i - 1].text, list.entries[i].text, Qt::CaseInsensitive), 0)
                << list.entries[i].text;
    }
    EXPECT_EQ(FindOptionList(1006), nullptr); // a slider, not a list
}

int BlanksAfterColon(const char* text)
{
    const std::string s = text;
    const auto colon = s.find(':');
    return static_cast<int>(s.find_first_not_of(' ', colon + 1) - colon - 1);
}

TEST(OptionListTable, NotableEntriesAndTheirBlanks)
{
    const struct { ListId list; int index; const char* text; int blanks; } kCases[] = {
        {ListId::ShutterMode, 9, "auto mode", -1},     {ListId::ShutterMode, 10, "Lim.auto mode", -1},
        {ListId::SensUpMode, 0, "0:  Off", 2},         {ListId::SensUpMode, 1, "1:    2 times", 4},
        {ListId::SensUpMode, 4, "4:   16 times", 3},   {ListId::SensUpMode, 8, "8:  256 times", 2},
        {ListId::DnMode, 0, "0:  BandW", 2},           {ListId::DnMode, 1, "1:  Colour", 2},
        {ListId::DnMode, 2, "2:  Auto", 2},            {ListId::BlcGain, 1, "1:   Medium", 3},
        {ListId::ColourBurst, 1, "1: On", 1},          {ListId::WbMode, 5, "5:   AWC-SET/Run", 3},
        {ListId::BlcWindowPos, 5, "6: Right Center", 1},
    };
    for (const auto& c : kCases) {
        const char* text = OptionList(c.list).entries[static_cast<std::size_t>(c.index)].text;
        EXPECT_STREQ(text, c.text);
        if (c.blanks >= 0) {
            EXPECT_EQ(BlanksAfterColon(text), c.blanks) << text;
        }
    }
}

TEST(OptionListTable, PlainListsSendTheirIndex)
{
    for (ListId list : {ListId::MaxShutter, ListId::MinShutter, ListId::SensUpMode, ListId::DnMode,
                        ListId::ColourBurst, ListId::BlcMode, ListId::BlcGain, ListId::WbMode}) {
        const auto entries = OptionList(list).entries;
        for (std::size_t i = 0; i < entries.size(); ++i)
            EXPECT_EQ(entries[i].value, i) << entries[i].text;
    }
}

TEST(OptionListMapping, ShutterCodesAndIndexes)
{
    for (std::int32_t i = 0; i <= kShutterLimitedAutoIndex; ++i)
        EXPECT_EQ(ShutterCodeToIndex(ShutterIndexToCode(i)), i);
    const struct { std::int32_t code, index; } kFromCamera[] = {
        {0x00, 0}, {0x07, 7}, {0x0A, 8}, {0x0F, 9}, {0x1F, 10}, {0xFF, 9}, {0x08, 8}, {0x20, 0x20}, {0xFE, 0xFE},
    };
    for (const auto& c : kFromCamera)
        EXPECT_EQ(ShutterCodeToIndex(c.code), c.index) << c.code;
    EXPECT_EQ(ShutterIndexToCode(8), 0x0A);
    EXPECT_EQ(ShutterIndexToCode(-1), 0xFFFF); // nothing chosen
}

TEST(OptionListMapping, WindowPositionFollowsItsNibbles)
{
    const auto place = [](unsigned nibble) { return nibble == 0 ? 0 : nibble == 3 ? 1 : 2; };
    for (std::int32_t i = 0; i < 9; ++i) {
        const std::uint16_t code = WindowPosIndexToCode(i).value();
        EXPECT_EQ(i, 3 * place(code >> 4) + place(code & 0xF)) << code;
        EXPECT_EQ(WindowPosCodeToIndex(code), i);
    }
    for (std::uint16_t code : {0x04, 0x34, 0x90, 0xFF, 0x0133})
        EXPECT_EQ(WindowPosCodeToIndex(code), kWindowPosUnknownIndex) << code;
    EXPECT_EQ(WindowPosCodeToIndex(kWindowPosReplacementCode), kWindowPosUnknownIndex);
    EXPECT_FALSE(WindowPosIndexToCode(-1));
    EXPECT_FALSE(WindowPosIndexToCode(9));
}

// The code's low nibble is the horizontal factor, which the text names first.
TEST(OptionListMapping, WindowSizeIsTheExactInverseOfItsList)
{
    const auto entries = OptionList(ListId::BlcWindowSize).entries;
    for (std::int32_t i = 0; i < 16; ++i) {
        const std::uint16_t code = WindowSizeIndexToCode(i).value();
        const std::string text = entries[static_cast<std::size_t>(i)].text; // "NN: HxV hxv"
        EXPECT_EQ(text.substr(8), std::to_string(code & 0xF) + "x" + std::to_string(code >> 4));
        EXPECT_EQ(WindowSizeCodeToIndex(code), i) << text;
    }
    int known = 0;
    for (std::uint32_t code = 0; code <= 0xFFFF; ++code) {
        const std::int32_t index = WindowSizeCodeToIndex(static_cast<std::uint16_t>(code));
        if (WindowSizeIndexToCode(index) == code)
            ++known;
        else
            EXPECT_EQ(index, kWindowSizeUnknownIndex) << code;
    }
    EXPECT_EQ(known, 16);
    EXPECT_EQ(WindowSizeCodeToIndex(0x12), 1); // "02: HxV 2x1"
    EXPECT_EQ(WindowSizeCodeToIndex(kWindowSizeReplacementCode), kWindowSizeUnknownIndex);
    EXPECT_FALSE(WindowSizeIndexToCode(16));
}

TEST(OptionListFill, SelectsTheFirstEntryBeginningWithTheText)
{
    const struct { ListId list; const char* member; int index; } kCases[] = {
        {ListId::DnMode, "2", 2},                {ListId::MaxShutter, "1: 1/250s", 1},
        {ListId::ShutterMode, "AUTO", 9},        {ListId::ShutterMode, "lim.AUTO mode", 10},
        {ListId::SensUpMode, "0:  off", 0},      {ListId::SensUpMode, "0: Off", -1},
        {ListId::WbMode, "6:   AWC-SET", 6},     {ListId::DnMode, "2:  Auto mode", -1},
        {ListId::BlcGain, "Medium", -1},         {ListId::BlcGain, "", -1},
        {ListId::ShutterMode, "auto mode\xc3\xa9", -1},
    };
    CDropDownCombo combo;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.member);
        combo.setEditText("typed");
        FillList(combo, c.list, QString::fromUtf8(c.member));
        const auto entries = OptionList(c.list).entries;
        ASSERT_EQ(combo.count(), static_cast<int>(entries.size()));
        for (int i = 0; i < combo.count(); ++i)
            EXPECT_EQ(combo.itemText(i), entries[static_cast<std::size_t>(i)].text);
        EXPECT_EQ(combo.currentIndex(), c.index);
        EXPECT_EQ(combo.lineEdit()->text(),
                  c.index < 0 ? QString() : QString(entries[static_cast<std::size_t>(c.index)].text));
    }
}

TEST(OptionListFill, RefillKeepsTheChoiceAndEmitsNothing)
{
    CDropDownCombo combo;
    combo.addItems({"left over", "from the template"});
    QSignalSpy spies[] = {
        {&combo, &CDropDownCombo::dropDown},      {&combo, &CDropDownCombo::closeUp},
        {&combo, &QComboBox::activated},          {&combo, &QComboBox::currentIndexChanged},
        {&combo, &QComboBox::editTextChanged},    {combo.lineEdit(), &QLineEdit::textEdited},
    };
    for (const auto& list : OptionLists()) {
        const QString member = list.entries.back().text;
        FillList(combo, list, member);
        FillList(combo, list, combo.currentText());
        EXPECT_EQ(combo.currentIndex(), static_cast<int>(list.entries.size()) - 1) << list.caption;
    }
    FillList(combo, ListId::BlcWindowSize, "");
    SelectListIndex(combo, 2);
    EXPECT_EQ(combo.currentText(), "03: HxV 4x1");
    SelectListIndex(combo, combo.count());
    EXPECT_EQ(combo.currentIndex(), -1);
    EXPECT_EQ(combo.currentText(), QString());
    for (const QSignalSpy& spy : spies)
        EXPECT_EQ(spy.count(), 0) << spy.signal().constData();
}

} // namespace
} // namespace zarnix
