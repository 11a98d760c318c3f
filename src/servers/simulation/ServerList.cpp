//===- ServerList.cpp - the server-list object of one computer ------------===//
//
// Reads HKCR of its computer on every call, so a class registered later is
// found without creating a new object. A class qualifies when its
// "Implemented Categories" key has any of the given categories and all of the
// required ones; no implemented category given means no class qualifies.
//
//===----------------------------------------------------------------------===//
#include "ServerList.h"

#include <optional>
#include <vector>

#include <vexo/platform/Guid.h>
#include <vexo/platform/Registry.h>

#include "ComHelpers.h"
#include "Enumerators.h"

namespace vexo::sim {
namespace {

/// An open registry key, closed on destruction.
class Key {
  public:
    Key() = default;
    Key(const Key &) = delete;
    Key &operator=(const Key &) = delete;
    ~Key() {
        if (h_)
            platform::RegCloseKey(h_);
    }
    HKEY *Out() { return &h_; }
    HKEY Get() const { return h_; }

  private:
    HKEY h_ = nullptr;
};

std::optional<std::string> DefaultValue(HKEY key, const char *subKey) {
    LONG size = 0;
    if (platform::RegQueryValueA(key, subKey, nullptr, &size) != ERROR_SUCCESS || size <= 0)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(size), '\0');
    if (platform::RegQueryValueA(key, subKey, text.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::vector<std::string> SubKeys(HKEY key) {
    std::vector<std::string> names;
    char name[512];
    for (DWORD i = 0; platform::RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        names.emplace_back(name);
    return names;
}

bool HasCategory(const std::vector<std::string> &keys, const CATID &cat) {
    for (const auto &k : keys)
        if (auto g = platform::GuidFromString(k); g && *g == cat)
            return true;
    return false;
}

HRESULT OpenRoot(const std::string &computer, Key &root) {
    const LONG rc = platform::RegConnectRegistryA(computer.empty() ? nullptr : computer.c_str(),
                                                  HKEY_CLASSES_ROOT, root.Out());
    return rc == ERROR_SUCCESS ? S_OK : RPC_S_SERVER_UNAVAILABLE_HR;
}

} // namespace

SimServerList::SimServerList(std::string computer) : computer_(std::move(computer)) {}

HRESULT SimServerList::EnumClassesOfCategories(ULONG cImplemented, CATID *rgcatidImpl,
                                               ULONG cRequired, CATID *rgcatidReq,
                                               IEnumGUID **ppenumClsid) {
    return Guard([&] {
        if (!ppenumClsid)
            return E_POINTER;
        *ppenumClsid = nullptr;
        if ((cImplemented && !rgcatidImpl) || (cRequired && !rgcatidReq))
            return E_INVALIDARG;
        Key root, classes;
        if (HRESULT hr = OpenRoot(computer_, root); FAILED(hr))
            return hr;
        std::vector<GUID> found;
        if (platform::RegOpenKeyA(root.Get(), "CLSID", classes.Out()) == ERROR_SUCCESS) {
            for (const auto &name : SubKeys(classes.Get())) {
                const auto clsid = platform::GuidFromString(name);
                Key cats;
                if (!clsid || platform::RegOpenKeyA(classes.Get(),
                                                    (name + "\\Implemented Categories").c_str(),
                                                    cats.Out()) != ERROR_SUCCESS)
                    continue;
                const auto have = SubKeys(cats.Get());
                bool any = false, all = true;
                for (ULONG i = 0; i < cImplemented; ++i)
                    any = any || HasCategory(have, rgcatidImpl[i]);
                for (ULONG i = 0; i < cRequired; ++i)
                    all = all && HasCategory(have, rgcatidReq[i]);
                if (any && all)
                    found.push_back(*clsid);
            }
        }
        *ppenumClsid = platform::MakeCom<GuidEnum>(std::move(found)).Detach();
        return S_OK;
    });
}

HRESULT SimServerList::GetClassDetails(REFCLSID clsid, LPOLESTR *ppszProgID,
                                       LPOLESTR *ppszUserType) {
    return Guard([&] {
        if (!ppszProgID || !ppszUserType)
            return E_POINTER;
        *ppszProgID = nullptr;
        *ppszUserType = nullptr;
        Key root, key;
        if (HRESULT hr = OpenRoot(computer_, root); FAILED(hr))
            return hr;
        const std::string path = "CLSID\\" + platform::GuidToString(clsid);
        if (platform::RegOpenKeyA(root.Get(), path.c_str(), key.Out()) != ERROR_SUCCESS)
            return REGDB_E_CLASSNOTREG;
        const auto progId = DefaultValue(key.Get(), "ProgID");
        if (!progId)
            return REGDB_E_CLASSNOTREG;
        const std::string userType = DefaultValue(key.Get(), nullptr).value_or("");
        LPOLESTR p = TaskString(platform::Utf8ToUtf16(*progId));
        try {
            *ppszUserType = TaskString(platform::Utf8ToUtf16(userType));
        } catch (...) {
            platform::CoTaskMemFree(p);
            throw;
        }
        *ppszProgID = p;
        return S_OK;
    });
}

HRESULT SimServerList::CLSIDFromProgID(LPCOLESTR szProgId, LPCLSID clsid) {
    return Guard([&] {
        if (!clsid)
            return E_POINTER;
        *clsid = GUID_NULL;
        if (View(szProgId).empty())
            return CO_E_CLASSSTRING;
        Key root;
        if (HRESULT hr = OpenRoot(computer_, root); FAILED(hr))
            return hr;
        const std::string path = Narrow(View(szProgId)) + "\\CLSID";
        const auto text = DefaultValue(root.Get(), path.c_str());
        const auto guid = text ? platform::GuidFromString(*text) : std::nullopt;
        if (!guid)
            return REGDB_E_CLASSNOTREG;
        *clsid = *guid;
        return S_OK;
    });
}

} // namespace vexo::sim
