// The window's 23 sliders in one table: each one's range, the register it sets,
// the value box that shows it and how its release acts on the camera. The
// refresh takes ranges and registers from here, the scroll handler its actions.
#pragma once

#include <cstdint>
#include <span>

#include "panel/main_dialog.h"

namespace zarnix {

enum class ESliderAction {
    Standard, // the box shows the position, the register takes it
    SuLevel,  // the box shows the level's label
    Marker,   // the position goes out as a high and a low register
    Zoom,     // the box shows the settings copy after the write
};

struct CSliderRow {
    int slider;
    int minimum;
    int maximum;
    ESliderAction action;
    ESetCommand command;                                      // for a marker: its high register
    QString CMyQuorel_controller_r2_1Dlg::*text = nullptr;    // the value box's text; none for a marker
    ESetCommand low{};                                        // a marker's low register
    std::int32_t CMyQuorel_controller_r2_1Dlg::*position = nullptr; // a marker's position member
};

// Every slider, in the order the scroll handler tests them.
std::span<const CSliderRow> SliderRows();

// The row of one slider; null for an id that is no slider.
const CSliderRow* FindSliderRow(int slider);

// The entry of the settings copy, and of the read-back, that a command's register fills.
inline std::uint8_t EntryOf(ESetCommand command) { return SetCommandInfo(command).index; }

} // namespace zarnix
