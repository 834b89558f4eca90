// The window's controls as tables: each list, slider and value box with what it
// writes on the camera, taken by the wiring, the handlers and the refresh alike.
// The form's generated members are named in the rows, so that a control is
// known by its name and nowhere by a number.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <span>

#include "camera/camera_control.h"
#include "panel/option_lists.h"

class QLineEdit;
class QSlider;
class QWidget;

namespace Ui {
class ControlPanel;
}

namespace zarnix {

class CDropDownCombo;

struct CListRow {
    ListId id;
    CDropDownCombo* Ui::ControlPanel::*list;
};
std::span<const CListRow> ListRows();
// The register a list writes and, for a BLC window list, the one of BLC mode 2.
struct CListRegisters {
    ESetCommand command;
    std::optional<ESetCommand> blcMode2;
};
CListRegisters ListRegisters(ListId list);
// The entry of the settings copy a list shows and keeps: its register, for a BLC
// window list the one of BLC mode 1.
std::uint8_t ListEntry(ListId list);

enum class ESliderAction {
    Standard, // the box shows the position, the register takes it
    SuLevel,  // the box shows the level's label
    Marker,   // the position goes out as a high and a low register
    Zoom,     // the box shows the settings copy after the write
};

struct CSliderRow {
    QSlider* Ui::ControlPanel::*slider;
    int minimum;
    int maximum;
    ESliderAction action;
    ESetCommand command;                       // for a marker: its high register
    QLineEdit* Ui::ControlPanel::*box = nullptr; // the value box that shows it; none for a marker
    ESetCommand low{};                         // a marker's low register
};
// Every slider, in the order the refresh sets them.
std::span<const CSliderRow> SliderRows();

// A value box: a number at or above the limit is taken as the limit and the box
// then shows the limit text; a box with a floor takes it for 0. The limit texts
// are the window's own: not all of them are hexadecimal.
struct CBoxRow {
    QLineEdit* Ui::ControlPanel::*box;
    std::uint16_t limit;
    const char* limitText; // none: the box shows the SU level's label
    std::uint16_t floor;   // 0: the box has none
    const char* floorText;
    QSlider* Ui::ControlPanel::*slider; // none: the box is Com.Delay, which moves nothing and sends nothing
    ESetCommand command;
};
std::span<const CBoxRow> BoxRows();

// The entry of the settings copy, and of the read-back, that a command's register fills.
inline std::uint8_t EntryOf(ESetCommand command) { return SetCommandInfo(command).index; }

// The pixel-correction SU level as the camera's menu names it: 0 to 4 are x4 to x64.
inline constexpr const char* kSuLevelLabels[] = {"x4", "x8", "x16", "x32", "x64"};

// "AWC set and run" measures the white once; what the camera should keep
// afterwards is the measured setting, "AWC set".
constexpr std::uint16_t kWbAwcSetAndRun = 5, kWbAwcSet = 6;

// Key codes of the camera's on-screen menu on register 0x30:0x40.
enum EOsdKey : std::uint16_t { kOsdLeft = 1, kOsdRight = 2, kOsdUp = 3, kOsdDown = 4, kOsdEnter = 5 };
// Register 0x30:0x41: what the automatic correction does.
constexpr std::uint16_t kCorrectionStart = 1, kCorrectionClearAll = 2;
// The two field registers count the fields the opposite way round.
constexpr std::uint16_t kAutoFieldOdd = 1, kAutoFieldEven = 0;
constexpr std::uint8_t kManualFieldOdd = 0, kManualFieldEven = 1;

// The file dialog of "Browse": an existing settings file to write into the
// camera, an existing or a new one to copy the camera into. Empty: cancelled.
QString ChooseSettingsFile(QWidget& parent, bool cameraToFile);

} // namespace zarnix
