// The camera command object: one per operation. It knows the camera's address
// and keeps the shadow table of the live settings that its read-back fills, and
// offers a command per setting, register reads and writes, the store and commit
// commands and the read-back of the live settings.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "camera/register_map.h"
#include "link/iic_link.h"
#include "system/stop_check.h"

namespace zarnix {

// The Com.Delay the window starts with; the read-back only records it.
constexpr std::uint16_t kStartComDelay = 30;

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
    // `address`: the camera's 8-bit write address, as the search found it.
    CCameraControl(CLinkContext& context, std::uint16_t address) : m_context(context), m_wAddress(address)
    {
        m_awShadow.fill(kNotRead);
    }

    std::uint16_t Address() const { return m_wAddress; }

    // Reads the live settings through the read mirror into the shadow table, in
    // the order of kReadBackIndexes. After a failure no more bus traffic is made,
    // the passes run to their end and the operator is told once. `stop`, asked
    // before each read, ends the read-back at once and without a message: the
    // caller knows why it stopped. `delay` is the operator's Com.Delay, which the
    // camera protocol records but does not use. Failed names the first register
    // of the read mirror that did not come back whole, Stopped the one it stopped before.
    CCameraResult ReadSettings(std::uint16_t delay, const CStopCheck& stop = {});
    // The live registers 0x30:i as the read-back left them; kNotRead until read.
    const std::array<std::uint16_t, kShadowSize>& Shadow() const { return m_awShadow; }
    // Which entries the read-back received whole: kNotRead is also a byte the
    // camera may hold, so the value alone cannot tell.
    const std::array<bool, kShadowSize>& ReadWhole() const { return m_abRead; }

    // One register; 1 when the read request failed, the received byte otherwise.
    std::uint16_t ReadRegister(std::uint8_t bank, std::uint8_t index);
    // A single read that also tells which half failed.
    CReadResult ReadRegisterChecked(std::uint8_t bank, std::uint8_t index);

    // One set command per live register, with its value rule.
    CCameraResult Set(ESetCommand command, std::uint16_t value);
#define ZARNIX_SET_COMMAND_METHOD(name, ...) \
    CCameraResult name(std::uint16_t value) { return Set(ESetCommand::name, value); }
    ZARNIX_SET_COMMANDS(ZARNIX_SET_COMMAND_METHOD)
#undef ZARNIX_SET_COMMAND_METHOD

    // Address frame, pause, data frame; the data frame goes out even when the
    // address frame failed, as the window's commands send it.
    CCameraResult WriteRegister(std::uint8_t bank, std::uint8_t index, std::uint16_t value);
    // A write that stops at the first failed transaction.
    CCameraResult WriteRegisterChecked(std::uint8_t bank, std::uint8_t index, std::uint16_t value);

    // Writes `settings` (entry i for register 0x30:i) into the stored settings, skipping the registers the camera does
    // not keep. `stored` hears of each register once it is written. `stop` is
    // asked before each register, after the pause of the one before, so every
    // register written has had its time; a stop is told to the operator (which
    // registers were stored). A failed register does not end the store, as the
    // window's SAVE has always gone on; the first one is what Failed names, and it
    // outweighs a later stop.
    CCameraResult StoreSettings(const std::array<std::uint16_t, kShadowSize>& settings,
                                const std::function<void(std::uint8_t index)>& stored = {},
                                const CStopCheck& stop = {});
    // Makes the camera keep the blocks just written.
    CCameraResult CommitSettings() { return WriteRegister(kBankControl, kCommitIndex, kCommitValue); }

private:
    CLinkContext& m_context;
    const std::uint16_t m_wAddress; // the camera's write address
    std::array<std::uint16_t, kShadowSize> m_awShadow{};
    std::array<bool, kShadowSize> m_abRead{};
};

// The search and how it ended: Failed when nothing answered (the address is then
// kNoCameraAddress, and the operator has been told), or when the camera answered
// the probe but the receive that completes it failed (the address is the camera's).
struct CSearchResult {
    std::uint16_t address = kNoCameraAddress;
    CCameraResult ended;
};
CSearchResult SearchCamera(CLinkContext& context);

// The camera's write address on the bus, or kNoCameraAddress after telling the operator.
inline std::uint16_t SearchAddress(CLinkContext& context) { return SearchCamera(context).address; }

} // namespace zarnix
