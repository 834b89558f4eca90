// i2c-dev buses as the kernel shows them, built in a umockdev test bed: the
// sysfs tree the bus list reads and /dev/i2c-N nodes whose ioctl, read and
// write calls a handler here answers. Behind each bus sits the simulated
// camera, fed the bytes of each I2C message as they would cross the wire.
// Programs reach the buses only under umockdev-wrapper: this program's own
// calls, and those of every program it starts, which inherit the preload and
// the bed's $UMOCKDEV_DIR. umockdev answers every node on one thread of its
// own, one call at a time; a test looks at a bus only while no call is open.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sim/sim_camera.h"

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

namespace zarnix::test {

// The calls on a bus node that a fault can answer.
enum class EBusCall { Funcs, Slave, Write, Read, Transfer /* one message of I2C_RDWR */ };

class CEmulatedBus {
public:
    CEmulatedBus(int number, UMockdevTestbed* bed);
    ~CEmulatedBus();

    const int number;
    CSimCamera camera;
    unsigned long funcs;           // what I2C_FUNCS answers
    std::set<unsigned> driverHeld; // 7-bit addresses a kernel driver holds: I2C_SLAVE is refused with EBUSY
    // Every call, one line each: "slave 38", "write 00 30 04", "read 1", "timeout 64".
    std::vector<std::string> log;

    std::string Device() const { return "/dev/i2c-" + std::to_string(number); }
    // Fails the next call of `call` with `error`.
    void Fail(EBusCall call, int error) { m_faults.push_back({call, error}); }
    // After `messages` more messages every call fails with ENODEV, as on a bridge pulled out.
    void UnplugAfter(unsigned messages) { m_messagesLeft = static_cast<int>(messages); }

private:
    struct CFault {
        EBusCall call;
        int error;
    };
    static int OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self);
    int ReadOrWrite(UMockdevIoctlClient* client, bool read);
    // The errno a fault or a pulled-out bridge answers `call` with; 0 when it goes on.
    int Injected(EBusCall call);
    // One message as the camera sees it: a start, the address, the bytes, a stop.
    int Message(EBusCall call, unsigned address, std::uint8_t* data, std::size_t length);
    int Ioctl(UMockdevIoctlClient* client, long& result);
    int Transfer(UMockdevIoctlClient* client, long& result);

    UMockdevIoctlBase* m_handler;
    std::vector<CFault> m_faults;
    int m_messagesLeft = -1; // -1: plugged in for good
    std::map<UMockdevIoctlClient*, unsigned> m_addresses; // each open node's slave
};

class CEmulatedBench {
public:
    CEmulatedBench();
    ~CEmulatedBench();

    // Whether this program runs under the umockdev preload, without which the bed is not seen.
    static bool Preloaded();
    // A USB-to-I2C bridge on a port of the machine's USB controller: .../usb1/1-P/1-P:1.0/i2c-N/i2c-dev/i2c-N.
    CEmulatedBus& AddUsbBridge(int number, const std::string& name = "CP2112 SMBus Bridge on hidraw0");
    // The board's SMBus controller on PCI, with nothing at the camera's address.
    CEmulatedBus& AddBoardSmbus(int number);
    // umockdev 0.17's preload fills in st_rdev of an emulated node from buffers
    // all threads share, outside its lock, so two threads that stat() two nodes
    // at once can each get the other's device number (found with `zarnixctl
    // --all-buses`: both workers locked one node and the second was refused as
    // "in use"; never under strace, which keeps the calls apart). Without the
    // numbers, stat() shows each node with none, and it is its own lock.
    void HideDeviceNumbers() { std::filesystem::remove_all(m_root + "/dev/.node"); }

private:
    CEmulatedBus& AddBus(int number, const std::string& parent, const std::string& name);

    UMockdevTestbed* m_bed;
    std::string m_root;
    std::vector<std::unique_ptr<CEmulatedBus>> m_buses;
    int m_usbPorts = 0;
};

} // namespace zarnix::test
