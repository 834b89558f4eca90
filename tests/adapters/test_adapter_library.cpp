// A vendor adapter library as the tests need one: it exports the six calls with C
// linkage and answers them with a simulated camera at 0x70.
// ZARNIX_TEST_ADAPTER_STATUS, when set, is returned (raw, all 32 bits) by every
// transfer instead of the camera's own status. ZarnixTestAdapterPoke changes a
// register behind the bus's back.
#include <cstdint>
#include <cstdlib>

#include "sim/sim_camera.h"

namespace {

zarnix::CSimCamera& Camera()
{
    static zarnix::CSimCamera camera;
    return camera;
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
    return Camera().IICInit(address, speed, timeout);
}

__attribute__((visibility("default"))) std::uint32_t SetAddress(std::int32_t handle, std::uint32_t address)
{
    return Camera().SetAddress(handle, address);
}

__attribute__((visibility("default"))) std::uint32_t SendSub(std::int32_t handle, std::uint32_t flags,
                                                             std::uint32_t subAddress, const std::uint8_t* data,
                                                             std::uint32_t length, std::uint32_t stop)
{
    return Result(Camera().SendSub(handle, flags, subAddress, data, length, stop));
}

__attribute__((visibility("default"))) std::uint32_t Send(std::int32_t handle, const std::uint8_t* data,
                                                          std::uint32_t flags, std::uint32_t length)
{
    return Result(Camera().Send(handle, data, flags, length));
}

#ifndef ZARNIX_TEST_ADAPTER_WITHOUT_RECEIVE
__attribute__((visibility("default"))) std::uint32_t Receive(std::int32_t handle, std::uint8_t* data,
                                                             std::uint32_t flags, std::uint32_t length)
{
    return Result(Camera().Receive(handle, data, flags, length));
}
#endif

__attribute__((visibility("default"))) std::uint32_t IICClose(std::int32_t handle)
{
    return Camera().IICClose(handle);
}

// For a test without C++ (Python's ctypes): a register changed behind the bus's back.
__attribute__((visibility("default"))) void ZarnixTestAdapterPoke(unsigned bank, unsigned index, unsigned value)
{
    Camera().Poke(static_cast<std::uint8_t>(bank), static_cast<std::uint8_t>(index), static_cast<std::uint8_t>(value));
}

} // extern "C"
