// The camera's register map: banks, the live settings registers with their set
// commands and value rules, and the index sets of the read-back and the store.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zarnix {

// Register banks of the camera module.
enum EBank : std::uint8_t {
    kBankLive = 0x30,       // live settings, written by the set commands
    kBankLiveMirror = 0xA1, // read-back of the live settings: index i is 0x30:i
    kBankEeprom = 0xA0,     // stored settings, loaded by the camera at power-up
    kBankIspB0 = 0xE0,      // image signal processor block 0
    kBankIspB1 = 0xE2,      // image signal processor block 1
    kBankStatB0 = 0xF0,     // statistics block 0
    kBankStatB1 = 0xF2,     // statistics block 1
    kBankControl = 0x88,    // control registers; only the commit register is used
};

constexpr std::uint8_t kCommitIndex = 0x13; // 0x88:0x13, makes the camera keep what was written
constexpr std::uint8_t kCommitValue = 0xAA;

// How a set command limits its argument before it goes on the bus.
enum class EValueRule : std::uint8_t {
    Unchanged, // sent as given (its low byte on the bus)
    AtMost1,   // on/off style registers: anything above 1 is 1
    AtMost3,   // bits 8-9 of a marker position
    AtMost4,   // the last manual correction slot
    AtMostCB,  // pan and tilt stop at 0xCB
    AtLeast8,  // the zoom factor starts at 8
    OsdSwitch, // OSD control: a non-zero low byte turns the menu on with 5
};

std::uint16_t ApplyValueRule(EValueRule rule, std::uint16_t value);

// The set commands of bank 0x30, one row each: command, index, value rule,
// setting, values the camera takes. Two commands share 0x40 (OSD key and switch).
#define ZARNIX_SET_COMMANDS(X)                                                                        \
    X(SetShutterMode, 0x00, Unchanged, "Shutter mode", "0-7, 0x0A, 0x0F, 0x1F")                       \
    X(SetSensUpMode, 0x01, Unchanged, "Sens-up mode", "list position")                                \
    X(SetDigitalGainY, 0x02, Unchanged, "Digital gain, luminance", "0x01-0xFF")                       \
    X(SetDigitalGainC, 0x03, Unchanged, "Digital gain, chrominance", "0x01-0xFF")                     \
    X(SetBrightness, 0x04, Unchanged, "Brightness", "0x00-0xFF")                                      \
    X(SetScanningMode, 0x05, Unchanged, "Scanning mode", "0-3: bit 0 mirror, bit 1 V-flip")           \
    X(SetSharpness, 0x06, Unchanged, "Sharpness level", "0x00-0x1F")                                  \
    X(SetAnalogGain, 0x07, Unchanged, "Analog gain", "0x01-0xFF")                                     \
    X(SetWhiteBalanceMode, 0x08, Unchanged, "White balance mode",                                     \
      "0 ATW, 1 AWB, 2 manual, 3 indoor, 4 outdoor, 5 AWC set and run, 6 AWC set")                    \
    X(SetBGain, 0x09, Unchanged, "White balance blue gain", "0-100")                                  \
    X(SetRGain, 0x0A, Unchanged, "White balance red gain", "0-100")                                   \
    X(SetBlcMode, 0x10, Unchanged, "Back light compensation mode", "list position")                   \
    X(SetBlcGain, 0x11, Unchanged, "Back light compensation gain", "list position")                   \
    X(SetHsblcLevel, 0x12, Unchanged, "HSBLC level", "0-8")                                           \
    X(SetBlcWindowPos1, 0x13, Unchanged, "Window position, BLC mode 1", "0xVH, V and H 0, 3 or 7")    \
    X(SetBlcWindowSize1, 0x14, Unchanged, "Window size, BLC mode 1", "0xVH, V and H 1, 2, 4 or 8")    \
    X(SetBlcWindowPos2, 0x15, Unchanged, "Window position, BLC mode 2", "0xVH, V and H 0, 3 or 7")    \
    X(SetBlcWindowSize2, 0x16, Unchanged, "Window size, BLC mode 2", "0xVH, V and H 1, 2, 4 or 8")    \
    X(Set3dnrMode, 0x18, Unchanged, "3D noise reduction mode", "0-3: bit 0 on, bit 1 automatic")      \
    X(Set3dnrLevel, 0x19, Unchanged, "3D noise reduction level", "0x00-0xFF")                         \
    X(Set3dnrAgcStart, 0x1A, Unchanged, "3DNR AGC start level", "0x00-0xFF")                          \
    X(Set3dnrAgcStop, 0x1B, Unchanged, "3DNR AGC stop level", "0x00-0xFF")                            \
    X(SetDayNightMode, 0x20, Unchanged, "Day/night mode", "list position")                            \
    X(SetColourBurst, 0x21, Unchanged, "Colour burst", "list position")                               \
    X(SetDayNightDelay, 0x22, Unchanged, "Day/night switching delay", "0-63")                         \
    X(SetDayNightStart, 0x23, Unchanged, "Day/night start level", "0-100")                            \
    X(SetDayNightStop, 0x24, Unchanged, "Day/night stop level", "0-100")                              \
    X(SetMinShutter, 0x25, Unchanged, "Minimum shutter", "list position")                             \
    X(SetMaxShutter, 0x26, Unchanged, "Maximum shutter", "list position")                             \
    X(SetAexReference, 0x27, Unchanged, "AEX reference point", "0x01-0xFF")                           \
    X(SetLowLumSuppression, 0x28, Unchanged, "Low-luminance colour suppression", "0x00-0xFF")         \
    X(SetZoomOnOff, 0x29, AtMost1, "Digital zoom on/off", "0 or 1")                                   \
    X(SetZoomFactor, 0x2A, AtLeast8, "Zoom factor", "8-255")                                          \
    X(SetPanPosition, 0x2B, AtMostCB, "Pan position", "0-200")                                        \
    X(SetTiltPosition, 0x2C, AtMostCB, "Tilt position", "0-200")                                      \
    X(SetIris, 0x30, Unchanged, "Iris control", "0 iris off, 1 iris on")                              \
    X(SendOsdKey, 0x40, Unchanged, "OSD menu key", "1 left, 2 right, 3 up, 4 down, 5 enter")          \
    X(SetOsdControl, 0x40, OsdSwitch, "OSD control on/off", "0 off, non-zero on")                     \
    X(SetPixelCorrection, 0x41, Unchanged, "Pixel correction action", "1 start correction, 2 clear all") \
    X(SetSuLevel, 0x42, Unchanged, "Pixel correction SU level", "0-4 (x4, x8, x16, x32, x64)")        \
    X(SetDdLevel, 0x43, Unchanged, "Pixel correction DD level", "1-6")                                \
    X(SetShowCorrected, 0x44, Unchanged, "Show corrected pixels", "0 or 1")                           \
    X(SetAutoField, 0x45, AtMost1, "Field of the automatic correction", "1 odd, 0 even")              \
    X(SetManualField, 0x48, AtMost1, "Field of the manual correction", "1 even, 0 odd")               \
    X(SetPixelAddress, 0x49, AtMost4, "Manual correction address slot", "0 off, 1-4 addr1-addr4")     \
    X(SetHorMarkerLow, 0x4A, Unchanged, "Horizontal marker position, bits 0-7", "low byte of 158-909") \
    X(SetHorMarkerHigh, 0x4B, AtMost3, "Horizontal marker position, bits 8-9", "0-3")                 \
    X(SetVertMarkerLow, 0x4C, Unchanged, "Vertical marker position, bits 0-7", "low byte of 19-310")  \
    X(SetVertMarkerHigh, 0x4D, AtMost3, "Vertical marker position, bits 8-9", "0-3")                  \
    X(AssignPixel, 0x4E, AtMost1, "Assign the marked pixel to the selected slot", "1")

