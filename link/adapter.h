// The USB-to-I2C adapter as the camera link sees it: six synchronous calls.
//
// Every backend (simulated camera, Linux i2c-dev, a vendor library loaded at run
// time, the recording wrapper) implements this interface. Arguments come in the
// order the adapter libraries document them; slave addresses are 8-bit (write
// address even, read address with bit 0 set), zero-extended to 32 bits.
#pragma once

#include <cstdint>

namespace zarnix {

// An adapter status keeps only its low 16 bits: 0 is success, anything else is
// one of the codes below (or an unknown one).
using Status = std::uint16_t;

constexpr Status StatusOf(std::uint32_t raw) { return static_cast<Status>(raw & 0xFFFFu); }

// Status codes the adapters return, with what each means on the bus.
enum EStatus : Status {
    kStatusOk = 0,                 // transfer done
    kStatusIllegalBit = 2,         // a bit on SDA/SCL the master did not expect
    kStatusArbitration = 3,        // another master won the bus
    kStatusTimeout = 4,            // the slave did not answer in time
    kStatusNoAck = 5,              // the slave did not acknowledge
    kStatusBusBusy = 6,            // the bus is held by someone else
    kStatusInitError = 7,          // the adapter could not be opened or set up
    kStatusNoStop = 8,             // no correct stop condition
    kStatusUnknownCommand = 10,    // the adapter did not understand the request
    kStatusUsbCommand = 11,        // USB command failed
    kStatusUsbWrite = 12,          // USB write to the adapter failed
    kStatusUsbRead = 13,           // USB read from the adapter failed
    kStatusUsbI2cNack = 14,        // the adapter reports a NACK from the slave
    kStatusDeviceNotPresent = 15,  // no slave at that address
    kStatusWrongOs = 16,           // adapter library not usable on this system
    kStatusUsbDeviceNotFound = 22, // the adapter itself is not plugged in
    kStatusMaxDevices = 23,        // too many adapters open
    kStatusUsbDataOverflow = 33,   // more data than the adapter can buffer
};

class CAdapter {
public:
    virtual ~CAdapter() = default;

    // Opens a handle for one transaction with the slave at `address`.
    virtual std::int32_t IICInit(std::uint32_t address, std::uint32_t speed, std::uint32_t timeout) = 0;
    virtual std::uint32_t SetAddress(std::int32_t handle, std::uint32_t address) = 0;
    // Writes the sub-address byte, then `length` body bytes, in one bus write.
    virtual std::uint32_t SendSub(std::int32_t handle, std::uint32_t flags, std::uint32_t subAddress,
                                  const std::uint8_t* data, std::uint32_t length, std::uint32_t stop) = 0;
    virtual std::uint32_t Send(std::int32_t handle, const std::uint8_t* data, std::uint32_t flags,
                               std::uint32_t length) = 0;
    virtual std::uint32_t Receive(std::int32_t handle, std::uint8_t* data, std::uint32_t flags,
                                  std::uint32_t length) = 0;
    virtual std::uint32_t IICClose(std::int32_t handle) = 0;

    // A bus that may carry other devices besides the camera (a machine's i2c-dev
    // bus). Probing an address there writes three bytes to whatever answers, an
    // EEPROM among them, so the address search asks before it goes past 0x70.
    virtual bool SharesBusWithOtherDevices() const { return false; }
    // An address a kernel driver holds; the address search leaves it alone.
    virtual bool AddressHeldByDriver(std::uint32_t address)
    {
        (void)address;
        return false;
    }
    // An address the I2C bus reserves (the general call at 0x00, which every
    // device takes as a broadcast, start bytes, 10-bit and high-speed prefixes),
    // which neither the search nor the operator may use here.
    virtual bool AddressReserved(std::uint32_t address) const
    {
        (void)address;
        return false;
    }
};

// Passes every call on to another adapter; a wrapper overrides only what it watches.
class CForwardingAdapter : public CAdapter {
public:
    explicit CForwardingAdapter(CAdapter& inner) : m_inner(inner) {}

    std::int32_t IICInit(std::uint32_t address, std::uint32_t speed, std::uint32_t timeout) override
    {
        return m_inner.IICInit(address, speed, timeout);
    }
    std::uint32_t SetAddress(std::int32_t handle, std::uint32_t address) override
    {
        return m_inner.SetAddress(handle, address);
    }
    std::uint32_t SendSub(std::int32_t handle, std::uint32_t flags, std::uint32_t subAddress,
                          const std::uint8_t* data, std::uint32_t length, std::uint32_t stop) override
    {
        return m_inner.SendSub(handle, flags, subAddress, data, length, stop);
    }
    std::uint32_t Send(std::int32_t handle, const std::uint8_t* data, std::uint32_t flags,
                       std::uint32_t length) override
    {
        return m_inner.Send(handle, data, flags, length);
    }
    std::uint32_t Receive(std::int32_t handle, std::uint8_t* data, std::uint32_t flags,
                          std::uint32_t length) override
    {
        return m_inner.Receive(handle, data, flags, length);
    }
    std::uint32_t IICClose(std::int32_t handle) override { return m_inner.IICClose(handle); }
    bool SharesBusWithOtherDevices() const override { return m_inner.SharesBusWithOtherDevices(); }
    bool AddressHeldByDriver(std::uint32_t address) override { return m_inner.AddressHeldByDriver(address); }
    bool AddressReserved(std::uint32_t address) const override { return m_inner.AddressReserved(address); }

protected:
    CAdapter& m_inner;
};

// The constants every transaction hands to the adapter.
constexpr std::uint32_t kIicSpeed = 20000;
constexpr std::uint32_t kIicTimeout = 1000;
constexpr std::uint32_t kSendSubFlags = 1;
constexpr std::uint32_t kSendSubStop = 0;
constexpr std::uint32_t kTransferFlags = 0;

} // namespace zarnix
