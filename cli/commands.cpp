#include "cli/commands.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "cli/session.h"
#include "cli/stop_signal.h"

namespace zarnix::cli {

namespace {

struct CBankRole {
    std::uint8_t bank;
    const char* role;
};
// What a write to each bank changes, for the question before it.
constexpr CBankRole kBankRoles[] = {
    {kBankEeprom, "the stored settings, loaded at every power-up"},
    {kBankLiveMirror, "the read mirror of the live settings"},
    {kBankIspB0, "the ISP B0 block"},
    {kBankIspB1, "the ISP B1 block"},
    {kBankStatB0, "the Stat B0 block"},
    {kBankStatB1, "the Stat B1 block"},
    {kBankControl, "the control registers; 88:13 commits written blocks"},
};

std::string Hex2(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02x", value & 0xFFu);
    return text;
}

std::string CameraAt(const CSession& session) { return "the camera at " + Hex2(session.Address()); }

std::string RegisterText(unsigned bank, unsigned index) { return Hex2(bank) + ":" + Hex2(index); }

// Where a failed command stopped, for the "error" of its JSON document.
void FailedAtRegister(CSession& session, unsigned bank, unsigned index)
{
    session.Output().FailedAt("register", RegisterText(bank, index));
}

// Bad usage found by the command itself, kept for its JSON document too.
int Usage(CSession& session, const CCommandInfo& self, const std::string& text)
{
    session.Output().NoteProblem(text);
    return UsageError(&self, text);
}

// A bank, index or value: one byte in hex. Anything else is bad usage, never cut
// down to its low byte, which would write a register nobody asked for.
bool ByteArgument(CSession& session, const CCommandInfo& self, const char* what, const std::string& text,
                  unsigned& value, int& status)
{
    switch (ParseHex(text, 0xFF, value)) {
    case EHexParse::Ok:
        return true;
    case EHexParse::NotANumber:
        status = Usage(session, self, std::string(what) + " '" + text + "' is not a hex number");
        return false;
    case EHexParse::TooLarge:
        status = Usage(session, self, std::string(what) + " " + text + " is above ff: a register holds one byte");
        return false;
    }
    return false;
}

int RunSearch(CSession& session, const CCommandInfo&)
{
    if (!session.Open())
        return kExitFailure;
    const CSearchResult found = session.Camera().Search();
    if (found.address == kNoCameraAddress)
        return kExitFailure; // the search has told the operator
    COutput& out = session.Output();
    if (out.Json())
        out.Document()["address"] = Hex2(found.address);
    else
        out.Out(Format("%x\n", found.address));
    return found.ended.Ok() ? kExitOk : kExitFailure;
}

int RunShow(CSession& session, const CCommandInfo&)
{
    if (!session.Connect())
        return kExitFailure;
    const CLiveSettings live = session.Camera().Show(session.ProgressLine("show"), StopCheck());
    session.Progress().Finish();
    if (!live.read.Ok()) {
        FailedAtRegister(session, live.read.bank, live.read.index);
        return kExitFailure;
    }
    COutput& out = session.Output();
    std::string text;
    auto settings = nlohmann::ordered_json::array();
    for (std::uint8_t index : kReadBackIndexes) {
        const unsigned value = live.values[index] & 0xFFu;
        text += Format("%02x:%02x %s %02x\n", kBankLive, index, RegisterName(index).c_str(), value);
        settings.push_back({{"register", RegisterText(kBankLive, index)}, {"name", RegisterName(index)},
                            {"value", Hex2(value)}});
    }
    if (out.Json()) {
        out.Document()["address"] = Hex2(session.Address());
        out.Document()["settings"] = settings;
    } else {
        out.Out(text);
    }
    return kExitOk;
}

int RunRead(CSession& session, const CCommandInfo& self)
{
    unsigned bank = 0, index = 0;
    int status = kExitOk;
    if (!ByteArgument(session, self, "BANK", session.Options().args[0], bank, status) ||
        !ByteArgument(session, self, "INDEX", session.Options().args[1], index, status))
        return status;
    if (!session.Connect())
        return kExitFailure;
    const CReadResult read = session.Camera().Read(static_cast<std::uint8_t>(bank), static_cast<std::uint8_t>(index));
    if (read.Failed()) {
        FailedAtRegister(session, bank, index);
        return kExitFailure; // the adapter's text is on stderr
    }
    COutput& out = session.Output();
    if (out.Json()) {
        out.Document()["address"] = Hex2(session.Address());
        out.Document()["register"] = RegisterText(bank, index);
        out.Document()["value"] = Hex2(read.value);
    } else {
        out.Out(Format("%02x\n", read.value));
    }
    return kExitOk;
}

std::string BankRole(std::uint8_t bank)
{
    for (const auto& entry : kBankRoles)
        if (entry.bank == bank)
            return entry.role;
    return "bank " + Hex2(bank);
}

// How a one-register write ended.
int WriteStatus(CSession& session, const CCameraResult& written, unsigned bank, unsigned index)
{
    if (written.Ok())
        return kExitOk;
    FailedAtRegister(session, bank, index);
    return kExitFailure;
}

int RunWrite(CSession& session, const CCommandInfo& self)
{
    const auto& args = session.Options().args;
    unsigned bank = 0, index = 0, value = 0;
    int status = kExitOk;
    if (!ByteArgument(session, self, "BANK", args[0], bank, status) ||
        !ByteArgument(session, self, "INDEX", args[1], index, status) ||
        !ByteArgument(session, self, "VALUE", args[2], value, status))
        return status;
    if (!session.Connect())
        return kExitFailure;
    // Only the live bank is forgotten at power-off; everything else the camera keeps.
    if (bank != kBankLive &&
        !session.Confirm("write " + Hex2(value) + " to register " + RegisterText(bank, index) + " of " +
                         CameraAt(session) + " (" + BankRole(static_cast<std::uint8_t>(bank)) + ")"))
        return kExitFailure;
    const CCameraResult written = session.Camera().Write(
        static_cast<std::uint8_t>(bank), static_cast<std::uint8_t>(index), static_cast<std::uint16_t>(value));
    return WriteStatus(session, written, bank, index);
}

int ListSetCommands(CSession& session)
{
    std::size_t width = 0;
    for (const auto& command : kSetCommands)
        width = std::max(width, SettingName(command).size());
    for (const auto& command : kSetCommands)
        session.Output().Out(Format("%-*s  30:%02x  %s: %s\n", static_cast<int>(width), SettingName(command).c_str(),
                                    command.index, command.setting, command.values));
    return kExitOk;
}

int RunSet(CSession& session, const CCommandInfo& self)
{
    const CCliOptions& options = session.Options();
    if (options.list) {
        if (!options.args.empty())
            return Usage(session, self, "--list takes no arguments");
        return ListSetCommands(session);
    }
    if (options.args.size() != 2)
        return Usage(session, self, "set takes NAME and VALUE");
    const CSetCommand* command = FindSetCommand(options.args[0]);
    if (!command)
        return Usage(session, self, "no setting named '" + options.args[0] + "'; 'zarnixctl set --list' shows them");
    unsigned value = 0;
    int status = kExitOk;
    if (!ByteArgument(session, self, "VALUE", options.args[1], value, status))
        return status;
    if (!session.Connect())
        return kExitFailure;
    const CSetResult set = session.Camera().Set(*command, static_cast<std::uint16_t>(value));
    if (set.sent != value)
        session.Output().Err(Format("%s takes %s: sending %02x for %02x\n", SettingName(*command).c_str(),
                                    command->values, set.sent, value));
    return WriteStatus(session, set.written, kBankLive, command->index);
}

int RunSave(CSession& session, const CCommandInfo&)
{
    if (!session.Connect())
        return kExitFailure;
    if (!session.Confirm("store the live settings of " + CameraAt(session) +
                         " in its stored settings (bank a0, kept over power-off)"))
        return kExitFailure;
    const CSaveResult saved = session.Camera().Save(session.ProgressLine("save"), StopCheck());
    session.Progress().Finish();
    if (!saved.read.Ok()) {
        if (StopRequested()) {
            session.Messages().Show("Stopped during the read-back, nothing stored");
            return kExitFailure;
        }
        session.Output().Error("the live settings could not be read back; nothing was stored");
        return kExitFailure;
    }
    // A stop tells which registers were stored itself, and each failed frame its adapter's text.
    return saved.stored.Ok() ? kExitOk : kExitFailure;
}

// Every ending of a transfer but Done has been told to the operator on its way.
int TransferStatus(CSession& session, const CTransferResult& result)
{
    if (result.Done())
        return kExitOk;
    if (result.failed)
        FailedAtRegister(session, result.failed->bank, result.failed->index);
    return kExitFailure;
}

int RunDump(CSession& session, const CCommandInfo&)
{
    const std::string& path = session.Options().args[0];
    // A file that cannot be written fails before the camera is looked for.
    CFileReplacement file;
    if (!OpenSettingsFile(file, path, session.Messages(), StopCheck()))
        return kExitFailure;
    if (!session.Connect())
        return kExitFailure;
    const CTransferResult result =
        session.Camera().Dump(file, path, session.Options().all, session.ProgressLine("dump"), StopCheck());
    session.Progress().Finish();
    return TransferStatus(session, result);
}

std::vector<std::string> BlockNames(const std::array<bool, kSettingsBlockCount>& blocks)
{
    std::vector<std::string> names;
    for (std::size_t b = 0; b < kSettingsBlockCount; ++b)
        if (blocks[b])
            names.push_back(kSettingsBlockNames[b]);
    return names;
}

std::string BlockList(const std::array<bool, kSettingsBlockCount>& blocks)
{
    std::string list;
    for (const std::string& name : BlockNames(blocks))
        list += (list.empty() ? "" : ", ") + name;
    return list;
}

void FileProblem(COutput& out, const CSettingsFileCheck& check)
{
    out.Problem(check.problem);
    if (check.firstBadLine != 0)
        out.FailedAt("line", check.firstBadLine);
}

// The command's settings file, read once and checked. A bad file is refused
// before the bus is touched or the operator asked.
bool ReadCheckedFile(CSession& session, CSettingsFileRead& file)
{
    file = CCameraSession::ReadSettingsFile(session.Options().args[0], StopCheck());
    switch (file.read) {
    case EReadFile::Read:
        break;
    case EReadFile::Stopped:
        session.Messages().Show(file.problem + ", camera unchanged");
        return false;
    case EReadFile::Failed:
    case EReadFile::TooLarge:
        session.Output().Problem(file.problem);
        return false;
    }
    if (!file.check.ok)
        FileProblem(session.Output(), file.check);
    return file.check.ok;
}

int RunLoad(CSession& session, const CCommandInfo&)
{
    const CCliOptions& options = session.Options();
    const std::string& path = options.args[0];
    CSettingsFileRead file;
    if (!ReadCheckedFile(session, file))
        return kExitFailure;
    const std::array<bool, kSettingsBlockCount> written = BlocksWritten(file.image, options.all);
    bool leftOut = false;
    for (std::size_t b = 1; b < kSettingsBlockCount; ++b)
        leftOut = leftOut || (file.check.present[b] && !options.all);
    if (!session.Connect())
        return kExitFailure;
    std::string what = "write the " + BlockList(written) + " settings of " + path + " into " + CameraAt(session) +
                       ", check them and commit them (kept over power-off)";
    if (leftOut)
        what += "; the file's other blocks are left out without --all";
    if (!session.Confirm(what))
        return kExitFailure;
    const CTransferResult result =
        session.Camera().Load(file.image, options.all, session.ProgressLine("load"), StopCheck());
    session.Progress().Finish();
    return TransferStatus(session, result);
}

int RunVerify(CSession& session, const CCommandInfo&)
{
    const CCliOptions& options = session.Options();
    const std::string& path = options.args[0];
    CSettingsFileRead file;
    if (!ReadCheckedFile(session, file))
        return kExitFailure;
    if (!session.Connect())
        return kExitFailure;
    // Alone, Ctrl-C ends a verify at once; with several cameras the workers stop here.
    const CVerifyResult verified =
        session.Camera().Verify(file.image, options.all, session.ProgressLine("verify"), StopCheck());
    session.Progress().Finish();
    if (!verified.transfer.Done())
        return TransferStatus(session, verified.transfer);

    COutput& out = session.Output();
    const std::vector<CDifference>& differences = verified.differences;
    std::string text;
    auto listed = nlohmann::ordered_json::array();
    for (const CDifference& d : differences) {
        const std::string where = RegisterText(d.bank, d.index);
        const std::string name = SettingNameOf(d);
        text += where + " file " + Hex2(d.file) + " camera " + Hex2(d.camera) + (name.empty() ? "" : " " + name) + "\n";
        nlohmann::ordered_json entry = {{"register", where}, {"file", Hex2(d.file)}, {"camera", Hex2(d.camera)}};
        if (!name.empty())
            entry["name"] = name;
        listed.push_back(entry);
    }
    if (out.Json()) {
        auto& doc = out.Document();
        doc["file"] = path;
        doc["address"] = Hex2(session.Address());
        doc["blocks"] = BlockNames(verified.blocks);
        doc["compared"] = verified.compared;
        doc["differences"] = listed;
    } else {
        out.Out(text);
        out.Err(differences.empty()
                    ? Format("zarnixctl: the camera matches %s (%u registers)\n", path.c_str(), verified.compared)
                    : Format("zarnixctl: %zu of %u registers differ from %s\n", differences.size(),
                             verified.compared, path.c_str()));
    }
    return differences.empty() ? kExitOk : kExitFailure;
}

int RunCheck(CSession& session, const CCommandInfo&)
{
    const std::string& path = session.Options().args[0];
    const CSettingsFileCheck check = CCameraSession::Check(path);
    COutput& out = session.Output();
    if (!check.ok) {
        FileProblem(out, check);
        return kExitFailure;
    }
    if (out.Json()) {
        out.Document()["file"] = path;
        out.Document()["values"] = check.values;
        out.Document()["blocks"] = BlockNames(check.present);
    } else {
        out.Out(Format("values: %zu\nblocks: %s\n", check.values, BlockList(check.present).c_str()));
    }
    return kExitOk;
}

constexpr CCommandInfo kCommands[] = {
    {"search", "search", "find the camera on the bus and print its write address",
     "Probes the bus for the camera, at its factory address 70 first, then at every\n"
     "other even address below fc, and prints the 8-bit write address it answers at\n"
     "(i2c-tools show the 7-bit form: 0x38 for 70). Exits 1 when nothing answers.\n"
     "On an i2c-dev bus it leaves out the addresses the bus reserves (00-0e and\n"
     "f0-fe, as i2cdetect does) unless --force is given.\n"
     "\n"
     "Example: find the camera once, then talk to it there without searching again:\n"
     "  addr=$(zarnixctl search) && zarnixctl --address \"$addr\" read a0 04\n",
     0, 0, false, false, false, true, true, false, RunSearch},
    {"show", "show", "read back the live settings, one register a line",
     "Reads the live settings back as the window does when it connects: 44 registers\n"
     "through the read mirror, bank a1. Prints one line per register: bank:index, the\n"
     "setting's name (as 'set' takes it) and the value, in hex. Register 30:40 shows\n"
     "as osd-key, which shares it with osd-control; 30:17 has no command and shows as\n"
     "reserved-17. Takes about 3.5 s on a camera. When a read fails, nothing is\n"
     "printed and the exit status is 1.\n"
     "\n"
     "Example: the live brightness:\n"
     "  zarnixctl show | grep brightness\n"
     "  30:04 brightness 80\n",
     0, 0, false, false, false, true, true, false, RunShow},
    {"read", "read BANK INDEX", "read one register",
     "Reads one register and prints its value as two hex digits. BANK and INDEX are\n"
     "hex, with or without 0x: bank a1 reads the live settings (a1:04 is 30:04), a0\n"
     "the stored settings, e0, e2, f0 and f2 the ISP and Stat blocks.\n"
     "\n"
     "Example: the brightness the camera comes up with at power-on:\n"
     "  zarnixctl read a0 04\n"
     "  80\n",
     2, 2, false, false, false, true, true, false, RunRead},
    {"write", "write [-y] BANK INDEX VALUE", "write one register (asks first, but for bank 30)",
     "Writes one register; all three numbers are hex, 00 to ff. Bank 30, the live\n"
     "settings, takes effect at once and is forgotten at power-off. Any other bank\n"
     "is kept by the camera, so the tool asks \"Continue? [y/N]\" first, unless -y\n"
     "is given; without a terminal to ask on it refuses.\n"
     "\n"
     "Example: try a brightness of 90 live, then make it the power-on brightness:\n"
     "  zarnixctl write 30 04 90\n"
     "  zarnixctl write -y a0 04 90\n",
     3, 3, false, false, false, true, false, true, RunWrite},
    {"set", "set NAME VALUE | --list", "run one set command on the live settings",
     "Runs one of the camera's set commands, as the window's controls do. VALUE is\n"
     "hex, 00 to ff. A register that limits its value (zoom factor at least 8, pan\n"
     "and tilt at most cb, on/off switches at most 1, ...) gets it limited as the\n"
     "window would send it, and the tool says so. --list shows every NAME with its\n"
     "register, what it controls and the values it takes (ranges there are decimal\n"
     "unless written with 0x).\n"
     "\n"
     "Example: more 3D noise reduction:\n"
     "  zarnixctl set 3dnr-level c0\n",
     0, 2, false, true, false, true, false, true, RunSet},
    {"save", "save [-y]", "store the live settings in the camera (asks first)",
     "Does what the window's SAVE button does: copies the live settings (30:00 to\n"
     "30:30, 33 registers) into the stored settings, bank a0, which the camera loads\n"
     "at every power-up. The tool keeps no settings between runs, so it reads the\n"
     "live settings back first; when that fails, nothing is stored. Asks first\n"
     "unless -y is given. Takes about 15 s on a camera. Ctrl-C or SIGTERM stops it\n"
     "after the register under way and tells which registers were stored; the\n"
     "others keep their old stored values.\n"
     "\n"
     "Example: try a brightness, then keep it:\n"
     "  zarnixctl set brightness 90 && zarnixctl save -y\n",
     0, 0, false, false, false, true, false, true, RunSave},
    {"dump", "dump FILE [--all]", "copy the camera's settings blocks to a settings file",
     "Copies the camera's stored settings (the Eeprom block, bank a0) into the\n"
     "settings file FILE (hex text, usually named .qcs); --all adds the ISP B0,\n"
     "ISP B1, Stat B0 and Stat B1 blocks (banks e0, e2, f0, f2). A read that fails\n"
     "stops the copy and leaves FILE as it was, and so does Ctrl-C or SIGTERM,\n"
     "which stops it after the register under way. Takes about 10 s, 50 s with --all.\n"
     "\n"
     "Example: keep a full copy of a camera that works:\n"
     "  zarnixctl dump front.qcs --all\n",
     1, 1, true, false, true, true, false, true, RunDump},
    {"load", "load FILE [--all] [-y]", "write a settings file into the camera, check it, commit it",
     "Writes the settings file FILE into the camera: the stored settings of its\n"
     "Eeprom block (a0:00 to a0:30) and, with --all, each ISP and Stat block the file\n"
     "holds. Then reads everything written back and only when all of it matches\n"
     "sends the commit that makes the camera keep it. The file is checked before\n"
     "anything is written. Asks first unless -y is given. Takes about 5 s, 2 min\n"
     "with --all. Ctrl-C or SIGTERM stops it after the register under way, without\n"
     "the commit, and says which registers already hold the file's values: read and\n"
     "verify see them until the camera is powered off, which brings back its stored\n"
     "settings.\n"
     "\n"
     "Example: give a second camera the settings of the first:\n"
     "  zarnixctl load front.qcs --all -y\n",
     1, 1, true, false, true, true, false, true, RunLoad},
    {"check", "check FILE", "tell whether a settings file is sound and which blocks it holds",
     "Reads the settings file FILE as load would, without touching the camera, and\n"
     "prints how many values it holds and which blocks are present. A file load\n"
     "would refuse gets its problem, with the line, on stderr and exit status 1:\n"
     "values are placed by their count alone, so every line that holds values must\n"
     "hold 16, two hex digits each, and the file 1280 in all.\n"
     "\n"
     "Example:\n"
     "  zarnixctl check front.qcs\n"
     "  values: 1280\n"
     "  blocks: Eeprom, ISP B0, ISP B1, Stat B0, Stat B1\n",
     1, 1, false, false, true, false, true, false, RunCheck},
    {"verify", "verify FILE [--all]", "compare the camera with a settings file, writing nothing",
     "Reads the camera's registers that load would write from the settings file FILE\n"
     "(the stored settings a0:00 to a0:30; with --all also each ISP and Stat block the\n"
     "file holds, 00 to fe) and compares them with the file. Only those registers are\n"
     "read, each as dump reads it, and nothing is written. Prints one line for each\n"
     "register that differs: bank:index, the file's value, the camera's, and the\n"
     "setting's name where the register has one. Exits 1 when any differs. Takes\n"
     "about 2 s, 43 s with --all.\n"
     "\n"
     "Example: make sure a programmed camera holds the line's settings:\n"
     "  zarnixctl verify line.qcs --all\n"
     "  a0:04 file 90 camera 80 brightness\n",
     1, 1, true, false, true, true, true, false, RunVerify},
};

} // namespace

const CCommandInfo* FindCommand(const std::string& name)
{
    for (const auto& command : kCommands)
        if (name == command.name)
            return &command;
    return nullptr;
}

void PrintToolHelp()
{
    std::printf("Usage: zarnixctl [OPTIONS] COMMAND [ARGS]\n"
                "\n"
                "Controls a Zarnix camera module over I2C: finds it on the bus, reads and\n"
                "writes its registers, makes it store its settings, and copies its settings\n"
                "blocks to and from settings files.\n"
                "\n"
                "Commands:\n");
    for (const auto& command : kCommands)
        std::printf("  %-29s %s\n", command.usage, command.summary);
    std::printf("\nOptions (before or after the command):\n%s", FormatOptionHelp(ToolOptionRows()).c_str());
    std::printf(
        "\n"
        "Numbers are hex, with or without 0x. Exit status: 0 success, 1 failure (no\n"
        "camera, a bus fault, a mismatch, a bad file, no confirmation), 2 bad usage,\n"
        "128 + the signal (130, 143, 129) when Ctrl-C (SIGINT), SIGTERM or SIGHUP\n"
        "stopped a command that writes.\n"
        "\n"
        "Example: find the camera on bus 3, make the picture brighter and keep it:\n"
        "  zarnixctl --bus 3 search\n"
        "  zarnixctl --bus 3 --address 70 set brightness a0\n"
        "  zarnixctl --bus 3 --address 70 save -y\n");
}

void PrintCommandHelp(const CCommandInfo& command)
{
    std::printf("Usage: zarnixctl [OPTIONS] %s\n\n%s", command.usage, command.help);
}

int UsageError(const CCommandInfo* command, const std::string& text)
{
    PrintError(text);
    if (command)
        std::fprintf(stderr, "Usage: zarnixctl [OPTIONS] %s\nTry 'zarnixctl %s --help' for more.\n", command->usage,
                     command->name);
    else
        std::fprintf(stderr, "Usage: zarnixctl [OPTIONS] COMMAND [ARGS]\nTry 'zarnixctl --help' for more.\n");
    return kExitUsage;
}

bool CheckArguments(const CCommandInfo& command, const CCliOptions& options, std::string& error)
{
    if (options.all && !command.takesAll) {
        error = std::string(command.name) + " takes no --all";
        return false;
    }
    if (options.list && !command.takesList) {
        error = std::string(command.name) + " takes no --list";
        return false;
    }
    const std::size_t count = options.args.size();
    if (count < command.minArgs) {
        error = std::string(command.name) + ": missing arguments";
        return false;
    }
    if (count > command.maxArgs) {
        error = std::string(command.name) + ": too many arguments, starting at '" + options.args[command.maxArgs] +
                "'";
        return false;
    }
    return true;
}

} // namespace zarnix::cli
