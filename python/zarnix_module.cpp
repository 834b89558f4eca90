// The Python module `zarnix`: the camera for bench and production scripts, over
// the camera session the window and zarnixctl share. Each call is the session's
// own; what is here is Python's: arguments, the GIL, Ctrl-C and stop(), progress
// callbacks, and the session's results turned into values and exceptions.
//
// Bus work runs without the GIL, so threads drive several cameras at once. A
// Camera serves one call at a time (one thread per camera is the model); a
// second call while one runs, from another thread or from a progress callback,
// is refused with zarnix.Error rather than waited for. Only stop() and close()
// reach a running call from another thread: the one asks it to stop, the other
// asks and waits for it.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "backend/camera_session.h"
#include "link/iic_link.h"
#include "python/py_support.h"

#ifndef ZARNIX_VERSION
#define ZARNIX_VERSION "unknown"
#endif

namespace py = pybind11;
using namespace zarnix;
using namespace zarnix::python;

namespace {

using CPath = std::filesystem::path;
using CRegister = CSettingsTransfer::CRegister;

// A stop that came with the last register: the work is whole, the stop is still raised.
constexpr const char* kStoppedWhenDone = "Stopped after the work had completed";
// How often a close() waiting for another thread's call looks for Ctrl-C.
constexpr std::chrono::milliseconds kCloseWaitSlice{50};

py::tuple RegisterTuple(CRegister where) { return py::make_tuple(where.bank, where.index); }

// An address as open() takes it, refused before any bus is touched.
std::optional<unsigned> CheckedAddress(const std::optional<py::int_>& given)
{
    if (!given)
        return std::nullopt;
    const std::string shown = HexOf(*given);
    const std::optional<unsigned> address = ByteOrNothing(*given);
    if (!address || CheckCameraAddress(*address) == ECameraAddress::NotBelowFc)
        throw py::value_error("address " + shown + " is not an even number from 0 to 0xfa, where a camera can answer");
    if (CheckCameraAddress(*address) == ECameraAddress::Odd)
        throw py::value_error("address " + shown +
                              " is odd: give the camera's 8-bit write address, e.g. 0x70 (7-bit 0x38)");
    return address;
}

class CPyCamera {
public:
    CPyCamera() = default;
    CPyCamera(const CPyCamera&) = delete;
    CPyCamera& operator=(const CPyCamera&) = delete;
    // A camera nobody closed is closed here; what its close would have raised is lost.
    ~CPyCamera()
    {
        std::string ignored;
        if (m_session)
            m_session->Close(ignored);
    }

    // Chooses, opens and locks the backend, then takes `address` or searches.
    void Open(const CBackendChoice& choice, const std::optional<py::int_>& address);
    void Close();

    std::uint16_t Address()
    {
        CCall call(*this);
        return m_session->Address();
    }
    std::string Backend()
    {
        CCall call(*this);
        return m_session->Backend().Description();
    }
    std::uint16_t Search();
    // From any thread: the running call stops after the register under way.
    void Stop() { m_stopAsked = true; }
    unsigned Read(const py::int_& bank, const py::int_& index);
    void Write(const py::int_& bank, const py::int_& index, const py::int_& value);
    void Set(const std::string& name, const py::int_& value);
    py::dict Settings();
    void Save(const py::object& progress);
    void Dump(const CPath& path, bool all, const py::object& progress);
    void Load(const CPath& path, bool all, const py::object& progress);
    py::list Verify(const CPath& path, bool all, const py::object& progress);
    void Enter() { CCall call(*this); }

private:
    // One call: the camera held against a second caller, refused when closed,
    // its messages counted from the start; a stop asked before it began was
    // for a call that has ended.
    class CCall {
    public:
        explicit CCall(CPyCamera& camera) : m_camera(camera)
        {
            if (camera.m_closing)
                Raise(ErrorKind::Error, "the camera is closed");
            m_lock = std::unique_lock(camera.m_mutex, std::try_to_lock);
            if (!m_lock)
                Raise(ErrorKind::Error, "the camera is busy with another call; use one camera from one thread");
            if (!camera.m_session)
                Raise(ErrorKind::Error, "the camera is closed");
            camera.m_messages.Clear();
            camera.m_stopAsked = false;
            camera.m_caller = std::this_thread::get_id();
        }
        ~CCall()
        {
            if (m_lock)
                m_camera.m_caller = std::thread::id();
        }
        CCall(const CCall&) = delete;
        CCall& operator=(const CCall&) = delete;