struct CSetCommand {
    const char* command; // the command's name, as CCameraControl has it
    std::uint8_t index;  // register 0x30:index
    EValueRule rule;
    const char* setting; // what the register controls
    const char* values;  // what the camera takes there
};

#define ZARNIX_SET_COMMAND_ROW(name, idx, rule, setting, values) {#name, idx, EValueRule::rule, setting, values},
inline constexpr CSetCommand kSetCommands[] = {ZARNIX_SET_COMMANDS(ZARNIX_SET_COMMAND_ROW)};
#undef ZARNIX_SET_COMMAND_ROW

constexpr std::size_t kSetCommandCount = std::size(kSetCommands);
static_assert(kSetCommandCount == 50);

// The shadow table covers live registers 0x30:0x00 to 0x30:0x4E.
constexpr std::size_t kShadowSize = 79;
// An entry of the shadow table that was never read.
constexpr std::uint16_t kNotRead = 0x00FF;

// The live registers the camera hands back, in the order the read-back reads
// them (through the read mirror, bank 0xA1); the gaps between the runs are
// registers it does not hand back.
struct CIndexRun {
    std::uint8_t first;
    std::uint8_t last;
};
inline constexpr CIndexRun kReadBackRuns[] = {
    {0x00, 0x0A}, {0x10, 0x1B}, {0x20, 0x28}, {0x30, 0x30}, {0x40, 0x44}, {0x48, 0x4D},
};
// The store copies the first four runs, 0x30:0x00 to 0x30:0x30, into the stored settings.
constexpr std::size_t kStoredRuns = 4;

template <std::size_t N>
constexpr std::array<std::uint8_t, N> IndexesOfRuns(std::size_t runs)
{
    std::array<std::uint8_t, N> indexes{};
    std::size_t n = 0;
    for (std::size_t r = 0; r < runs; ++r)
        for (unsigned i = kReadBackRuns[r].first; i <= kReadBackRuns[r].last; ++i)
            indexes.at(n++) = static_cast<std::uint8_t>(i);
    if (n != N)
        throw "the runs hold another number of registers";
    return indexes;
}
inline constexpr auto kReadBackIndexes = IndexesOfRuns<44>(std::size(kReadBackRuns));
inline constexpr auto kStoredIndexes = IndexesOfRuns<33>(kStoredRuns);
// One past the last stored register: a settings copy handed to the store holds at least this many.
constexpr std::size_t kStoreSettingsEnd = 0x31;

// The name the tools give a setting: "SetBrightness" is "brightness",
// "Set3dnrLevel" "3dnr-level", "SendOsdKey" "osd-key".
std::string SettingName(const CSetCommand& command);
// The setting register 0x30:index holds: the name of the first set command
// there, or "" where no command writes it.
std::string SettingNameAt(std::uint8_t index);
// The register 0x30:index as `zarnixctl show` names it: SettingNameAt, or
// "reserved-XX" for a register that is read back but has no command.
std::string RegisterName(std::uint8_t index);
// By its tool name or its command name ("brightness", "SetBrightness"), any case.
const CSetCommand* FindSetCommand(std::string_view name);

// Protocol pauses of the command set, in milliseconds.
constexpr unsigned kReadSettingsPassPauseMs = 40; // after every pass of the read-back
constexpr unsigned kStoreSettingsPauseMs = 330;   // after every stored register

} // namespace zarnix
