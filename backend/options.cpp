#include "backend/options.h"

#include <getopt.h>

#include <cstring>

namespace zarnix {

namespace {

constexpr COptionRow kBackendRows[] = {
    {"bus", kOptionBus, "N|/dev/i2c-N|NAME",
     "the Linux i2c-dev bus: its number, device or adapter name\n"
     "as --list-buses shows it. Without a backend option the\n"
     "first bus on USB is used."},
    {"force", kOptionForce, nullptr,
     "claim the camera's address even where a kernel driver\n"
     "holds it, and the reserved addresses 00-0e and f0-fe\n"
     "(i2c-dev only; never the default)"},
    {"adapter-lib", kOptionAdapterLib, "PATH", "a vendor adapter library exporting the six adapter calls"},
    {"simulate", kOptionSimulate, nullptr, "talk to the built-in simulated camera"},
    {"sim-state", kOptionSimState, "FILE",
     "keep the simulated camera's memory in FILE between runs\n"
     "(a missing FILE is a camera fresh from the factory)"},
    {"sim-clock", kOptionSimClock, "real|virtual", "virtual: the simulated camera takes no protocol time"},
    {"trace", kOptionTrace, "FILE", "write every adapter call, with its time, to FILE"},
};

// The help column: options up to this width share a line with their help.
constexpr std::size_t kHelpColumn = 23;

std::string OptionText(const COptionRow& row)
{
    std::string text = "  ";
    if (row.key < 256)
        text += std::string("-") + static_cast<char>(row.key) + ", ";
    text += std::string("--") + row.name;
    if (row.value)
        text += std::string(" ") + row.value;
    return text;
}

} // namespace

std::span<const COptionRow> BackendOptionRows() { return kBackendRows; }

bool ApplyBackendOption(int key, const std::string& value, CBackendChoice& choice, std::string& error)
{
    const auto needs = [&](const char* what) {
        if (value.empty())
            error = what;
        return !value.empty();
    };
    switch (key) {
    case kOptionBus:
        return needs("--bus needs a bus number, device path or adapter name") && (choice.bus = value, true);
    case kOptionForce:
        choice.force = true;
        return true;
    case kOptionAdapterLib:
        return needs("--adapter-lib needs a file name") && (choice.adapterLib = value, true);
    case kOptionSimulate:
        choice.simulate = true;
        return true;
    case kOptionSimState:
        if (!needs("--sim-state needs a file name"))
            return false;
        choice.simState = value;
        choice.simulate = true;
        return true;
    case kOptionSimClock:
        if (value != "real" && value != "virtual") {
            error = "--sim-clock takes real or virtual, not '" + value + "'";
            return false;
        }
        choice.virtualClock = value == "virtual";
        choice.simulate = true;
        return true;
    case kOptionTrace:
        return needs("--trace needs a file name") && (choice.trace = value, true);
    default:
        error = "not a backend option";
        return false;
    }
}

bool ParseOptions(const std::vector<std::string>& args, const std::vector<COptionRow>& rows,
                  const COptionHandler& apply, std::vector<std::string>& operands, std::string& error)
{
    // getopt_long reorders what it is given: it gets copies.
    std::vector<std::string> words(args);
    std::vector<char*> argv;
    for (auto& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    std::vector<option> longs;
    std::string shorts = ":"; // a missing value comes back as ':', not as '?'
    for (const COptionRow& row : rows) {
        longs.push_back({row.name, row.value ? required_argument : no_argument, nullptr, row.key});
        if (row.key < 256)
            shorts += static_cast<char>(row.key) + std::string(row.value ? ":" : "");
    }
    longs.push_back({nullptr, 0, nullptr, 0});

    ::opterr = 0;
    ::optind = 0; // a whole new scan, also when called again
    for (;;) {
        int index = -1;
        const int key = ::getopt_long(argc, argv.data(), shorts.c_str(), longs.data(), &index);
        if (key == -1)
            break;
        const std::string word = argv[::optind - 1] ? argv[::optind - 1] : "";
        if (key == '?') {
            const bool isLong = word.rfind("--", 0) == 0;
            const std::string name = isLong ? word.substr(0, word.find('=')) : "";
            bool known = false;
            for (const COptionRow& row : rows)
                known = known || name == std::string("--") + row.name;
            if (known)
                error = "option " + name + " takes no value";
            else
                error = "unknown option '" + (isLong ? word : std::string("-") + static_cast<char>(::optopt)) + "'";
            return false;
        }
        if (key == ':') {
            error = "option " + (::optopt && ::optopt < 256 ? std::string("-") + static_cast<char>(::optopt) : word) +
                    " needs a value";
            return false;
        }
        if (index >= 0) {
            // getopt_long takes any unambiguous beginning of a name; a script
            // that relies on one would break when a longer option comes.
            const bool separate = ::optarg && ::optind >= 2 && ::optarg == argv[::optind - 1];
            const std::string typed = separate ? argv[::optind - 2] : word;
            const std::string name = typed.substr(2, typed.find('=') == std::string::npos ? std::string::npos
                                                                                       : typed.find('=') - 2);
            if (name != rows[static_cast<std::size_t>(index)].name) {
                error = "unknown option '" + typed.substr(0, typed.find('=')) + "'";
                return false;
            }
        }
        if (!apply(key, ::optarg ? ::optarg : "", error))
            return false;
    }
    operands.assign(argv.begin() + ::optind, argv.begin() + argc);
    return true;
}

std::string FormatOptionHelp(const std::vector<COptionRow>& rows)
{
    std::string text;
    for (const COptionRow& row : rows) {
        if (!row.help)
            continue;
        std::string line = OptionText(row);
        const std::string pad(kHelpColumn, ' ');
        const char* help = row.help;
        if (line.size() + 1 > kHelpColumn) {
            text += line + "\n";
            line = pad;
        } else {
            line.resize(kHelpColumn, ' ');
        }
        for (const char* end; (end = std::strchr(help, '\n')) != nullptr; help = end + 1) {
            text += line + std::string(help, end) + "\n";
            line = pad;
        }
        text += line + help + "\n";
    }
    return text;
}

} // namespace zarnix
