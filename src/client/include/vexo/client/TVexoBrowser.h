//===- TVexoBrowser.h - walking a server's address space -----------------===//
//
// TVexoBrowser walks the address space of the server a TVexoServer is
// connected to. It keeps the branch position on the client side as a list
// of branch names, lists the branches and leaves at that position (filtered
// by name pattern, data type and access rights), turns a leaf name into a
// full item id and lists the access paths of an item. Owner thread only.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <memory>
#include <string>

#include <vexo/OPCDA.h>
#include <vexo/client/VexoTypes.h>
#include <vexo/foundation/Conversions.h>
#include <vexo/framework/Classes.h>
#include <vexo/framework/Lists.h>
#include <vexo/platform/ComPtr.h>

namespace vexo {

/// A browser bound to at most one server component, which it does not own.
/// It unbinds itself when that component is destroyed first. Created with
/// new and an owner, or held by std::unique_ptr without one.
class TVexoBrowser : public TComponent {
  public:
    explicit TVexoBrowser(TComponent *AOwner);
    /// Releases the browse interface, then frees PathList and Tags.
    ~TVexoBrowser() override;
    std::string ClassName() const override { return "TVexoBrowser"; }
    const PropertyTable *GetPropertyTable() const override;

    // --- Published properties (streamed as OPCServer, Filter, Datatype, AccessRights)
    TVexoServer *OPCServer() const { return FOPCServer; }
    /// Binds Server (or none): resets the organization, empties Tags and
    /// PathList and releases the browse interface, even for the same server.
    void SetOPCServer(TVexoServer *Server);
    const std::string &Filter() const { return FFilter; }
    void SetFilter(const std::string &Value) { FFilter = Value; }
    OPCADatatype Datatype() const { return FDatatype; }
    void SetDatatype(OPCADatatype Value) { FDatatype = Value; }
    OPCAcesstype AccessRights() const { return FAccessRights; }
    void SetAccessRights(OPCAcesstype Value) { FAccessRights = Value; }

    /// The names of the last listing; read them, change them only through
    /// the operations below. Owned by the browser.
    TStringList *Tags() const { return FTags.get(); }
    /// Branch names from the root down to the current position.
    TStringList *PathList() const { return FPathList.get(); }

    /// The cached browse interface, obtained on first use. EOPCException
    /// "first define server object" without a server; empty after a fault
    /// that the server's OnError handler kept quiet.
    platform::ComPtr<IOPCBrowseServerAddressSpace> GetBrowser();
    /// True for a success code; otherwise reports "Browser: " plus the
    /// server's (or the library's) text through the server's Fault and
    /// returns false when that does not raise.
    bool Check(HRESULT Code);
    /// 1 hierarchical, 2 flat, -1 unknown (a failed query is asked again).
    int GetOrganization();

    /// The moves: false on a flat server (no server call) or when the server
    /// refused (reported, never raised); PathList follows accepted moves.
    bool MoveDown(const std::string &Branch);
    bool Moveup();
    bool MovetoRoot();
    /// Moves to Path (branch names joined with "."), sent unchanged.
    bool Moveto(const std::string &Path);
    /// PathList joined with "."; empty at the root.
    std::string GetCurrentPosition() const;

    /// Fills Tags with the names of BrowseType (1 branches, 2 leaves, 3 flat).
    void GetOPCTags(int BrowseType);
    void ShowBranches();
    /// Leaves (type 2), or the flat list (type 3) on a flat server or when Flat.
    void ShowLeafs(bool Flat);
    int GetCount() const { return FTags->Count(); }
    /// The full item id of a leaf at the current position; "" when refused.
    std::string GetItemId(const std::string &Leaf);
    /// Fills Target with the access paths of ItemID; empty when refused.
    void GetAccessPath(const std::string &ItemID, TStrings *Target);

  protected:
    /// Unbinds when the bound server component is being destroyed.
    void Notification(TComponent *AComponent, TOperation Operation) override;

  private:
    void ResetPosition();
    static void ReadEnumerator(IEnumString *Enum, TStrings *Target);
    bool Move(OPCBROWSEDIRECTION Direction, const std::string &Text);

    OPCAcesstype FAccessRights;
    OPCADatatype FDatatype = vtEMPTY;
    std::string FFilter;
    TVexoServer *FOPCServer = nullptr;
    platform::ComPtr<IOPCBrowseServerAddressSpace> FBrowseIF;
    std::unique_ptr<TStringList> FTags;
    std::unique_ptr<TStringList> FPathList;
    int FOrganization = -1;
};

} // namespace vexo
