//===- TVexoBrowser.h - the address-space browser of a server component ---===//
//
// TVexoBrowser walks the address space of the server its server component is
// connected to. The server component owns one browser and binds it to itself
// at connect and unbinds it at disconnect.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <vexo/client/VexoTypes.h>
#include <vexo/framework/Classes.h>

namespace vexo {

/// Address-space browser. Owner thread only.
class TVexoBrowser : public TComponent {
  public:
    explicit TVexoBrowser(TComponent *AOwner);
    std::string ClassName() const override { return "TVexoBrowser"; }
    /// Binds the browser to Server (nullptr unbinds and clears its cached
    /// position and lists).
    void SetOPCServer(TVexoServer *Server);
};

} // namespace vexo
