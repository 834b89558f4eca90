#include "cli/run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include "cli/output.h"
#include "cli/session.h"
#include "cli/stop_signal.h"
#include "link/adapters/bus_list.h"
#include "system/files.h"

namespace zarnix::cli {

namespace {

bool HasPlaceholder(const std::string& text) { return text.find(kCameraPlaceholder) != std::string::npos; }

std::string Substituted(std::string text, const std::string& tag)
{
    const std::string placeholder = kCameraPlaceholder;
    for (std::size_t at; (at = text.find(placeholder)) != std::string::npos;)
        text.replace(at, placeholder.size(), tag);
    return text;
}

// What the placeholder becomes: the bus's name, or the state file's name without
// its folder and extension; anything but letters, digits, '-', '_' and '.' as '_'.
// It goes into a path, where "." and ".." would climb out of the folder asked
// for ("...state" has the stem ".."), so dots alone become '_' too.
std::string Tag(const std::string& name, bool stateFile)
{
    std::string tag = stateFile ? std::filesystem::path(name).stem().string() : name;
    for (char& c : tag)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.'))
            c = '_';
    if (tag.find_first_not_of('.') == std::string::npos)
        std::replace(tag.begin(), tag.end(), '.', '_');
    return tag.empty() ? "camera" : tag;
}

// Terminals and the standard streams are where output is meant to go, whatever
// else reads or writes them; they are no file a run could overwrite.
bool CountsAsFile(const std::string& path)
{
    static const char* const kStreams[] = {"/dev/stdin",      "/dev/stdout",     "/dev/stderr",
                                           "/dev/fd/0",       "/dev/fd/1",       "/dev/fd/2",
                                           "/proc/self/fd/0", "/proc/self/fd/1", "/proc/self/fd/2"};
    for (const char* stream : kStreams)
        if (path == stream)
            return false;
    struct stat st {};
    return !(::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode));
}

// A file a camera's run reads or writes, as a refusal names it.
struct CFileUse {
    std::size_t camera;
    std::string path;
    bool output;
    std::string subject; // an output: "--trace t.trace", "dump f.qcs"
    std::string role;    // "the state file of --sim-state"
};

std::vector<CFileUse> FileUses(const CCommandInfo& command, const std::vector<CCamera>& cameras)
{
    const bool several = cameras.size() > 1;
    std::vector<CFileUse> uses;
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        const CCliOptions& one = cameras[i].options;
        const auto& backend = one.backend;
        const std::string of = several ? " of the camera " + cameras[i].name : "";
        const bool dump = std::string(command.name) == "dump";
        if (!backend.trace.empty())
            uses.push_back({i, backend.trace, true, "--trace " + backend.trace, "the trace" + of});
        if (dump)
            uses.push_back({i, one.args[0], true, "dump " + one.args[0],
                            "the file dump writes" + (several ? " for the camera " + cameras[i].name : "")});
        if (!backend.simState.empty())
            uses.push_back({i, backend.simState, false, "", "the state file" + (several ? of : " of --sim-state")});
        if (!backend.adapterLib.empty())
            uses.push_back({i, backend.adapterLib, false, "", "the adapter library of --adapter-lib"});
        if (command.takesFile && !dump)
            uses.push_back({i, one.args[0], false, "", "the settings file of " + std::string(command.name)});
    }
    return uses;
}

// No output of the run may land on one of its inputs or on another output: a
// trace over the state file, the loaded library or the file being read would
// destroy what the run is working on. False with `error`.
bool OutputsClash(const CCommandInfo& command, const std::vector<CCamera>& cameras, std::string& error)
{
    const std::vector<CFileUse> uses = FileUses(command, cameras);
    for (std::size_t i = 0; i < uses.size(); ++i) {
        const CFileUse& out = uses[i];
        if (!out.output || !CountsAsFile(out.path))
            continue;
        for (std::size_t j = 0; j < uses.size(); ++j) {
            const CFileUse& other = uses[j];
            if (j == i || (other.output && j < i) || !CountsAsFile(other.path) || !SameFile(out.path, other.path))
                continue;
            if (other.output && other.camera != out.camera)
                error = "the cameras " + cameras[other.camera].name + " and " + cameras[out.camera].name +
                        " would write the same file " + out.path;
            else
                error = (cameras.size() > 1 ? cameras[out.camera].name + ": " : "") + out.subject + " is " +
                        other.role;
            return true;
        }
    }
    return false;
}

