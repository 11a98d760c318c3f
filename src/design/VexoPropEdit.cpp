//===- VexoPropEdit.cpp - OPCExplorer, the editors and their registration -===//
#include <vexo/VexoPropEdit.h>

#include <QApplication>

#include <vexo/design/TVexoDlgExplorer.h>

namespace vexo {

namespace {

/// Puts the server's four handlers back when it goes out of scope, so that
/// nothing the window or the closing assignment raises can leave the
/// inspector's handlers on the server.
class TSavedHandlers {
  public:
    explicit TSavedHandlers(TVexoServer &Server)
        : FServer(Server), FOnError(Server.OnError), FOnConnect(Server.OnConnect),
          FOnDisconnect(Server.OnDisconnect), FOnServerShutdown(Server.OnServerShutdown) {}
    ~TSavedHandlers() {
        FServer.OnError = FOnError;
        FServer.OnConnect = FOnConnect;
        FServer.OnDisconnect = FOnDisconnect;
        FServer.OnServerShutdown = FOnServerShutdown;
    }
    TSavedHandlers(const TSavedHandlers &) = delete;
    TSavedHandlers &operator=(const TSavedHandlers &) = delete;

  private:
    TVexoServer &FServer;
    TOnOPCErrorEvent FOnError;
    TOnOPCConnectEvent FOnConnect;
    TOnOPCConnectEvent FOnDisconnect;
    TOnOPCServerShutdownEvent FOnServerShutdown;
};

} // namespace

void OPCExplorer(TVexoServer *Server) {
    if (!Server)
        return;
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        throw EInvalidOperation("OPCExplorer needs a QApplication");
    TSavedHandlers Saved(*Server);
    TVexoDlgExplorer Form(Server, QApplication::activeWindow());
    Form.exec();
    Server->SetServer(Form.ServerText());
}

// --- TVexoEditor ------------------------------------------------------------------

void TVexoEditor::ExecuteVerb(int Index) {
    if (Index != 0) {
        TComponentEditor::ExecuteVerb(Index);
        return;
    }
    OPCExplorer(CheckedCast<TVexoServer>(Component()));
    if (Designer())
        Designer()->Modified();
}

std::string TVexoEditor::GetVerb(int Index) { return Index == 0 ? "OPC Inspector..." : ""; }

int TVexoEditor::GetVerbCount() { return 1; }

// --- TVexoProperty ----------------------------------------------------------------

TPropertyAttributes TVexoProperty::GetAttributes() { return paDialog; }

void TVexoProperty::Edit() {
    OPCExplorer(CheckedCast<TVexoServer>(GetComponent(0)));
    Modified();
}

void VexoPropEdit::Register() {
    RegisterPropertyEditor(TPropKind::String, ClassOf<TVexoServer>(), "ServerName",
                           PropertyEditorClassOf<TVexoProperty>());
    RegisterComponentEditor(ClassOf<TVexoServer>(), EditorClassOf<TVexoEditor>());
}

} // namespace vexo
