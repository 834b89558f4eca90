// zarnixctl: the camera module from the command line, one command per run.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/commands.h"
#include "cli/options.h"
#include "cli/output.h"
#include "cli/session.h"
#include "cli/stop_signal.h"
#include "backend/backend.h"
#include "link/adapters/bus_list.h"
#include "link/files.h"

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
        PrintError(std::string("cannot write the output: ") + std::strerror(errno));
        if (status == kExitOk)
            status = kExitFailure;
    }
    return status;
}

// A trace written over the state file or the command's settings file would
// destroy what the run is working on.
bool TraceClashes(const CCommandInfo& command, const CCliOptions& options, std::string& error)
{
    if (options.backend.trace.empty())
        return false;
    if (!options.backend.simState.empty() && zarnix::SameFile(options.backend.trace, options.backend.simState)) {
        error = "--trace " + options.backend.trace + " is the state file of --sim-state";
        return true;
    }
    if (command.takesFile && zarnix::SameFile(options.backend.trace, options.args[0])) {
        error = "--trace " + options.backend.trace + " is the settings file of " + command.name;
        return true;
    }
    return false;
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
        std::fputs(zarnix::FormatBusList(zarnix::ListI2cBuses(zarnix::SysfsRoot())).c_str(), stdout);
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
    if (!CheckArguments(*command, options, error) || TraceClashes(*command, options, error))
        return UsageError(command, error);

    if (command->stopsBetweenRegisters)
        CatchStopSignals();
    CSession session(options);
    int status = command->run(session, *command);
    // A fault the command's own result missed is still a fault: every adapter
    // failure reaches the operator as a message.
    if (status == kExitOk && session.Messages().Count() != 0)
        status = kExitFailure;
    if (!session.Close() && status == kExitOk)
        status = kExitFailure;
    // The command has said where it stopped; a signal that came during its last
    // register still ends the run as stopped, so a script knows it was asked to stop.
    if (StopRequested()) {
        std::fprintf(stderr, "zarnixctl: stopped on %s%s\n", StopSignalName(),
                     status == kExitOk ? " after the command had completed" : "");
        status = StopExitStatus();
    }
    return status;
}

} // namespace

int main(int argc, char** argv) { return WithOutputChecked(Run(argc, argv)); }
