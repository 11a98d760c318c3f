//===- TVexoBrowser.cpp - walking a server's address space ---------------===//
//
// The browser mirrors the server's browse position in PathList and changes
// it only after the server accepted a move. Server failures are worded with
// the server's own text (or the library's when the server has none) and go
// through the bound server component's Fault, so its OnError sees them.
//
//===----------------------------------------------------------------------===//

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoBrowser.h>
#include <vexo/client/TVexoServer.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/WideString.h>

namespace vexo {

namespace {

/// Frees one server-allocated wide string on every path.
struct TaskString {
    LPWSTR P = nullptr;
    TaskString() = default;
    TaskString(const TaskString &) = delete;
    TaskString &operator=(const TaskString &) = delete;
    ~TaskString() { platform::CoTaskMemFree(P); }
};

} // namespace

TVexoBrowser::TVexoBrowser(TComponent *AOwner)
    : TComponent(AOwner), FTags(std::make_unique<TStringList>()),
      FPathList(std::make_unique<TStringList>()) {}

TVexoBrowser::~TVexoBrowser() {
    FBrowseIF = nullptr;
    if (FOPCServer)
        RemoveFreeNotification(FOPCServer);
    FPathList.reset();
    FTags.reset();
}

void TVexoBrowser::ResetPosition() {
    FOrganization = -1;
    FTags->Clear();
    FPathList->Clear();
}

void TVexoBrowser::SetOPCServer(TVexoServer *Server) {
    if (FOPCServer && FOPCServer != Server)
        RemoveFreeNotification(FOPCServer);
    FOPCServer = Server;
    if (FOPCServer)
        FreeNotification(FOPCServer);
    ResetPosition();
    FBrowseIF = nullptr;
}

void TVexoBrowser::Notification(TComponent *AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    // The component is half destroyed by now: forget it without calling it.
    if (Operation == TOperation::opRemove && AComponent &&
        AComponent == static_cast<TComponent *>(FOPCServer)) {
        FOPCServer = nullptr;
        ResetPosition();
        FBrowseIF = nullptr;
    }
}

platform::ComPtr<IOPCBrowseServerAddressSpace> TVexoBrowser::GetBrowser() {
    if (!FOPCServer)
        throw EOPCException("first define server object");
    if (FBrowseIF)
        return FBrowseIF;
    ResetPosition();
    platform::ComPtr<IOPCServer> server = FOPCServer->GetOPCServer();
    if (!server)
        return {}; // not connected: the server component has reported it
    platform::ComPtr<IOPCBrowseServerAddressSpace> browse;
    if (FAILED(server.As(browse)) || !browse) {
        FOPCServer->Fault(VexoLoadStr(_STR_NOBROWSER));
        return {};
    }
    FBrowseIF = browse;
    return FBrowseIF;
}

bool TVexoBrowser::Check(HRESULT Code) {
    if (SUCCEEDED(Code))
        return true;
    std::string text;
    if (FOPCServer && FOPCServer->HasServerIF())
        text = FOPCServer->GetErrorString(Code);
    if (Trim(text).empty()) {
        try {
            OPCCheck(Code);
        } catch (const Exception &E) {
            text = E.Message();
        }
    }
    const std::string msg = "Browser: " + text;
    if (!FOPCServer)
        throw EOPCException(msg);
    FOPCServer->Fault(msg);
    return false;
}

int TVexoBrowser::GetOrganization() {
    if (FOrganization != -1)
        return FOrganization;
    platform::ComPtr<IOPCBrowseServerAddressSpace> browse = GetBrowser();
    if (!browse)
        return -1;
    OPCNAMESPACETYPE type = OPC_NS_HIERARCHIAL;
    if (Check(browse->QueryOrganization(&type)))
        FOrganization = static_cast<int>(type);
    return FOrganization;
}

bool TVexoBrowser::Move(OPCBROWSEDIRECTION Direction, const std::string &Text) {
    // Learning the organization may raise; that passes to the caller.
    if (GetOrganization() == OPC_NS_FLAT)
        return false;
    if (!FBrowseIF)
        return false; // no interface: already reported by GetBrowser
    try {
        platform::WideString wide = platform::Utf8ToUtf16(Text);
        return Check(FBrowseIF->ChangeBrowsePosition(Direction, wide.c_str()));
    } catch (...) {
        // A refused move has been reported; it only makes the move fail.
        return false;
    }
}

bool TVexoBrowser::MoveDown(const std::string &Branch) {
    if (!Move(OPC_BROWSE_DOWN, Branch))
        return false;
    FPathList->Add(Branch);
    return true;
}

bool TVexoBrowser::Moveup() {
    if (!Move(OPC_BROWSE_UP, std::string()))
        return false;
    if (FPathList->Count() > 0)
        FPathList->Delete(FPathList->Count() - 1);
    return true;
}

bool TVexoBrowser::MovetoRoot() {
    if (!Move(OPC_BROWSE_TO, std::string()))
        return false;
    FPathList->Clear();
    return true;
}

bool TVexoBrowser::Moveto(const std::string &Path) {
    if (!Move(OPC_BROWSE_TO, Path))
        return false;
    // Split at every "." keeping each part whole, empty parts included; the
    // empty path is the root.
    FPathList->Clear();
    if (Path.empty())
        return true;
    std::size_t start = 0;
    for (;;) {
        std::size_t dot = Path.find('.', start);
        FPathList->Add(Path.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    return true;
}

std::string TVexoBrowser::GetCurrentPosition() const {
    std::string pos;
    for (int i = 0; i < FPathList->Count(); ++i) {
        if (i > 0)
            pos += '.';
        pos += FPathList->Get(i);
    }
    return pos;
}

void TVexoBrowser::ReadEnumerator(IEnumString *Enum, TStrings *Target) {
    Target->Clear();
    if (!Enum)
        return;
    for (;;) {
        LPOLESTR s = nullptr;
        // Any other answer ends the list; so does S_OK without a string,
        // which would otherwise repeat for ever.
        if (Enum->Next(1, &s, nullptr) != S_OK || !s) {
            platform::CoTaskMemFree(s); // a misbehaving server may still hand one over
            break;
        }
        TaskString owned;
        owned.P = s;
        Target->Add(platform::WideToString(s));
    }
}

void TVexoBrowser::GetOPCTags(int BrowseType) {
    FTags->Clear();
    const int organization = GetOrganization();
    if (organization == OPC_NS_FLAT && BrowseType == OPC_BRANCH)
        return; // a flat server has no branches
    if (!FBrowseIF)
        return;
    platform::WideString filter = platform::Utf8ToUtf16(FFilter);
    DWORD mask = 0;
    if (FAccessRights.Contains(opcReadable))
        mask |= OPC_READABLE;
    if (FAccessRights.Contains(opcWritable))
        mask |= OPC_WRITEABLE;
    platform::ComPtr<IEnumString> names;
    HRESULT hr = FBrowseIF->BrowseOPCItemIDs(static_cast<OPCBROWSETYPE>(BrowseType), filter.c_str(),
                                             OPCADatatypeToVarType(FDatatype), mask,
                                             names.ReleaseAndGetAddressOf());
    if (Check(hr))
        ReadEnumerator(names.Get(), FTags.get());
}

void TVexoBrowser::ShowBranches() { GetOPCTags(OPC_BRANCH); }

void TVexoBrowser::ShowLeafs(bool Flat) {
    GetOPCTags(Flat || GetOrganization() == OPC_NS_FLAT ? OPC_FLAT : OPC_LEAF);
}

std::string TVexoBrowser::GetItemId(const std::string &Leaf) {
    platform::ComPtr<IOPCBrowseServerAddressSpace> browse = GetBrowser();
    if (!browse)
        return {};
    platform::WideString leaf = platform::Utf8ToUtf16(Leaf);
    TaskString id;
    if (!Check(browse->GetItemID(leaf.data(), &id.P)))
        return {};
    return platform::WideToString(id.P);
}

void TVexoBrowser::GetAccessPath(const std::string &ItemID, TStrings *Target) {
    if (!Target)
        return;
    platform::ComPtr<IOPCBrowseServerAddressSpace> browse = GetBrowser();
    if (!browse)
        return; // no server to ask: the caller's list stays as it was
    Target->Clear(); // emptied before the call, so a failure leaves it empty
    platform::WideString id = platform::Utf8ToUtf16(ItemID);
    platform::ComPtr<IEnumString> paths;
    if (Check(browse->BrowseAccessPaths(id.c_str(), paths.ReleaseAndGetAddressOf())))
        ReadEnumerator(paths.Get(), Target);
}

} // namespace vexo
