//===- VexoRegister.cpp - the components' palette registration -----------===//
#include <vexo/client/VexoRegister.h>

#include <vexo/client/TVexoServer.h>
#include <vexo/client/TvexoServerBrowser.h>
#include <vexo/framework/DesignIntf.h>

namespace vexo {

void Register() {
    RegisterComponents("OPC", {ClassOf<TVexoServer>()});
    RegisterComponents("OPC", {ClassOf<TvexoServerBrowser>()});
}

} // namespace vexo
