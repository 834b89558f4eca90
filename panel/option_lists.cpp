#include "panel/option_lists.h"

#include <QSignalBlocker>

#include "panel/drop_down_combo.h"

namespace zarnix {

namespace {

constexpr COptionEntry kShutterMode[] = {
    {"1: 1/50 or 1/60 Sec", 0x00}, {"2: Flickerless (1/100-1/120Sec)", 0x01}, {"3: 1/250 s", 0x02},
    {"4: 1/500 s", 0x03}, {"5: 1/1000s", 0x04}, {"6: 1/2000s", 0x05}, {"7: 1/5000 Sec", 0x06},
    {"8: 1/10000 Sec", 0x07}, {"9: 1/100000 Sec", 0x0A}, {"auto mode", 0x0F}, {"Lim.auto mode", 0x1F},
};
constexpr COptionEntry kMaxShutter[] = {
    {"0: Flickerless", 0}, {"1: 1/250s", 1},    {"2: 1/500 s", 2},   {"3: 1/1000 s", 3},
    {"4: 1/2000 s", 4},    {"5: 1/5000 s", 5}, {"6: 1/10000 s", 6}, {"7: 1/100000 s", 7},
};
constexpr COptionEntry kMinShutter[] = {
    {"0: 1/50 or 1/60s", 0}, {"1: Flickerless", 1}, {"2: 1/250 s", 2},  {"3: 1/500 s", 3},
    {"4: 1/1000 s", 4},      {"5: 1/2000 s", 5},    {"6: 1/5000 s", 6}, {"7: 1/10000 s", 7},
};
constexpr COptionEntry kSensUpMode[] = {
    {"0:  Off", 0},       {"1:    2 times", 1}, {"2:    4 times", 2}, {"3:    8 times", 3}, {"4:   16 times", 4},
    {"5:   32 times", 5}, {"6:   64 times", 6}, {"7:  128 times", 7}, {"8:  256 times", 8},
};
constexpr COptionEntry kDnMode[] = {{"0:  BandW", 0}, {"1:  Colour", 1}, {"2:  Auto", 2}};
constexpr COptionEntry kColourBurst[] = {{"0: Off", 0}, {"1: On", 1}};
constexpr COptionEntry kBlcMode[] = {{"0:  Off", 0}, {"1:  BLC", 1}, {"2:  HBLC", 2}};
constexpr COptionEntry kBlcGain[] = {{"0:   Low", 0}, {"1:   Medium", 1}, {"2:   High", 2}};
constexpr COptionEntry kWindowPos[] = {
    {"1: Left Top", 0x00},     {"2: Center Top", 0x03},  {"3: Right Top", 0x07},
    {"4: Left Center", 0x30},  {"5: CENTER", 0x33},      {"6: Right Center", 0x37},
    {"7: Left Bottom", 0x70},  {"8: Center Bottom", 0x73}, {"9: Right Bottom", 0x77},
};
constexpr COptionEntry kWindowSize[] = {
    {"01: HxV 1x1", 0x11}, {"02: HxV 2x1", 0x12}, {"03: HxV 4x1", 0x14}, {"04: HxV 8x1", 0x18},
    {"05: HxV 1x2", 0x21}, {"06: HxV 2x2", 0x22}, {"07: HxV 4x2", 0x24}, {"08: HxV 8x2", 0x28},
    {"09: HxV 1x4", 0x41}, {"10: HxV 2x4", 0x42}, {"11: HxV 4x4", 0x44}, {"12: HxV 8x4", 0x48},
    {"13: HxV 1x8", 0x81}, {"14: HxV 2x8", 0x82}, {"15: HxV 4x8", 0x84}, {"16: HxV 8x8", 0x88},
};
constexpr COptionEntry kWbMode[] = {
    {"0:   ATW", 0},         {"1:   AWB", 1},    {"2:   Manual", 2}, {"3:   Indoor", 3}, {"4:   outdoorl", 4},
    {"5:   AWC-SET/Run", 5}, {"6:   AWC-SET", 6},
};

struct CListTable {
    int id;
    std::span<const COptionEntry> entries;
};
constexpr CListTable kLists[] = {
    {1002, kShutterMode}, {1035, kMaxShutter}, {1045, kMinShutter}, {1005, kSensUpMode},
    {1003, kDnMode},      {1004, kColourBurst}, {1021, kBlcMode},   {1022, kBlcGain},
    {1026, kWindowPos},   {1036, kWindowSize},  {1027, kWbMode},
};

// The entry that sends `code`, or `fallback` for a code the list does not send.
std::int32_t IndexOfValue(std::span<const COptionEntry> entries, std::uint16_t code, std::int32_t fallback)
{
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].value == code)
            return static_cast<std::int32_t>(i);
    return fallback;
}

constexpr std::int32_t kWindowPosCentre = 4;  // "5: CENTER"
constexpr std::int32_t kWindowSizeFallback = 5; // "06: HxV 2x2"

} // namespace

std::span<const COptionEntry> OptionEntries(int id)
{
    for (const auto& list : kLists)
        if (list.id == id)
            return list.entries;
    return {};
}

void FillList(CDropDownCombo& combo, int id, const QString& text)
{
    // Filling is the program's doing, not the operator's: no handler may hear of it.
    const QSignalBlocker quiet(combo);
    combo.clear();
    for (const auto& entry : OptionEntries(id))
        combo.addItem(QString::fromLatin1(entry.text));
    for (int i = 0; i < combo.count(); ++i)
        if (combo.itemText(i).startsWith(text, Qt::CaseInsensitive)) {
            combo.setCurrentIndex(i);
            return;
        }
    combo.setCurrentIndex(-1);
    combo.clearEditText();
}

std::int32_t ShutterCodeToIndex(std::int32_t code)
{
    switch (code) {
    case 0x0A: return 8;
    case 0x0F: return 9;
    case 0x1F: return kShutterLimitedAutoIndex;
    case 0xFF: return 9; // not read: automatic
    default: return code;
    }
}

std::int32_t WindowPosCodeToIndex(std::uint16_t code) { return IndexOfValue(kWindowPos, code, kWindowPosCentre); }

// The exact inverse of what the list sends, so opening and closing the list
// writes back the code the camera had.
std::int32_t WindowSizeCodeToIndex(std::uint16_t code)
{
    return IndexOfValue(kWindowSize, code, kWindowSizeFallback);
}

} // namespace zarnix
