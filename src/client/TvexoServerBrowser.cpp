//===- TvexoServerBrowser.cpp - finding the OPC servers of a computer ----===//
//
// The registry scan of GetOPCServers and the category runs of
// TvexoServerBrowser. A class found in several categories is listed once,
// where it was first found, with all its categories.
//
//===----------------------------------------------------------------------===//

#include <vexo/client/TvexoServerBrowser.h>
#include <vexo/framework/SysUtils.h>
#include <vexo/platform/Activation.h>
#include <vexo/platform/ComPtr.h>
#include <vexo/platform/Guid.h>
#include <vexo/platform/Registry.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/WideString.h>

#include <cstring>
#include <memory>
#include <unordered_set>

namespace vexo {

namespace {

/// Frees task memory on every path.
struct TaskBlock {
    void *P = nullptr;
    TaskBlock() = default;
    TaskBlock(const TaskBlock &) = delete;
    TaskBlock &operator=(const TaskBlock &) = delete;
    ~TaskBlock() { platform::CoTaskMemFree(P); }
};

/// Creates the server-list object of Computer (local when empty).
platform::ComPtr<IUnknown> CreateServerList(const std::string &Computer) {
    platform::ComPtr<IUnknown> unknown;
    if (Computer.empty()) {
        OleCheck(platform::CoCreateInstance(CLSID_OPCServerList, nullptr,
                                            CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                            IID_IUnknown, unknown.PutVoid()));
        return unknown;
    }
    platform::WideString name = platform::Utf8ToUtf16(Computer);
    COSERVERINFO info{};
    info.pwszName = name.data();
    MULTI_QI qi{&IID_IUnknown, nullptr, S_OK};
    OleCheck(platform::CoCreateInstanceEx(CLSID_OPCServerList, nullptr,
                                          CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER, &info, 1,
                                          &qi));
    unknown = platform::ComPtr<IUnknown>::Attach(qi.pItf);
    OleCheck(qi.hr);
    return unknown;
}

} // namespace

void GetOPCServers(TStrings *List) {
    if (!List)
        return;
    List->Clear();
    char name[257];
    for (DWORD index = 0;; ++index) {
        std::memset(name, 0, sizeof name);
        LONG rc = platform::RegEnumKeyA(HKEY_CLASSES_ROOT, index, name, 256);
        // A name too long for the buffer skips that key only; anything else
        // (normally the end of the keys) ends the scan.
        if (rc == ERROR_MORE_DATA)
            continue;
        if (rc != ERROR_SUCCESS)
            break;
        HKEY key = nullptr;
        if (platform::RegOpenKeyA(HKEY_CLASSES_ROOT, name, &key) != ERROR_SUCCESS)
            continue;
        LONG size = 0;
        if (platform::RegQueryValueA(key, "OPC", nullptr, &size) == ERROR_SUCCESS)
            List->Add(name);
        platform::RegCloseKey(key);
    }
}

TvexoServerBrowser::TvexoServerBrowser(TComponent *AOwner) : TComponent(AOwner) {}

TvexoServerBrowser::~TvexoServerBrowser() { Clear(); }

void TvexoServerBrowser::Clear() {
    // SetItems may have put one item at two places: free it at its last one.
    std::unordered_set<TvexoServerItem *> freed;
    for (int i = FItems.Count() - 1; i >= 0; --i) {
        TvexoServerItem *item = GetItems(i);
        FItems.Delete(i);
        if (freed.insert(item).second)
            delete item;
    }
}

void TvexoServerBrowser::SetItems(int Index, TvexoServerItem *Item) { FItems.Put(Index, Item); }

TvexoServerItem *TvexoServerBrowser::GetServer(const std::string &AClassID) const {
    TvexoServerItem *found = nullptr;
    for (int i = 0; i < FItems.Count(); ++i) {
        TvexoServerItem *item = GetItems(i);
        if (item && item->ClassID == AClassID)
            found = item;
    }
    return found;
}

void TvexoServerBrowser::AddServer(const std::string &ADescription, const std::string &AProgID,
                                   const std::string &AClassID, tvexoServerSet Types) {
    TvexoServerItem *item = GetServer(AClassID);
    if (!item) {
        auto created = std::make_unique<TvexoServerItem>();
        created->ComputerName = FComputerName;
        created->Description = ADescription;
        created->ProgID = AProgID;
        created->ClassID = AClassID;
        FItems.Add(created.get());
        item = created.release();
    }
    item->ServerTypes += Types;
}

void TvexoServerBrowser::GetServers(IOPCServerList *List, const CATID &Category,
                                    tvexoServerSet Types) {
    if (!List)
        throw EIntfCastError("Interface not supported");
    TaskBlock categories;
    categories.P = platform::CoTaskMemAlloc(sizeof(CATID));
    if (!categories.P)
        OleError(E_OUTOFMEMORY);
    std::memcpy(categories.P, &Category, sizeof(CATID));
    platform::ComPtr<IEnumGUID> classes;
    OleCheck(List->EnumClassesOfCategories(1, static_cast<CATID *>(categories.P), 0, nullptr,
                                           classes.ReleaseAndGetAddressOf()));
    if (!classes)
        return;
    for (;;) {
        CLSID clsid{};
        ULONG fetched = 0;
        if (classes->Next(1, &clsid, &fetched) != S_OK || fetched != 1)
            break; // S_OK without a class id would name GUID_NULL
        TaskBlock progID, userType;
        OleCheck(List->GetClassDetails(clsid, reinterpret_cast<LPOLESTR *>(&progID.P),
                                       reinterpret_cast<LPOLESTR *>(&userType.P)));
        TaskBlock text;
        std::string classID;
        if (SUCCEEDED(platform::StringFromCLSID(clsid, reinterpret_cast<LPOLESTR *>(&text.P))))
            classID = platform::WideToString(static_cast<LPCWSTR>(text.P));
        AddServer(platform::WideToString(static_cast<LPCWSTR>(userType.P)),
                  platform::WideToString(static_cast<LPCWSTR>(progID.P)), classID, Types);
    }
}

void TvexoServerBrowser::Execute() {
    Clear();
    platform::ComPtr<IUnknown> object = CreateServerList(FComputerName);
    platform::ComPtr<IOPCServerList> list = object.As<IOPCServerList>();
    if (!list)
        throw EIntfCastError("Interface not supported");
    // DA 1.0 first: a class in both DA categories keeps the DA 1.0 place.
    if (FServertype.Contains(svr_DA10))
        GetServers(list.Get(), CATID_OPCDAServer10, tvexoServerSet{1u << svr_DA10});
    if (FServertype.Contains(svr_DA20))
        GetServers(list.Get(), CATID_OPCDAServer20, tvexoServerSet{1u << svr_DA20});
    if (FServertype.Contains(svr_AE10))
        GetServers(list.Get(), CATID_vexoAE10, tvexoServerSet{1u << svr_AE10});
}

void TvexoServerBrowser::GetOPCServers(const std::string &AComputerName) {
    FComputerName = AComputerName;
    Execute();
}

} // namespace vexo
