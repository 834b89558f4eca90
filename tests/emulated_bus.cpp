#include "emulated_bus.h"

#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace zarnix::test {

namespace {

std::string Line(const char* what, const std::uint8_t* data, std::size_t length)
{
    std::string text = what;
    for (std::size_t i = 0; i < length; ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, " %02x", data[i]);
        text += byte;
    }
    return text;
}

} // namespace

CEmulatedBus::CEmulatedBus(int busNumber, UMockdevTestbed* bed)
    : number(busNumber), funcs(I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL),
      m_handler(umockdev_ioctl_base_new())
{
    camera.LoadFactorySettings();
    g_signal_connect(m_handler, "handle-ioctl", G_CALLBACK(OnIoctl), this);
    using Handler = int (*)(UMockdevIoctlBase*, UMockdevIoctlClient*, CEmulatedBus*);
    const Handler read = [](auto*, auto* client, auto* self) { return self->ReadOrWrite(client, true); };
    const Handler write = [](auto*, auto* client, auto* self) { return self->ReadOrWrite(client, false); };
    g_signal_connect(m_handler, "handle-read", G_CALLBACK(read), this);
    g_signal_connect(m_handler, "handle-write", G_CALLBACK(write), this);
    if (!umockdev_testbed_attach_ioctl(bed, Device().c_str(), m_handler, nullptr))
        throw std::runtime_error("cannot emulate " + Device());
}

CEmulatedBus::~CEmulatedBus()
{
    g_signal_handlers_disconnect_by_data(m_handler, this);
    g_object_unref(m_handler);
}

int CEmulatedBus::Injected(EBusCall call)
{
    const bool message = call == EBusCall::Write || call == EBusCall::Read || call == EBusCall::Transfer;
    if (m_messagesLeft == 0)
        return ENODEV;
    if (m_messagesLeft > 0 && message)
        --m_messagesLeft;
    const auto fault = std::find_if(m_faults.begin(), m_faults.end(), [&](const CFault& f) { return f.call == call; });
    const int error = fault == m_faults.end() ? 0 : fault->error;
    if (error)
        m_faults.erase(fault);
    return error;
}

int CEmulatedBus::Message(EBusCall call, unsigned address, std::uint8_t* data, std::size_t length)
{
    if (const int error = Injected(call))
        return error;
    const bool read = call == EBusCall::Read;
    const std::int32_t handle = camera.IICInit((address << 1) | (read ? 1u : 0u), kIicSpeed, kIicTimeout);
    const auto count = static_cast<std::uint32_t>(length);
    Status status;
    if (read)
        status = StatusOf(camera.Receive(handle, data, kTransferFlags, count));
    else if (length <= 1)
        status = StatusOf(camera.Send(handle, data, kTransferFlags, count));
    else // the camera takes the first byte of a longer message as its sub-address
        status = StatusOf(camera.SendSub(handle, kSendSubFlags, data[0], data + 1, count - 1, kSendSubStop));
    camera.IICClose(handle);
    // The camera refuses a frame, or its absence shows, by not acknowledging: ENXIO, as bridge drivers say.
    return status == kStatusOk ? 0 : ENXIO;
}

int CEmulatedBus::Ioctl(UMockdevIoctlClient* client, long& result)
{
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    unsigned long value = 0;
    std::memcpy(&value, arg->data, sizeof value);
    const char* name = request == I2C_SLAVE ? "slave" : request == I2C_SLAVE_FORCE ? "slave-force"
                       : request == I2C_TIMEOUT ? "timeout" : request == I2C_RETRIES ? "retries" : nullptr;
    if (request == I2C_FUNCS) {
        log.push_back("funcs");
        UMockdevIoctlData* answer = umockdev_ioctl_data_resolve(arg, 0, sizeof funcs, nullptr);
        if (const int error = Injected(EBusCall::Funcs))
            return error;
        std::memcpy(answer->data, &funcs, sizeof funcs);
        return 0;
    }
    if (request == I2C_RDWR)
        return Transfer(client, result);
    if (!name)
        return ENOTTY;
    const std::uint8_t low = static_cast<std::uint8_t>(value);
    log.push_back(Line(name, &low, 1));
    if (request == I2C_TIMEOUT || request == I2C_RETRIES)
        return m_messagesLeft == 0 ? ENODEV : 0;
    if (const int error = Injected(EBusCall::Slave))
        return error;
    if (value > 0x7F)
        return EINVAL;
    if (request == I2C_SLAVE && driverHeld.count(static_cast<unsigned>(value)))
        return EBUSY;
    m_addresses[client] = static_cast<unsigned>(value);
    return 0;
}

