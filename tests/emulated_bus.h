// i2c-dev buses as the kernel shows them, built in a umockdev test bed: the
// sysfs tree the bus list reads and /dev/i2c-N nodes whose ioctl, read and
// write calls a handler here answers (I2C_RDWR is not among them: the backend
// moves each message with read() and write()). Behind each bus sits the simulated
// camera, fed the bytes of each I2C message as they would cross the wire.
// Programs reach the buses only under umockdev-wrapper: this program's own
// calls, and those of every program it starts, which inherit the preload and
// the bed's $UMOCKDEV_DIR. umockdev answers every node on one thread of its
// own, one call at a time; a test looks at a bus only while no call is open.
#pragma once

#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/sim_camera.h"

namespace zarnix::test {

// The calls on a bus node that a fault can answer.
enum class EBusCall { Funcs, Slave, Write, Read };

class CEmulatedBus {
public:
    CEmulatedBus(int busNumber, UMockdevTestbed* bed) : number(busNumber), m_handler(umockdev_ioctl_base_new())
    {
        camera.LoadFactorySettings();
        using Handler = int (*)(UMockdevIoctlBase*, UMockdevIoctlClient*, CEmulatedBus*);
        const Handler ioctl = [](auto*, auto* client, auto* self) {
            return self->Complete(client, self->Ioctl(client));
        };
        const Handler read = [](auto*, auto* client, auto* self) { return self->ReadOrWrite(client, true); };
        const Handler write = [](auto*, auto* client, auto* self) { return self->ReadOrWrite(client, false); };
        g_signal_connect(m_handler, "handle-ioctl", G_CALLBACK(ioctl), this);
        g_signal_connect(m_handler, "handle-read", G_CALLBACK(read), this);
        g_signal_connect(m_handler, "handle-write", G_CALLBACK(write), this);
        if (!umockdev_testbed_attach_ioctl(bed, Device().c_str(), m_handler, nullptr))
            throw std::runtime_error("cannot emulate " + Device());
    }
    ~CEmulatedBus()
    {
        g_signal_handlers_disconnect_by_data(m_handler, this);
        g_object_unref(m_handler);
    }

    const int number;
    CSimCamera camera;
    unsigned long funcs = I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL; // what a CP2112 or an MCP2221 answers I2C_FUNCS
    std::set<unsigned> driverHeld; // 7-bit addresses a kernel driver holds: I2C_SLAVE is refused with EBUSY
    // Every call, one line each: "slave 38", "write 00 30 04", "read 1", "timeout 64".
    std::vector<std::string> log;

    std::string Device() const { return "/dev/i2c-" + std::to_string(number); }
    // Fails the next call of `call` with `error`.
    void Fail(EBusCall call, int error) { m_faults.push_back({call, error}); }
    // After `messages` more messages every call fails with ENODEV, as on a bridge pulled out.
    void UnplugAfter(unsigned messages) { m_messagesLeft = static_cast<int>(messages); }

private:
    // What the handler answers: the call's result, or -1 with the errno.
    struct CAnswer {
        int error;
        long result = 0;
    };

    static std::string Line(std::string text, const std::uint8_t* data, std::size_t length)
    {
        for (char byte[4]; length-- > 0; text += byte)
            std::snprintf(byte, sizeof byte, " %02x", *data++);
        return text;
    }

    int Complete(UMockdevIoctlClient* client, CAnswer answer)
    {
        umockdev_ioctl_client_complete(client, answer.error ? -1 : answer.result, answer.error);
        return TRUE;
    }

    // The errno a fault or a pulled-out bridge answers `call` with; 0 when it goes on.
    int Injected(EBusCall call)
    {
        if (m_messagesLeft == 0)
            return ENODEV;
        m_messagesLeft -= m_messagesLeft > 0 && call != EBusCall::Funcs && call != EBusCall::Slave;
        const auto fault = std::find_if(m_faults.begin(), m_faults.end(), [&](auto& f) { return f.first == call; });
        const int error = fault == m_faults.end() ? 0 : fault->second;
        if (error)
            m_faults.erase(fault);
        return error;
    }

