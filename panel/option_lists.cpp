#include "panel/option_lists.h"

#include <QByteArray>
#include <QSignalBlocker>
#include <QString>

#include <algorithm>
#include <array>

#include "panel/drop_down_combo.h"

namespace zarnix {

namespace {

// Blanks inside the texts are deliberate: the numbers line up in the list.

constexpr COptionEntry kShutterModeEntries[] = {
    {"1: 1/50 or 1/60 Sec", 0x00},
    {"2: Flickerless (1/100-1/120Sec)", 0x01},
    {"3: 1/250 s", 0x02},
    {"4: 1/500 s", 0x03},
    {"5: 1/1000s", 0x04},
    {"6: 1/2000s", 0x05},
    {"7: 1/5000 Sec", 0x06},
    {"8: 1/10000 Sec", 0x07},
    {"9: 1/100000 Sec", 0x0A},
    {"auto mode", 0x0F},
    {"Lim.auto mode", 0x1F},
};

constexpr COptionEntry kMaxShutterEntries[] = {
    {"0: Flickerless", 0}, {"1: 1/250s", 1},    {"2: 1/500 s", 2},    {"3: 1/1000 s", 3},
    {"4: 1/2000 s", 4},    {"5: 1/5000 s", 5},  {"6: 1/10000 s", 6},  {"7: 1/100000 s", 7},
};

constexpr COptionEntry kMinShutterEntries[] = {
    {"0: 1/50 or 1/60s", 0}, {"1: Flickerless", 1}, {"2: 1/250 s", 2},   {"3: 1/500 s", 3},
    {"4: 1/1000 s", 4},      {"5: 1/2000 s", 5},    {"6: 1/5000 s", 6},  {"7: 1/10000 s", 7},
};

constexpr COptionEntry kSensUpModeEntries[] = {
    {"0:  Off", 0},       {"1:    2 times", 1}, {"2:    4 times", 2},
    {"3:    8 times", 3}, {"4:   16 times", 4}, {"5:   32 times", 5},
    {"6:   64 times", 6}, {"7:  128 times", 7}, {"8:  256 times", 8},
};

constexpr COptionEntry kDnModeEntries[] = {
    {"0:  BandW", 0},
    {"1:  Colour", 1},
    {"2:  Auto", 2},
};

constexpr COptionEntry kColourBurstEntries[] = {
    {"0: Off", 0},
    {"1: On", 1},
};

constexpr COptionEntry kBlcModeEntries[] = {
    {"0:  Off", 0},
    {"1:  BLC", 1},
    {"2:  HBLC", 2},
};

constexpr COptionEntry kBlcGainEntries[] = {
    {"0:   Low", 0},
    {"1:   Medium", 1},
    {"2:   High", 2},
};

// Position code 0xVH: V the row (0 top, 3 centre, 7 bottom), H the column
// (0 left, 3 centre, 7 right).
constexpr COptionEntry kBlcWindowPosEntries[] = {
    {"1: Left Top", 0x00},    {"2: Center Top", 0x03},    {"3: Right Top", 0x07},
    {"4: Left Center", 0x30}, {"5: CENTER", 0x33},        {"6: Right Center", 0x37},
    {"7: Left Bottom", 0x70}, {"8: Center Bottom", 0x73}, {"9: Right Bottom", 0x77},
};

// Size code 0xVH: V the vertical and H the horizontal factor; the text names
// the horizontal factor first.
constexpr COptionEntry kBlcWindowSizeEntries[] = {
    {"01: HxV 1x1", 0x11}, {"02: HxV 2x1", 0x12}, {"03: HxV 4x1", 0x14}, {"04: HxV 8x1", 0x18},
    {"05: HxV 1x2", 0x21}, {"06: HxV 2x2", 0x22}, {"07: HxV 4x2", 0x24}, {"08: HxV 8x2", 0x28},
    {"09: HxV 1x4", 0x41}, {"10: HxV 2x4", 0x42}, {"11: HxV 4x4", 0x44}, {"12: HxV 8x4", 0x48},
    {"13: HxV 1x8", 0x81}, {"14: HxV 2x8", 0x82}, {"15: HxV 4x8", 0x84}, {"16: HxV 8x8", 0x88},
};

// Index 5 is the one-shot white balance; its close-up sends nothing, the PWB
// button sends it.
constexpr COptionEntry kWbModeEntries[] = {
    {"0:   ATW", 0},         {"1:   AWB", 1},     {"2:   Manual", 2},  {"3:   Indoor", 3},
    {"4:   outdoorl", 4},    {"5:   AWC-SET/Run", 5}, {"6:   AWC-SET", 6},
};

constexpr std::array<COptionList, kOptionListCount> kOptionLists = {{
    {ListId::ShutterMode, "Shutter mode", kShutterModeEntries},
    {ListId::MaxShutter, "Max Shutter", kMaxShutterEntries},
    {ListId::MinShutter, "Min Shutter", kMinShutterEntries},
    {ListId::SensUpMode, "SensUp mode", kSensUpModeEntries},
    {ListId::DnMode, "DN-mode", kDnModeEntries},
    {ListId::ColourBurst, "Col.Burst", kColourBurstEntries},
    {ListId::BlcMode, "BLC mode", kBlcModeEntries},
    {ListId::BlcGain, "BLC gain", kBlcGainEntries},
    {ListId::BlcWindowPos, "Window Pos.", kBlcWindowPosEntries},
    {ListId::BlcWindowSize, "Window Size", kBlcWindowSizeEntries},
    {ListId::WbMode, "mode", kWbModeEntries},
}};

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool BeginsWith(std::string_view text, std::string_view prefix)
{
    return prefix.size() <= text.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char a, char b) { return FoldCase(a) == FoldCase(b); });
}

