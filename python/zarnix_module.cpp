// The Python module `zarnix`: the camera for bench and production scripts, over
// the core the window and zarnixctl share. The backend is chosen, locked and
// closed by CBackend as for the tool; the commands are the core's own calls.
//
// Bus work runs without the GIL, so threads drive several cameras at once. A
// Camera serves one call at a time (one thread per camera is the model); a
// second call while one runs, from another thread or from a progress callback,
// is refused with zarnix.Error rather than waited for.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <pybind11/stl/filesystem.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "backend/backend.h"
#include "camera/camera_control.h"
#include "link/adapters/bus_list.h"
#include "link/iic_link.h"
#include "link/read_requests.h"
#include "python/py_support.h"
#include "settings/settings_file.h"
#include "settings/transfer.h"

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

py::tuple RegisterTuple(CRegister where) { return py::make_tuple(where.bank, where.index); }

class CPyCamera {
public:
    CPyCamera() = default;
    CPyCamera(const CPyCamera&) = delete;
    CPyCamera& operator=(const CPyCamera&) = delete;
    // A camera nobody closed is closed here; what its close would have raised is lost.
    ~CPyCamera()
    {
        std::string ignored;
        if (m_backend)
            m_backend->Close(ignored);
    }

    // Chooses, opens and locks the backend, then takes `address` or searches.
    void Open(const CBackendChoice& choice, const std::optional<py::int_>& address);
    void Close();

    std::uint16_t Address()
    {
        CCall call(*this);
        return m_address;
    }
    std::string Backend()
    {
        CCall call(*this);
        return m_backend->Description();
    }
    std::uint16_t Search();
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
    // its messages counted from the start.
    class CCall {
    public:
        explicit CCall(CPyCamera& camera) : m_lock(camera.m_mutex, std::try_to_lock)
        {
            if (!m_lock)
                Raise(ErrorKind::Error, "the camera is busy with another call; use one camera from one thread");
            if (!camera.m_backend)
                Raise(ErrorKind::Error, "the camera is closed");
            camera.m_messages.Clear();
        }

    private:
        std::unique_lock<std::mutex> m_lock;
    };

    // What a run that stopped, or failed on the bus, raises.
    [[noreturn]] void RaiseStopped(CPyStop& stop, const std::string& also = {});
    [[noreturn]] void RaiseBusError(std::optional<CRegister> where, const std::string& also = {});
    // A settings file read once and checked, for load and verify.
    std::vector<std::uint16_t> ReadChecked(const CPath& path, CPyStop& stop);

    std::mutex m_mutex;
    std::unique_ptr<CBackend> m_backend;
    std::unique_ptr<CReadRequestCounter> m_counter;
    std::unique_ptr<CLinkContext> m_context;
    CPyMessages m_messages;
    std::uint16_t m_address = kNoCameraAddress;
};

