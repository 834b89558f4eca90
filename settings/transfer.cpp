#include "settings/transfer.h"

#include <vector>

namespace zarnix {

namespace {

// The camera's settings blocks in file order.
struct CBlock {
    std::uint8_t bank;
    std::uint8_t lastChecked;  // the read-back check stops at this index
    unsigned checkSteps;       // bar steps of its read-back check
};
constexpr CBlock kBlocks[kSettingsBlockCount] = {
    {kBankEeprom, 0x30, 5},
    {kBankIspB0, 0xAC, 17},
    {kBankIspB1, 0xDC, 22},
    {kBankStatB0, 0xFE, 26},
    {kBankStatB1, 0xFE, 25},
};

// Of the Eeprom block only the stored copy of the live registers is written.
constexpr std::uint8_t kEepromLastWritten = 0x30;
// Of the other blocks everything but the marker's index.
constexpr std::uint8_t kBlockLastWritten = 0xFE;

// Protocol pauses of a transfer, in milliseconds.
constexpr unsigned kWritePauseMs = 50;     // after every register written
constexpr unsigned kBlockPauseMs = 50;     // after the Eeprom block and blocks 1 to 3
constexpr unsigned kLastBlockPauseMs = 100; // after block 4, before the check
constexpr unsigned kCheckPauseMs = 5;      // after every register that read back right

// Bar steps of a camera to file: every other Eeprom read, every third read of the others.
constexpr unsigned kEepromReadSteps = 128;
constexpr unsigned kBlockReadSteps = 86;
// Bar steps of a file to camera's writes: every third register.
constexpr unsigned kEepromWriteSteps = 17;
constexpr unsigned kBlockWriteSteps = 85;

} // namespace

// Which registers a read of the camera's blocks takes, and how often it steps the bar.
struct CSettingsTransfer::CReadPlan {
    unsigned last[kSettingsBlockCount];      // index of each block's last register read
    unsigned stepEvery[kSettingsBlockCount]; // a step at every index that is a multiple of this
};

namespace {

// A copy to a file: every register, a step at every other Eeprom read and every third of the others.
constexpr CSettingsTransfer::CReadPlan kWholeBlocks = {{0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {2, 3, 3, 3, 3}};
// A comparison with a file: only what a file to camera writes, a step a register.
constexpr CSettingsTransfer::CReadPlan kWrittenRegisters = {
    {kEepromLastWritten, kBlockLastWritten, kBlockLastWritten, kBlockLastWritten, kBlockLastWritten}, {1, 1, 1, 1, 1}};

std::uint16_t MismatchCode(std::size_t block, std::uint8_t index)
{
    return block == 0 ? static_cast<std::uint16_t>(0x1000 + index)
                      : static_cast<std::uint16_t>(block * kSettingsBlockSize + index);
}

} // namespace

unsigned CameraToFileSteps(bool allRegisters)
{
    return kEepromReadSteps + (allRegisters ? 4 * kBlockReadSteps : 0);
}

unsigned VerifySteps(const std::array<bool, kSettingsBlockCount>& blocks)
{
    return CSettingsTransfer::ComparedRegisters(blocks);
}

unsigned FileToCameraSteps(const std::array<bool, kSettingsBlockCount>& written)
{
    unsigned steps = kEepromWriteSteps + kBlocks[0].checkSteps;
    for (std::size_t b = 1; b < kSettingsBlockCount; ++b)
        if (written[b])
            steps += kBlockWriteSteps + kBlocks[b].checkSteps;
    return steps;
}

CSettingsTransfer::CSettingsTransfer(CLinkContext& context, std::uint16_t cameraAddress, CProgressStep step,
                                     CStopCheck stop)
    : m_context(context), m_camera(context, cameraAddress), m_step(std::move(step)), m_stop(std::move(stop))
{
}

void CSettingsTransfer::Step()
{
    if (m_step)
        m_step();
}

void CSettingsTransfer::ReportFailure(const char* what, std::uint8_t bank, std::uint8_t index, Status status)
{
    m_failed = CRegister{bank, index};
    m_failedStatus = status;
    ReportRegister(what, bank, index);
}

void CSettingsTransfer::ReportRegister(const char* what, std::uint8_t bank, std::uint8_t index)
{
    m_context.messages.Show(RegisterText(what, bank, index));
}

std::string CSettingsTransfer::RegisterText(const char* format, std::uint8_t bank, std::uint8_t index)
{
    char text[kMsgBufferSize];
    FormatMsg(text, format, bank, index);
    return text;
}

void CSettingsTransfer::Written(std::uint8_t bank, std::uint8_t index)
{
    if (!m_written.empty() && m_written.back().bank == bank)
        m_written.back().last = index;
    else
        m_written.push_back({bank, index, index});
}

void CSettingsTransfer::TellStopped(const std::string& text)
{
    const std::string uncommitted = Uncommitted();
    m_context.messages.Show(m_bShortStop || uncommitted.empty() ? text : text + "; " + uncommitted);
}

std::string CSettingsTransfer::Uncommitted() const
{
    if (m_written.empty())
        return "";
    std::string ranges;
    for (std::size_t r = 0; r < m_written.size(); ++r) {
        const CWritten& w = m_written[r];
        ranges += r == 0 ? "" : r + 1 == m_written.size() ? " and " : ", ";
        ranges += RegisterText("%02x:%02x", w.bank, w.first);
        if (w.last != w.first)
            ranges += RegisterText(" to %02x:%02x", w.bank, w.last);
    }
    const bool one = m_written.size() == 1 && m_written[0].first == m_written[0].last;
    return (one ? "register " + ranges + " already holds the file's value" : "registers " + ranges +
                                                                                " already hold the file's values") +
           "; nothing was committed, the camera keeps its stored settings at the next power-on";
}

bool CSettingsTransfer::StopHere(const char* after, const char* none)
{
    if (!m_stop || !m_stop())
        return false;
    if (m_lastDone)
        ReportRegister(after, m_lastDone->bank, m_lastDone->index);
    else
        m_context.messages.Show(none);
    return true;
}

ETransferResult CSettingsTransfer::ReadCamera(const std::array<bool, kSettingsBlockCount>& blocks,
                                              std::vector<std::uint16_t>& image, const char* consequence)
{
    return ReadPlanned(kWholeBlocks, blocks, image, consequence);
}

ETransferResult CSettingsTransfer::ReadPlanned(const CReadPlan& plan,
                                               const std::array<bool, kSettingsBlockCount>& blocks,
                                               std::vector<std::uint16_t>& image, const char* consequence)
{
    m_lastDone.reset();
    m_failed.reset();
    m_failedStatus = kStatusOk;
    image.assign(kSettingsImageSize, 0xFF);
    const std::string stoppedAfter = std::string("Stopped after reading register %02x:%02x, ") + consequence;
    const std::string stopped = std::string("Stopped, ") + consequence;
    const std::string failed = std::string("Reading register %02x:%02x failed, ") + consequence;
    // Placeholders of failed reads would pass for register values: stop at the
    // first failure or at the operator's word. Nothing comes back when all went well.
    const auto read = [&](std::size_t block, unsigned index) -> std::optional<ETransferResult> {
        const auto k = static_cast<std::uint8_t>(index);
        if (StopHere(stoppedAfter.c_str(), stopped.c_str()))
            return ETransferResult::Stopped;
        const CReadResult result = m_camera.ReadRegisterChecked(kBlocks[block].bank, k);
        if (result.Failed()) {
            ReportFailure(failed.c_str(), kBlocks[block].bank, k, result.status);
            return ETransferResult::BusFailure;
        }
        image[block * kSettingsBlockSize + k] = result.value;
        m_lastDone = CRegister{kBlocks[block].bank, k};
        return std::nullopt;
    };
    for (std::size_t b = 0; b < kSettingsBlockCount; ++b) {
        if (b != 0 && !blocks[b])
            continue;
        for (unsigned k = 0; k <= plan.last[b]; ++k) {
            if (const auto end = read(b, k))
                return *end;
            if (k % plan.stepEvery[b] == 0)
                Step();
        }
        if (b != 0)
            image[MarkerEntry(b)] = static_cast<std::uint16_t>(b);
    }
    return ETransferResult::Done;
}

ETransferResult CSettingsTransfer::CameraToFile(const std::string& path, bool allRegisters)
{
    // A name that cannot be written fails before the first register is read.
    CFileReplacement file;
    if (!OpenSettingsFile(file, path, m_context.messages, m_stop))
        return ETransferResult::WriteFailed;
    return CameraToFile(file, path, allRegisters);
}

ETransferResult CSettingsTransfer::CameraToFile(CFileReplacement& file, const std::string& path, bool allRegisters)
{
    // A backup holding the placeholders of failed reads would be corrupt, and so
    // would half a backup: any existing file is left as it is then, and the
    // temporary file goes with `file`.
    std::vector<std::uint16_t> image;
    const ETransferResult read =
        ReadCamera({true, allRegisters, allRegisters, allRegisters, allRegisters}, image, "no file written");
    if (read != ETransferResult::Done)
        return read;
    const std::span<const std::uint16_t> values(image.data(), kSettingsFileValues);
    if (CommitSettingsFile(file, values, path, m_context.messages))
        return ETransferResult::Done;
    return m_stop && m_stop() ? ETransferResult::Stopped : ETransferResult::WriteFailed;
}

std::string SettingNameOf(const CDifference& difference)
{
    return difference.bank == kBankEeprom && difference.index < kStoreSettingsEnd ? SettingNameAt(difference.index)
                                                                                   : "";
}

unsigned CSettingsTransfer::ComparedRegisters(const std::array<bool, kSettingsBlockCount>& blocks)
{
    unsigned count = kEepromLastWritten + 1;
    for (std::size_t b = 1; b < kSettingsBlockCount; ++b)
        if (blocks[b])
            count += kBlockLastWritten + 1;
    return count;
}

ETransferResult CSettingsTransfer::Verify(std::span<const std::uint16_t> image, bool allRegisters,
                                          std::vector<CDifference>& differences)
{
    differences.clear();
    const std::array<bool, kSettingsBlockCount> blocks = BlocksWritten(image, allRegisters);
    std::vector<std::uint16_t> camera;
    const ETransferResult read = ReadPlanned(kWrittenRegisters, blocks, camera, "nothing compared");
    if (read != ETransferResult::Done)
        return read;
    // Only what a file to camera writes: the rest of the Eeprom block and the
    // markers are the camera's own, whatever file it was programmed from.
    for (std::size_t b = 0; b < kSettingsBlockCount; ++b) {
        if (!blocks[b])
            continue;
        const unsigned last = b == 0 ? kEepromLastWritten : kBlockLastWritten;
        for (unsigned k = 0; k <= last; ++k) {
            const std::size_t n = b * kSettingsBlockSize + k;
            if (image[n] != camera[n])
                differences.push_back({kBlocks[b].bank, static_cast<std::uint8_t>(k), image[n], camera[n]});
        }
    }
    return ETransferResult::Done;
}

ETransferResult CSettingsTransfer::ReadImage(const std::string& path, std::vector<std::uint16_t>& image)
{
    CSettingsFileRead file = ReadCheckedSettingsFile(path, m_stop);
    switch (file.read) {
    case EReadFile::Read:
        break;
    case EReadFile::Stopped:
        m_context.messages.Show("Stopped before writing, camera unchanged");
        return ETransferResult::Stopped;
    case EReadFile::Failed:
    case EReadFile::TooLarge:
        m_context.messages.Show(file.problem);
        return ETransferResult::BadFile;
    }
    if (!file.check.ok) {
        m_context.messages.Show(file.check.problem);
        return ETransferResult::BadFile;
    }
    image = std::move(file.image);
    return ETransferResult::Done;
}

ETransferResult CSettingsTransfer::FileToCamera(const std::string& path, bool allRegisters)
{
    std::vector<std::uint16_t> image;
    const ETransferResult read = ReadImage(path, image);
    return read == ETransferResult::Done ? FileToCamera(image, allRegisters) : read;
}

std::array<bool, kSettingsBlockCount> BlocksWritten(std::span<const std::uint16_t> image, bool allRegisters)
{
    std::array<bool, kSettingsBlockCount> written{};
    written[0] = true;
    for (std::size_t b = 1; b < kSettingsBlockCount; ++b)
        written[b] = allRegisters && image[MarkerEntry(b)] == b;
    return written;
}

ETransferResult CSettingsTransfer::FileToCamera(std::span<const std::uint16_t> image, bool allRegisters)
{
    m_lastDone.reset();
    m_failed.reset();
    m_failedStatus = kStatusOk;
    m_written.clear();
    m_mismatch = 0;

    const std::array<bool, kSettingsBlockCount> written = BlocksWritten(image, allRegisters);

    // Stop at the first failed transaction rather than pile up a box per register;
    // a stop on request leaves the camera with what was written, uncommitted.
    const auto write = [&](std::size_t block, unsigned index) -> std::optional<ETransferResult> {
        const auto k = static_cast<std::uint8_t>(index);
        const std::size_t n = block * kSettingsBlockSize + k;
        if (m_stop && m_stop()) {
            if (m_lastDone)
                TellStopped(RegisterText("Stopped after writing register %02x:%02x, settings not stored",
                                         m_lastDone->bank, m_lastDone->index));
            else
                m_context.messages.Show("Stopped before writing, camera unchanged");
            return ETransferResult::Stopped;
        }
        const CCameraResult sent = m_camera.WriteRegisterChecked(kBlocks[block].bank, k, image[n]);
        if (!sent.Ok()) {
            ReportFailure("Writing register %02x:%02x failed, settings not stored", kBlocks[block].bank, k,
                          sent.status);
            return ETransferResult::BusFailure;
        }
        m_lastDone = CRegister{kBlocks[block].bank, k};
        Written(m_lastDone->bank, k);
        m_context.clock.Pause(kWritePauseMs);
        return std::nullopt;
    };
    for (unsigned k = 0; k <= kEepromLastWritten; ++k) {
        if (const auto end = write(0, k))
            return *end;
        if (k % 3 == 0)
            Step();
    }
    m_context.clock.Pause(kBlockPauseMs);
    for (std::size_t b = 1; b < kSettingsBlockCount; ++b) {
        if (written[b]) {
            for (unsigned k = 0; k <= kBlockLastWritten; ++k) {
                if (const auto end = write(b, k))
                    return *end;
                if ((b * kSettingsBlockSize + k) % 3 == 0)
                    Step();
            }
        }
        m_context.clock.Pause(b + 1 < kSettingsBlockCount ? kBlockPauseMs : kLastBlockPauseMs);
    }

    const std::uint16_t code = VerifyTransfer(image, written);
    if (code == kVerifyReadFailed)
        return ETransferResult::BusFailure;
    if (code == kVerifyStopped)
        return ETransferResult::Stopped;
    if (code != 0) {
        m_mismatch = code;
        char text[kMsgBufferSize];
        FormatMsg(text, "Error Settings not stored: %x", code);
        m_context.messages.Show(text);
        return ETransferResult::Mismatch;
    }
    if (m_stop && m_stop()) {
        TellStopped("Stopped before the commit, settings not stored");
        return ETransferResult::Stopped;
    }
    if (const CCameraResult commit = m_camera.WriteRegisterChecked(kBankControl, kCommitIndex, kCommitValue);
        !commit.Ok()) {
        ReportFailure("Writing register %02x:%02x failed, settings not stored", kBankControl, kCommitIndex,
                      commit.status);
        return ETransferResult::BusFailure;
    }
    m_written.clear();
    return ETransferResult::Done;
}

std::uint16_t CSettingsTransfer::VerifyTransfer(std::span<const std::uint16_t> image,
                                                const std::array<bool, kSettingsBlockCount>& written)
{
    for (std::size_t b = 0; b < kSettingsBlockCount; ++b) {
        if (!written[b])
            continue;
        for (unsigned k = 0; k <= kBlocks[b].lastChecked; ++k) {
            const auto index = static_cast<std::uint8_t>(k);
            const std::size_t n = b * kSettingsBlockSize + k;
            if (m_stop && m_stop()) {
                TellStopped(RegisterText("Stopped before checking register %02x:%02x, settings not stored",
                                         kBlocks[b].bank, index));
                return kVerifyStopped;
            }
            const CReadResult read = m_camera.ReadRegisterChecked(kBlocks[b].bank, index);
            if (read.Failed()) {
                ReportFailure("Reading back register %02x:%02x failed, settings not stored", kBlocks[b].bank,
                              index, read.status);
                return kVerifyReadFailed;
            }
            if ((b == 0 ? k : n) % 10 == 0)
                Step();
            if (read.value != image[n])
                return MismatchCode(b, index);
            m_context.clock.Pause(kCheckPauseMs);
        }
    }
    return 0;
}

} // namespace zarnix
