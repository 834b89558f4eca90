#include "emulated_bus.h"

#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <umockdev.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace zarnix::test {

namespace {

// What a bridge driver says for the camera's answers: a slave that does not
// acknowledge is ENXIO, a stretched clock ETIMEDOUT, a lost arbitration EAGAIN.
struct CStatusErrno {
    Status status;
    int error;
};
constexpr CStatusErrno kStatusErrno[] = {
    {kStatusOk, 0},
    {kStatusNoAck, ENXIO},
    {kStatusTimeout, ETIMEDOUT},
    {kStatusArbitration, EAGAIN},
    {kStatusBusBusy, EBUSY},
    {kStatusIllegalBit, EPROTO},
};

int ErrnoOf(Status status)
{
    for (const auto& entry : kStatusErrno)
        if (entry.status == status)
            return entry.error;
    return EIO;
}

// What a CP2112 or an MCP2221 tells I2C_FUNCS: plain I2C and SMBus emulated over it.
constexpr unsigned long kBridgeFuncs = I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL;
constexpr int kI2cDevMajor = 89;

std::string Hex(const std::uint8_t* data, std::size_t length)
{
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, " %02x", data[i]);
        text += byte;
    }
    return text;
}

} // namespace

CEmulatedBus::CEmulatedBus(int number, std::string sysPath)
    : m_number(number), m_sysPath(std::move(sysPath)), m_funcs(kBridgeFuncs)
{
    m_camera.LoadFactorySettings();
}

CEmulatedBus::~CEmulatedBus()
{
    if (m_handler) {
        g_signal_handlers_disconnect_by_data(m_handler, this);
        g_object_unref(m_handler);
    }
}

void CEmulatedBus::Attach(UMockdevTestbed* bed)
{
    m_handler = umockdev_ioctl_base_new();
    g_signal_connect(m_handler, "handle-ioctl", G_CALLBACK(OnIoctl), this);
    g_signal_connect(m_handler, "handle-read", G_CALLBACK(OnRead), this);
    g_signal_connect(m_handler, "handle-write", G_CALLBACK(OnWrite), this);
    g_signal_connect(m_handler, "client-vanished", G_CALLBACK(OnVanished), this);
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(bed, Device().c_str(), m_handler, &error)) {
        const std::string why = error ? error->message : "?";
        g_clear_error(&error);
        throw std::runtime_error("cannot emulate " + Device() + ": " + why);
    }
}

void CEmulatedBus::Fail(EBusCall call, int error, unsigned times, unsigned after)
{
    std::lock_guard lock(m_mutex);
    m_faults.push_back({call, error, times, after});
}

void CEmulatedBus::HoldByDriver(unsigned address)
{
    std::lock_guard lock(m_mutex);
    m_driverHeld.insert(address);
}

void CEmulatedBus::SetFuncs(unsigned long funcs)
{
    std::lock_guard lock(m_mutex);
    m_funcs = funcs;
}

void CEmulatedBus::UnplugAfter(unsigned messages)
{
    std::lock_guard lock(m_mutex);
    m_unplugging = true;
    m_messagesLeft = messages;
}

std::vector<std::string> CEmulatedBus::Log() const
{
    std::lock_guard lock(m_mutex);
    return m_log;
}

void CEmulatedBus::ClearLog()
{
    std::lock_guard lock(m_mutex);
    m_log.clear();
}

void CEmulatedBus::Note(std::string line) { m_log.push_back(std::move(line)); }

int CEmulatedBus::Injected(EBusCall call)
{
    const bool message = call == EBusCall::Write || call == EBusCall::Read || call == EBusCall::Transfer;
    if (m_unplugging && m_messagesLeft == 0)
        return ENODEV;
    if (m_unplugging && message)
        --m_messagesLeft;
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (it->call != call)
            continue;
        if (it->after > 0) {
            --it->after;
            return 0;
        }
        const int error = it->error;
        if (it->times == 1)
            m_faults.erase(it);
        else if (it->times > 1)
            --it->times;
        return error;
    }
    return 0;
}

unsigned& CEmulatedBus::AddressOf(UMockdevIoctlClient* client)
{
    for (auto& state : m_clients)
        if (state.client == client)
            return state.address;
    m_clients.push_back({client, 0});
    return m_clients.back().address;
}

