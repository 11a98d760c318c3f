//===- VexoConfig.cpp - configuration file of the server component -------===//
//
// SaveToFile and LoadFromFile of TVexoServer, and the published-property
// tables of the persistent client classes that the streaming reads.
//
//===----------------------------------------------------------------------===//

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoBrowser.h>
#include <vexo/client/TVexoServer.h>
#include <vexo/client/TvexoServerBrowser.h>

namespace vexo {

const PropertyTable *TVexoBrowser::GetPropertyTable() const { return nullptr; }

const PropertyTable *TvexoServerBrowser::GetPropertyTable() const { return nullptr; }

void TVexoServer::SaveToFile(const std::string &FileName) {
    (void)FileName;
    throw Exception("configuration files are not available yet");
}

void TVexoServer::LoadFromFile(const std::string &FileName) {
    (void)FileName;
    throw Exception("configuration files are not available yet");
}

} // namespace vexo
