// zarnixctl: the camera module from the command line, one command per run, on
// one camera or on several at once.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/run.h"
#include "cli/session.h"
#include "cli/stop_signal.h"
#include "backend/backend.h"
#include "link/adapters/bus_list.h"

#ifndef ZARNIX_VERSION
#define ZARNIX_VERSION "unknown"
#endif

using namespace zarnix::cli;

namespace {

// What went to stdout must have arrived: a full disk or a closed pipe is a
// failure, whatever the command made of it.
int WithOutputChecked(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno;
        PrintError(std::string("cannot write the output: ") + std::strerror(error));
        if (error == EPIPE)
            zarnix::NoteBrokenPipe();
        if (status == kExitOk)
            status = zarnix::BrokenPipe() ? StopExitStatus() : kExitFailure;
    }
    return status;
}

// The buses as one JSON document.
nlohmann::ordered_json BusListJson(const std::vector<zarnix::CI2cBus>& buses)
{
    auto list = nlohmann::ordered_json::array();
    for (const auto& bus : buses)
        list.push_back({{"bus", "i2c-" + std::to_string(bus.number)}, {"device", bus.device}, {"usb", bus.usb},
                        {"name", bus.name}});
    return {{"buses", list}};
}

int Run(int argc, char** argv)
{
    CCliOptions options;
    std::string error;
    if (!ParseCommandLine(argc, argv, options, error)) {
        // Name the command in the usage line when one was typed before the mistake.
        return UsageError(FindCommand(options.command), error);
    }
    if (options.version) {
        std::printf("zarnixctl %s\n", ZARNIX_VERSION);
        return kExitOk;
    }
    if (options.listBuses) {
        // Like i2cdetect -l, with where each adapter sits.
        const auto buses = zarnix::ListI2cBuses();
        if (options.json)
            PrintDocument(BusListJson(buses));
        else // an adapter names itself: a USB device may say anything
            std::fputs(zarnix::PrintableName(zarnix::FormatBusList(buses), true).c_str(), stdout);
        return kExitOk;
    }
    const CCommandInfo* command = options.command.empty() ? nullptr : FindCommand(options.command);
    if (options.help && options.command.empty()) {
        PrintToolHelp();
        return kExitOk;
    }
    if (options.command.empty())
        return UsageError(nullptr, "no command given");
    if (!command)
        return UsageError(nullptr, "unknown command '" + options.command + "'");
    if (options.help) {
        PrintCommandHelp(*command);
        return kExitOk;
    }
    if (!CheckArguments(*command, options, error))
        return UsageError(command, error);

    if (options.json && !command->json && !(options.SeveralCameras() && command->usesCamera && !options.list))
        return UsageError(command, std::string(command->name) +
                                       " prints no result of its own; --json gives the summary of a run on "
                                       "several cameras");
    std::vector<CCamera> cameras;
    int status = kExitOk;
    if (!CamerasOf(*command, options, cameras, error, status)) {
        // A script reading the document gets one, with why, also here.
        if (options.json)
            PrintDocument({{"error", ErrorMember(error)}});
        return status == kExitUsage ? UsageError(command, error) : (PrintError(error), status);
    }

    // With several cameras a stop reaches every worker, which ends between two
    // registers as one alone would.
    if (command->stopsBetweenRegisters || cameras.size() > 1)
        CatchStopSignals();
    return RunOnCameras(*command, options, cameras);
}

} // namespace

int main(int argc, char** argv)
{
    IgnoreBrokenPipes();
    return WithOutputChecked(Run(argc, argv));
}
