// A vendor adapter library as the tests need one: it exports the six calls with C
// linkage and answers them with a simulated camera at 0x70. Each call is appended
// to the file named by ZARNIX_TEST_ADAPTER_LOG, one line per call with every
// argument; ZARNIX_TEST_ADAPTER_STATUS, when set, is returned (raw, all 32 bits)
// by every transfer instead of the camera's own status. ZarnixTestAdapterPoke
// changes a register behind the bus's back.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "sim/sim_camera.h"

namespace {

zarnix::CSimCamera& Camera()
{
    static zarnix::CSimCamera camera;
    return camera;
}


void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...)
{
    const char* path = std::getenv("ZARNIX_TEST_ADAPTER_LOG");
    if (!path || !*path)
        return;
    if (FILE* file = std::fopen(path, "a")) {
        va_list args;
        va_start(args, format);
        std::vfprintf(file, format, args);
        va_end(args);
        std::fputc('\n', file);
        std::fclose(file);
    }
}

std::uint32_t Result(std::uint32_t camera)
{
    const char* forced = std::getenv("ZARNIX_TEST_ADAPTER_STATUS");
    return forced && *forced ? static_cast<std::uint32_t>(std::strtoul(forced, nullptr, 0)) : camera;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) std::int32_t IICInit(std::uint32_t address, std::uint32_t speed,
                                                            std::uint32_t timeout)
{
    const std::int32_t handle = Camera().IICInit(address, speed, timeout);
    Log("IICInit %#x %u %u -> %d", address, speed, timeout, handle);
    return handle;
}

__attribute__((visibility("default"))) std::uint32_t SetAddress(std::int32_t handle, std::uint32_t address)
{
    Log("SetAddress %d %#x", handle, address);
    return Camera().SetAddress(handle, address);
}

__attribute__((visibility("default"))) std::uint32_t SendSub(std::int32_t handle, std::uint32_t flags,
                                                             std::uint32_t subAddress, const std::uint8_t* data,
                                                             std::uint32_t length, std::uint32_t stop)
{
    Log("SendSub %d %u %#x [%02x %02x] %u %u", handle, flags, subAddress, data[0], length > 1 ? data[1] : 0, length,
        stop);
    return Result(Camera().SendSub(handle, flags, subAddress, data, length, stop));
}

__attribute__((visibility("default"))) std::uint32_t Send(std::int32_t handle, const std::uint8_t* data,
                                                          std::uint32_t flags, std::uint32_t length)
{
    Log("Send %d [%02x] %u %u", handle, data[0], flags, length);
    return Result(Camera().Send(handle, data, flags, length));
}

#ifndef ZARNIX_TEST_ADAPTER_WITHOUT_RECEIVE
__attribute__((visibility("default"))) std::uint32_t Receive(std::int32_t handle, std::uint8_t* data,
                                                             std::uint32_t flags, std::uint32_t length)
{
    const std::uint32_t status = Result(Camera().Receive(handle, data, flags, length));
    Log("Receive %d [%02x] %u %u", handle, data[0], flags, length);
    return status;
}
#endif

__attribute__((visibility("default"))) std::uint32_t IICClose(std::int32_t handle)
{
    Log("IICClose %d", handle);
    return Camera().IICClose(handle);
}

// For a test without C++ (Python's ctypes): a register changed behind the bus's back.
__attribute__((visibility("default"))) void ZarnixTestAdapterPoke(unsigned bank, unsigned index, unsigned value)
{
    Camera().Poke(static_cast<std::uint8_t>(bank), static_cast<std::uint8_t>(index), static_cast<std::uint8_t>(value));
}

} // extern "C"
