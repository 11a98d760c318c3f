//===- main.cpp - vexo-opc, the command-line OPC DA client ---------------===//
//
// Hands the arguments to RunVexoOpc. The first Ctrl+C ends a running watch
// in order (the group leaves the server, the connection is closed); a second
// one ends the program at once.
//
//===----------------------------------------------------------------------===//
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include <vexo/Vexo.h>

#include "VexoOpc.h"

namespace {

extern "C" void OnInterrupt(int) {
    vexo::cli::RequestStop();
    std::signal(SIGINT, SIG_DFL);
}

} // namespace

int main(int argc, char **argv) {
    std::signal(SIGINT, OnInterrupt);
    vexo::VexoInitSecurity(); // what a remote server needs; a repeated call changes nothing
    const std::vector<std::string> Args(argv + 1, argv + argc);
    return vexo::cli::RunVexoOpc(Args, std::cout, std::cerr);
}
