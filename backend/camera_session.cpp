#include "backend/camera_session.h"

namespace zarnix {

void CProgress::Start(unsigned total) const
{
    if (start)
        start(total);
}

void CProgress::Step() const
{
    if (step)
        step();
}

namespace {

// Steps `progress` on every read request the counter passes on, for as long as it lives.
class CStepOnReadRequests {
public:
    CStepOnReadRequests(CReadRequestCounter& counter, const CProgress& progress) : m_counter(counter)
    {
        m_counter.OnReadRequest([&progress] { progress.Step(); });
    }
    ~CStepOnReadRequests() { m_counter.OnReadRequest({}); }
    CStepOnReadRequests(const CStepOnReadRequests&) = delete;
    CStepOnReadRequests& operator=(const CStepOnReadRequests&) = delete;

private:
    CReadRequestCounter& m_counter;
};

const auto kReadBackSteps = static_cast<unsigned>(kReadBackIndexes.size());
const auto kStoreSteps = static_cast<unsigned>(kStoredIndexes.size());

} // namespace

CCameraSession::CCameraSession() : m_backend(std::make_unique<CBackend>()) {}

CCameraSession::CCameraSession(CLinkContext& context, std::uint16_t address) : m_address(address)
{
    Attach(context.adapter, context.clock, context.messages);
}

CCameraSession::~CCameraSession() = default;

void CCameraSession::Attach(CAdapter& adapter, CClock& clock, CMessageSink& messages)
{
    m_counter = std::make_unique<CReadRequestCounter>(adapter);
    m_context = std::make_unique<CLinkContext>(CLinkContext{*m_counter, clock, messages});
}

EBackendOpen CCameraSession::Open(const CBackendChoice& choice, CMessageSink& messages, std::string& error)
{
    const EBackendOpen opened = m_backend->Open(choice, error);
    if (opened == EBackendOpen::Opened)
        Attach(m_backend->Adapter(), m_backend->Clock(), messages);
    return opened;
}

bool CCameraSession::Close(std::string& error)
{
    return !m_backend || m_backend->Close(error);
}

EAddressUse CCameraSession::UseAddress(std::uint16_t address)
{
    // The general call and the other reserved addresses reach every device on a
    // shared bus, not the camera.
    if (m_context->adapter.AddressReserved(address))
        return EAddressUse::Reserved;
    m_address = address;
    return EAddressUse::Taken;
}

CSearchResult CCameraSession::Search()
{
    const CSearchResult found = SearchCamera(*m_context);
    if (found.address != kNoCameraAddress)
        m_address = found.address;
    return found;
}

CReadResult CCameraSession::Read(std::uint8_t bank, std::uint8_t index)
{
    return Camera().ReadRegisterChecked(bank, index);
}

CCameraResult CCameraSession::Write(std::uint8_t bank, std::uint8_t index, std::uint16_t value)
{
    return Camera().WriteRegisterChecked(bank, index, value);
}

CSetResult CCameraSession::Set(const CSetCommand& command, std::uint16_t value)
{
    CSetResult result;
    result.sent = ApplyValueRule(command.rule, value);
    result.written = Write(kBankLive, command.index, result.sent);
    return result;
}

CLiveSettings CCameraSession::Show(const CProgress& progress, const CStopCheck& stop)
{
    CCameraControl camera = Camera();
    CLiveSettings live;
    progress.Start(kReadBackSteps);
    {
        const CStepOnReadRequests steps(*m_counter, progress);
        live.read = camera.ReadSettings(kStartComDelay, stop);
    }
    if (live.read.Ok())
        live.values = camera.Shadow();
    return live;
}

CCameraResult CCameraSession::Store(const std::array<std::uint16_t, kShadowSize>& settings,
                                    const CProgress& progress, const CStopCheck& stop)
{
    progress.Start(kStoreSteps);
    return Camera().StoreSettings(settings, [&](std::uint8_t) { progress.Step(); }, stop);
}

CSaveResult CCameraSession::Save(const CProgress& progress, const CStopCheck& stop)
{
    // Nothing is kept between runs: what the camera runs with now is what gets
    // stored, so it is read back first, as the window does at start-up.
    CCameraControl camera = Camera();
    CSaveResult result;
    progress.Start(kReadBackSteps + kStoreSteps);
    {
        const CStepOnReadRequests steps(*m_counter, progress);
        result.read = camera.ReadSettings(kStartComDelay, stop);
    }
    // Storing after a failed read-back would put the placeholders of unread
    // registers into what the camera wakes up with.
    if (!result.read.Ok()) {
        result.stored.outcome = EOutcome::Stopped;
        return result;
    }
    result.stored = camera.StoreSettings(camera.Shadow(), [&](std::uint8_t) { progress.Step(); }, stop);
    return result;
}

CTransferResult CCameraSession::Ending(const CSettingsTransfer& transfer, ETransferResult outcome) const
{
    CTransferResult result;
    result.outcome = outcome;
    if (outcome == ETransferResult::BusFailure) {
        result.failed = transfer.FailedRegister();
        result.failedStatus = transfer.FailedStatus();
    }
    if (outcome == ETransferResult::Mismatch)
        result.mismatch = transfer.Mismatch();
    result.uncommitted = transfer.Uncommitted();
    return result;
}

CTransferResult CCameraSession::Dump(const std::string& path, bool all, const CProgress& progress,
                                     const CStopCheck& stop)
{
    CSettingsTransfer transfer(*m_context, m_address, progress.step, stop);
    progress.Start(CameraToFileSteps(all));
    return Ending(transfer, transfer.CameraToFile(path, all));
}

CTransferResult CCameraSession::Dump(CFileReplacement& file, const std::string& path, bool all,
                                     const CProgress& progress, const CStopCheck& stop)
{
    CSettingsTransfer transfer(*m_context, m_address, progress.step, stop);
    progress.Start(CameraToFileSteps(all));
    return Ending(transfer, transfer.CameraToFile(file, path, all));
}

CSettingsFileRead CCameraSession::ReadSettingsFile(const std::string& path, const CStopCheck& stop)
{
    return ReadCheckedSettingsFile(path, stop);
}

CTransferResult CCameraSession::Load(std::span<const std::uint16_t> image, bool all, const CProgress& progress,
                                     const CStopCheck& stop, bool shortStops)
{
    CSettingsTransfer transfer(*m_context, m_address, progress.step, stop);
    if (shortStops)
        transfer.KeepStopMessagesShort();
    progress.Start(FileToCameraSteps(BlocksWritten(image, all)));
    return Ending(transfer, transfer.FileToCamera(image, all));
}

CTransferResult CCameraSession::LoadFile(const std::string& path, bool all, const CProgress& progress,
                                         const CStopCheck& stop, bool shortStops)
{
    CSettingsTransfer transfer(*m_context, m_address, progress.step, stop);
    std::vector<std::uint16_t> image;
    if (const ETransferResult read = transfer.ReadImage(path, image); read != ETransferResult::Done)
        return Ending(transfer, read);
    return Load(image, all, progress, stop, shortStops);
}

CVerifyResult CCameraSession::Verify(std::span<const std::uint16_t> image, bool all, const CProgress& progress,
                                     const CStopCheck& stop)
{
    CSettingsTransfer transfer(*m_context, m_address, progress.step, stop);
    CVerifyResult result;
    result.blocks = BlocksWritten(image, all);
    result.compared = CSettingsTransfer::ComparedRegisters(result.blocks);
    progress.Start(VerifySteps(result.blocks));
    result.transfer = Ending(transfer, transfer.Verify(image, all, result.differences));
    return result;
}

CVerifyResult CCameraSession::VerifyFile(const std::string& path, bool all, const CProgress& progress,
                                         const CStopCheck& stop)
{
    CSettingsTransfer transfer(*m_context, m_address, progress.step, stop);
    std::vector<std::uint16_t> image;
    if (const ETransferResult read = transfer.ReadImage(path, image); read != ETransferResult::Done) {
        CVerifyResult refused;
        refused.transfer = Ending(transfer, read);
        return refused;
    }
    return Verify(image, all, progress, stop);
}

std::vector<CI2cBus> UsbBuses()
{
    std::vector<CI2cBus> buses = ListI2cBuses();
    std::erase_if(buses, [](const CI2cBus& bus) { return !bus.usb; });
    return buses;
}

} // namespace zarnix
