#include "camera/camera_control.h"

namespace zarnix {

namespace {
constexpr const char* kReadSettingsFailedText = "Camera settings not correctly read, default values displayed";
}

bool CCameraControl::ReadSettings(std::uint16_t delay, const CStopCheck& stop)
{
    m_wDelay = delay;
    m_wSubAddress = kSubAddressRead;
    m_wBank = kBankLiveMirror;
    CIicLink link(m_context);
    bool failed = false;
    bool stopped = false;
    for (std::uint8_t i = 0; i < kReadSettingsEnd; ++i) {
        if (stop && stop()) {
            stopped = true;
            break;
        }
        m_wIndex = i;
        if (!failed) {
            const CReadResult read = link.ReadFrame(m_wAddress, m_wBank, m_wIndex);
            if (read.requestFailed) {
                failed = true;
            } else {
                // Kept even when the receive failed: the entry then holds what arrived.
                m_wValue = read.value;
                m_awShadow[m_wIndex] = m_wValue;
                failed = read.receiveFailed;
                m_abRead[m_wIndex] = !failed;
            }
        }
        i = ApplyJump(kReadSettingsJumps, i);
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

std::uint16_t CCameraControl::SearchAddress()
{
    CIicLink link(m_context);
    return link.ScanForCamera();
}

CReadResult CCameraControl::ReadRegisterChecked(std::uint8_t bank, std::uint8_t index)
{
    CIicLink link(m_context);
    return link.ReadFrame(m_wAddress, bank, index);
}

std::uint16_t CCameraControl::ReadRegister(std::uint8_t bank, std::uint8_t index)
{
    const CReadResult read = ReadRegisterChecked(bank, index);
    return read.requestFailed ? 1 : read.value;
}

void CCameraControl::SendStaged(CIicLink& link)
{
    link.WriteFrame(m_wAddress, m_wBank, m_wIndex, m_wValue);
}

void CCameraControl::Set(ESetCommand command, std::uint16_t value)
{
    const CSetCommand& info = SetCommandInfo(command);
    WriteRegister(kBankLive, info.index, ApplyValueRule(info.rule, value));
}

void CCameraControl::StageWrite(std::uint8_t bank, std::uint8_t index, std::uint16_t value)
{
    m_wSubAddress = kSubAddressWrite;
    m_wBank = bank;
    m_wIndex = index;
    m_wValue = value;
}

void CCameraControl::WriteRegister(std::uint8_t bank, std::uint8_t index, std::uint16_t value)
{
    StageWrite(bank, index, value);
    CIicLink link(m_context);
    SendStaged(link);
}

bool CCameraControl::WriteRegisterChecked(std::uint8_t bank, std::uint8_t index, std::uint16_t value)
{
    StageWrite(bank, index, value);
    CIicLink link(m_context);
    return link.WriteFrameChecked(m_wAddress, m_wBank, m_wIndex, m_wValue);
}

bool CCameraControl::StoreSettings(const std::function<void(std::uint8_t index)>& stored, const CStopCheck& stop)
{
    m_wSubAddress = kSubAddressWrite;
    m_wBank = kBankEeprom;
    CIicLink link(m_context);
    bool any = false;
    for (std::uint8_t i = 0; i < kStoreSettingsEnd; ++i) {
        if (stop && stop()) {
            // The stored settings are now partly old, partly new: say where the line runs.
            char text[kMsgBufferSize];
            if (any)
                FormatMsg(text, "Stopped after storing register %02x:%02x, the rest not stored", kBankEeprom,
                          m_wIndex & 0xFFu);
            else
                FormatMsg(text, "%s", "Stopped before storing, stored settings unchanged");
            m_context.messages.Show(text);
            return false;
        }
        m_wIndex = i;
        m_wValue = m_awShadow[i];
        SendStaged(link);
        if (stored)
            stored(i);
        any = true;
        i = ApplyJump(kStoreSettingsJumps, i);
        m_context.clock.Pause(kStoreSettingsPauseMs);
    }
    return true;
}

} // namespace zarnix
