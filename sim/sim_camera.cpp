#include "sim/sim_camera.h"

#include <algorithm>

#include "camera/register_map.h"

namespace zarnix {

namespace {

constexpr std::size_t Cell(std::uint8_t bank, std::uint8_t index) { return bank * 256u + index; }

struct CFactoryValue {
    std::uint8_t index;
    std::uint8_t value;
};

// Live settings of a camera fresh from the factory; every register a control
// shows holds a value inside that control's range. Unlisted registers are 0.
constexpr CFactoryValue kFactoryLive[] = {
    {0x00, 0x0F}, // shutter: auto mode
    {0x01, 0x00}, // sens-up off
    {0x02, 0x40}, {0x03, 0x40}, // digital gain Y and C
    {0x04, 0x80}, // brightness mid-scale
    {0x05, 0x00}, // no mirror, no flip
    {0x06, 0x10}, // sharpness
    {0x07, 0x20}, // analog gain
    {0x08, 0x01}, // white balance: AWB
    {0x09, 0x32}, {0x0A, 0x32}, // blue and red gain 50
    {0x10, 0x00}, {0x11, 0x01}, {0x12, 0x04}, // BLC off, gain, HSBLC level
    {0x13, 0x33}, {0x14, 0x22}, {0x15, 0x33}, {0x16, 0x22}, // BLC windows centred, 2x2
    {0x18, 0x03}, {0x19, 0x40}, {0x1A, 0x20}, {0x1B, 0xC0}, // 3DNR on, automatic
    {0x20, 0x00}, {0x21, 0x00}, // day/night auto, colour burst
    {0x22, 0x0A}, {0x23, 0x28}, {0x24, 0x3C}, // day/night delay, start, stop
    {0x25, 0x00}, {0x26, 0x05}, // min and max shutter
    {0x27, 0x60}, {0x28, 0x10}, // AEX reference, low-luminance suppression
    {0x29, 0x00}, {0x2A, 0x08}, {0x2B, 0x64}, {0x2C, 0x64}, // zoom off, x1, centred
    {0x30, 0x01}, // iris on
    {0x42, 0x02}, {0x43, 0x03}, // pixel correction SU x16, DD level 3
    {0x48, 0x01}, // manual correction on the even field
    {0x4A, 0x00}, {0x4B, 0x02}, // horizontal marker 512
    {0x4C, 0xA0}, {0x4D, 0x00}, // vertical marker 160
};

// The image blocks hold calibration data; any fixed pattern will do here.
std::uint8_t BlockPattern(std::uint8_t bank, std::uint8_t index)
{
    return static_cast<std::uint8_t>(index * 7u + bank * 13u + (index >> 4));
}

} // namespace

CSimCamera::CSimCamera(std::uint16_t address) : m_address(address), m_memory(256 * 256, 0)
{
    LoadFactorySettings();
}

void CSimCamera::LoadFactorySettings()
{
    std::fill(m_memory.begin(), m_memory.end(), 0);
    for (const auto& entry : kFactoryLive)
        m_memory[Cell(kBankLive, entry.index)] = entry.value;
    for (unsigned i = 0; i < 256; ++i) {
        const auto index = static_cast<std::uint8_t>(i);
        // The stored settings start as a copy of the live ones, calibration beyond.
        m_memory[Cell(kBankEeprom, index)] =
            i < kStoreSettingsEnd ? m_memory[Cell(kBankLive, index)] : BlockPattern(kBankEeprom, index);
        for (std::uint8_t bank : {kBankIspB0, kBankIspB1, kBankStatB0, kBankStatB1})
            m_memory[Cell(bank, index)] = BlockPattern(bank, index);
    }
}

std::uint8_t CSimCamera::Peek(std::uint8_t bank, std::uint8_t index) const
{
    return m_memory[Cell(bank == kBankLiveMirror ? std::uint8_t{kBankLive} : bank, index)];
}

void CSimCamera::Poke(std::uint8_t bank, std::uint8_t index, std::uint8_t value)
{
    m_memory[Cell(bank, index)] = value;
}

void CSimCamera::FailNthTransfer(unsigned n, Status status) { m_nthFaults[n] = status; }

void CSimCamera::FailOn(ESimFrame frame, std::uint8_t bank, std::uint8_t index, Status status, unsigned times)
{
    m_faults.push_back({frame, bank, index, status, times});
}

std::int32_t CSimCamera::IICInit(std::uint32_t address, std::uint32_t, std::uint32_t)
{
    // The handle stands for the USB adapter, which is there even when the camera is not.
    const std::int32_t handle = m_nextHandle++;
    m_handles.push_back({handle, address});
    return handle;
}

const CSimCamera::COpenHandle* CSimCamera::FindHandle(std::int32_t handle) const
{
    for (const auto& open : m_handles)
        if (open.handle == handle)
            return &open;
    return nullptr;
}

std::uint32_t CSimCamera::SetAddress(std::int32_t handle, std::uint32_t address)
{
    for (auto& open : m_handles)
        if (open.handle == handle) {
            open.address = address;
            return kStatusOk;
        }
    return kSimBadHandleStatus;
}

std::uint32_t CSimCamera::IICClose(std::int32_t handle)
{
    const COpenHandle* open = FindHandle(handle);
    if (!open)
        return kSimBadHandleStatus;
    m_handles.erase(m_handles.begin() + (open - m_handles.data()));
    return kStatusOk;
}

bool CSimCamera::Addressed(std::int32_t handle, std::uint32_t address) const
{
    const COpenHandle* open = FindHandle(handle);
    return open && open->address == address;
}

Status CSimCamera::Intercept(std::int32_t handle, std::uint32_t expectedAddress, ESimFrame frame,
                             std::uint8_t bank, std::uint8_t index, bool inOrder)
{
    ++m_transfers;
    if (!FindHandle(handle))
        return kSimBadHandleStatus;
    if (m_disappearAfter != 0 && m_transfers > m_disappearAfter)
        m_present = false;
    if (const auto it = m_nthFaults.find(m_transfers); it != m_nthFaults.end())
        return it->second;
    if (!m_present || !Addressed(handle, expectedAddress))
        return kSimNoSlaveStatus;
    if (!inOrder)
        return kSimOutOfOrderStatus;
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (it->frame != frame || it->bank != bank || it->index != index)
            continue;
        const Status status = it->status;
        if (it->remaining == 1)
            m_faults.erase(it);
        else if (it->remaining > 1)
            --it->remaining;
        return status;
    }
    return kStatusOk;
}