// The command's status comes from how its camera operations ended, the search
// before it included; a state file or trace that cannot be kept fails a run that
// succeeded.
int Finish(CSession& session, int status)
{
    if (status == kExitOk && !session.SearchEnded().Ok())
        status = kExitFailure;
    if (!session.Close() && status == kExitOk)
        status = kExitFailure;
    return status;
}

// The command has said where it stopped; a signal that came during its last
// register still ends the run as stopped, so a script knows it was asked to stop.
int StopStatus(int status)
{
    if (!StopRequested())
        return status;
    std::lock_guard hold(OutputLock());
    std::fprintf(stderr, "zarnixctl: stopped on %s%s\n", StopSignalName(),
                 status == kExitOk ? " after the command had completed" : "");
    return StopExitStatus();
}

struct CResult {
    int status = kExitFailure;
    std::string address; // "" when no camera was found
    Micros time{0};
};

const char* ResultName(int status)
{
    return status == kExitOk ? "ok" : StopRequested() ? "stopped" : "failed";
}

} // namespace

bool CamerasOf(const CCommandInfo& command, const CCliOptions& options, std::vector<CCamera>& cameras,
               std::string& error, int& status)
{
    cameras.clear();
    status = kExitUsage;
    const std::vector<CI2cBus> buses = ListI2cBuses();
    // A bus by its name in --list-buses; one that is not there fails in its own
    // worker, as it would alone.
    const auto busName = [&](const std::string& wanted, std::string* device = nullptr) {
        std::string why;
        const auto bus = FindI2cBus(buses, wanted, why);
        if (device)
            *device = bus ? bus->device : wanted;
        return bus ? "i2c-" + std::to_string(bus->number) : wanted;
    };
    if (!command.usesCamera || options.list || !options.SeveralCameras()) {
        // One camera: a placeholder, where there is one, takes its name too, so
        // that a script may name its files alike for one camera and for several.
        CCliOptions one = options;
        const std::string tag = !options.simStates.empty() ? Tag(options.simStates[0], true)
                                : !options.buses.empty()   ? Tag(busName(options.buses[0]), false)
                                                           : "camera";
        one.backend.trace = Substituted(one.backend.trace, tag);
        if (command.takesFile)
            one.args[0] = Substituted(one.args[0], tag);
        cameras.push_back({"", one});
        return !OutputsClash(command, cameras, error);
    }
    struct CNamed {
        std::string name, tag;
        CCliOptions options;
    };
    std::vector<CNamed> named;
    if (options.allBuses) {
        for (const CI2cBus& bus : UsbBuses()) {
            CCliOptions one = options;
            one.backend.bus = bus.device;
            const std::string name = "i2c-" + std::to_string(bus.number);
            named.push_back({name, Tag(name, false), one});
        }
        if (named.empty()) {
            error = "--all-buses: no i2c-dev bus on USB; --list-buses shows the buses";
            status = kExitFailure;
            return false;
        }
    }
    for (const std::string& wanted : options.buses) {
        CCliOptions one = options;
        const std::string name = busName(wanted, &one.backend.bus);
        named.push_back({name, Tag(name, false), one});
    }
    for (const std::string& state : options.simStates) {
        CCliOptions one = options;
        one.backend.simState = state;
        named.push_back({state, Tag(state, true), one});
    }

    const std::string& trace = options.backend.trace;
    if (!trace.empty() && !HasPlaceholder(trace)) {
        error = "--trace with several cameras needs " + std::string(kCameraPlaceholder) +
                " in its name, e.g. bus-" + kCameraPlaceholder + ".trace";
        return false;
    }
    const bool writesFile = std::string(command.name) == "dump";
    if (writesFile && !HasPlaceholder(options.args[0])) {
        error = std::string("dump on several cameras needs ") + kCameraPlaceholder + " in FILE, e.g. front-" +
                kCameraPlaceholder + ".qcs";
        return false;
    }
    for (std::size_t i = 0; i < named.size(); ++i) {
        CNamed& camera = named[i];
        if (!trace.empty())
            camera.options.backend.trace = Substituted(trace, camera.tag);
        if (command.takesFile)
            camera.options.args[0] = Substituted(options.args[0], camera.tag);
        for (std::size_t j = 0; j < i; ++j) {
            const CNamed& other = named[j];
            const bool sameState = !camera.options.backend.simState.empty() &&
                                   (camera.options.backend.simState == other.options.backend.simState ||
                                    SameFile(camera.options.backend.simState, other.options.backend.simState));
            if (camera.name == other.name || sameState) {
                error = "the camera " + camera.name + " is named twice";
                return false;
            }
        }
    }
    for (CNamed& camera : named)
        cameras.push_back({camera.name, std::move(camera.options)});
    return !OutputsClash(command, cameras, error);
}

