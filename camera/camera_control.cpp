#include "camera/camera_control.h"

namespace zarnix {

namespace {
constexpr const char* kReadSettingsFailedText = "Camera settings not correctly read, default values displayed";
}

CCameraResult CCameraControl::ReadSettings(std::uint16_t, const CStopCheck& stop)
{
    CIicLink link(m_context);
    CCameraResult result;
    bool failed = false;
    for (const std::uint8_t index : kReadBackIndexes) {
        if (stop && stop()) {
            if (!failed)
                result = {EOutcome::Stopped, kBankLiveMirror, index, kStatusOk};
            break;
        }
        if (!failed) {
            const CReadResult read = link.ReadFrame(m_wAddress, kBankLiveMirror, index);
            if (!read.requestFailed) {
                // Kept even when the receive failed: the entry then holds what arrived.
                m_awShadow[index] = read.value;
                m_abRead[index] = !read.receiveFailed;
            }
            failed = read.Failed();
            if (failed)
                result = CCameraResult::Failure(kBankLiveMirror, index, read.status);
        }
        // Taken on every pass, after a failure too: the read-back always lasts as long.
        m_context.clock.Pause(kReadSettingsPassPauseMs);
    }
    if (failed) {
        char text[kMsgBufferSize];
        FormatMsg(text, "%s", kReadSettingsFailedText);
        m_context.messages.Show(text);
    }
    return result;
}

CSearchResult SearchCamera(CLinkContext& context)
{
    CIicLink link(context);
    CSearchResult found;
    found.address = link.ScanForCamera();
    // The probes raise no error; what the link holds afterwards is the completing receive's.
    const Status receive = link.TakeError();
    if (found.address == kNoCameraAddress || receive != kStatusOk)
        found.ended = CCameraResult::Failure(kProbeBank, kProbeIndex, receive);
    return found;
}

CReadResult CCameraControl::ReadRegisterChecked(std::uint8_t bank, std::uint8_t index)
{
    return CIicLink(m_context).ReadFrame(m_wAddress, bank, index);
}

std::uint16_t CCameraControl::ReadRegister(std::uint8_t bank, std::uint8_t index)
{
    const CReadResult read = ReadRegisterChecked(bank, index);
    return read.requestFailed ? 1 : read.value;
}

CCameraResult CCameraControl::Set(ESetCommand command, std::uint16_t value)
{
    const CSetCommand& info = SetCommandInfo(command);
    return WriteRegister(kBankLive, info.index, ApplyValueRule(info.rule, value));
}

namespace {
CCameraResult WriteResult(std::uint8_t bank, std::uint8_t index, CWriteResult written)
{
    return written.Failed() ? CCameraResult::Failure(bank, index, written.status) : CCameraResult{};
}
} // namespace

CCameraResult CCameraControl::WriteRegister(std::uint8_t bank, std::uint8_t index, std::uint16_t value)
{
    return WriteResult(bank, index, CIicLink(m_context).WriteFrame(m_wAddress, bank, index, value));
}

CCameraResult CCameraControl::WriteRegisterChecked(std::uint8_t bank, std::uint8_t index, std::uint16_t value)
{
    return WriteResult(bank, index, CIicLink(m_context).WriteFrameChecked(m_wAddress, bank, index, value));
}

CCameraResult CCameraControl::StoreSettings(const std::array<std::uint16_t, kShadowSize>& settings,
                                            const std::function<void(std::uint8_t index)>& stored,
                                            const CStopCheck& stop)
{
    CIicLink link(m_context);
    CCameraResult result;
    const std::uint8_t* last = nullptr;
    for (const std::uint8_t& index : kStoredIndexes) {
        if (stop && stop()) {
            // The stored settings are now partly old, partly new: say where the line runs.
            char text[kMsgBufferSize];
            if (last)
                FormatMsg(text, "Stopped after storing register %02x:%02x, the rest not stored", kBankEeprom, *last);
            else
                FormatMsg(text, "%s", "Stopped before storing, stored settings unchanged");
            m_context.messages.Show(text);
            if (result.Ok())
                result.outcome = EOutcome::Stopped;
            return result;
        }
        const CWriteResult written = link.WriteFrame(m_wAddress, kBankEeprom, index, settings[index]);
        if (written.Failed() && result.Ok())
            result = CCameraResult::Failure(kBankEeprom, index, written.status);
        if (stored)
            stored(index);
        last = &index;
        m_context.clock.Pause(kStoreSettingsPauseMs);
    }
    return result;
}

} // namespace zarnix
