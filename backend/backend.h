// Which camera a program talks to, set up once for the window and the tool
// alike: the choice of adapter (the simulated camera, a Linux i2c-dev bus, a
// vendor adapter library; with no choice, the first i2c-dev bus whose adapter
// sits on USB), its lock, the simulated camera's state file, the clock, the bus
// trace, and the name of what was chosen.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "link/adapter.h"
#include "link/adapters/recording_adapter.h"
#include "link/clock.h"
#include "system/lock.h"
#include "sim/sim_camera.h"
#include "sim/sim_state.h"

namespace zarnix {

struct CBackendChoice {
    bool simulate = false;      // the built-in simulated camera
    std::string bus;            // an i2c-dev bus: number, device path or adapter name
    std::string adapterLib;     // a vendor adapter library
    bool force = false;         // claim addresses a kernel driver holds, and the reserved ones
    std::string simState;       // the simulated camera's memory between runs
    bool virtualClock = false;  // the protocol's pauses take no time (--sim-clock, which also simulates)
    std::string trace;          // every adapter call, with its time, goes there
    CStopCheck stop;            // ends a wait on a trace pipe or device that is not read
    // With nothing chosen and no adapter on USB: the window runs on the simulated
    // camera; the tool fails, so that nobody takes it for a real one.
    bool simulateWhenNoAdapter = false;

    // Bad usage, or "": more than one backend, or an option for another backend.
    std::string Problem() const;
};

enum class EBackendOpen {
    Opened,
    NoAdapter, // nothing chosen and no adapter on USB (and no falling back)
    NoBus,     // the chosen bus is not there: no such node, or no bus of that name
    Failed,    // the chosen bus, library or state file cannot serve; the message says why
    Busy,      // another program holds the bus, library or state file; see Holder()
};

class CBackend {
public:
    CBackend();
    ~CBackend();

    // Opens, locks and (with a trace) wraps the chosen adapter. `clock`, when
    // given, stands in for the one the choice names (the window's start-up
    // benchmark counts its pauses). `error` begins with "Error: ".
    EBackendOpen Open(const CBackendChoice& choice, std::string& error, CClock* clock = nullptr);

    // What the program talks to, with the trace around it when there is one.
    CAdapter& Adapter() { return *m_adapter; }
    CClock& Clock() { return *m_clockInUse; }
    // "the simulated camera (state in cam.state)", "/dev/i2c-3 (CP2112 SMBus Bridge on hidraw0)"
    const std::string& Description() const { return m_description; }
    bool Simulated() const { return m_simulated; }
    // What the operator should know about the lock taken, or "": a vendor
    // library locked on its own file, as the package's lock folder is missing.
    const std::string& Note() const { return m_note; }
    // After Open came back Busy: the other program's process, 0 when the system does not tell.
    int Holder() const { return m_holder; }

    // Keeps the simulated camera's memory for the next run when it changed (a
    // run that only read leaves the file alone), and closes the trace. False
    // with `error` when either could not be written.
    bool Close(std::string& error);

private:
    EBackendOpen OpenHardware(const CBackendChoice& choice, std::string& error);
    EBackendOpen OpenSimulated(const CBackendChoice& choice, std::string& error);

    std::unique_ptr<CAdapter> m_hardware;
    CResourceLock m_lock;     // on the bus node or the library
    CSimCamera m_camera;
    CSimStateFile m_stateFile; // locked for as long as this lives
    std::optional<CSimState> m_loadedState;
    bool m_simulated = false;
    bool m_opened = false;
    std::unique_ptr<CClock> m_clock;
    CClock* m_clockInUse = nullptr;
    CTraceFile m_traceFile;
    std::unique_ptr<CRecordingAdapter> m_recorder;
    CAdapter* m_adapter = nullptr;
    std::string m_description;
    std::string m_note;
    int m_holder = -1;
};

} // namespace zarnix