void CPyCamera::RaiseStopped(CPyStop& stop, const std::string& also)
{
    if (!also.empty())
        m_messages.Show(also);
    for (const std::string& text : m_messages.Texts())
        Log(kLogWarning, text);
    stop.Raise();
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
    std::optional<unsigned> address;
    if (given) {
        const std::string shown = HexOf(*given);
        address = ByteOrNothing(*given);
        if (!address || CheckCameraAddress(*address) == ECameraAddress::NotBelowFc)
            throw py::value_error("address " + shown + " is not below 0xfc, where no camera can answer");
        if (CheckCameraAddress(*address) == ECameraAddress::Odd)
            throw py::value_error("address " + shown +
                                  " is odd: give the camera's 8-bit write address, e.g. 0x70 (7-bit 0x38)");
    }
    auto backend = std::make_unique<CBackend>();
    std::string error;
    EBackendOpen opened;
    {
        py::gil_scoped_release release;
        opened = backend->Open(choice, error);
    }
    const std::string text = InPythonTerms(WithoutErrorPrefix(error));
    switch (opened) {
    case EBackendOpen::Opened:
        break;
    case EBackendOpen::NoAdapter:
        Raise(ErrorKind::NoCamera, text);
    case EBackendOpen::Busy:
        RaiseWith(ErrorKind::Busy, text, "holder",
                  backend->Holder() > 0 ? py::object(py::int_(backend->Holder())) : py::none());
    case EBackendOpen::Failed:
        Raise(ErrorKind::Error, text);
    }
    Log(kLogInfo, "using " + backend->Description());
    if (!backend->Note().empty())
        Log(kLogInfo, backend->Note());
    m_counter = std::make_unique<CReadRequestCounter>(backend->Adapter());
    m_context = std::make_unique<CLinkContext>(CLinkContext{*m_counter, backend->Clock(), m_messages});
    m_backend = std::move(backend);
    if (address) {
        // The general call and the other reserved addresses reach every device on
        // a shared bus, not the camera.
        if (m_context->adapter.AddressReserved(*address))
            throw py::value_error("address " + Hex(*address) + " (7-bit " + Hex(*address >> 1) +
                                  ") is reserved on an I2C bus; force=True uses it anyway");
        m_address = static_cast<std::uint16_t>(*address);
        return;
    }
    m_messages.Clear();
    {
        py::gil_scoped_release release;
        m_address = SearchAddress(*m_context);
    }
    if (m_address == kNoCameraAddress)
        Raise(ErrorKind::NoCamera, m_messages.Joined());
}

void CPyCamera::Close()
{
    std::unique_lock lock(m_mutex, std::try_to_lock);
    if (!lock)
        Raise(ErrorKind::Error, "the camera is busy with another call; close it from the thread that uses it");
    if (!m_backend)
        return;
    std::string error;
    bool closed;
    {
        py::gil_scoped_release release;
        closed = m_backend->Close(error);
        m_context.reset();
        m_counter.reset();
        m_backend.reset(); // frees the lock
    }
    if (!closed)
        Raise(ErrorKind::Error, WithoutErrorPrefix(error));
}

std::uint16_t CPyCamera::Search()
{
    CCall call(*this);
    std::uint16_t found;
    {
        py::gil_scoped_release release;
        found = SearchAddress(*m_context);
    }
    if (found == kNoCameraAddress)
        Raise(ErrorKind::NoCamera, m_messages.Joined());
    m_address = found;
    return found;
}