int CEmulatedBus::Message(unsigned address, bool read, std::uint8_t* data, std::size_t length)
{
    // One message is one transaction of the camera: a start, the address, the bytes, a stop.
    const std::int32_t handle = m_camera.IICInit((address << 1) | (read ? 1u : 0u), kIicSpeed, kIicTimeout);
    const auto count = static_cast<std::uint32_t>(length);
    Status status;
    if (read)
        status = StatusOf(m_camera.Receive(handle, data, kTransferFlags, count));
    else if (length == 1)
        status = StatusOf(m_camera.Send(handle, data, kTransferFlags, count));
    else
        status = StatusOf(m_camera.SendSub(handle, kSendSubFlags, length ? data[0] : 0, data + 1,
                                           length ? count - 1 : 0, kSendSubStop));
    m_camera.IICClose(handle);
    return ErrnoOf(status);
}

int CEmulatedBus::Ioctl(UMockdevIoctlClient* client, unsigned long request, long& result)
{
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    unsigned long value = 0;
    std::memcpy(&value, arg->data, sizeof value);
    switch (request) {
    case I2C_FUNCS: {
        Note("funcs");
        if (const int error = Injected(EBusCall::Funcs))
            return error;
        UMockdevIoctlData* answer = umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned long), nullptr);
        if (!answer)
            return EFAULT;
        std::memcpy(answer->data, &m_funcs, sizeof m_funcs);
        return 0;
    }
    case I2C_SLAVE:
    case I2C_SLAVE_FORCE: {
        char line[32];
        std::snprintf(line, sizeof line, "%s %02lx", request == I2C_SLAVE ? "slave" : "slave-force", value);
        Note(line);
        if (const int error = Injected(EBusCall::Slave))
            return error;
        if (value > 0x7F)
            return EINVAL;
        if (request == I2C_SLAVE && m_driverHeld.count(static_cast<unsigned>(value)))
            return EBUSY;
        AddressOf(client) = static_cast<unsigned>(value);
        return 0;
    }
    case I2C_TIMEOUT:
    case I2C_RETRIES: {
        char line[32];
        std::snprintf(line, sizeof line, "%s %02lx", request == I2C_TIMEOUT ? "timeout" : "retries", value);
        Note(line);
        return m_unplugging && m_messagesLeft == 0 ? ENODEV : 0;
    }
    case I2C_RDWR:
        return Transfer(client, result);
    default:
        Note("ioctl " + std::to_string(request));
        return ENOTTY;
    }
}

int CEmulatedBus::Transfer(UMockdevIoctlClient* client, long& result)
{
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    UMockdevIoctlData* block = umockdev_ioctl_data_resolve(arg, 0, sizeof(i2c_rdwr_ioctl_data), nullptr);
    if (!block)
        return EFAULT;
    const auto* request = reinterpret_cast<const i2c_rdwr_ioctl_data*>(block->data);
    if (request->nmsgs == 0 || request->nmsgs > I2C_RDWR_IOCTL_MAX_MSGS)
        return EINVAL;
    const std::size_t count = request->nmsgs;
    UMockdevIoctlData* list =
        umockdev_ioctl_data_resolve(block, offsetof(i2c_rdwr_ioctl_data, msgs), count * sizeof(i2c_msg), nullptr);
    if (!list)
        return EFAULT;
    for (std::size_t i = 0; i < count; ++i) {
        const i2c_msg message = reinterpret_cast<const i2c_msg*>(list->data)[i];
        UMockdevIoctlData* bytes =
            umockdev_ioctl_data_resolve(list, i * sizeof(i2c_msg) + offsetof(i2c_msg, buf), message.len, nullptr);
        if (!bytes)
            return EFAULT;
        const bool read = message.flags & I2C_M_RD;
        Note(std::string(read ? "transfer-read " : "transfer-write ") + std::to_string(message.addr) +
             (read ? " " + std::to_string(message.len) : Hex(bytes->data, message.len)));
        if (const int error = Injected(EBusCall::Transfer))
            return error;
        if (const int error = Message(message.addr, read, bytes->data, message.len))
            return error;
    }
    result = static_cast<long>(count);
    return 0;
}

int CEmulatedBus::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    auto* bus = static_cast<CEmulatedBus*>(self);
    long result = 0;
    int error;
    {
        std::lock_guard lock(bus->m_mutex);
        error = bus->Ioctl(client, umockdev_ioctl_client_get_request(client), result);
    }
    umockdev_ioctl_client_complete(client, error ? -1 : result, error);
    return TRUE;
}

int CEmulatedBus::OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    auto* bus = static_cast<CEmulatedBus*>(self);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(arg->data_len));
    int error;
    {
        std::lock_guard lock(bus->m_mutex);
        bus->Note("read " + std::to_string(data.size()));
        error = bus->Injected(EBusCall::Read);
        if (!error)
            error = bus->Message(bus->AddressOf(client), true, data.data(), data.size());
    }
    // The bytes go back to the reader only through update(), which marks them to be copied.
    if (!error)
        umockdev_ioctl_data_update(arg, 0, data.data(), static_cast<int>(data.size()));
    umockdev_ioctl_client_complete(client, error ? -1 : static_cast<long>(data.size()), error);
    return TRUE;
}

