// The camera command object: one per operation. It holds the camera's address,
// the shadow table of the live settings and the frame being sent, and offers a
// command per setting, the block writes, the store and commit commands, the
// read-back of the live settings and the single-register reads.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "camera/register_map.h"
#include "link/iic_link.h"
#include "link/stop_check.h"

namespace zarnix {

enum class ESetCommand : std::uint8_t {
#define ZARNIX_SET_COMMAND_ENUM(name, ...) name,
    ZARNIX_SET_COMMANDS(ZARNIX_SET_COMMAND_ENUM)
#undef ZARNIX_SET_COMMAND_ENUM
};

inline const CSetCommand& SetCommandInfo(ESetCommand command)
{
    return kSetCommands[static_cast<std::size_t>(command)];
}


class CCameraControl {
public:
    explicit CCameraControl(CLinkContext& context) : m_context(context) { m_awShadow.fill(kNotRead); }

    // Reads the live settings through the read mirror into the shadow table.
    // After a failure no more bus traffic is made, the passes run to their end and
    // the operator is told once. `stop`, asked before each read, ends the read-back
    // at once and without a message: the caller knows why it stopped. Returns true
    // when every read was made and succeeded.
    bool ReadSettings(std::uint16_t delay, const CStopCheck& stop = {});
    // The camera's write address, or kNoCameraAddress.
    std::uint16_t SearchAddress();
    // One register; 1 when the read request failed, the received byte otherwise.
    std::uint16_t ReadRegister(std::uint8_t bank, std::uint8_t index);
    std::uint16_t ReadEeprom(std::uint8_t index) { return ReadRegister(kBankEeprom, index); }
    std::uint16_t ReadIspB0(std::uint8_t index) { return ReadRegister(kBankIspB0, index); }
    std::uint16_t ReadIspB1(std::uint8_t index) { return ReadRegister(kBankIspB1, index); }
    std::uint16_t ReadStatB0(std::uint8_t index) { return ReadRegister(kBankStatB0, index); }
    std::uint16_t ReadStatB1(std::uint8_t index) { return ReadRegister(kBankStatB1, index); }
    // A single read that also tells which half failed.
    CReadResult ReadRegisterChecked(std::uint8_t bank, std::uint8_t index);

    // One set command per live register, with its value rule.
    void Set(ESetCommand command, std::uint16_t value);
#define ZARNIX_SET_COMMAND_METHOD(name, ...) \
    void name(std::uint16_t value) { Set(ESetCommand::name, value); }
    ZARNIX_SET_COMMANDS(ZARNIX_SET_COMMAND_METHOD)
#undef ZARNIX_SET_COMMAND_METHOD

    void WriteRegister(std::uint8_t bank, std::uint8_t index, std::uint16_t value);
    // A write that stops at the first failed transaction; true when both went through.
    bool WriteRegisterChecked(std::uint8_t bank, std::uint8_t index, std::uint16_t value);
    void WriteEeprom(std::uint8_t index, std::uint16_t value) { WriteRegister(kBankEeprom, index, value); }
    void WriteIspB0(std::uint8_t index, std::uint16_t value) { WriteRegister(kBankIspB0, index, value); }
    void WriteIspB1(std::uint8_t index, std::uint16_t value) { WriteRegister(kBankIspB1, index, value); }
    void WriteStatB0(std::uint8_t index, std::uint16_t value) { WriteRegister(kBankStatB0, index, value); }
    void WriteStatB1(std::uint8_t index, std::uint16_t value) { WriteRegister(kBankStatB1, index, value); }

    // Copies the shadow entries of the stored registers into the stored settings.
    // `stored` hears of each register once it is written (with its index). `stop`
    // is asked before each register, after the pause of the one before, so every
    // register written has had its time; a stop is told to the operator (which
    // registers were stored) and false comes back. True when all were stored.
    bool StoreSettings(const std::function<void(std::uint8_t index)>& stored = {}, const CStopCheck& stop = {});
    // Makes the camera keep the blocks just written.
    void CommitSettings() { WriteRegister(kBankControl, kCommitIndex, kCommitValue); }

    std::uint16_t m_wAddress = 0; // the camera's write address
    std::array<std::uint16_t, kShadowSize> m_awShadow{}; // live registers 0x30:i; kNotRead until read
    // Which shadow entries the read-back received whole: kNotRead is also a byte
    // the camera may hold, so the value alone cannot tell.
    std::array<bool, kShadowSize> m_abRead{};
    std::uint16_t m_wDelay = 0;      // the operator's Com.Delay, recorded with the read-back
    std::uint16_t m_wSubAddress = 0; // frame being sent: sub-address
    std::uint16_t m_wBank = 0;       // frame being sent: bank
    std::uint16_t m_wIndex = 0;      // frame being sent: index
    std::uint16_t m_wValue = 0;      // frame being sent: data byte, or the byte just received

private:
    void StageWrite(std::uint8_t bank, std::uint8_t index, std::uint16_t value);
    void SendStaged(CIicLink& link);

    CLinkContext& m_context;
};

} // namespace zarnix
