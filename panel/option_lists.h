// The window's eleven option lists: what each offers, the camera value behind
// each entry, and the rebuild that runs every time the operator opens a list.
//
// The handlers and the refresh speak in list indexes, so each table below is in
// the order the list shows: ascending by text, letter case ignored, exactly as a
// sorted list box would place the entries.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

class QString;

namespace zarnix {

class CDropDownCombo;

// One entry: the text the operator sees and the value its close-up sends.
struct COptionEntry {
    const char* text;
    std::uint16_t value;
};

// The eleven lists, in the order of the table of lists.
enum class ListId : int {
    ShutterMode,   // exposure programme: fixed speeds, auto, limited auto
    MaxShutter,    // one shutter limit of limited auto mode
    MinShutter,    // the other shutter limit of limited auto mode
    SensUpMode,    // frame integration factor in low light
    DnMode,        // day/night: black and white, colour, automatic
    ColourBurst,   // colour burst in the video signal
    BlcMode,       // back light compensation off, BLC, HBLC
    BlcGain,       // back light compensation strength
    BlcWindowPos,  // where the BLC window sits: nibbles 0xVH of 0, 3, 7
    BlcWindowSize, // how large it is: nibbles 0xVH of 1, 2, 4, 8
    WbMode,        // white balance mode
};

// One list of the window, named by its caption.
struct COptionList {
    ListId id;
    const char* caption;
    std::span<const COptionEntry> entries;
};

inline constexpr int kOptionListCount = 11;

// All eleven, in the order of the enum above.
std::span<const COptionList> OptionLists();
const COptionList& OptionList(ListId list);

// The value entry `index` sends; nothing for an index the list does not have.
std::optional<std::uint16_t> EntryValue(ListId list, std::int32_t index);

// First entry, in list order, whose text begins with `prefix`, letter case
// ignored; -1 when none does. An empty prefix finds nothing: a list whose text
// member is empty comes back without a choice, so that opening and closing it
// sends the "nothing chosen" value instead of quietly writing the top entry.
std::int32_t FindEntryByPrefix(const COptionList& list, std::string_view prefix);

// Shutter mode: the camera's codes are 0-7, then 0x0A, 0x0F (auto) and 0x1F
// (limited auto); the list has them at 0 to 10.
inline constexpr std::int32_t kShutterAutoIndex = 9;
inline constexpr std::uint16_t kShutterLimitedAutoCode = 0x1F;
// What the camera link reports for a register it could not read.
inline constexpr std::int32_t kNotReadCode = 0xFF;

// Code read from the camera to list index. A register that was not read shows
// auto mode; any other unknown code is kept, so the list shows no entry for it.
std::int32_t ShutterCodeToIndex(std::int32_t code);

// BLC window codes from the camera: 0x90 and above are out of range and are
// replaced by these codes before they are shown (the size replacement is no
// size at all, so it shows the unknown-size index).
inline constexpr std::int32_t kBlcWindowCodeLimit = 0x90;
inline constexpr std::int32_t kWindowPosReplacementCode = 4;
inline constexpr std::int32_t kWindowSizeReplacementCode = 2;
// Where a code that is not in the list's table is shown.
inline constexpr std::int32_t kWindowPosUnknownIndex = 4;  // "5: CENTER"
inline constexpr std::int32_t kWindowSizeUnknownIndex = 5; // "06: HxV 2x2"

// The exact inverses of the lists' own tables, so that a code read from the
// camera shows the entry that sends it, and opening and closing the list
// writes back the same code.
std::int32_t WindowPosCodeToIndex(std::uint16_t code);
std::int32_t WindowSizeCodeToIndex(std::uint16_t code);

// The entry a list shows for a code: the shutter mode and BLC window lists as
// above; in the others each entry sends its own index, and a code beyond the
// list shows no entry (-1).
std::int32_t ListIndexOfCode(ListId list, std::uint16_t code);

// Rebuilds `combo` with every entry of `list` and chooses the first entry that
// begins with `textMember` (see FindEntryByPrefix); with none, nothing is chosen
// and the text field is empty. Like the platform's own list messages it emits
// nothing, so rebuilding on open never looks like an operator's choice.
void FillList(CDropDownCombo& combo, const COptionList& list, const QString& textMember);
void FillList(CDropDownCombo& combo, ListId list, const QString& textMember);

// Chooses `index` after a fill; an index the list does not have leaves no
// choice and an empty text field. Emits nothing either.
void SelectListIndex(CDropDownCombo& combo, std::int32_t index);

} // namespace zarnix
