#include "link/iic_link.h"

#include <cstdarg>
#include <cstdio>

namespace zarnix {

namespace {

struct CStatusMessage {
    std::int16_t status;
    const char* text;
};

// The operator's wording, slips and all, as the adapter documentation gives it.
constexpr CStatusMessage kStatusMessages[] = {
    {kStatusIllegalBit, "error ILLEGAL_BIT"},
    {kStatusArbitration, "error arbitration problem"},
    {kStatusTimeout, "TIMEOUT, no response"},
    {kStatusNoAck, "not a correct acknowledge recieved"},
    {kStatusBusBusy, "error bus is bussy or occupied"},
    {kStatusInitError, "init error"},
    {kStatusNoStop, "no correct stop condition"},
    {kStatusUnknownCommand, "unknown command"},
    {kStatusUsbCommand, "USB command error"},
    {kStatusUsbWrite, "USB_WRITE_ERROR"},
    {kStatusUsbRead, "USB_READ_ERROR"},
    {kStatusUsbI2cNack, "error: USB_I2C_NACK"},
    {kStatusDeviceNotPresent, "error: device not present"},
    {kStatusWrongOs, "WRONG_OPERATING_SYSTEM"},
    {kStatusUsbDeviceNotFound, "error USB_DEVICE_NOT_FOUND"},
    {kStatusMaxDevices, "MAX_DEVICES_EXCEEDED"},
    {kStatusUsbDataOverflow, "USB_DATA_OVERFLOW"},
};

// Every code the table does not know, negative ones included.
constexpr const char* kUnknownStatusText = " error";

constexpr const char* kNoCameraText = "No valid address found, re-power cam and retry.";
constexpr const char* kSearchBusQuestion =
    "No camera answers at 70. Search the rest of the bus? Each probe writes 3 bytes to any device that "
    "answers; an EEPROM there would change.";

} // namespace

int FormatMsg(char (&buffer)[kMsgBufferSize], const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, kMsgBufferSize, format, args);
    va_end(args);
    return length;
}

const char* StatusText(Status status)
{
    const auto code = static_cast<std::int16_t>(status);
    for (const auto& entry : kStatusMessages)
        if (entry.status == code)
            return entry.text;
    return kUnknownStatusText;
}

std::uint16_t NextProbeAddress(std::uint16_t candidate)
{
    if (candidate == kDefaultCameraAddress)
        return 0x00;
    // 0x70 went first, so the walk upwards steps over it.
    const std::uint16_t next = candidate == kDefaultCameraAddress - 2 ? kDefaultCameraAddress + 2 : candidate + 2;
    return next < kNoCameraAddress ? next : kNoCameraAddress;
}

void CIicLink::SendCommand(std::uint16_t address, std::uint16_t subAddress, std::uint16_t first,
                           std::uint16_t second)
{
    m_bError = false;
    CAdapter& adapter = m_context.adapter;
    m_hDevice = adapter.IICInit(address, kIicSpeed, kIicTimeout);
    adapter.SetAddress(m_hDevice, address);
    const std::uint8_t body[2] = {static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)};
    const Status status = StatusOf(adapter.SendSub(m_hDevice, kSendSubFlags, subAddress, body, 2, kSendSubStop));
    adapter.IICClose(m_hDevice);
    if (status != kStatusOk)
        ReportError(status);
}

void CIicLink::SendByte(std::uint16_t address, std::uint16_t data)
{
    m_bError = false;
    CAdapter& adapter = m_context.adapter;
    m_hDevice = adapter.IICInit(address, kIicSpeed, kIicTimeout);
    adapter.SetAddress(m_hDevice, address);
    const std::uint8_t byte = static_cast<std::uint8_t>(data);
    const Status status = StatusOf(adapter.Send(m_hDevice, &byte, kTransferFlags, 1));
    adapter.IICClose(m_hDevice);
    if (status != kStatusOk)
        ReportError(status);
}