int RunOnCameras(const CCommandInfo& command, const CCliOptions& options, std::vector<CCamera>& cameras)
{
    if (cameras.size() == 1 && cameras[0].name.empty()) {
        COutput output({}, options.json);
        CSession session(cameras[0].options, output);
        const int status = Finish(session, command.run(session, command));
        if (options.json) {
            const nlohmann::ordered_json document = output.FinalDocument(status);
            if (!document.empty())
                PrintDocument(document);
        }
        return StopStatus(status);
    }

    CProgressBoard board(cameras.size());
    std::vector<std::unique_ptr<COutput>> outputs;
    for (std::size_t i = 0; i < cameras.size(); ++i)
        outputs.push_back(std::make_unique<COutput>(cameras[i].name, options.json, board, i));
    std::vector<std::string> names;
    for (const CCamera& camera : cameras)
        names.push_back(camera.name);
    CConfirmGate gate(names, options.yes);
    std::vector<CResult> results(cameras.size());
    {
        std::vector<std::jthread> workers;
        for (std::size_t i = 0; i < cameras.size(); ++i)
            workers.emplace_back([&, i] {
                CSession session(cameras[i].options, *outputs[i], &gate);
                int status = command.run(session, command);
                results[i].time = session.Elapsed();
                if (session.Address() != kNoCameraAddress)
                    results[i].address = Format("%02x", session.Address());
                gate.Done(session.Asked());
                results[i].status = Finish(session, status);
            });
    }

    std::vector<std::string> failed;
    for (std::size_t i = 0; i < cameras.size(); ++i)
        if (results[i].status != kExitOk)
            failed.push_back(cameras[i].name);
    if (options.json) {
        nlohmann::ordered_json summary = {{"command", command.name}, {"cameras", nlohmann::ordered_json::array()}};
        for (std::size_t i = 0; i < cameras.size(); ++i) {
            nlohmann::ordered_json camera = {
                {"camera", cameras[i].name},
                {"address", results[i].address.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(results[i].address)},
                {"result", ResultName(results[i].status)},
                {"status", results[i].status},
                {"seconds", static_cast<double>(results[i].time.count() / 1000) / 1000.0}};
            nlohmann::ordered_json document = outputs[i]->FinalDocument(results[i].status);
            if (document.contains("error")) {
                camera["error"] = document["error"];
                document.erase("error");
            }
            if (!document.empty())
                camera["output"] = document;
            summary["cameras"].push_back(camera);
        }
        summary["failed"] = failed;
        PrintDocument(summary);
    } else {
        std::vector<std::string> shown;
        std::size_t width = std::string("camera").size();
        for (const CCamera& camera : cameras) {
            shown.push_back(PrintableName(camera.name));
            width = std::max(width, shown.back().size());
        }
        const int w = static_cast<int>(width);
        std::string table = Format("%-*s  address  result   time\n", w, "camera");
        for (std::size_t i = 0; i < cameras.size(); ++i)
            table += Format("%-*s  %-7s  %-7s  %.1f s\n", w, shown[i].c_str(),
                            results[i].address.empty() ? "-" : results[i].address.c_str(),
                            ResultName(results[i].status), static_cast<double>(results[i].time.count()) / 1e6);
        std::lock_guard hold(OutputLock());
        std::fputs(table.c_str(), stdout);
    }
    int status = kExitOk;
    if (!failed.empty()) {
        std::string names;
        for (const std::string& name : failed)
            names += (names.empty() ? "" : ", ") + PrintableName(name);
        std::lock_guard hold(OutputLock());
        std::fprintf(stderr, "zarnixctl: %zu of %zu cameras failed: %s\n", failed.size(), cameras.size(),
                     names.c_str());
        status = kExitFailure;
    }
    return StopStatus(status);
}

} // namespace zarnix::cli
