//===- fuzz_config_reader.cpp - arbitrary text into LoadFromFile ---------===//
//
// Loads arbitrary bytes as a configuration file into a TVexoServer that is
// not connected. Every input must either load or be refused with an
// exception derived from the framework's Exception that names the problem;
// anything else (a crash, a leak, another exception type) is a finding.
// What loads is saved, loaded into a new component and saved again: the two
// saved texts must be the same, so nothing a file can say is lost or changed
// by a round trip.
//
//===----------------------------------------------------------------------===//

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <unistd.h>

#include <vexo/Vexo.h>

namespace {

std::string TempPath(const char *Which = "in") {
    return "/tmp/vexo_fuzz_config_" + std::to_string(::getpid()) + "_" + Which + ".txt";
}

std::string ReadAll(const std::string &Path) {
    std::ifstream in(Path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::unique_ptr<vexo::TVexoServer> QuietServer() {
    auto server = std::make_unique<vexo::TVexoServer>(nullptr);
    // A file that says Active = True would connect; with no server name that
    // is the "first define servername" fault, which a handler keeps quiet.
    server->OnError = [](vexo::TObject *, const std::string &, bool &Raise) { Raise = false; };
    return server;
}

/// Saves Server and returns the text written.
std::string Saved(vexo::TVexoServer &Server, const char *Which) {
    Server.SaveToFile(TempPath(Which));
    return ReadAll(TempPath(Which));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *Data, std::size_t Size) {
    {
        std::ofstream out(TempPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(Data), static_cast<std::streamsize>(Size));
    }
    auto server = QuietServer();
    try {
        server->LoadFromFile(TempPath());
    } catch (const vexo::Exception &E) {
        if (E.Message().empty())
            std::abort(); // a refusal must name its problem
        return 0;
    }
    const std::string First = Saved(*server, "first");
    auto again = QuietServer();
    try {
        again->LoadFromFile(TempPath("first"));
    } catch (const vexo::Exception &E) {
        std::fprintf(stderr, "a saved configuration does not load: %s\n%s\n", E.Message().c_str(),
                     First.c_str());
        std::abort();
    }
    const std::string Second = Saved(*again, "second");
    if (First != Second) {
        std::fprintf(stderr, "saved twice, two texts:\n%s\n----\n%s\n", First.c_str(),
                     Second.c_str());
        std::abort();
    }
    return 0;
}