std::uint8_t CIicLink::ReceiveByte(std::uint16_t readAddress)
{
    std::uint8_t byte = 0;
    m_bError = false;
    CAdapter& adapter = m_context.adapter;
    // A receive addresses the slave by its read address alone: no SetAddress.
    m_hDevice = adapter.IICInit(readAddress, kIicSpeed, kIicTimeout);
    const Status status = StatusOf(adapter.Receive(m_hDevice, &byte, kTransferFlags, 1));
    adapter.IICClose(m_hDevice);
    if (status != kStatusOk)
        ReportError(status);
    return byte;
}

bool CIicLink::TestAndClearError()
{
    return TakeError() != kStatusOk;
}

Status CIicLink::TakeError()
{
    const Status status = m_bError ? m_error : Status{kStatusOk};
    m_bError = false;
    return status;
}

void CIicLink::ReportError(Status status)
{
    char text[kMsgBufferSize];
    FormatMsg(text, "%s", StatusText(status));
    m_context.messages.Show(text);
    m_bError = true;
    m_error = status;
}

Status CIicLink::Probe(std::uint16_t address)
{
    // The probe is the read request for 0xA0:0x00; a silent address is expected
    // during a search, so a failure is neither shown nor flagged.
    CAdapter& adapter = m_context.adapter;
    m_hDevice = adapter.IICInit(address, kIicSpeed, kIicTimeout);
    adapter.SetAddress(m_hDevice, address);
    const std::uint8_t body[2] = {kProbeBank, kProbeIndex};
    const Status status =
        StatusOf(adapter.SendSub(m_hDevice, kSendSubFlags, kSubAddressRead, body, 2, kSendSubStop));
    adapter.IICClose(m_hDevice);
    return status;
}

std::uint16_t CIicLink::ScanForCamera()
{
    CAdapter& adapter = m_context.adapter;
    const bool sharedBus = adapter.SharesBusWithOtherDevices();
    for (std::uint16_t candidate = kDefaultCameraAddress; candidate != kNoCameraAddress;
         candidate = NextProbeAddress(candidate)) {
        if (sharedBus && candidate != kDefaultCameraAddress) {
            // The camera is not at its factory address. Other devices on this bus
            // would take each probe as a write, so go on only when told to, and
            // never where a kernel driver holds the address.
            if (candidate == NextProbeAddress(kDefaultCameraAddress) && !m_context.messages.Ask(kSearchBusQuestion))
                break;
            if (adapter.AddressReserved(candidate) || adapter.AddressHeldByDriver(candidate))
                continue;
        }
        if (Probe(candidate) != kStatusOk)
            continue;
        // Complete the read request the probe opened, so the camera is left idle.
        m_context.clock.Pause(kProbeReceivePauseMs);
        ReceiveByte(ReadAddressOf(candidate));
        return candidate;
    }
    char text[kMsgBufferSize];
    FormatMsg(text, "%s", kNoCameraText);
    m_context.messages.Show(text);
    return kNoCameraAddress;
}

CWriteResult CIicLink::WriteFrame(std::uint16_t address, std::uint16_t bank, std::uint16_t index, std::uint16_t data)
{
    SendCommand(address, kSubAddressWrite, bank, index);
    const Status addressFrame = TakeError();
    m_context.clock.Pause(kWriteFramePauseMs);
    SendByte(address, data);
    const Status dataFrame = TakeError();
    return {addressFrame != kStatusOk ? addressFrame : dataFrame};
}

CWriteResult CIicLink::WriteFrameChecked(std::uint16_t address, std::uint16_t bank, std::uint16_t index,
                                         std::uint16_t data)
{
    SendCommand(address, kSubAddressWrite, bank, index);
    if (const Status failed = TakeError(); failed != kStatusOk)
        return {failed};
    m_context.clock.Pause(kWriteFramePauseMs);
    SendByte(address, data);
    return {TakeError()};
}

CReadResult CIicLink::ReadFrame(std::uint16_t address, std::uint16_t bank, std::uint16_t index)
{
    CReadResult result;
    SendCommand(address, kSubAddressRead, bank, index);
    result.status = TakeError();
    if (result.status != kStatusOk) {
        result.requestFailed = true;
        return result;
    }
    m_context.clock.Pause(kReadFramePauseMs);
    result.value = ReceiveByte(ReadAddressOf(address));
    result.status = TakeError();
    result.receiveFailed = result.status != kStatusOk;
    return result;
}

} // namespace zarnix
