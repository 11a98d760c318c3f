//===- CommandLine.cpp - the command line of vexo-opc, parsed and checked -===//
//
// The commands and options on CLI11: each command is a subcommand with its
// own help and examples. Options follow the command, as "--name value",
// "--name=value" or "-n value"; "--" ends them. Numbers are checked here
// against what a group's update rate and a configuration file hold, so a
// value the server would store as something else never reaches it.
//
//===----------------------------------------------------------------------===//
#include "CommandLine.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include <CLI/CLI.hpp>

#ifndef VEXO_OPC_VERSION
#define VEXO_OPC_VERSION "0.0.0"
#endif

namespace vexo::cli {

namespace {

constexpr std::int32_t MaxInt32 = std::numeric_limits<std::int32_t>::max();

enum TOptionSet : unsigned {
    osConnect = 1u << 0,  ///< --server and --computer
    osComputer = 1u << 1, ///< --computer alone
    osFormat = 1u << 2,
    osValue = 1u << 3,
    osRecursive = 1u << 4,
    osDevice = 1u << 5,
    osRate = 1u << 6,
    osWatch = 1u << 7, ///< --seconds and --count
    osShell = 1u << 8, ///< --stop-on-error
};

struct TCommandInfo {
    const char *Name;
    const char *Positionals; ///< as the usage line shows them
    int MinArgs;
    int MaxArgs; ///< -1: any number
    unsigned Options;
    const char *Description;
    const char *Examples;
};

constexpr TCommandInfo Commands[] = {
    {"servers", "", 0, 0, osComputer | osFormat, "list the OPC servers of a computer",
     "  vexo-opc servers\n"
     "  vexo-opc servers --format csv\n"},
    {"status", "", 0, 0, osConnect | osFormat, "connect and show the server's status",
     "  vexo-opc status\n"
     "  vexo-opc status -s Vexo.Simulation.DA10.1 --format json\n"},
    {"browse", "[PATH]", 0, 1, osConnect | osFormat | osRecursive,
     "list the branches and leaves at PATH (default the root)",
     "  vexo-opc browse \"Simulation.Line 1\"\n"
     "  vexo-opc browse -R Simulation.Quality --format csv\n"},
    {"properties", "ITEM", 1, 1, osConnect | osFormat | osValue,
     "list the properties of an item with their values",
     "  vexo-opc properties \"Simulation.Line 1.Level\"\n"},
    {"read", "ITEM...", 1, -1, osConnect | osFormat | osValue | osDevice,
     "read items once: value, type, quality and time stamp",
     "  vexo-opc read Simulation.Ramp.Int4 Simulation.Constant.String\n"
     "  vexo-opc read --device --value Simulation.Sine.Real8\n"
     "  vexo-opc read Simulation.Bucket.Int4Array --format json\n"},
    {"write", "ITEM=VALUE...", 1, -1, osConnect | osFormat,
     "write values converted to each item's type, read back",
     "  vexo-opc write Simulation.Bucket.Int4=42 \"Simulation.Bucket.Int4Array=1;2;3\"\n"
     "  vexo-opc write Simulation.Bucket.Time=2024-05-06T07:08:09\n"
     "Array elements are separated by ';'. Each vexo-opc run starts its own simulation\n"
     "server, so a written value is gone for the next run: 'vexo-opc shell' keeps one.\n"},
    {"watch", "ITEM...", 1, -1, osConnect | osFormat | osValue | osRate | osWatch,
     "print each data change as it comes, until stopped; a lost connection is\n"
     "retried, each step printed as a line '-- ...' (on standard error for CSV and JSON)",
     "  vexo-opc watch Simulation.Ramp.Int4 --rate 200 --count 10\n"
     "  vexo-opc watch Simulation.Sine.Real8 -t 5 --format json   # one object per line\n"},
    {"save", "FILE [ITEM...]", 1, -1, osConnect | osRate,
     "save group \"CLI\" with the items as a configuration",
     "  vexo-opc save line1.txt \"Simulation.Line 1.Level\" --rate 500\n"},
    {"load", "FILE", 1, 1, osFormat, "load a configuration and list its groups and items",
     "  vexo-opc load line1.txt\n"},
    {"shell", "", 0, 0, osConnect | osShell,
     "run commands from a terminal or a script, one connection",
     "  vexo-opc shell\n"
     "  vexo-opc shell -e < steps.txt\n"
     "Each line is a command as above without 'vexo-opc' and without --server or\n"
     "--computer; 'help', 'quit' and 'exit' work too, '#' starts a comment.\n"},
};

const TCommandInfo *FindCommand(const std::string &Name) {
    for (const TCommandInfo &C : Commands)
        if (Name == C.Name)
            return &C;
    return nullptr;
}

/// Text as a whole decimal number within Min..Max, or the reason it is not.
std::string CheckNumber(const std::string &Text, std::int32_t Min, std::int32_t Max,
                        const char *Unit) {
    long long Value = 0;
    const char *End = Text.data() + Text.size();
    const auto [Ptr, Ec] = std::from_chars(Text.data(), End, Value);
    if (!Text.empty() && Ec == std::errc() && Ptr == End && Value >= Min && Value <= Max)
        return {};
    return "'" + Text + "' is not a whole number of " + Unit + " in " + std::to_string(Min) + ".." +
           std::to_string(Max);
}

std::int32_t ToNumber(const std::string &Text) {
    long long Value = 0;
    std::from_chars(Text.data(), Text.data() + Text.size(), Value);
    return static_cast<std::int32_t>(Value);
}

CLI::Validator NumberIn(std::int32_t Min, std::int32_t Max, const char *Unit) {
    return CLI::Validator([=](std::string &Text) { return CheckNumber(Text, Min, Max, Unit); }, "");
}

/// The strings CLI11 fills, converted once parsing succeeded.
struct TRawOptions {
    std::vector<std::string> Args, Rest;
    std::string Rate, Seconds, Count, Format = "table";
};

void AddOptions(CLI::App &Sub, const TCommandInfo &Info, TCliOptions &O, TRawOptions &Raw,
                bool InShell) {
    Sub.add_option("ARGS", Raw.Args, Info.Positionals)->type_name("");
    if ((Info.Options & osConnect) && !InShell) {
        Sub.add_option("-s,--server", O.Server,
                       "ProgID or {class id} of the server (default Vexo.Simulation.1)")
            ->type_name("ID");
        Sub.add_option("-c,--computer", O.Computer, "the server's computer (default this one)")
            ->type_name("NAME");
    }
    if ((Info.Options & osComputer) && !InShell)
        Sub.add_option("-c,--computer", O.Computer, "the computer (default this one)")
            ->type_name("NAME");
    if (Info.Options & osFormat)
        Sub.add_option("-f,--format", Raw.Format, "table (default), csv or json")
            ->type_name("FORMAT")
            ->check(CLI::Validator(
                [](std::string &Text) {
                    return Text == "table" || Text == "csv" || Text == "json"
                               ? std::string()
                               : "'" + Text + "' is not one of table, csv, json";
                },
                ""));
    if (Info.Options & osValue)
        Sub.add_flag("-v,--value", O.ValueOnly, "print the values alone, one per line");
    if (Info.Options & osRecursive)
        Sub.add_flag("-R,--recursive", O.Recursive, "walk the tree and list every item below PATH");
    if (Info.Options & osDevice)
        Sub.add_flag("-d,--device", O.Device, "read from the device instead of the cache");
    if (Info.Options & osRate)
        Sub.add_option("-r,--rate", Raw.Rate, "the group's update rate in milliseconds")
            ->type_name("MS")
            ->check(NumberIn(0, MaxInt32, "milliseconds"));
    if (Info.Options & osWatch) {
        Sub.add_option("-t,--seconds", Raw.Seconds, "stop after N seconds")
            ->type_name("N")
            ->check(NumberIn(1, MaxInt32, "seconds"));
        Sub.add_option("-n,--count", Raw.Count, "stop after K data changes")
            ->type_name("K")
            ->check(NumberIn(1, MaxInt32, "data changes"));
    }
    if (Info.Options & osShell)
        Sub.add_flag("-e,--stop-on-error", O.StopOnError,
                     "end at the first command that fails, with its exit code");
}

std::string ExitCodeText() {
    return "Exit status: 0 success, 1 the server, an item or a file failed, 2 wrong usage,\n"
           "3 some items failed and the others succeeded.\n";
}

/// "usage: vexo-opc read ITEM... [OPTIONS]", what the command does, its
/// options and examples.
std::string CommandHelp(const TCommandInfo &Info, const CLI::App &Sub) {
    std::string Text = std::string("usage: vexo-opc ") + Info.Name +
                       (*Info.Positionals ? " " : "") + Info.Positionals + " [OPTIONS]\n\n" +
                       Info.Description + "\n\nOptions:\n";
    for (const CLI::Option *Opt : Sub.get_options()) {
        if (Opt->get_positional())
            continue;
        std::string Names = Opt->get_name(false, true);
        if (!Opt->get_type_name().empty() && Opt->get_type_size() != 0)
            Names += " " + Opt->get_type_name();
        Names.resize(std::max<std::size_t>(Names.size(), 22), ' ');
        Text += "  " + Names + "  " + Opt->get_description() + "\n";
    }
    return Text + "\nExamples:\n" + Info.Examples + "\n" + ExitCodeText();
}

/// The option CLI11 names at the start of its message ("--rate: ...").
std::string NamedOption(const std::string &Message) {
    const std::size_t Colon = Message.find(':');
    return Colon == std::string::npos ? std::string() : Message.substr(0, Colon);
}

/// Options given before the command move behind it ("vexo-opc -s ID read X"
/// is "vexo-opc read X -s ID"); the command is the first word that names one.
std::vector<std::string> CommandFirst(const std::vector<std::string> &Args) {
    if (Args.empty() || !Args.front().starts_with("-"))
        return Args;
    for (std::size_t I = 1; I < Args.size(); ++I) {
        if (Args[I] == "--")
            break;
        if (FindCommand(Args[I])) {
            std::vector<std::string> Moved(Args.begin() + static_cast<std::ptrdiff_t>(I),
                                           Args.end());
            Moved.insert(Moved.begin() + 1, Args.begin(),
                         Args.begin() + static_cast<std::ptrdiff_t>(I));
            return Moved;
        }
    }
    throw EUsageError("no command after option '" + Args.front() + "'");
}

TCliOptions Parse(const std::vector<std::string> &Given, bool InShell) {
    TCliOptions O;
    TRawOptions Raw;
    // Everything after "--" is positional, also what looks like an option.
    std::vector<std::string> Args;
    bool AfterDashes = false;
    for (const std::string &A : Given) {
        if (!AfterDashes && A == "--")
            AfterDashes = true;
        else
            (AfterDashes ? Raw.Rest : Args).push_back(A);
    }

    CLI::App App("vexo-opc, the command-line OPC DA client", "vexo-opc");
    App.set_help_flag("-h,--help", "show the options and examples");
    App.allow_extras();
    App.require_subcommand(0, 1);
    for (const TCommandInfo &Info : Commands) {
        if (InShell && std::string_view(Info.Name) == "shell")
            continue;
        CLI::App *Sub = App.add_subcommand(Info.Name, Info.Description);
        Sub->allow_extras();
        AddOptions(*Sub, Info, O, Raw, InShell);
    }
    std::vector<std::string> Reversed(Args.rbegin(), Args.rend());
    const TCommandInfo *Info = Args.empty() ? nullptr : FindCommand(Args.front());
    if (Info && InShell && std::string_view(Info->Name) == "shell")
        Info = nullptr;
    try {
        App.parse(Reversed);
    } catch (const CLI::CallForHelp &) {
        O.Text = Info ? CommandHelp(*Info, *App.get_subcommand(Info->Name)) : UsageText();
        return O;
    } catch (const CLI::ArgumentMismatch &E) {
        throw EUsageError("option '" + NamedOption(E.what()) + "' needs a value",
                          Info ? Info->Name : "");
    } catch (const CLI::ParseError &E) {
        throw EUsageError(E.what(), Info ? Info->Name : "");
    }

    if (!Info) {
        if (!App.remaining().empty())
            throw EUsageError("unknown command '" + App.remaining().front() + "'");
        if (!Raw.Rest.empty())
            throw EUsageError("unknown command '" + Raw.Rest.front() + "'");
        O.Text = UsageText(); // no command at all
        return O;
    }
    const CLI::App &Sub = *App.get_subcommand(Info->Name);
    for (const std::string &Extra : Sub.remaining()) {
        const std::string Name = Extra.substr(0, Extra.find('='));
        if (InShell && (Name == "-s" || Name == "--server" || Name == "-c" || Name == "--computer"))
            throw EUsageError("'" + Name +
                                  "' is given once for the whole shell, as in "
                                  "'vexo-opc shell --server ID'",
                              Info->Name);
        if (Extra.starts_with("-"))
            throw EUsageError("'" + std::string(Info->Name) + "' has no option '" + Extra + "'",
                              Info->Name);
        throw EUsageError("unexpected argument '" + Extra + "' for '" + Info->Name + "'",
                          Info->Name);
    }
    O.Command = Info->Name;
    O.Args = Raw.Args;
    O.Args.insert(O.Args.end(), Raw.Rest.begin(), Raw.Rest.end());
    const int Count = static_cast<int>(O.Args.size());
    if (Count < Info->MinArgs)
        throw EUsageError("'" + O.Command + "' needs " + Info->Positionals, O.Command);
    if (Info->MaxArgs >= 0 && Count > Info->MaxArgs)
        throw EUsageError("unexpected argument '" + O.Args[Info->MaxArgs] + "' for '" + O.Command +
                              "'",
                          O.Command);
    if (Trim(O.Server).empty())
        throw EUsageError("option '--server' needs a ProgID or class id, not '" + O.Server + "'",
                          O.Command);
    O.Format = Raw.Format == "csv"    ? TOutputFormat::Csv
               : Raw.Format == "json" ? TOutputFormat::Json
                                      : TOutputFormat::Table;
    if (!Raw.Rate.empty())
        O.Rate = ToNumber(Raw.Rate);
    if (!Raw.Seconds.empty())
        O.Seconds = ToNumber(Raw.Seconds);
    if (!Raw.Count.empty())
        O.Count = ToNumber(Raw.Count);
    return O;
}

} // namespace

TCliOptions ParseCommandLine(const std::vector<std::string> &Args, bool InShell) {
    // "help COMMAND" is "COMMAND --help"; help wins over mistakes on the line.
    if (!Args.empty() && Args.front() == "help") {
        TCliOptions O;
        if (Args.size() == 1) {
            O.Text = UsageText();
            return O;
        }
        if (!FindCommand(Args[1]) || (InShell && Args[1] == "shell"))
            throw EUsageError("no help for '" + Args[1] + "': not a command");
        return Parse({Args[1], "--help"}, InShell);
    }
    for (const std::string &A : Args) {
        if (A == "--")
            break;
        if (A == "-V" || A == "--version") {
            TCliOptions O;
            O.Text = VersionText() + "\n";
            return O;
        }
    }
    for (const std::string &A : Args) {
        if (A == "--")
            break;
        if (A == "-h" || A == "--help") {
            for (const std::string &Word : Args)
                if (FindCommand(Word) && !(InShell && Word == "shell"))
                    return Parse({Word, "--help"}, InShell);
            TCliOptions O;
            O.Text = UsageText();
            return O;
        }
    }
    return Parse(CommandFirst(Args), InShell);
}

std::string UsageText() {
    std::string Text = "usage: vexo-opc COMMAND [ARGUMENTS] [OPTIONS]\n\nCommands:\n";
    for (const TCommandInfo &C : Commands) {
        std::string Synopsis = std::string(C.Name) + " " + C.Positionals;
        Synopsis.resize(std::max<std::size_t>(Synopsis.size(), 22), ' ');
        Text += "  " + Synopsis + "  " + C.Description + "\n";
    }
    Text += "  help [COMMAND]          show this text, or a command's options and examples\n\n"
            "Options of most commands: -s/--server ID, -c/--computer NAME, -f/--format\n"
            "table|csv|json; -V/--version prints the version.\n\n";
    return Text + ExitCodeText();
}

std::string VersionText() { return std::string("vexo-opc ") + VEXO_OPC_VERSION; }

std::vector<std::string> SplitShellLine(const std::string &Line) {
    std::vector<std::string> Words;
    std::string Word;
    bool InWord = false;
    char Quote = 0; // the open quote, 0 outside quotes
    for (std::size_t I = 0; I < Line.size(); ++I) {
        const char C = Line[I];
        if (Quote == '\'') {
            if (C == '\'')
                Quote = 0;
            else
                Word += C;
        } else if (Quote == '"') {
            if (C == '"')
                Quote = 0;
            else if (C == '\\' && I + 1 < Line.size() &&
                     (Line[I + 1] == '"' || Line[I + 1] == '\\'))
                Word += Line[++I];
            else
                Word += C;
        } else if (C == ' ' || C == '\t' || C == '\r') {
            if (InWord)
                Words.push_back(std::move(Word));
            Word.clear();
            InWord = false;
        } else if (C == '#' && !InWord) {
            break;
        } else if (C == '\'' || C == '"') {
            Quote = C;
            InWord = true;
        } else if (C == '\\' && I + 1 < Line.size()) {
            Word += Line[++I];
            InWord = true;
        } else {
            Word += C;
            InWord = true;
        }
    }
    if (Quote)
        throw EUsageError(std::string("no closing ") + Quote + " in: " + Line);
    if (InWord)
        Words.push_back(std::move(Word));
    return Words;
}

} // namespace vexo::cli
