#include "camera/camera_control.h"

namespace zarnix {

namespace {
constexpr const char* kReadSettingsFailedText = "Camera settings not correctly read, default values displayed";
}

bool CCameraControl::ReadSettings(std::uint16_t, const CStopCheck& stop)
{
    CIicLink link(m_context);
    bool failed = false;
    bool stopped = false;
    for (const std::uint8_t index : kReadBackIndexes) {
        if (stop && stop()) {
            stopped = true;
            break;
        }
        if (!failed) {
            const CReadResult read = link.ReadFrame(m_wAddress, kBankLiveMirror, index);
            if (read.requestFailed) {
                failed = true;
            } else {
                // Kept even when the receive failed: the entry then holds what arrived.
                m_awShadow[index] = read.value;
                failed = read.receiveFailed;
                m_abRead[index] = !failed;
            }
        }
        // Taken on every pass, after a failure too: the read-back always lasts as long.
        m_context.clock.Pause(kReadSettingsPassPauseMs);
    }
    if (failed) {
        char text[kMsgBufferSize];
        FormatMsg(text, "%s", kReadSettingsFailedText);
        m_context.messages.Show(text);
    }
    return !failed && !stopped;
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

void CCameraControl::Set(ESetCommand command, std::uint16_t value)
{
    const CSetCommand& info = SetCommandInfo(command);
    WriteRegister(kBankLive, info.index, ApplyValueRule(info.rule, value));
}

void CCameraControl::WriteRegister(std::uint8_t bank, std::uint8_t index, std::uint16_t value)
{
    CIicLink(m_context).WriteFrame(m_wAddress, bank, index, value);
}

bool CCameraControl::WriteRegisterChecked(std::uint8_t bank, std::uint8_t index, std::uint16_t value)
{
    return CIicLink(m_context).WriteFrameChecked(m_wAddress, bank, index, value);
}

bool CCameraControl::StoreSettings(const std::array<std::uint16_t, kShadowSize>& settings,
                                   const std::function<void(std::uint8_t index)>& stored, const CStopCheck& stop)
{
    CIicLink link(m_context);
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
            return false;
        }
        link.WriteFrame(m_wAddress, kBankEeprom, index, settings[index]);
        if (stored)
            stored(index);
        last = &index;
        m_context.clock.Pause(kStoreSettingsPauseMs);
    }
    return true;
}

} // namespace zarnix
