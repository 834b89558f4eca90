// Copies the camera's settings blocks between the camera and a settings file:
// camera to file, and file to camera with a read-back check and the commit.
// The window and the command-line tool both drive this one engine.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "camera/camera_control.h"
#include "settings/settings_file.h"

namespace zarnix {

// One step of the progress bar, counted exactly as the window's bar steps.
using CProgressStep = std::function<void()>;

// Bar steps of a camera to file: 128 for the Eeprom block, 86 for each other block.
unsigned CameraToFileSteps(bool allRegisters);
// Bar steps of a Verify of the Eeprom block and the other blocks `blocks` names:
// one a register compared.
unsigned VerifySteps(const std::array<bool, kSettingsBlockCount>& blocks);
// Bar steps of a file to camera that writes the given blocks 1-4 and whose check
// passes: 17 + 85 a block for the writes, 5 + 17/22/26/25 for the check.
unsigned FileToCameraSteps(const std::array<bool, kSettingsBlockCount>& written);

// The blocks a file to camera writes from `image`: the Eeprom block, and with
// `allRegisters` every other block the image holds (its marker entry names it).
std::array<bool, kSettingsBlockCount> BlocksWritten(std::span<const std::uint16_t> image, bool allRegisters);

// VerifyTransfer's answer when a read-back read failed on the bus (no block's
// mismatch code reaches it).
constexpr std::uint16_t kVerifyReadFailed = 0xFFFF;
// VerifyTransfer's answer when the operator stopped the check.
constexpr std::uint16_t kVerifyStopped = 0xFFFE;

enum class ETransferResult {
    Done,          // file written, or camera written, checked and committed
    BadFile,       // the file could not be read or is not a settings file; camera untouched
    WriteFailed,   // the settings file could not be written
    BusFailure,    // an adapter transaction failed; the transfer stopped there
    Mismatch,      // the read-back differed; no commit was sent
    Stopped,       // stopped on request between two registers: no file written, or no commit sent
};

// A register whose value in the camera is not the settings file's.
struct CDifference {
    std::uint8_t bank;
    std::uint8_t index;
    std::uint16_t file;
    std::uint16_t camera;
};
// The setting a differing register holds, where it has one: the stored settings
// (a0:00 to a0:30) keep the live registers' settings; "" elsewhere.
std::string SettingNameOf(const CDifference& difference);

class CSettingsTransfer {
public:
    struct CRegister {
        std::uint8_t bank;
        std::uint8_t index;
    };

    CSettingsTransfer(CLinkContext& context, std::uint16_t cameraAddress, CProgressStep step = {},
                      CStopCheck stop = {});

    // Reads the Eeprom block (and with `allRegisters` the ISP and Stat blocks) and
    // writes them to `path`. The file is opened for replacing before the first
    // read: a name that cannot be written fails with no bus traffic. Stops at the
    // first failed read; no file is written then and the temporary file is removed.
    ETransferResult CameraToFile(const std::string& path, bool allRegisters);
    // The same into `file`, opened for `path` already (OpenSettingsFile), so that a
    // caller may find out before it even looks for the camera.
    ETransferResult CameraToFile(CFileReplacement& file, const std::string& path, bool allRegisters);
    // Reads the Eeprom block, and the other blocks `blocks` names, as CameraToFile
    // reads them, into `image` (kSettingsImageSize entries, the markers set for
    // the blocks read). Stops at the first failed read or at the operator's word,
    // telling the operator with `consequence` ("no file written") after the register.
    ETransferResult ReadCamera(const std::array<bool, kSettingsBlockCount>& blocks, std::vector<std::uint16_t>& image,
                               const char* consequence);
    // Reads the registers of `image` (a checked file's) that a file to camera would
    // write, each as CameraToFile reads it, and lists every one whose value
    // differs. Reads nothing else, and writes nothing to the camera.
    ETransferResult Verify(std::span<const std::uint16_t> image, bool allRegisters,
                           std::vector<CDifference>& differences);
    // The registers Verify reads and compares: those a file to camera writes.
    static unsigned ComparedRegisters(const std::array<bool, kSettingsBlockCount>& blocks);
    // Reads the file once and checks it, then writes what was checked as below.
    ETransferResult FileToCamera(const std::string& path, bool allRegisters);
    // Reads the file once and checks it into `image` (kSettingsImageSize entries);
    // anything but Done has been told to the operator, and the camera is untouched.
    ETransferResult ReadImage(const std::string& path, std::vector<std::uint16_t>& image);
    // Writes the Eeprom block of `image` (a checked file's, kSettingsImageSize
    // entries) and, with `allRegisters`, its present blocks to the camera, reads
    // them back and commits only on a clean check.
    ETransferResult FileToCamera(std::span<const std::uint16_t> image, bool allRegisters);
    // Reads back what `image` says was written: 0 when all matches, the first
    // mismatch's code (0x1000 + k for Eeprom, 256 * b + k for block b),
    // kVerifyReadFailed or kVerifyStopped.
    std::uint16_t VerifyTransfer(std::span<const std::uint16_t> image, const std::array<bool, kSettingsBlockCount>& written);

    struct CReadPlan;

    // After a run that ended in BusFailure: the register whose transaction failed,
    // and the adapter's status for it.
    std::optional<CRegister> FailedRegister() const { return m_failed; }
    Status FailedStatus() const { return m_failedStatus; }
    // After a run that ended in Mismatch: its code, as VerifyTransfer gives it.
    std::uint16_t Mismatch() const { return m_mismatch; }
    // After a file to camera that wrote registers and did not commit them: which
    // registers hold the file's values until the camera is powered off ("registers
    // a0:00 to a0:1f already hold the file's values; nothing was committed, ...").
    // "" when none were written, or the run committed them.
    std::string Uncommitted() const;
    // A stop message of a file to camera carries Uncommitted() at its end; the
    // window keeps its box short and shows that on its status line instead.
    void KeepStopMessagesShort() { m_bShortStop = true; }

private:
    ETransferResult ReadPlanned(const CReadPlan& plan, const std::array<bool, kSettingsBlockCount>& blocks,
                                std::vector<std::uint16_t>& image, const char* consequence);
    void Step();
    // Tells the operator which register the failed transaction was for, and keeps it.
    void ReportFailure(const char* what, std::uint8_t bank, std::uint8_t index, Status status);
    // Tells the operator of a register.
    void ReportRegister(const char* what, std::uint8_t bank, std::uint8_t index);
    static std::string RegisterText(const char* format, std::uint8_t bank, std::uint8_t index);
    // Keeps a register a file to camera has written.
    void Written(std::uint8_t bank, std::uint8_t index);
    // A file to camera's stop message, with what it leaves uncommitted.
    void TellStopped(const std::string& text);
    // Whether the operator asked to stop; if so tells what the transfer had done:
    // `after` names the last register handled, `none` is for when there was none.
    bool StopHere(const char* after, const char* none);

    CLinkContext& m_context;
    CCameraControl m_camera;
    CProgressStep m_step;
    CStopCheck m_stop;
    std::optional<CRegister> m_lastDone; // the last register read or written in this run
    std::optional<CRegister> m_failed;   // where this run met a bus failure
    Status m_failedStatus = kStatusOk;
    std::uint16_t m_mismatch = 0;        // the mismatch this run ended on
    struct CWritten {
        std::uint8_t bank, first, last;
    };
    std::vector<CWritten> m_written;     // runs of registers written and not committed
    bool m_bShortStop = false;
};

} // namespace zarnix
