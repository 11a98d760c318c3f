//===- VexoPropEdit.h - the inspector window and the design-time editors -===//
//
// OPCExplorer opens the inspector ("OPC Inspector") on a server component:
// a modal window in which a developer picks and connects a server, watches
// its status and builds the component's groups and items by hand. The two
// editors that a development environment attaches to TVexoServer open it:
// TVexoEditor (verb "OPC Inspector...", also the double click) and
// TVexoProperty (the ellipsis of ServerName). Both mark the design modified.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

#include <vexo/Vexo.h>
#include <vexo/framework/DesignIntf.h>

namespace vexo {

/// Shows the inspector modally on Server (nothing for nullptr). While it is
/// open the server's OnError and OnServerShutdown go to the window; when it
/// closes, the server combo box's text is assigned through SetServer (a new
/// name disconnects, the same one keeps the connection) and the server's
/// OnError, OnConnect, OnDisconnect and OnServerShutdown are as they were
/// before, also when that assignment raises. Needs a QApplication; GUI
/// thread only.
void OPCExplorer(TVexoServer *Server);

/// The component editor of TVexoServer: one verb, "OPC Inspector...".
class TVexoEditor : public TComponentEditor {
  public:
    using TComponentEditor::TComponentEditor;
    /// Verb 0: the inspector on the component (EInvalidCast for a component
    /// that is not a TVexoServer), then the designer's Modified. Other
    /// indices go to the base.
    void ExecuteVerb(int Index) override;
    std::string GetVerb(int Index) override;
    int GetVerbCount() override;
};

/// The editor of TVexoServer's ServerName: an ellipsis that opens the
/// inspector on the first selected component, then Modified. The inspector
/// itself stores the chosen name.
class TVexoProperty : public TStringProperty {
  public:
    using TStringProperty::TStringProperty;
    TPropertyAttributes GetAttributes() override;
    void Edit() override;
};

namespace VexoPropEdit {

/// Registers TVexoProperty for the string property "ServerName" of
/// TVexoServer, and TVexoEditor for TVexoServer.
void Register();

} // namespace VexoPropEdit

} // namespace vexo