Status CSimCamera::Refuse(std::int32_t handle, std::uint32_t address, Status status)
{
    // A frame that reached the camera and failed leaves it waiting for a new one;
    // one addressed elsewhere never reached it.
    if (Addressed(handle, address))
        m_pending = EPending::None;
    return status;
}

std::uint32_t CSimCamera::SendSub(std::int32_t handle, std::uint32_t, std::uint32_t subAddress,
                                  const std::uint8_t* data, std::uint32_t length, std::uint32_t)
{
    const bool isRead = subAddress == 0x01;
    const std::uint8_t bank = length >= 1 ? data[0] : 0;
    const std::uint8_t index = length >= 2 ? data[1] : 0;
    const bool known = length == 2 && (subAddress == 0x00 || subAddress == 0x01);
    const Status status = Intercept(handle, m_address, isRead ? ESimFrame::ReadRequest : ESimFrame::AddressFrame,
                                    bank, index, known);
    if (status != kStatusOk)
        return Refuse(handle, m_address, status);
    m_pending = isRead ? EPending::Read : EPending::Write;
    m_pendingBank = bank;
    m_pendingIndex = index;
    return kStatusOk;
}

std::uint32_t CSimCamera::Send(std::int32_t handle, const std::uint8_t* data, std::uint32_t, std::uint32_t length)
{
    const bool inOrder = m_pending == EPending::Write && length == 1;
    const Status status =
        Intercept(handle, m_address, ESimFrame::DataFrame, m_pendingBank, m_pendingIndex, inOrder);
    if (status != kStatusOk)
        return Refuse(handle, m_address, status);
    m_pending = EPending::None;
    if (m_pendingBank == kBankLiveMirror)
        return kStatusOk; // the mirror only reads; the byte is acknowledged and dropped
    Poke(m_pendingBank, m_pendingIndex, data[0]);
    if (m_pendingBank == kBankControl && m_pendingIndex == kCommitIndex && data[0] == kCommitValue)
        ++m_commits;
    return kStatusOk;
}

std::uint32_t CSimCamera::Receive(std::int32_t handle, std::uint8_t* data, std::uint32_t, std::uint32_t length)
{
    const std::uint32_t readAddress = m_address | 1u;
    const bool inOrder = m_pending == EPending::Read && length == 1;
    const Status status =
        Intercept(handle, readAddress, ESimFrame::Receive, m_pendingBank, m_pendingIndex, inOrder);
    if (status != kStatusOk)
        return Refuse(handle, readAddress, status);
    m_pending = EPending::None;
    data[0] = Peek(m_pendingBank, m_pendingIndex);
    return kStatusOk;
}

} // namespace zarnix
