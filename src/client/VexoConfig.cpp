//===- VexoConfig.cpp - configuration file of the server component -------===//
//
// SaveToFile writes the component with its groups and items in the
// framework's component text; LoadFromFile checks the file's marker and
// reads it back into the same component. A component connected at that
// moment is disconnected first (its groups must not be replaced while they
// exist on the server); a file that says Active = True connects once, after
// everything was read.
//
//===----------------------------------------------------------------------===//

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoBrowser.h>
#include <vexo/client/TVexoServer.h>
#include <vexo/client/TvexoServerBrowser.h>

#include <cstring>
#include <fstream>
#include <iterator>

#if __has_include(<vexo/framework/Streaming.h>)
#include <vexo/framework/Streaming.h>
#define VEXO_HAS_STREAMING 1
#else
#define VEXO_HAS_STREAMING 0
#endif

namespace vexo {

namespace {

/// How far into a file the class name is looked for.
constexpr std::size_t kMarkerReach = 299;

std::string ReadWholeFile(const std::string &FileName) {
    std::ifstream in(FileName, std::ios::binary);
    if (!in)
        throw EFOpenError("Cannot open file \"" + FileName + "\"");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw EFOpenError("Cannot read file \"" + FileName + "\"");
    return text;
}

void WriteWholeFile(const std::string &FileName, const std::string &Text) {
    std::ofstream out(FileName, std::ios::binary | std::ios::trunc);
    if (!out)
        throw EFCreateError("Cannot create file \"" + FileName + "\"");
    out.write(Text.data(), static_cast<std::streamsize>(Text.size()));
    out.flush();
    if (!out)
        throw EFCreateError("Cannot write file \"" + FileName + "\"");
}

/// True when "tvexoserver" (any case) stands in the first 299 bytes, read up
/// to the first zero byte.
bool HasMarker(const std::string &Text) {
    std::string head = Text.substr(0, kMarkerReach);
    head.resize(std::strlen(head.c_str()));
    return LowerCase(head).find("tvexoserver") != std::string::npos;
}

} // namespace

const PropertyTable *TVexoBrowser::GetPropertyTable() const { return nullptr; }

const PropertyTable *TvexoServerBrowser::GetPropertyTable() const { return nullptr; }

void TVexoServer::SaveToFile(const std::string &FileName) {
#if VEXO_HAS_STREAMING
    WriteWholeFile(FileName, WriteComponentText(*this));
#else
    (void)&WriteWholeFile;
    (void)FileName;
    throw Exception("component streaming is not available");
#endif
}

void TVexoServer::LoadFromFile(const std::string &FileName) {
    const std::string text = ReadWholeFile(FileName);
    if (!HasMarker(text))
        throw Exception(VexoLoadStr(_STR_WRONGFILE));
    // Groups are replaced while reading: they must not be on the server then.
    SetActive(false);
#if VEXO_HAS_STREAMING
    try {
        ReadComponentText(text, *this);
    } catch (...) {
        // A read that failed never reaches Loaded: an Active read as true
        // would claim a connection that was never made.
        if (FActive && !FServerIF)
            FActive = false;
        throw;
    }
#else
    throw Exception("component streaming is not available");
#endif
}

} // namespace vexo