unsigned CPyCamera::Read(const py::int_& bank, const py::int_& index)
{
    const std::uint8_t b = Byte(bank, "bank"), i = Byte(index, "index");
    CCall call(*this);
    CReadResult read;
    {
        py::gil_scoped_release release;
        read = CCameraControl(*m_context, m_address).ReadRegisterChecked(b, i);
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
        // The checked write sends no data byte after a failed address frame: a lone
        // byte would land in whatever register the camera had addressed before.
        written = CCameraControl(*m_context, m_address).WriteRegisterChecked(b, i, v).Ok();
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
    const std::uint16_t sent = ApplyValueRule(command->rule, asked);
    if (sent != asked)
        Log(kLogInfo, SettingName(*command) + " takes " + command->values + ": sending " + Hex(sent) + " for " +
                          Hex(asked));
    bool written;
    {
        py::gil_scoped_release release;
        written = CCameraControl(*m_context, m_address).WriteRegisterChecked(kBankLive, command->index, sent).Ok();
    }
    if (!written)
        RaiseBusError(CRegister{kBankLive, command->index});
}

py::dict CPyCamera::Settings()
{
    CCall call(*this);
    CCameraControl control(*m_context, m_address);
    CPyStop stop;
    CCameraResult read;
    {
        py::gil_scoped_release release;
        read = control.ReadSettings(kStartComDelay, stop.Check());
    }
    if (stop.Stopped())
        RaiseStopped(stop);
    if (!read.Ok())
        RaiseBusError(CRegister{read.bank, read.index});
    py::dict settings;
    for (std::uint8_t index : kReadBackIndexes)
        settings[py::str(RegisterName(index))] = control.Shadow()[index] & 0xFFu;
    return settings;
}

void CPyCamera::Save(const py::object& progress)
{
    CCall call(*this);
    CCameraControl camera(*m_context, m_address);
    CPyStop stop;
    CPyProgress steps(progress, static_cast<unsigned>(kReadBackIndexes.size() + kStoredIndexes.size()), stop);
    CCameraResult read, stored{EOutcome::Stopped};
    {
        py::gil_scoped_release release;
        // Nothing is kept between calls: what the camera runs with now is what
        // gets stored, so it is read back first, as zarnixctl does.
        m_counter->OnReadRequest([&] { steps.Step(); });
        read = camera.ReadSettings(kStartComDelay, stop.Check());
        m_counter->OnReadRequest({});
        // The store goes on past a failed register as the window's SAVE does,
        // and names the first one.
        if (read.Ok())
            stored = camera.StoreSettings(camera.Shadow(), [&](std::uint8_t) { steps.Step(); }, stop.Check());
    }
    if (stop.Stopped())
        RaiseStopped(stop, !read.Ok() ? "Stopped during the read-back, nothing stored"
                           : stored.Ok() ? kStoppedWhenDone : "");
    if (!read.Ok())
        RaiseBusError(CRegister{read.bank, read.index}, "the live settings could not be read back; nothing was stored");
    if (!stored.Ok())
        RaiseBusError(CRegister{stored.bank, stored.index});
}

void CPyCamera::Dump(const CPath& path, bool all, const py::object& progress)
{
    CCall call(*this);
    CPyStop stop;
    CPyProgress steps(progress, CameraToFileSteps(all), stop);
    CSettingsTransfer transfer(*m_context, m_address, [&] { steps.Step(); }, stop.Check());
    ETransferResult result;
    {
        py::gil_scoped_release release;
        result = transfer.CameraToFile(path.string(), all);
    }
    if (stop.Stopped())
        RaiseStopped(stop, result == ETransferResult::Done ? kStoppedWhenDone : "");
    switch (result) {
    case ETransferResult::Done:
        return;
    case ETransferResult::BusFailure:
        RaiseBusError(transfer.FailedRegister());
    default:
        RaiseWith(ErrorKind::File, m_messages.Joined(), "line", py::none());
    }
}

std::vector<std::uint16_t> CPyCamera::ReadChecked(const CPath& path, CPyStop& stop)
{
    // Read once: what is checked is what gets used, also from a pipe or a file
    // that changes meanwhile. A bad file is refused before the bus is touched.
    std::string bytes, problem;
    EReadFile read;
    {
        py::gil_scoped_release release;
        read = ReadSettingsBytes(path.string(), bytes, problem, stop.Check());
    }
    if (read == EReadFile::Stopped)
        RaiseStopped(stop, problem + ", camera unchanged");
    if (read != EReadFile::Read)
        RaiseWith(ErrorKind::File, problem, "line", py::none());
    std::vector<std::uint16_t> image(kSettingsImageSize, 0xFF);
    const CSettingsFileCheck check = CheckSettingsText(bytes, path.string(), image);
    if (!check.ok)
        RaiseWith(ErrorKind::File, check.problem, "line", LineOrNone(check.firstBadLine));
    return image;
}

void CPyCamera::Load(const CPath& path, bool all, const py::object& progress)
{
    CCall call(*this);
    CPyStop stop;
    const std::vector<std::uint16_t> image = ReadChecked(path, stop);
    CPyProgress steps(progress, FileToCameraSteps(BlocksWritten(image, all)), stop);
    CSettingsTransfer transfer(*m_context, m_address, [&] { steps.Step(); }, stop.Check());
    ETransferResult result;
    {
        py::gil_scoped_release release;
        result = transfer.FileToCamera(image, all);
    }
    if (stop.Stopped())
        RaiseStopped(stop, result == ETransferResult::Done ? kStoppedWhenDone : "");
    switch (result) {
    case ETransferResult::Done:
        return;
    case ETransferResult::Mismatch:
        RaiseWith(ErrorKind::Mismatch, m_messages.Joined(), "code", py::int_(transfer.Mismatch()));
    default:
        RaiseBusError(transfer.FailedRegister());
    }
}

py::list CPyCamera::Verify(const CPath& path, bool all, const py::object& progress)
{
    CCall call(*this);
    CPyStop stop;
    const std::vector<std::uint16_t> image = ReadChecked(path, stop);
    const auto blocks = BlocksWritten(image, all);
    CPyProgress steps(progress, VerifySteps(blocks), stop);
    CSettingsTransfer transfer(*m_context, m_address, [&] { steps.Step(); }, stop.Check());
    std::vector<CDifference> differences;
    ETransferResult result;
    {
        py::gil_scoped_release release;
        result = transfer.Verify(image, all, differences);
    }
    if (stop.Stopped())
        RaiseStopped(stop, result == ETransferResult::Done ? kStoppedWhenDone : "");
    if (result != ETransferResult::Done)
        RaiseBusError(transfer.FailedRegister());
    py::list listed;
    for (const CDifference& d : differences) {
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

using CBusName = std::variant<int, std::string>;

// A bus as zarnixctl's --bus takes it: its number, device or adapter name. An
// empty one would leave the choice to the first USB bus.
std::string BusText(const CBusName& bus)
{
    std::string text = std::holds_alternative<int>(bus) ? std::to_string(std::get<int>(bus)) : std::get<std::string>(bus);
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
// simulated camera a state file. A camera that cannot be opened raises, and
// those opened before it are closed again.
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
        for (const CI2cBus& bus : ListI2cBuses()) {
            if (!bus.usb)
                continue;
            CBackendChoice choice;
            choice.bus = bus.device;
            choice.force = force;
            choices.push_back(choice);
        }
        if (choices.empty())
            Raise(ErrorKind::NoCamera, "no i2c-dev bus on USB; zarnix.buses() lists the buses");
    }
    std::vector<std::unique_ptr<CPyCamera>> cameras;
    for (const CBackendChoice& choice : choices) {
        cameras.push_back(std::make_unique<CPyCamera>());
        cameras.back()->Open(choice, address);
    }
    py::list opened;
    for (auto& camera : cameras)
        opened.append(py::cast(std::move(camera)));
    return opened;
}

py::dict CheckFile(const CPath& path)
{
    CSettingsFileCheck check;
    {
        py::gil_scoped_release release;
        check = CheckSettingsFile(path.string());
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

PYBIND11_MODULE(zarnix, module)
{
    module.doc() = R"(The Zarnix camera module over I2C, from Python.

    with zarnix.open(simulate=True, virtual_clock=True) as camera:
        camera.set("brightness", 0x90)
        camera.save()
        print(camera.settings()["brightness"])

Numbers are plain integers (registers and values 0 to 0xff, addresses as the
camera's 8-bit write address, 0x70 by default). Failures raise zarnix.Error or
one of its kinds; what is only information goes to the logger "zarnix".
Ctrl-C during save, dump or load stops after the register under way, commits
nothing and leaves no partial file, then raises KeyboardInterrupt.)";
    module.attr("__version__") = ZARNIX_VERSION;
    AddErrors(module);

    py::class_<CPyCamera>(module, "Camera", R"(A camera on one bus, opened by zarnix.open().

One thread per camera: a second call while one runs raises zarnix.Error.
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
        .def("close", &CPyCamera::Close, "Keeps a simulated camera's state, closes the adapter, frees the bus.")
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
and clock: give each its own thread. A camera that cannot be opened raises its
error, and those opened before it are closed.)");
    module.def("check", &CheckFile, py::arg("path"),
               "Judges a settings file as load would, without a camera: {'values': n, 'blocks': [...]}.\n"
               "Raises FileError, with the line of the first bad pair where there is one.");
    module.def("buses", &Buses, "The i2c-dev buses, as zarnixctl --list-buses: number, device, name, usb.");
    module.def("commands", &Commands,
               "The set commands, as zarnixctl set --list: name, register (bank, index), setting, values.");
}