int CEmulatedBus::Transfer(UMockdevIoctlClient* client, long& result)
{
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    UMockdevIoctlData* block = umockdev_ioctl_data_resolve(arg, 0, sizeof(i2c_rdwr_ioctl_data), nullptr);
    const std::size_t count = block ? reinterpret_cast<const i2c_rdwr_ioctl_data*>(block->data)->nmsgs : 0;
    if (count == 0 || count > I2C_RDWR_IOCTL_MAX_MSGS)
        return EINVAL;
    UMockdevIoctlData* list =
        umockdev_ioctl_data_resolve(block, offsetof(i2c_rdwr_ioctl_data, msgs), count * sizeof(i2c_msg), nullptr);
    for (std::size_t i = 0; i < count; ++i) {
        const i2c_msg message = reinterpret_cast<const i2c_msg*>(list->data)[i];
        UMockdevIoctlData* bytes =
            umockdev_ioctl_data_resolve(list, i * sizeof(i2c_msg) + offsetof(i2c_msg, buf), message.len, nullptr);
        const bool read = message.flags & I2C_M_RD;
        log.push_back(Line(read ? "transfer-read" : "transfer-write", bytes->data, read ? 0 : message.len));
        // The messages of one transfer are joined by repeated starts; the camera takes each as its own.
        if (const int error = Message(read ? EBusCall::Read : EBusCall::Transfer, message.addr, bytes->data, message.len))
            return error;
    }
    result = static_cast<long>(count);
    return 0;
}

int CEmulatedBus::OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    long result = 0;
    const int error = static_cast<CEmulatedBus*>(self)->Ioctl(client, result);
    umockdev_ioctl_client_complete(client, error ? -1 : result, error);
    return TRUE;
}

int CEmulatedBus::ReadOrWrite(UMockdevIoctlClient* client, bool read)
{
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::vector<std::uint8_t> data(arg->data, arg->data + arg->data_len);
    log.push_back(read ? "read " + std::to_string(data.size()) : Line("write", data.data(), data.size()));
    const int error = Message(read ? EBusCall::Read : EBusCall::Write, m_addresses[client], data.data(), data.size());
    // The bytes go back to the reader only through update(), which marks them to be copied.
    if (read && !error)
        umockdev_ioctl_data_update(arg, 0, data.data(), static_cast<int>(data.size()));
    umockdev_ioctl_client_complete(client, error ? -1 : static_cast<long>(data.size()), error);
    return TRUE;
}

CEmulatedBench::CEmulatedBench() : m_bed(umockdev_testbed_new())
{
    gchar* root = umockdev_testbed_get_root_dir(m_bed);
    m_root = root;
    g_free(root);
}

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

CEmulatedBus& CEmulatedBench::AddBus(int number, const std::string& parent, const std::string& name)
{
    const std::string minor = std::to_string(number), node = "i2c-" + minor;
    gchar* adapter = umockdev_testbed_add_device(m_bed, "i2c", node.c_str(), parent.c_str(), "name", name.c_str(),
                                                 nullptr, nullptr);
    gchar* chardev = umockdev_testbed_add_device(m_bed, "i2c-dev", ("i2c-dev/" + node).c_str(), adapter, "name",
                                                 name.c_str(), "dev", ("89:" + minor).c_str(), nullptr, "DEVNAME",
                                                 ("/dev/" + node).c_str(), "MAJOR", "89", "MINOR", minor.c_str(),
                                                 nullptr);
    // The bed makes /dev nodes only for devices read from a record; the preload
    // shows this file as the character device `dev` names.
    std::filesystem::create_directories(m_root + "/dev");
    std::ofstream(m_root + "/dev/" + node).close();
    m_buses.push_back(std::make_unique<CEmulatedBus>(number, m_bed));
    g_free(adapter);
    g_free(chardev);
    return *m_buses.back();
}

CEmulatedBus& CEmulatedBench::AddUsbBridge(int number, const std::string& name)
{
    const std::string port = "1-" + std::to_string(++m_usbPorts);
    if (m_usbPorts == 1)
        g_free(umockdev_testbed_add_device(m_bed, "usb", "pci0000:00/0000:00:14.0/usb1", nullptr, nullptr, "DEVTYPE",
                                           "usb_device", nullptr));
    gchar* device = umockdev_testbed_add_device(m_bed, "usb", port.c_str(), "/sys/devices/pci0000:00/0000:00:14.0/usb1", "idVendor", "10c4",
                                                "idProduct", "ea90", nullptr, "DEVTYPE", "usb_device", nullptr);
    gchar* interface = umockdev_testbed_add_device(m_bed, "usb", (port + ":1.0").c_str(), device, nullptr, "DEVTYPE",
                                                   "usb_interface", nullptr);
    CEmulatedBus& bus = AddBus(number, interface, name);
    g_free(device);
    g_free(interface);
    return bus;
}

CEmulatedBus& CEmulatedBench::AddBoardSmbus(int number)
{
    if (!std::filesystem::exists(m_root + "/sys/devices/pci0000:00/0000:00:1f.4"))
        g_free(umockdev_testbed_add_device(m_bed, "pci", "pci0000:00/0000:00:1f.4", nullptr, "vendor", "0x8086",
                                           nullptr, nullptr));
    CEmulatedBus& bus = AddBus(number, "/sys/devices/pci0000:00/0000:00:1f.4", "SMBus I801 adapter at efa0");
    bus.camera.SetPresent(false);
    return bus;
}

} // namespace zarnix::test