    private:
        CPyCamera& m_camera;
        std::unique_lock<std::timed_mutex> m_lock;
    };

    // Takes the camera from a call running in another thread: asks it to stop
    // and waits for it, or raises what Ctrl-C raised meanwhile.
    std::unique_lock<std::timed_mutex> TakeFromRunningCall();

    // What a run that stopped, or failed on the bus, raises.
    [[noreturn]] void RaiseStopped(CPyStop& stop, const std::string& also = {});
    [[noreturn]] void RaiseBusError(std::optional<CRegister> where, const std::string& also = {});
    // A transfer's end other than Done, as its exception.
    void RaiseUnlessDone(const CTransferResult& result, CPyStop& stop);
    // A settings file read once and checked, for load and verify.
    std::vector<std::uint16_t> ReadChecked(const CPath& path, CPyStop& stop);

    std::timed_mutex m_mutex;
    std::atomic<bool> m_stopAsked{false};
    std::atomic<bool> m_closing{false};
    std::atomic<std::thread::id> m_caller{};
    CPyMessages m_messages; // outlives the session, which shows its messages there
    std::unique_ptr<CCameraSession> m_session;
};

void CPyCamera::RaiseStopped(CPyStop& stop, const std::string& also)
{
    if (!also.empty())
        m_messages.Show(also);
    for (const std::string& text : m_messages.Texts())
        Log(kLogWarning, text);
    stop.Raise(m_messages.Joined());
}

void CPyCamera::RaiseBusError(std::optional<CRegister> where, const std::string& also)
{
    if (!also.empty())
        m_messages.Show(also);
    RaiseWith(ErrorKind::Bus, m_messages.Joined(), "register",
              where ? py::object(RegisterTuple(*where)) : py::none());
}

void CPyCamera::Open(const CBackendChoice& choice, const std::optional<py::int_>& given)
{
    std::lock_guard lock(m_mutex);
    const std::string problem = choice.Problem();
    if (!problem.empty())
        throw py::value_error(InPythonTerms(problem));
    const std::optional<unsigned> address = CheckedAddress(given);
    auto session = std::make_unique<CCameraSession>();
    std::string error;
    EBackendOpen opened;
    {
        py::gil_scoped_release release;
        opened = session->Open(choice, m_messages, error);
    }
    const std::string text = InPythonTerms(WithoutErrorPrefix(error));
    const int holder = session->Backend().Holder();
    switch (opened) {
    case EBackendOpen::Opened:
        break;
    case EBackendOpen::NoAdapter:
    case EBackendOpen::NoBus:
        Raise(ErrorKind::NoCamera, text);
    case EBackendOpen::Busy:
        RaiseWith(ErrorKind::Busy, text, "holder", holder > 0 ? py::object(py::int_(holder)) : py::none());
    case EBackendOpen::Failed:
        Raise(ErrorKind::Error, text);
    }
    Log(kLogInfo, "using " + session->Backend().Description());
    if (!session->Backend().Note().empty())
        Log(kLogInfo, session->Backend().Note());
    m_session = std::move(session);
    if (address) {
        if (m_session->UseAddress(static_cast<std::uint16_t>(*address)) == EAddressUse::Reserved)
            throw py::value_error("address " + Hex(*address) + " (7-bit " + Hex(*address >> 1) +
                                  ") is reserved on an I2C bus; force=True uses it anyway");
        return;
    }
    m_messages.Clear();
    CSearchResult found;
    {
        py::gil_scoped_release release;
        found = m_session->Search();
    }
    if (found.address == kNoCameraAddress)
        Raise(ErrorKind::NoCamera, m_messages.Joined());
}

std::unique_lock<std::timed_mutex> CPyCamera::TakeFromRunningCall()
{
    // From the call's own progress callback the wait would never end.
    if (m_caller.load() == std::this_thread::get_id())
        Raise(ErrorKind::Error, "the camera is busy with this call; close it once the call has returned");
    m_closing = true;
    m_stopAsked = true;
    for (;;) {
        bool taken;
        {
            py::gil_scoped_release release;
            taken = m_mutex.try_lock_for(kCloseWaitSlice);
        }
        if (taken)
            return std::unique_lock(m_mutex, std::adopt_lock);
        if (PyErr_CheckSignals() != 0) {
            m_closing = false;
            throw py::error_already_set();
        }
    }
}

void CPyCamera::Close()
{
    std::unique_lock lock(m_mutex, std::try_to_lock);
    if (!lock)
        lock = TakeFromRunningCall();
    m_closing = false;
    if (!m_session)
        return;
    std::string error;
    bool closed;
    {
        py::gil_scoped_release release;
        closed = m_session->Close(error);
        m_session.reset(); // frees the lock
    }
    if (!closed)
        Raise(ErrorKind::Error, WithoutErrorPrefix(error));
}

std::uint16_t CPyCamera::Search()
{
    CCall call(*this);
    CSearchResult found;
    {
        py::gil_scoped_release release;
        found = m_session->Search();
    }
    if (found.address == kNoCameraAddress)
        Raise(ErrorKind::NoCamera, m_messages.Joined());
    return found.address;
}

unsigned CPyCamera::Read(const py::int_& bank, const py::int_& index)
{
    const std::uint8_t b = Byte(bank, "bank"), i = Byte(index, "index");
    CCall call(*this);
    CReadResult read;
    {
        py::gil_scoped_release release;
        read = m_session->Read(b, i);
    }
    if (read.Failed())
        RaiseBusError(CRegister{b, i});
    return read.value;
}

void CPyCamera::Write(const py::int_& bank, const py::int_& index, const py::int_& value)
{
    const std::uint8_t b = Byte(bank, "bank"), i = Byte(index, "index"), v = Byte(value, "value");
    CCall call(*this);
    bool written;
    {
        py::gil_scoped_release release;
        written = m_session->Write(b, i, v).Ok();
    }
    if (!written)
        RaiseBusError(CRegister{b, i});
}

void CPyCamera::Set(const std::string& name, const py::int_& value)
{
    const CSetCommand* command = FindSetCommand(name);
    if (!command)
        throw py::value_error("no setting named '" + name + "'; zarnix.commands() lists them");
    const std::uint8_t asked = Byte(value, "value");
    CCall call(*this);
    CSetResult set;
    {
        py::gil_scoped_release release;
        set = m_session->Set(*command, asked);
    }
    if (set.sent != asked)
        Log(kLogInfo, SettingName(*command) + " takes " + command->values + ": sending " + Hex(set.sent) + " for " +
                          Hex(asked));
    if (!set.written.Ok())
        RaiseBusError(CRegister{kBankLive, command->index});
}

py::dict CPyCamera::Settings()
{
    CCall call(*this);
    CPyStop stop(m_stopAsked);
    CLiveSettings live;
    {
        py::gil_scoped_release release;
        live = m_session->Show({}, stop.Check());
    }
    if (stop.Stopped())
        RaiseStopped(stop);
    if (!live.read.Ok())
        RaiseBusError(CRegister{live.read.bank, live.read.index});
    py::dict settings;
    for (std::uint8_t index : kReadBackIndexes)
        settings[py::str(RegisterName(index))] = live.values[index] & 0xFFu;
    return settings;
}

void CPyCamera::Save(const py::object& progress)
{
    CCall call(*this);
    CPyStop stop(m_stopAsked);
    CPyProgress steps(progress, stop);
    CSaveResult saved;
    {
        py::gil_scoped_release release;
        saved = m_session->Save(steps.Progress(), stop.Check());
    }
    if (stop.Stopped())
        RaiseStopped(stop, !saved.read.Ok() ? "Stopped during the read-back, nothing stored"
                           : saved.stored.Ok() ? kStoppedWhenDone : "");
    if (!saved.read.Ok())
        RaiseBusError(CRegister{saved.read.bank, saved.read.index},
                      "the live settings could not be read back; nothing was stored");
    if (!saved.stored.Ok())
        RaiseBusError(CRegister{saved.stored.bank, saved.stored.index});
}

void CPyCamera::RaiseUnlessDone(const CTransferResult& result, CPyStop& stop)
{
    if (stop.Stopped())
        RaiseStopped(stop, result.Done() ? kStoppedWhenDone : "");
    switch (result.outcome) {
    case ETransferResult::Done:
        return;
    case ETransferResult::Mismatch:
        RaiseWith(ErrorKind::Mismatch, m_messages.Joined(), "code", py::int_(result.mismatch));
    case ETransferResult::BadFile:
    case ETransferResult::WriteFailed:
        RaiseWith(ErrorKind::File, m_messages.Joined(), "line", py::none());
    default:
        RaiseBusError(result.failed);
    }
}

void CPyCamera::Dump(const CPath& path, bool all, const py::object& progress)
{
    CCall call(*this);
    CPyStop stop(m_stopAsked);
    CPyProgress steps(progress, stop);
    CTransferResult result;
    {
        py::gil_scoped_release release;
        result = m_session->Dump(path.string(), all, steps.Progress(), stop.Check());
    }
    RaiseUnlessDone(result, stop);
}

std::vector<std::uint16_t> CPyCamera::ReadChecked(const CPath& path, CPyStop& stop)
{
    // A bad file is refused before the bus is touched.
    CSettingsFileRead file;
    {
        py::gil_scoped_release release;
        file = CCameraSession::ReadSettingsFile(path.string(), stop.Check());
    }
    if (file.read == EReadFile::Stopped)
        RaiseStopped(stop, file.problem + ", camera unchanged");
    if (file.read != EReadFile::Read)
        RaiseWith(ErrorKind::File, file.problem, "line", py::none());
    if (!file.check.ok)
        RaiseWith(ErrorKind::File, file.check.problem, "line", LineOrNone(file.check.firstBadLine));
    return std::move(file.image);
}

void CPyCamera::Load(const CPath& path, bool all, const py::object& progress)
{
    CCall call(*this);
    CPyStop stop(m_stopAsked);
    const std::vector<std::uint16_t> image = ReadChecked(path, stop);
    CPyProgress steps(progress, stop);
    CTransferResult result;
    {
        py::gil_scoped_release release;
        result = m_session->Load(image, all, steps.Progress(), stop.Check());
    }
    RaiseUnlessDone(result, stop);
}

py::list CPyCamera::Verify(const CPath& path, bool all, const py::object& progress)
{
    CCall call(*this);
    CPyStop stop(m_stopAsked);
    const std::vector<std::uint16_t> image = ReadChecked(path, stop);
    CPyProgress steps(progress, stop);
    CVerifyResult verified;
    {
        py::gil_scoped_release release;
        verified = m_session->Verify(image, all, steps.Progress(), stop.Check());
    }
    RaiseUnlessDone(verified.transfer, stop);
    py::list listed;
    for (const CDifference& d : verified.differences) {
        py::dict entry;
        entry["register"] = RegisterTuple(CRegister{d.bank, d.index});
        entry["file"] = d.file;
        entry["camera"] = d.camera;
        const std::string name = SettingNameOf(d);
        entry["name"] = name.empty() ? py::object(py::none()) : py::str(name);
        listed.append(entry);
    }
    return listed;
}

// A device path may come as a str or an os.PathLike, and so may an adapter's name.
using CBusName = std::variant<int, CPath>;

// A bus as zarnixctl's --bus takes it: its number, device or adapter name. An
// empty one would leave the choice to the first USB bus.
std::string BusText(const CBusName& bus)
{
    std::string text = std::holds_alternative<int>(bus) ? std::to_string(std::get<int>(bus)) : std::get<CPath>(bus).string();
    if (text.empty())
        throw py::value_error("bus needs a bus number, device path or adapter name");
    return text;
}

std::unique_ptr<CPyCamera> OpenCamera(const std::optional<CBusName>& bus,
                                      const std::optional<CPath>& adapterLib, bool simulate,
                                      const std::optional<CPath>& simState, bool virtualClock,
                                      const std::optional<py::int_>& address, bool force)
{
    CBackendChoice choice;
    if (bus)
        choice.bus = BusText(*bus);
    if (adapterLib)
        choice.adapterLib = adapterLib->string();
    if (simState)
        choice.simState = simState->string();
    // As zarnixctl's --sim-state and --sim-clock, both mean the simulated camera.
    choice.simulate = simulate || simState || virtualClock;
    choice.virtualClock = virtualClock;
    choice.force = force;
    auto camera = std::make_unique<CPyCamera>();
    camera->Open(choice, address);
    return camera;
}

// One camera a bus (every i2c-dev bus on USB when neither list is given) or a
// simulated camera a state file. A line goes on without the camera that cannot
// be opened: its failure, named, goes into OpenAllError beside the cameras that
// did open. A wrong argument or Ctrl-C closes those opened and raises.
py::list OpenAll(const std::optional<std::vector<CBusName>>& buses,
                 const std::optional<std::vector<CPath>>& simStates, bool virtualClock,
                 const std::optional<py::int_>& address, bool force)
{
    std::vector<CBackendChoice> choices;
    for (const CBusName& bus : buses.value_or(std::vector<CBusName>{})) {
        CBackendChoice choice;
        choice.bus = BusText(bus);
        choice.force = force;
        choices.push_back(choice);
    }
    for (const CPath& state : simStates.value_or(std::vector<CPath>{})) {
        CBackendChoice choice;
        choice.simulate = true;
        choice.simState = state.string();
        choice.virtualClock = virtualClock;
        choices.push_back(choice);
    }
    if (!buses && !simStates) {
        for (const CI2cBus& bus : UsbBuses()) {
            CBackendChoice choice;
            choice.bus = bus.device;
            choice.force = force;
            choices.push_back(choice);
        }
        if (choices.empty())
            Raise(ErrorKind::NoCamera, "no i2c-dev bus on USB; zarnix.buses() lists the buses");
    }
    CheckedAddress(address);
    py::list opened, failures;
    for (const CBackendChoice& choice : choices) {
        auto camera = std::make_unique<CPyCamera>();
        try {
            camera->Open(choice, address);
            opened.append(py::cast(std::move(camera)));
        } catch (py::error_already_set& error) {
            if (!IsError(error))
                throw; // the cameras in `opened` close as the list goes
            error.value().attr("camera") = choice.simulate ? choice.simState : choice.bus;
            failures.append(error.value());
        }
    }
    if (py::len(failures) > 0)
        RaiseOpenAll(failures, opened);
    return opened;
}

py::dict CheckFile(const CPath& path)
{
    CSettingsFileCheck check;
    {
        py::gil_scoped_release release;
        check = CCameraSession::Check(path.string());
    }
    if (!check.ok)
        RaiseWith(ErrorKind::File, check.problem, "line", LineOrNone(check.firstBadLine));
    py::list blocks;
    for (std::size_t b = 0; b < kSettingsBlockCount; ++b)
        if (check.present[b])
            blocks.append(kSettingsBlockNames[b]);
    py::dict result;
    result["values"] = check.values;
    result["blocks"] = blocks;
    return result;
}

py::list Buses()
{
    py::list buses;
    for (const CI2cBus& bus : ListI2cBuses()) {
        py::dict entry;
        entry["number"] = bus.number;
        entry["device"] = bus.device;
        entry["name"] = bus.name;
        entry["usb"] = bus.usb;
        buses.append(entry);
    }
    return buses;
}

py::list Commands()
{
    py::list commands;
    for (const CSetCommand& command : kSetCommands) {
        py::dict entry;
        entry["name"] = SettingName(command);
        entry["register"] = RegisterTuple(CRegister{kBankLive, command.index});
        entry["setting"] = command.setting;
        entry["values"] = command.values;
        commands.append(entry);
    }
    return commands;
}

} // namespace

