//===- main.cpp - vexo-opc, the command-line OPC DA client ---------------===//
//
// Hands the arguments to RunVexoOpc. Ctrl+C ends a running watch in order
// (the group leaves the server, the connection is closed); a second one
// before the command has ended ends the program at once. The shell reads
// its lines with libedit's line editing and history where the input is a
// terminal and the library is there, and plainly otherwise.
//
//===----------------------------------------------------------------------===//
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#ifdef VEXO_OPC_LIBEDIT
#include <editline/readline.h>
#endif

#include <vexo/Vexo.h>

#include "VexoOpc.h"

namespace {

extern "C" void OnInterrupt(int) {
    if (vexo::cli::StopRequested())
        std::_Exit(130); // the second Ctrl+C: the command did not end in time
    vexo::cli::RequestStop();
}

std::optional<std::string> ReadTerminalLine(const std::string &Prompt) {
#ifdef VEXO_OPC_LIBEDIT
    char *Line = readline(Prompt.c_str());
    if (!Line)
        return std::nullopt;
    std::string Text = Line;
    std::free(Line);
    if (!Text.empty())
        add_history(Text.c_str());
    return Text;
#else
    std::cout << Prompt << std::flush;
    std::string Text;
    if (!std::getline(std::cin, Text))
        return std::nullopt;
    return Text;
#endif
}

std::optional<std::string> ReadPlainLine(const std::string &) {
    std::string Text;
    if (!std::getline(std::cin, Text))
        return std::nullopt;
    return Text;
}

} // namespace

int main(int argc, char **argv) {
    std::signal(SIGINT, OnInterrupt);
    vexo::VexoInitSecurity(); // what a remote server needs; a repeated call changes nothing
    const std::vector<std::string> Args(argv + 1, argv + argc);
    vexo::cli::TRunEnvironment Env;
    Env.ErrIsTerminal = ::isatty(STDERR_FILENO) == 1;
    const bool Terminal = ::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1;
    Env.ReadLine = Terminal ? ReadTerminalLine : ReadPlainLine;
    return vexo::cli::RunVexoOpc(Args, std::cout, std::cerr, Env);
}
