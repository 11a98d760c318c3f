//===- VexoRegister.h - the components' palette registration -------------===//
#pragma once

namespace vexo {

/// Puts TVexoServer, then TvexoServerBrowser, on the palette page "OPC". A
/// development environment calls it once when it loads the library; the
/// address-space browser and the other classes stay off the palette.
void Register();

} // namespace vexo