    // One message as the camera sees it: a start, the address, the bytes, a stop.
    int Message(EBusCall call, unsigned address, std::uint8_t* data, std::size_t length)
    {
        if (const int error = Injected(call))
            return error;
        const bool read = call == EBusCall::Read;
        const std::int32_t handle = camera.IICInit((address << 1) | (read ? 1u : 0u), kIicSpeed, kIicTimeout);
        const auto n = static_cast<std::uint32_t>(length);
        // The camera takes the first byte of a longer message as its sub-address.
        const Status status = StatusOf(read     ? camera.Receive(handle, data, kTransferFlags, n)
                                       : n <= 1 ? camera.Send(handle, data, kTransferFlags, n)
                                                : camera.SendSub(handle, kSendSubFlags, data[0], data + 1, n - 1, 0));
        camera.IICClose(handle);
        // A refused frame, or no camera, shows as a missing acknowledge: ENXIO, as bridge drivers say.
        return status == kStatusOk ? 0 : ENXIO;
    }

    CAnswer Ioctl(UMockdevIoctlClient* client)
    {
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        if (request == I2C_FUNCS) {
            log.push_back("funcs");
            UMockdevIoctlData* answer = umockdev_ioctl_data_resolve(arg, 0, sizeof funcs, nullptr);
            if (const int error = Injected(EBusCall::Funcs))
                return {error};
            std::memcpy(answer->data, &funcs, sizeof funcs);
            return {0};
        }
        if (request == I2C_RDWR)
            return Transfer(arg);
        const std::map<unsigned long, const char*> names = {
            {I2C_SLAVE, "slave"}, {I2C_SLAVE_FORCE, "slave-force"}, {I2C_TIMEOUT, "timeout"}, {I2C_RETRIES, "retries"}};
        if (!names.count(request))
            return {ENOTTY};
        unsigned long value = 0;
        std::memcpy(&value, arg->data, sizeof value);
        const auto low = static_cast<std::uint8_t>(value);
        log.push_back(Line(names.at(request), &low, 1));
        if (request == I2C_TIMEOUT || request == I2C_RETRIES)
            return {m_messagesLeft == 0 ? ENODEV : 0};
        if (const int error = Injected(EBusCall::Slave))
            return {error};
        if (value > 0x7F || (request == I2C_SLAVE && driverHeld.count(static_cast<unsigned>(value))))
            return {value > 0x7F ? EINVAL : EBUSY};
        m_addresses[client] = static_cast<unsigned>(value);
        return {0};
    }

    // Messages joined by repeated starts in one I2C_RDWR, as i2c-tools' i2ctransfer
    // sends them; the camera takes each as a message of its own.
    CAnswer Transfer(UMockdevIoctlData* arg)
    {
        UMockdevIoctlData* block = umockdev_ioctl_data_resolve(arg, 0, sizeof(i2c_rdwr_ioctl_data), nullptr);
        const std::size_t count = block ? reinterpret_cast<const i2c_rdwr_ioctl_data*>(block->data)->nmsgs : 0;
        if (count == 0 || count > I2C_RDWR_IOCTL_MAX_MSGS)
            return {EINVAL};
        UMockdevIoctlData* list = umockdev_ioctl_data_resolve(block, offsetof(i2c_rdwr_ioctl_data, msgs),
                                                              count * sizeof(i2c_msg), nullptr);
        for (std::size_t i = 0; i < count; ++i) {
            const i2c_msg message = reinterpret_cast<const i2c_msg*>(list->data)[i];
            UMockdevIoctlData* bytes = umockdev_ioctl_data_resolve(
                list, i * sizeof(i2c_msg) + offsetof(i2c_msg, buf), message.len, nullptr);
            const bool read = message.flags & I2C_M_RD;
            log.push_back(Line(read ? "transfer-read" : "transfer-write", bytes->data, read ? 0 : message.len));
            if (const int error = Message(read ? EBusCall::Read : EBusCall::Write, message.addr, bytes->data, message.len))
                return {error};
        }
        return {0, static_cast<long>(count)};
    }

    int ReadOrWrite(UMockdevIoctlClient* client, bool read)
    {
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        std::vector<std::uint8_t> data(arg->data, arg->data + arg->data_len);
        log.push_back(read ? "read " + std::to_string(data.size()) : Line("write", data.data(), data.size()));
        const int error = Message(read ? EBusCall::Read : EBusCall::Write, m_addresses[client], data.data(),
                                  data.size());
        // The bytes go back to the reader only through update(), which marks them to be copied.
        if (read && !error)
            umockdev_ioctl_data_update(arg, 0, data.data(), static_cast<int>(data.size()));
        return Complete(client, {error, static_cast<long>(data.size())});
    }