// Index of the entry that sends `code`, or `unknown` when none does.
std::int32_t IndexOfValue(ListId list, std::uint16_t code, std::int32_t unknown)
{
    const auto entries = OptionList(list).entries;
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [code](const COptionEntry& entry) { return entry.value == code; });
    return it == entries.end() ? unknown : static_cast<std::int32_t>(it - entries.begin());
}

} // namespace

std::span<const COptionList> OptionLists() { return kOptionLists; }

const COptionList& OptionList(ListId list)
{
    // The table is in the order of the enumeration.
    return kOptionLists[static_cast<std::size_t>(list)];
}

std::optional<std::uint16_t> EntryValue(ListId list, std::int32_t index)
{
    const auto entries = OptionList(list).entries;
    if (index < 0 || static_cast<std::size_t>(index) >= entries.size())
        return std::nullopt;
    return entries[static_cast<std::size_t>(index)].value;
}

std::int32_t FindEntryByPrefix(const COptionList& list, std::string_view prefix)
{
    if (prefix.empty())
        return -1;
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        if (BeginsWith(list.entries[i].text, prefix))
            return static_cast<std::int32_t>(i);
    }
    return -1;
}

std::int32_t ShutterCodeToIndex(std::int32_t code)
{
    if (code == kNotReadCode)
        return kShutterAutoIndex;
    if (code >= 0 && code <= 0xFFFF) {
        const std::int32_t index = IndexOfValue(ListId::ShutterMode, static_cast<std::uint16_t>(code), -1);
        if (index >= 0)
            return index;
    }
    // Kept as it is: an index beyond the list shows no entry.
    return code;
}

std::int32_t WindowPosCodeToIndex(std::uint16_t code)
{
    return IndexOfValue(ListId::BlcWindowPos, code, kWindowPosUnknownIndex);
}

std::int32_t WindowSizeCodeToIndex(std::uint16_t code)
{
    return IndexOfValue(ListId::BlcWindowSize, code, kWindowSizeUnknownIndex);
}

std::int32_t ListIndexOfCode(ListId list, std::uint16_t code)
{
    switch (list) {
    case ListId::ShutterMode: return ShutterCodeToIndex(code);
    case ListId::BlcWindowPos: return WindowPosCodeToIndex(code);
    case ListId::BlcWindowSize: return WindowSizeCodeToIndex(code);
    default: return IndexOfValue(list, code, -1);
    }
}

void FillList(CDropDownCombo& combo, const COptionList& list, const QString& textMember)
{
    const QSignalBlocker blocker(combo);
    combo.clear();
    for (const COptionEntry& entry : list.entries)
        combo.addItem(QString::fromLatin1(entry.text));
    // The entries are ASCII, so a typed character outside ASCII simply matches nothing.
    const QByteArray prefix = textMember.toUtf8();
    SelectListIndex(combo, FindEntryByPrefix(list, std::string_view(prefix.constData(), prefix.size())));
}

void FillList(CDropDownCombo& combo, ListId list, const QString& textMember)
{
    FillList(combo, OptionList(list), textMember);
}

void SelectListIndex(CDropDownCombo& combo, std::int32_t index)
{
    const QSignalBlocker blocker(combo);
    if (index < 0 || index >= combo.count()) {
        // Qt chooses the first entry of a list that was empty; the window wants no choice.
        combo.setCurrentIndex(-1);
        combo.setEditText(QString());
        return;
    }
    combo.setCurrentIndex(index);
    // Text typed over a chosen entry would otherwise outlive the choice.
    combo.setEditText(combo.itemText(index));
}

} // namespace zarnix