int CEmulatedBus::OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    auto* bus = static_cast<CEmulatedBus*>(self);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    const auto length = static_cast<std::size_t>(arg->data_len);
    int error;
    {
        std::lock_guard lock(bus->m_mutex);
        bus->Note("write" + Hex(arg->data, length));
        error = bus->Injected(EBusCall::Write);
        if (!error)
            error = bus->Message(bus->AddressOf(client), false, arg->data, length);
    }
    umockdev_ioctl_client_complete(client, error ? -1 : static_cast<long>(length), error);
    return TRUE;
}

void CEmulatedBus::OnVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    auto* bus = static_cast<CEmulatedBus*>(self);
    std::lock_guard lock(bus->m_mutex);
    std::erase_if(bus->m_clients, [&](const CClientState& state) { return state.client == client; });
}

CEmulatedBench::CEmulatedBench() : m_bed(umockdev_testbed_new()) {}

CEmulatedBench::~CEmulatedBench()
{
    g_object_unref(m_bed);
    m_buses.clear();
}

bool CEmulatedBench::Preloaded()
{
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::string(preload).find("libumockdev-preload") != std::string::npos;
}

std::string CEmulatedBench::Root() const { return umockdev_testbed_get_root_dir(m_bed); }

CEmulatedBus& CEmulatedBench::AddBus(int number, const std::string& parent, const std::string& name)
{
    const std::string node = "i2c-" + std::to_string(number);
    const std::string dev = std::to_string(kI2cDevMajor) + ":" + std::to_string(number);
    gchar* adapter = umockdev_testbed_add_device(m_bed, "i2c", node.c_str(), parent.c_str(), "name", name.c_str(),
                                                 nullptr, nullptr);
    gchar* chardev = umockdev_testbed_add_device(m_bed, "i2c-dev", ("i2c-dev/" + node).c_str(), adapter, "name",
                                                 name.c_str(), "dev", dev.c_str(), nullptr, "DEVNAME",
                                                 ("/dev/" + node).c_str(), "MAJOR", "89", "MINOR",
                                                 std::to_string(number).c_str(), nullptr);
    // The bed makes /dev nodes only for devices read from a record; the preload
    // shows this file as the character device `dev` names.
    std::filesystem::create_directories(Root() + "/dev");
    std::ofstream(Root() + "/dev/" + node).close();
    auto& bus = *m_buses.emplace_back(std::make_unique<CEmulatedBus>(number, chardev));
    g_free(adapter);
    g_free(chardev);
    bus.Attach(m_bed);
    return bus;
}

CEmulatedBus& CEmulatedBench::AddUsbBridge(int number, const std::string& name)
{
    const std::string port = "1-" + std::to_string(++m_usbPorts);
    if (m_usbPorts == 1)
        g_free(umockdev_testbed_add_device(m_bed, "usb", "pci0000:00/0000:00:14.0/usb1", nullptr, nullptr,
                                           "DEVTYPE", "usb_device", nullptr));
    gchar* device = umockdev_testbed_add_device(m_bed, "usb", port.c_str(), "/sys/devices/pci0000:00/0000:00:14.0/usb1",
                                                "idVendor", "10c4", "idProduct", "ea90", nullptr, "DEVTYPE",
                                                "usb_device", nullptr);
    gchar* interface = umockdev_testbed_add_device(m_bed, "usb", (port + ":1.0").c_str(), device, nullptr, "DEVTYPE",
                                                   "usb_interface", nullptr);
    CEmulatedBus& bus = AddBus(number, interface, name);
    g_free(device);
    g_free(interface);
    return bus;
}

CEmulatedBus& CEmulatedBench::AddBoardSmbus(int number, const std::string& name)
{
    if (!std::filesystem::exists(Root() + "/sys/devices/pci0000:00/0000:00:1f.4"))
        g_free(umockdev_testbed_add_device(m_bed, "pci", "pci0000:00/0000:00:1f.4", nullptr, "vendor", "0x8086",
                                           nullptr, nullptr));
    CEmulatedBus& bus = AddBus(number, "/sys/devices/pci0000:00/0000:00:1f.4", name);
    bus.Camera().SetPresent(false);
    return bus;
}

void CEmulatedBench::Remove(CEmulatedBus& bus)
{
    umockdev_testbed_remove_device(m_bed, bus.SysPath().c_str());
    std::error_code ignored;
    std::filesystem::remove(Root() + bus.Device(), ignored);
}

} // namespace zarnix::test