// The package zarnix (python/zarnix/__init__.py) gives these names and the whole story.
PYBIND11_MODULE(_zarnix, module)
{
    module.doc() = "The Zarnix camera module over I2C: the calls the package zarnix gives.";
    module.attr("__version__") = ZARNIX_VERSION;
    AddErrors(module);

    py::class_<CPyCamera>(module, "Camera", R"(A camera on one bus, opened by zarnix.open().

One thread per camera: a second call while one runs raises zarnix.Error; from
another thread, stop() ends the running call and close() ends it and closes.
Use it in a with block, or call close(), which frees the bus for others.)")
        .def_property_readonly("address", &CPyCamera::Address,
                               "The camera's 8-bit write address (0x70 from the factory).")
        .def_property_readonly("backend", &CPyCamera::Backend,
                               "What the camera is reached through, as zarnixctl prints it after \"using\".")
        .def("search", &CPyCamera::Search,
             "Probes the bus for the camera (0x70 first), takes the address it answers at and returns it.\n"
             "Raises NoCameraError when nothing answers.")
        .def("read", &CPyCamera::Read, py::arg("bank"), py::arg("index"),
             "Reads one register: bank 0xa1 the live settings (0xa1:4 is 0x30:4), 0xa0 the stored ones,\n"
             "0xe0, 0xe2, 0xf0, 0xf2 the ISP and Stat blocks. Raises BusError.")
        .def("write", &CPyCamera::Write, py::arg("bank"), py::arg("index"), py::arg("value"),
             "Writes one register. Bank 0x30 is live and forgotten at power-off; the camera keeps the\n"
             "others, and nothing asks first. Raises BusError.")
        .def("set", &CPyCamera::Set, py::arg("name"), py::arg("value"),
             "Runs one set command on the live settings, by the name zarnix.commands() gives\n"
             "(\"brightness\", \"3dnr-level\"). A register that limits its value gets it limited as the\n"
             "window sends it, and the logger says so.")
        .def("settings", &CPyCamera::Settings,
             "Reads the live settings back: a dict of the 44 registers by name, as zarnixctl show.")
        .def("save", &CPyCamera::Save, py::arg("progress") = py::none(),
             "Stores the live settings in the camera (bank 0xa0, kept over power-off), as the SAVE button\n"
             "does; they are read back first. progress(done, total) is called as it goes.")
        .def("dump", &CPyCamera::Dump, py::arg("path"), py::arg("all") = false,
             py::arg("progress") = py::none(),
             "Copies the stored settings (with all=True also the ISP and Stat blocks) to the settings file\n"
             "path. A failure or a stop leaves the file as it was.")
        .def("load", &CPyCamera::Load, py::arg("path"), py::arg("all") = false,
             py::arg("progress") = py::none(),
             "Writes the settings file path into the camera (with all=True each ISP and Stat block it\n"
             "holds), reads it back and commits it only when all matches. The file is checked first.\n"
             "Raises FileError, BusError or MismatchError; a stop sends no commit.")
        .def("verify", &CPyCamera::Verify, py::arg("path"), py::arg("all") = false,
             py::arg("progress") = py::none(),
             "Compares the camera with the settings file path, writing nothing: the registers load would\n"
             "write (with all=True also each ISP and Stat block the file holds), read as dump reads them.\n"
             "Returns the differences, each {'register': (bank, index), 'file': v, 'camera': v, 'name': ...}\n"
             "(name None where the register has none); an empty list when the camera matches.")
        .def("stop", &CPyCamera::Stop,
             "From any thread: the running call stops after the register under way, as Ctrl-C stops it\n"
             "(no commit, no partial file), and raises StoppedError in its own thread. No call, no effect.")
        .def("close", &CPyCamera::Close,
             "Keeps a simulated camera's state, closes the adapter, frees the bus. While a call runs in\n"
             "another thread it stops that call and waits for it first.")
        .def(
            "__enter__", [](CPyCamera& camera) -> CPyCamera& { return camera.Enter(), camera; },
            py::return_value_policy::reference, "The camera itself; a closed one raises zarnix.Error.")
        .def(
            "__exit__", [](CPyCamera& camera, py::args) { camera.Close(); }, "Closes the camera, as close().");

    module.def("open", &OpenCamera, py::arg("bus") = py::none(), py::arg("adapter_lib") = py::none(),
               py::arg("simulate") = false, py::arg("sim_state") = py::none(), py::arg("virtual_clock") = false,
               py::arg("address") = py::none(), py::arg("force") = false,
               R"(Opens a camera as zarnixctl does and returns a Camera.

bus: an i2c-dev bus by number, device or adapter name (see buses());
adapter_lib: a vendor adapter library; simulate: the built-in simulated camera,
whose sim_state file keeps its memory between runs and whose virtual_clock takes
away the protocol's pauses. With none of them, the first i2c-dev bus on USB;
there is no falling back to the simulated camera. The bus is locked for as long
as the camera is open (BusyError names the program holding it). Without address
the camera is searched for (NoCameraError when nothing answers); force claims
addresses a kernel driver holds and the reserved ones.)");
    module.def("open_all", &OpenAll, py::arg("buses") = py::none(), py::arg("sim_states") = py::none(),
               py::arg("virtual_clock") = false, py::arg("address") = py::none(), py::arg("force") = false,
               R"(Opens several cameras, as zarnixctl --all-buses does, and returns a list of Cameras.

buses: the i2c-dev buses, by number, device or adapter name; sim_states: state
files of simulated cameras, one camera each (virtual_clock for all of them).
With neither, every i2c-dev bus on USB. Each camera has its own adapter, lock
and clock: give each its own thread. When some cannot be opened, OpenAllError
holds their failures (.camera names each one's bus or state file) and, in
.cameras, the cameras that did open.)");
    module.def("check", &CheckFile, py::arg("path"),
               "Judges a settings file as load would, without a camera: {'values': n, 'blocks': [...]}.\n"
               "Raises FileError, with the line of the first bad pair where there is one.");
    module.def("buses", &Buses, "The i2c-dev buses, as zarnixctl --list-buses: number, device, name, usb.");
    module.def("commands", &Commands,
               "The set commands, as zarnixctl set --list: name, register (bank, index), setting, values.");
}
