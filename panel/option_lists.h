// The window's eleven option lists: what each holds, in list order, and what
// each entry sends to the camera; plus the mappings from camera codes to entries.
#pragma once

#include <QString>

#include <cstdint>
#include <span>

namespace zarnix {

class CDropDownCombo;

struct COptionEntry {
    const char* text;
    std::uint16_t value; // what choosing the entry sends to the camera
};

// The entries of list `id` (1002, 1035, 1045, 1005, 1003, 1004, 1021, 1022, 1026,
// 1036, 1027) in list order, which is the case-insensitive order of their texts.
std::span<const COptionEntry> OptionEntries(int id);

// Empties the list, adds its entries and selects the first whose text begins
// with `text` (case ignored; an empty text begins every entry). Nothing is
// selected, and the text field stays empty, when no entry matches.
void FillList(CDropDownCombo& combo, int id, const QString& text);

// The Shutter mode entry that shows the camera's shutter code; an unread
// register shows "auto mode".
std::int32_t ShutterCodeToIndex(std::int32_t code);
constexpr std::int32_t kShutterLimitedAutoIndex = 10; // "Lim.auto mode": the only mode with limits

// The Window Pos. and Window Size entries that send a camera code; codes the
// lists do not know show the centre entry.
std::int32_t WindowPosCodeToIndex(std::uint16_t code);
std::int32_t WindowSizeCodeToIndex(std::uint16_t code);

} // namespace zarnix
