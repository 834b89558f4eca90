#include "backend/backend.h"

#include <algorithm>

#include "link/adapters/bus_list.h"
#include "link/adapters/i2c_dev_adapter.h"
#include "link/adapters/library_adapter.h"
#include "link/iic_link.h"

namespace zarnix {

std::string CBackendChoice::Problem() const
{
    const bool simulated = simulate || !simState.empty();
    if ((simulated ? 1 : 0) + (bus.empty() ? 0 : 1) + (adapterLib.empty() ? 0 : 1) > 1)
        return "choose one of --simulate (or --sim-state, --sim-clock), --bus and --adapter-lib";
    if (force && bus.empty() && (simulated || !adapterLib.empty()))
        return "--force is for an i2c-dev bus";
    return "";
}

namespace {

// The texts of the layers below may already say "Error: "; a message says it once.
std::string AsError(const std::string& text)
{
    constexpr std::string_view prefix = "Error: ";
    return text.starts_with(prefix) ? text : std::string(prefix) + text;
}

} // namespace

CBackend::CBackend() = default;
CBackend::~CBackend() = default;

EBackendOpen CBackend::OpenHardware(const CBackendChoice& choice, std::string& error)
{
    if (!choice.adapterLib.empty()) {
        auto library = CLibraryAdapter::Load(choice.adapterLib, error);
        if (!library)
            return EBackendOpen::Failed;
        m_description = "the adapter library " + choice.adapterLib;
        if (!m_lock.TakeLibrary(library->File(), m_description, error, m_note))
            return EBackendOpen::Failed;
        m_hardware = std::move(library);
        return EBackendOpen::Opened;
    }
    const auto buses = ListI2cBuses();
    std::optional<CI2cBus> bus;
    if (!choice.bus.empty()) {
        std::string why;
        bus = FindI2cBus(buses, choice.bus, why);
        if (!bus) {
            error = AsError(why);
            // A name shared by several buses is the caller's to settle; a name nobody has is a missing bus.
            const bool named = std::any_of(buses.begin(), buses.end(),
                                           [&](const CI2cBus& listed) { return listed.name == choice.bus; });
            return named ? EBackendOpen::Failed : EBackendOpen::NoBus;
        }
    } else {
        bus = FirstUsbBus(buses);
        if (!bus) {
            error = std::string("Error: no USB-to-I2C adapter found") +
                    (buses.empty() ? " (no i2c-dev buses at all: sudo modprobe i2c-dev)" : "") +
                    ". Give --bus N for another bus, or --simulate to use the simulated camera.";
            return EBackendOpen::NoAdapter;
        }
    }
    auto adapter = std::make_unique<CI2cDevAdapter>(bus->device, choice.force);
    const CBusCheck check = adapter->CheckBus();
    if (!check.usable) {
        error = check.message;
        return check.missing ? EBackendOpen::NoBus : EBackendOpen::Failed;
    }
    if (!choice.force && adapter->AddressHeldByDriver(kDefaultCameraAddress)) {
        error = "Error: A kernel driver holds address 0x38 (the camera's 70) on " + bus->device +
                ", so the camera cannot be reached there. --force takes the address over; do that only "
                "when the driver is not for a device that answers there.";
        return EBackendOpen::Failed;
    }
    if (!m_lock.TakeFile(DeviceNodeOf(bus->device), bus->device, error))
        return EBackendOpen::Failed;
    m_hardware = std::move(adapter);
    m_description = bus->device + (bus->name.empty() ? "" : " (" + bus->name + ")");
    return EBackendOpen::Opened;
}

EBackendOpen CBackend::OpenSimulated(const CBackendChoice& choice, std::string& error)
{
    m_simulated = true;
    m_description = "the simulated camera" + (choice.simState.empty() ? "" : " (state in " + choice.simState + ")");
    if (choice.simState.empty())
        return EBackendOpen::Opened;
    // Locked before it is read: two runs on one state file would each keep their
    // own camera and lose the other's changes.
    CSimState state;
    switch (m_stateFile.Open(choice.simState, state, error)) {
    case ESimStateLoad::Loaded:
        ApplySimState(state, m_camera);
        m_loadedState = std::move(state);
        return EBackendOpen::Opened;
    case ESimStateLoad::Missing:
        return EBackendOpen::Opened; // a camera fresh from the factory
    case ESimStateLoad::Failed:
        error = AsError(error);
        return EBackendOpen::Failed;
    }
    return EBackendOpen::Failed;
}

EBackendOpen CBackend::Open(const CBackendChoice& choice, std::string& error, CClock* clock)
{
    const bool simulate = choice.simulate || !choice.simState.empty();
    EBackendOpen opened = simulate ? OpenSimulated(choice, error) : OpenHardware(choice, error);
    if (opened == EBackendOpen::NoAdapter && choice.simulateWhenNoAdapter)
        opened = OpenSimulated(choice, error);
    if (opened == EBackendOpen::Failed) {
        m_holder = m_simulated ? m_stateFile.Holder() : m_lock.Holder();
        if (m_holder >= 0)
            opened = EBackendOpen::Busy;
    }
    if (opened != EBackendOpen::Opened)
        return opened;
    m_adapter = m_simulated ? static_cast<CAdapter*>(&m_camera) : m_hardware.get();

    if (clock) {
        m_clockInUse = clock;
    } else {
        m_clock = choice.virtualClock ? std::unique_ptr<CClock>(new CVirtualClock) : std::make_unique<CRealClock>();
        m_clockInUse = m_clock.get();
    }
    if (!choice.trace.empty()) {
        if (!m_traceFile.Open(choice.trace, error, choice.stop))
            return EBackendOpen::Failed;
        m_recorder = std::make_unique<CRecordingAdapter>(*m_adapter, *m_clockInUse);
        m_recorder->SetTraceStream(m_traceFile.Stream());
        m_adapter = m_recorder.get();
    }
    m_opened = true;
    return EBackendOpen::Opened;
}

bool CBackend::Close(std::string& error)
{
    bool ok = m_traceFile.Close(error);
    // Only a camera that was fully brought up has a state worth keeping.
    if (!m_opened || !m_simulated || !m_stateFile.Held())
        return ok;
    const CSimState now = CaptureSimState(m_camera);
    if (m_loadedState && *m_loadedState == now)
        return ok;
    std::string why;
    if (!m_stateFile.Save(now, why)) {
        error = AsError(why);
        return false;
    }
    m_loadedState = now;
    return ok;
}

} // namespace zarnix
