//===- fuzz_config_reader.cpp - arbitrary text into LoadFromFile ---------===//
//
// Loads arbitrary bytes as a configuration file into a TVexoServer that is
// not connected. Every input must either load or be refused with an
// exception derived from the framework's Exception that names the problem;
// anything else (a crash, a leak, another exception type) is a finding.
//
//===----------------------------------------------------------------------===//

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

#include <vexo/Vexo.h>

namespace {

std::string TempPath() {
    static const std::string path = "/tmp/vexo_fuzz_config_" + std::to_string(::getpid()) + ".txt";
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size) {
    {
        std::ofstream out(TempPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(Data), static_cast<std::streamsize>(Size));
    }
    auto server = std::make_unique<vexo::TVexoServer>(nullptr);
    // A file that says Active = True would connect; with no server name that
    // is the "first define servername" fault, which a handler keeps quiet.
    server->OnError = [](vexo::TObject *, const std::string &, bool &Raise) { Raise = false; };
    try {
        server->LoadFromFile(TempPath());
    } catch (const vexo::Exception &E) {
        if (E.Message().empty())
            std::abort(); // a refusal must name its problem
    }
    return 0;
}
