// Finds the simulated camera on its bus and prints its live settings, on the
// real clock, so the protocol's pauses show as they would on a bench.
#include <cstdio>
#include <cstring>

#include "camera/camera_control.h"
#include "link/context.h"
#include "sim/sim_camera.h"

using namespace zarnix;

namespace {

const char* SettingName(std::uint8_t index)
{
    for (const auto& command : kSetCommands)
        if (command.index == index)
            return command.setting;
    return "(no command)";
}

} // namespace

int main(int argc, char** argv)
{
    bool virtualClock = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--virtual-clock") == 0) {
            virtualClock = true;
        } else {
            std::fprintf(stderr, "Usage: zarnix-demo [--virtual-clock]\n");
            return 2;
        }
    }
    CSimCamera camera;
    CRealClock realClock;
    CVirtualClock fakeClock;
    CStderrMessages messages;
    CLinkContext context{camera, virtualClock ? static_cast<CClock&>(fakeClock) : realClock, messages};

    CCameraControl control(context);
    const std::uint16_t address = control.SearchAddress();
    if (address == kNoCameraAddress)
        return 1;
    std::printf("camera at %x (7-bit 0x%02x)\n", address, address >> 1);

    control.m_wAddress = address;
    const bool complete = control.ReadSettings(30);
    for (std::size_t i = 0; i < kShadowSize; ++i)
        if (control.m_awShadow[i] != kNotRead)
            std::printf("30:%02zx %-45s %02x\n", i, SettingName(static_cast<std::uint8_t>(i)), control.m_awShadow[i]);
    return complete ? 0 : 1;
}
