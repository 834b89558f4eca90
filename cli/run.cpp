#include "cli/run.h"

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
#include "link/files.h"

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
std::string Tag(const std::string& name, bool stateFile)
{
    std::string tag = stateFile ? std::filesystem::path(name).stem().string() : name;
    for (char& c : tag)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.'))
            c = '_';
    return tag.empty() ? "camera" : tag;
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
    const std::vector<CI2cBus> buses = ListI2cBuses(SysfsRoot());
    // A bus by its name in --list-buses; one that is not there fails in its own
    // worker, as it would alone.
    const auto busName = [&](const std::string& wanted, std::string* device = nullptr) {
        std::string why;
        const auto bus = FindI2cBus(buses, wanted, why);
        if (device)
            *device = bus ? bus->device : wanted;
        return bus ? "i2c-" + std::to_string(bus->number) : wanted;
    };
    // A trace written over the state file or the command's settings file would
    // destroy what the run is working on.
    const auto clashes = [&](const CCliOptions& one) {
        const auto& backend = one.backend;
        if (backend.trace.empty())
            return false;
        if (!backend.simState.empty() && SameFile(backend.trace, backend.simState))
            error = "--trace " + backend.trace + " is the state file of --sim-state";
        else if (command.takesFile && SameFile(backend.trace, one.args[0]))
            error = "--trace " + backend.trace + " is the settings file of " + command.name;
        return !error.empty();
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
        if (clashes(one))
            return false;
        cameras.push_back({"", one});
        return true;
    }
    struct CNamed {
        std::string name, tag;
        CCliOptions options;
    };
    std::vector<CNamed> named;
    if (options.allBuses) {
        for (const CI2cBus& bus : buses) {
            if (!bus.usb)
                continue;
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
            if ((writesFile && camera.options.args[0] == other.options.args[0]) ||
                (!trace.empty() && camera.options.backend.trace == other.options.backend.trace)) {
                error = "the cameras " + other.name + " and " + camera.name + " would write the same file";
                return false;
            }
        }
        if (clashes(camera.options)) {
            error = camera.name + ": " + error;
            return false;
        }
    }
    for (CNamed& camera : named)
        cameras.push_back({camera.name, std::move(camera.options)});
    return true;
}

int RunOnCameras(const CCommandInfo& command, const CCliOptions& options, std::vector<CCamera>& cameras)
{
    if (cameras.size() == 1 && cameras[0].name.empty()) {
        COutput output({}, options.json);
        CSession session(cameras[0].options, output);
        const int status = Finish(session, command.run(session, command));
        if (options.json && !output.Document().empty())
            std::printf("%s\n", output.Document().dump(2).c_str());
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
            if (!outputs[i]->Document().empty())
                camera["output"] = outputs[i]->Document();
            summary["cameras"].push_back(camera);
        }
        summary["failed"] = failed;
        std::printf("%s\n", summary.dump(2).c_str());
    } else {
        std::size_t width = std::string("camera").size();
        for (const CCamera& camera : cameras)
            width = std::max(width, camera.name.size());
        const int w = static_cast<int>(width);
        std::string table = Format("%-*s  address  result   time\n", w, "camera");
        for (std::size_t i = 0; i < cameras.size(); ++i)
            table += Format("%-*s  %-7s  %-7s  %.1f s\n", w, cameras[i].name.c_str(),
                            results[i].address.empty() ? "-" : results[i].address.c_str(),
                            ResultName(results[i].status), static_cast<double>(results[i].time.count()) / 1e6);
        std::lock_guard hold(OutputLock());
        std::fputs(table.c_str(), stdout);
    }
    int status = kExitOk;
    if (!failed.empty()) {
        std::string names;
        for (const std::string& name : failed)
            names += (names.empty() ? "" : ", ") + name;
        std::lock_guard hold(OutputLock());
        std::fprintf(stderr, "zarnixctl: %zu of %zu cameras failed: %s\n", failed.size(), cameras.size(),
                     names.c_str());
        status = kExitFailure;
    }
    return StopStatus(status);
}

} // namespace zarnix::cli
