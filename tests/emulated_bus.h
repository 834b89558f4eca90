// i2c-dev buses as the kernel shows them, built in a umockdev test bed: the
// sysfs tree the bus list reads and /dev/i2c-N nodes whose ioctl, read and
// write calls a handler here answers. Behind a bus's camera address sits the
// simulated camera, fed the bytes of each I2C message as they would cross the
// wire. Programs reach the buses only under umockdev-wrapper (the test
// program's own calls, and every program it starts, which inherit the
// preload and the bed's $UMOCKDEV_DIR).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "sim/sim_camera.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

namespace zarnix::test {

// The calls on a bus node that a fault can answer.
enum class EBusCall { Funcs, Slave, Write, Read, Transfer /* I2C_RDWR */ };

class CEmulatedBus {
public:
    CEmulatedBus(int number, std::string sysPath);
    ~CEmulatedBus();
    CEmulatedBus(const CEmulatedBus&) = delete;
    CEmulatedBus& operator=(const CEmulatedBus&) = delete;

    int Number() const { return m_number; }
    std::string Device() const { return "/dev/i2c-" + std::to_string(m_number); }
    const std::string& SysPath() const { return m_sysPath; }

    // Fails `times` calls of `call` (0: every one) with `error`, after `after` of them went through.
    void Fail(EBusCall call, int error, unsigned times = 0, unsigned after = 0);
    // A kernel driver holds the 7-bit `address`: I2C_SLAVE is refused with EBUSY, I2C_SLAVE_FORCE takes it.
    void HoldByDriver(unsigned address);
    void SetFuncs(unsigned long funcs);
    // After `messages` more messages every call fails with ENODEV, as on a bridge pulled out.
    void UnplugAfter(unsigned messages);
    // Every call so far, one line each: "slave 38", "write 00 30 04", "read 1".
    std::vector<std::string> Log() const;
    void ClearLog();
    // The camera, for a test to look at or change while no program is between calls.
    CSimCamera& Camera() { return m_camera; }

    // Attaches the handler; for CEmulatedBench.
    void Attach(UMockdevTestbed* bed);

private:
    struct CFault {
        EBusCall call;
        int error;
        unsigned times;
        unsigned after;
    };
    struct CClientState {
        UMockdevIoctlClient* client;
        unsigned address;
    };
    static int OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self);
    static int OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self);
    static int OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self);
    static void OnVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self);

    // The errno a fault or a pulled-out bridge answers `call` with; 0 when it goes on.
    int Injected(EBusCall call);
    unsigned& AddressOf(UMockdevIoctlClient* client);
    // One message as the camera sees it; the errno of its failure or 0.
    int Message(unsigned address, bool read, std::uint8_t* data, std::size_t length);
    int Ioctl(UMockdevIoctlClient* client, unsigned long request, long& result);
    int Transfer(UMockdevIoctlClient* client, long& result);
    void Note(std::string line);

    int m_number;
    std::string m_sysPath;
    UMockdevIoctlBase* m_handler = nullptr;
    mutable std::mutex m_mutex;
    CSimCamera m_camera;
    unsigned long m_funcs;
    std::set<unsigned> m_driverHeld;
    std::vector<CFault> m_faults;
    bool m_unplugging = false;
    unsigned m_messagesLeft = 0;
    std::vector<CClientState> m_clients;
    std::vector<std::string> m_log;
};

class CEmulatedBench {
public:
    CEmulatedBench();
    ~CEmulatedBench();
    CEmulatedBench(const CEmulatedBench&) = delete;
    CEmulatedBench& operator=(const CEmulatedBench&) = delete;

    // Whether this program runs under the umockdev preload, without which the bed is not seen.
    static bool Preloaded();

    // A USB-to-I2C bridge on a hub port of the machine's USB controller:
    // .../usb1/1-<port>/1-<port>:1.0/i2c-N/i2c-dev/i2c-N.
    CEmulatedBus& AddUsbBridge(int number, const std::string& name = "CP2112 SMBus Bridge on hidraw0");
    // The board's SMBus controller on PCI, with nothing at the camera's address.
    CEmulatedBus& AddBoardSmbus(int number, const std::string& name = "SMBus I801 adapter at efa0");
    // Takes the bus out of sysfs and /dev, as the kernel does once a bridge is gone.
    void Remove(CEmulatedBus& bus);
    std::string Root() const;

private:
    CEmulatedBus& AddBus(int number, const std::string& parent, const std::string& name);

    UMockdevTestbed* m_bed;
    std::vector<std::unique_ptr<CEmulatedBus>> m_buses;
    int m_usbPorts = 0;
};

} // namespace zarnix::test
