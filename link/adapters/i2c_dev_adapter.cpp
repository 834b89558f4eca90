#include "link/adapters/i2c_dev_adapter.h"

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace zarnix {

namespace {

int Result(int r) { return r < 0 ? -errno : r; }

// How the kernel's I2C fault codes read as adapter statuses. The i2c core and the
// USB bridge drivers agree on most of them: a missing acknowledge of the address
// or of a data byte is ENXIO or EREMOTEIO (some bridges say EIO), a lost
// arbitration EAGAIN, a stuck bus EBUSY, an unplugged bridge ENODEV or ESHUTDOWN.
struct CErrnoStatus {
    int error;
    Status status;
};
constexpr CErrnoStatus kErrnoStatus[] = {
    {ENXIO, kStatusNoAck},                // address not acknowledged: nobody there
    {EREMOTEIO, kStatusNoAck},            // a data byte not acknowledged
    {ETIMEDOUT, kStatusTimeout},          // the slave stretched the clock too long
    {EAGAIN, kStatusArbitration},         // another master won the bus
    {EBUSY, kStatusBusBusy},              // the bus (or the address) is held
    {EPROTO, kStatusIllegalBit},          // a bit the protocol does not allow
    {EBADMSG, kStatusIllegalBit},         // a malformed message on the wire
    {ENODEV, kStatusUsbDeviceNotFound},   // the bridge went away (unplugged)
    {ESHUTDOWN, kStatusUsbDeviceNotFound},// the bridge is suspended or going away
    {ENOENT, kStatusUsbDeviceNotFound},   // no such bus node
    {EACCES, kStatusInitError},           // no permission on the bus node
    {EPERM, kStatusInitError},
    {EOPNOTSUPP, kStatusUnknownCommand},  // the bridge cannot do this transfer
    {EINVAL, kStatusUnknownCommand},
    {EMSGSIZE, kStatusUsbDataOverflow},   // more bytes than the bridge takes at once
    {EOVERFLOW, kStatusUsbDataOverflow},
    {EIO, kStatusUsbCommand},             // the bridge failed the command
};

// The bridge takes a message only within its time; in units of 10 ms.
constexpr unsigned long kBusTimeoutTicks = 100;

// Each returns what the call returns, or -errno on failure.
int OpenBus(const std::string& path) { return Result(::open(path.c_str(), O_RDWR | O_CLOEXEC)); }
int Ioctl(int fd, unsigned long request, unsigned long argument) { return Result(::ioctl(fd, request, argument)); }
long Write(int fd, const std::uint8_t* data, std::size_t length)
{
    const ssize_t n = ::write(fd, data, length);
    return n < 0 ? -errno : static_cast<long>(n);
}
long Read(int fd, std::uint8_t* data, std::size_t length)
{
    const ssize_t n = ::read(fd, data, length);
    return n < 0 ? -errno : static_cast<long>(n);
}

std::string ErrnoText(int error) { return std::strerror(error); }

} // namespace

Status StatusFromErrno(int error)
{
    for (const auto& entry : kErrnoStatus)
        if (entry.error == error)
            return entry.status;
    return kStatusUsbCommand;
}

CI2cDevAdapter::CI2cDevAdapter(std::string devicePath, bool force)
    : m_path(std::move(devicePath)), m_force(force)
{
}

CBusCheck CI2cDevAdapter::CheckBus()
{
    CBusCheck check;
    const int fd = OpenBus(m_path);
    if (fd < 0) {
        const int error = -fd;
        check.message = "Error: Could not open " + m_path + ": " + ErrnoText(error);
        check.missing = error == ENOENT || error == ENODEV;
        if (error == EACCES || error == EPERM)
            check.message += "\n  Join the i2c group (sudo usermod -aG i2c $USER, then log in again), or install "
                             "the udev rule packaging/99-zarnix-i2c.rules.";
        else if (error == ENOENT)
            check.message += "\n  No such bus. Is the adapter plugged in and the i2c-dev module loaded "
                             "(sudo modprobe i2c-dev)? zarnixctl --list-buses shows the buses.";
        return check;
    }
    unsigned long funcs = 0;
    const int r = Result(::ioctl(fd, I2C_FUNCS, &funcs));
    ::close(fd);
    if (r < 0) {
        check.message = "Error: Could not get the adapter functionality of " + m_path + ": " + ErrnoText(-r);
        return check;
    }
    if ((funcs & I2C_FUNC_I2C) == 0) {
        check.message = "Error: The adapter of " + m_path +
                        " cannot do plain I2C transfers; it only speaks SMBus.";
        return check;
    }
    check.usable = true;
    return check;
}

bool CI2cDevAdapter::AddressReserved(std::uint32_t address) const
{
    const std::uint32_t sevenBit = address >> 1;
    return !m_force && (sevenBit < 0x08 || sevenBit > 0x77);
}

bool CI2cDevAdapter::AddressHeldByDriver(std::uint32_t address)
{
    const int fd = OpenBus(m_path);
    if (fd < 0)
        return false;
    const bool held = Ioctl(fd, I2C_SLAVE, address >> 1) == -EBUSY;
    ::close(fd);
    return held;
}

std::int32_t CI2cDevAdapter::IICInit(std::uint32_t address, std::uint32_t, std::uint32_t)
{
    // The bus speed is the bridge's own setting (a module parameter or sysfs on
    // Linux); the link's speed and timeout constants have no i2c-dev counterpart
    // beyond the bus timeout set here.
    COpenBus bus;
    bus.fd = OpenBus(m_path);
    if (bus.fd < 0) {
        bus.failure = StatusFromErrno(-bus.fd);
        bus.fd = -1;
    } else {
        Ioctl(bus.fd, I2C_TIMEOUT, kBusTimeoutTicks);
        Ioctl(bus.fd, I2C_RETRIES, 0);
        // The kernel speaks 7-bit addresses: 8-bit 0x70 (write) and 0x71 (read) are 0x38.
        const int r = Ioctl(bus.fd, m_force ? I2C_SLAVE_FORCE : I2C_SLAVE, (address >> 1) & 0x7F);
        if (r < 0)
            bus.failure = StatusFromErrno(-r);
    }
    const std::int32_t handle = m_nextHandle++;
    m_open[handle] = bus;
    return handle;
}

std::uint32_t CI2cDevAdapter::SetAddress(std::int32_t handle, std::uint32_t)
{
    // The address was claimed with the open; the write address differs from it only in bit 0.
    const COpenBus* bus = Find(handle);
    return bus ? bus->failure : static_cast<Status>(kStatusInitError);
}

CI2cDevAdapter::COpenBus* CI2cDevAdapter::Find(std::int32_t handle)
{
    const auto it = m_open.find(handle);
    return it == m_open.end() ? nullptr : &it->second;
}

Status CI2cDevAdapter::TransferStatus(long result, std::size_t expected)
{
    if (result < 0)
        return StatusFromErrno(static_cast<int>(-result));
    // A message cut short: the slave stopped acknowledging part way.
    return static_cast<std::size_t>(result) == expected ? kStatusOk : kStatusNoAck;
}

std::uint32_t CI2cDevAdapter::SendSub(std::int32_t handle, std::uint32_t, std::uint32_t subAddress,
                                      const std::uint8_t* data, std::uint32_t length, std::uint32_t)
{
    COpenBus* bus = Find(handle);
    if (!bus)
        return kStatusInitError;
    if (bus->failure)
        return bus->failure;
    // The sub-address and the body leave in one message, as one bus write.
    std::vector<std::uint8_t> message;
    message.reserve(length + 1u);
    message.push_back(static_cast<std::uint8_t>(subAddress));
    message.insert(message.end(), data, data + length);
    return TransferStatus(Write(bus->fd, message.data(), message.size()), message.size());
}

std::uint32_t CI2cDevAdapter::Send(std::int32_t handle, const std::uint8_t* data, std::uint32_t, std::uint32_t length)
{
    COpenBus* bus = Find(handle);
    if (!bus)
        return kStatusInitError;
    if (bus->failure)
        return bus->failure;
    return TransferStatus(Write(bus->fd, data, length), length);
}

std::uint32_t CI2cDevAdapter::Receive(std::int32_t handle, std::uint8_t* data, std::uint32_t, std::uint32_t length)
{
    COpenBus* bus = Find(handle);
    if (!bus)
        return kStatusInitError;
    if (bus->failure)
        return bus->failure;
    return TransferStatus(Read(bus->fd, data, length), length);
}

std::uint32_t CI2cDevAdapter::IICClose(std::int32_t handle)
{
    const auto it = m_open.find(handle);
    if (it == m_open.end())
        return kStatusInitError;
    const int fd = it->second.fd;
    m_open.erase(it);
    if (fd >= 0 && ::close(fd) < 0)
        return kStatusUsbCommand;
    return kStatusOk;
}

} // namespace zarnix
