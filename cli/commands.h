// The commands of zarnixctl, their help, and the exit statuses they end with.
#pragma once

#include <string>

#include "cli/options.h"

namespace zarnix::cli {

class CSession;

// Exit statuses, as i2c-tools and scripts expect them.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1; // no camera, a bus fault, a mismatch, a bad file, a refusal
constexpr int kExitUsage = 2;   // the command line itself is wrong
// Stopped by a signal: 128 + its number, as the shell reports a process it ended
// (130 for SIGINT, 143 for SIGTERM); see StopExitStatus.

struct CCommandInfo {
    const char* name;
    const char* usage;   // after "zarnixctl "
    const char* summary; // one line for the tool's help
    const char* help;    // the command's own help, ending with a worked example
    unsigned minArgs;
    unsigned maxArgs;
    bool takesAll;  // --all
    bool takesList; // --list
    bool takesFile; // its first argument is a settings file
    bool usesCamera; // false: it runs once, whatever cameras are named
    bool json;       // --json gives its result as a JSON document
    // Writes the camera or a file: SIGINT and SIGTERM end it between two register
    // accesses (cli/stop_signal.h). The reading commands keep the default, ending
    // at once: they leave nothing half done, and the camera takes a new frame
    // after a read request that got no receive.
    bool stopsBetweenRegisters;
    int (*run)(CSession& session, const CCommandInfo& self);
};

const CCommandInfo* FindCommand(const std::string& name);

void PrintToolHelp();
void PrintCommandHelp(const CCommandInfo& command);
// "Error: <text>", the usage line and where to read more; returns kExitUsage.
int UsageError(const CCommandInfo* command, const std::string& text);

// Checks the argument count and the command's own options.
bool CheckArguments(const CCommandInfo& command, const CCliOptions& options, std::string& error);

} // namespace zarnix::cli