    UMockdevIoctlBase* m_handler;
    std::vector<std::pair<EBusCall, int>> m_faults; // the call, the errno it gets
    int m_messagesLeft = -1; // -1: plugged in for good
    std::map<UMockdevIoctlClient*, unsigned> m_addresses; // each open node's slave
};

class CEmulatedBench {
public:
    CEmulatedBench() : m_bed(umockdev_testbed_new())
    {
        gchar* root = umockdev_testbed_get_root_dir(m_bed);
        m_root = root;
        g_free(root);
    }
    ~CEmulatedBench() { g_object_unref(m_bed); } // before the buses, whose handlers it holds

    // A USB-to-I2C bridge on a port of the machine's USB controller: .../usb1/1-P/1-P:1.0/i2c-N/i2c-dev/i2c-N.
    CEmulatedBus& AddUsbBridge(int number, const std::string& name = "CP2112 SMBus Bridge on hidraw0")
    {
        const std::string port = "1-" + std::to_string(++m_usbPorts);
        if (m_usbPorts == 1)
            Add("usb", "pci0000:00/0000:00:14.0/usb1", "", {}, {"DEVTYPE", "usb_device"});
        const std::string device = Add("usb", port, "/sys/devices/pci0000:00/0000:00:14.0/usb1",
                                       {"idVendor", "10c4", "idProduct", "ea90"}, {"DEVTYPE", "usb_device"});
        return AddBus(number, Add("usb", port + ":1.0", device, {}, {"DEVTYPE", "usb_interface"}), name);
    }
    // The board's SMBus controller on PCI, with nothing at the camera's address; one to a bench.
    CEmulatedBus& AddBoardSmbus(int number)
    {
        Add("pci", "pci0000:00/0000:00:1f.4", "", {"vendor", "0x8086"}, {});
        CEmulatedBus& bus = AddBus(number, "/sys/devices/pci0000:00/0000:00:1f.4", "SMBus I801 adapter at efa0");
        bus.camera.SetPresent(false);
        return bus;
    }
    // umockdev 0.17's preload fills in st_rdev of an emulated node from buffers
    // all threads share, outside its lock, so two threads that stat() two nodes
    // at once can each get the other's device number (found with `zarnixctl
    // --all-buses`: both workers locked one node and the second was refused as
    // "in use"; never under strace, which keeps the calls apart). Without the
    // numbers, stat() shows each node with none, and it is its own lock.
    void HideDeviceNumbers() { std::filesystem::remove_all(m_root + "/dev/.node"); }

private:
    // The device's sysfs path; `attributes` and `properties` as name, value, name, value.
    std::string Add(const char* subsystem, const std::string& name, const std::string& parent,
                    std::vector<std::string> attributes, std::vector<std::string> properties)
    {
        std::vector<gchar*> a, p;
        for (auto& s : attributes)
            a.push_back(s.data());
        for (auto& s : properties)
            p.push_back(s.data());
        a.push_back(nullptr);
        p.push_back(nullptr);
        gchar* path = umockdev_testbed_add_devicev(m_bed, subsystem, name.c_str(), parent.empty() ? nullptr
                                                   : parent.c_str(), a.data(), p.data());
        const std::string made = path ? path : "";
        g_free(path);
        return made;
    }
    CEmulatedBus& AddBus(int number, const std::string& parent, const std::string& name)
    {
        const std::string minor = std::to_string(number), node = "i2c-" + minor;
        Add("i2c-dev", "i2c-dev/" + node, Add("i2c", node, parent, {"name", name}, {}),
            {"name", name, "dev", "89:" + minor}, {"DEVNAME", "/dev/" + node, "MAJOR", "89", "MINOR", minor});
        // The bed makes /dev nodes only for devices read from a record; the preload
        // shows this file as the character device `dev` names.
        std::filesystem::create_directories(m_root + "/dev");
        std::ofstream(m_root + "/dev/" + node).close();
        return *m_buses.emplace_back(std::make_unique<CEmulatedBus>(number, m_bed));
    }

    UMockdevTestbed* m_bed;
    std::string m_root;
    std::vector<std::unique_ptr<CEmulatedBus>> m_buses;
    int m_usbPorts = 0;
};

} // namespace zarnix::test
