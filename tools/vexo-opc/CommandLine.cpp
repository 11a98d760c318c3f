//===- CommandLine.cpp - the command line of vexo-opc, parsed and checked -===//
//
// The table of commands and options, the parser and the usage text. Options
// may stand anywhere, as "--name value" or "--name=value"; "--" ends them.
//
//===----------------------------------------------------------------------===//
#include "CommandLine.h"

#include <charconv>
#include <limits>

#include "Commands.h"

namespace vexo::cli {

namespace {

constexpr unsigned Connecting = optServer | optComputer;

constexpr TCliCommand Commands[] = {
    {"servers", "servers", 0, 0, optComputer, RunServers},
    {"status", "status", 0, 0, Connecting, RunStatus},
    {"browse", "browse [PATH]", 0, 1, Connecting | optRecursive, RunBrowse},
    {"properties", "properties ITEM", 1, 1, Connecting, RunProperties},
    {"read", "read ITEM...", 1, -1, Connecting | optDevice, RunRead},
    {"write", "write ITEM=VALUE...", 1, -1, Connecting, RunWrite},
    {"watch", "watch ITEM...", 1, -1, Connecting | optRate | optSeconds | optCount, RunWatch},
    {"save", "save FILE [ITEM...]", 1, -1, Connecting | optRate, RunSave},
    {"load", "load FILE", 1, 1, 0, RunLoad},
};

struct TOptionInfo {
    std::string_view Name;
    TCliOption Bit;
    bool TakesValue;
};

constexpr TOptionInfo Options[] = {
    {"--server", optServer, true},
    {"--computer", optComputer, true},
    {"--recursive", optRecursive, false},
    {"--device", optDevice, false},
    {"--rate", optRate, true},
    {"--seconds", optSeconds, true},
    {"--count", optCount, true},
};

constexpr std::int32_t MaxInt32 = std::numeric_limits<std::int32_t>::max();

const TCliCommand *FindCommand(std::string_view Name) {
    for (const TCliCommand &C : Commands)
        if (C.Name == Name)
            return &C;
    return nullptr;
}

const TOptionInfo *FindOption(std::string_view Name) {
    for (const TOptionInfo &O : Options)
        if (O.Name == Name)
            return &O;
    return nullptr;
}

bool IsHelp(std::string_view Arg) { return Arg == "--help" || Arg == "-h"; }

/// Text as a whole decimal number within Min..Max; EUsageError naming Text otherwise.
std::int32_t ParseNumber(const std::string &Text, std::string_view What, std::int32_t Min,
                         std::int32_t Max) {
    long long Value = 0;
    const char *End = Text.data() + Text.size();
    const auto [Ptr, Ec] = std::from_chars(Text.data(), End, Value);
    if (Text.empty() || Ec != std::errc() || Ptr != End || Value < Min || Value > Max)
        throw EUsageError("bad number '" + Text + "' for " + std::string(What) + " (expected " +
                          std::to_string(Min) + ".." + std::to_string(Max) + ")");
    return static_cast<std::int32_t>(Value);
}

/// Stores the value of option Info into Result.
void StoreOption(TCliOptions &Result, const TOptionInfo &Info, const std::string &Value) {
    const std::string What(Info.Name);
    switch (Info.Bit) {
    case optServer:
        if (Trim(Value).empty())
            throw EUsageError("option '--server' needs a ProgID or class id, not '" + Value + "'");
        Result.Server = Value;
        break;
    case optComputer:
        Result.Computer = Value;
        break;
    case optRecursive:
        Result.Recursive = true;
        break;
    case optDevice:
        Result.Device = true;
        break;
    case optRate:
        Result.Rate = ParseNumber(Value, What, 0, MaxInt32);
        break;
    case optSeconds:
        Result.Seconds = ParseNumber(Value, What, 1, MaxInt32);
        break;
    case optCount:
        Result.Count = ParseNumber(Value, What, 1, MaxInt32);
        break;
    }
}

} // namespace

TCliOptions ParseCommandLine(const std::vector<std::string> &Args) {
    // Help wins over everything else on the line, mistakes included.
    for (const std::string &Arg : Args) {
        if (Arg == "--")
            break;
        if (IsHelp(Arg))
            return TCliOptions{};
    }
    TCliOptions Result;
    std::vector<std::pair<const TOptionInfo *, std::string>> Given;
    std::vector<std::string> Positional;
    bool OptionsEnded = false;
    for (std::size_t I = 0; I < Args.size(); ++I) {
        const std::string &Arg = Args[I];
        if (OptionsEnded || Arg.size() < 2 || Arg[0] != '-') {
            Positional.push_back(Arg);
            continue;
        }
        if (Arg == "--") {
            OptionsEnded = true;
            continue;
        }
        const std::size_t Eq = Arg.find('=');
        const std::string Name = Arg.substr(0, Eq);
        const TOptionInfo *Info = FindOption(Name);
        if (!Info)
            throw EUsageError("unknown option '" + Name + "'");
        if (!Info->TakesValue) {
            if (Eq != std::string::npos)
                throw EUsageError("option '" + Name + "' takes no value");
            Given.emplace_back(Info, std::string());
        } else if (Eq != std::string::npos) {
            Given.emplace_back(Info, Arg.substr(Eq + 1));
        } else {
            // The next argument is the value, unless it is another option.
            if (I + 1 == Args.size() || Args[I + 1].starts_with("--"))
                throw EUsageError("option '" + Name + "' needs a value");
            Given.emplace_back(Info, Args[++I]);
        }
    }

    if (Positional.empty() || Positional.front() == "help")
        return TCliOptions{};
    Result.Command = FindCommand(Positional.front());
    if (!Result.Command)
        throw EUsageError("unknown command '" + Positional.front() + "'");
    const TCliCommand &C = *Result.Command;
    Result.Args.assign(Positional.begin() + 1, Positional.end());

    for (const auto &[Info, Value] : Given) {
        if (!(C.Options & Info->Bit))
            throw EUsageError("option '" + std::string(Info->Name) + "' does not apply to '" +
                              std::string(C.Name) + "'");
        StoreOption(Result, *Info, Value);
    }
    const int Count = static_cast<int>(Result.Args.size());
    if (Count < C.MinArgs)
        throw EUsageError("'" + std::string(C.Name) +
                          "' needs more arguments: " + std::string(C.Synopsis));
    if (C.MaxArgs >= 0 && Count > C.MaxArgs)
        throw EUsageError("unexpected argument '" + Result.Args[C.MaxArgs] + "' for '" +
                          std::string(C.Name) + "'");
    return Result;
}

std::string UsageText() {
    return R"(usage: vexo-opc COMMAND [ARGUMENTS] [OPTIONS]

Commands:
  servers                 list the OPC servers of a computer
  status                  connect and show the server's status
  browse [PATH]           list the branches and leaves at PATH (the root by default)
  properties ITEM         list the properties of an item with their values
  read ITEM...            read items once and print "id = value  quality  time"
  write ITEM=VALUE...     write values, converted to each item's canonical type
                          (array elements separated by ';', as in "1;2;3")
  watch ITEM...           subscribe and print data changes until stopped; a lost
                          connection is retried, each step printed as "-- ..."
  save FILE [ITEM...]     connect, build group "CLI" with the items, save it to FILE
  load FILE               load a configuration, connect if it says so, list its groups
  help                    show this text

Options:
  --server ID             ProgID or {class id} of the server (default Vexo.Simulation.1)
  --computer NAME         the server's computer (default: this one)
  --recursive             browse: walk the tree and print every item id below PATH
  --device                read: from the device instead of the server's cache
  --rate MS               watch, save: the group's update rate in milliseconds
  --seconds N             watch: stop after N seconds
  --count K               watch: stop after K data changes

Exit status: 0 success, 1 failure of the server, an item or a file, 2 wrong usage.
)";
}

} // namespace vexo::cli
