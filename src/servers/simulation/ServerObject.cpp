//===- ServerObject.cpp - IOPCServer, IOPCCommon and the shutdown point ---===//
//
// Group names are unique per server object; an empty name gets a generated
// one. Update rates are revised to the granularity (OPC_S_UNSUPPORTEDRATE when
// revised). RemoveGroup takes the group out of the server at once, waiting for
// a callback of that group running on another thread; without force, while a
// client still holds the group object, it answers OPC_S_INUSE and only marks
// the group, which then goes with the object's last reference.
//
//===----------------------------------------------------------------------===//
#include "ServerObject.h"

#include <cmath>

#include <vexo/platform/Time.h>

#include "ComHelpers.h"
#include "Enumerators.h"
#include "GroupObject.h"

namespace vexo::sim {
namespace {

constexpr LCID kLocales[] = {0x0409, 0x0407};
constexpr LCID LOCALE_SYSTEM_DEFAULT_ID = 0x0800;
constexpr LCID LOCALE_USER_DEFAULT_ID = 0x0400;

std::string Hex(HRESULT hr) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
    return buf;
}

} // namespace

SimServer::SimServer(bool da10) : core_(std::make_shared<ServerCore>(da10)) {}

platform::ComPtr<SimServer> SimServer::Create(bool da10, std::shared_ptr<SimProcess> process) {
    auto server = platform::MakeCom<SimServer>(da10);
    if (process) {
        server->core_->life = process->Life();
        server->core_->process = std::move(process);
    }
    server->core_->StartThread();
    return server;
}

SimServer::~SimServer() { core_->Shutdown(); }

bool SimServer::IsOffered(REFIID riid) {
    if (core_->da10 && (riid == IID_IOPCCommon || riid == IID_IConnectionPointContainer ||
                        riid == IID_IOPCItemProperties))
        return false;
    std::lock_guard lock(core_->mu);
    for (const IID &w : core_->withheldOnServer)
        if (w == riid)
            return false;
    return true;
}

HRESULT SimServer::WrapGroup(const std::shared_ptr<GroupState> &g, std::vector<IID> withheld,
                             REFIID riid, LPUNKNOWN *ppUnk) {
    platform::ComPtr<SimGroup> group;
    {
        std::lock_guard lock(core_->mu);
        if (g->object && g->object->TryAddRef()) {
            group = platform::ComPtr<SimGroup>::Attach(g->object);
        } else {
            group = platform::MakeCom<SimGroup>(platform::ComPtr<IUnknown>(GetUnknown()), core_, g,
                                                std::move(withheld));
            g->object = group.Get();
        }
    }
    return group->QueryInterface(riid, reinterpret_cast<void **>(ppUnk));
}

HRESULT SimServer::AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate,
                            OPCHANDLE hClientGroup, LONG *pTimeBias, FLOAT *pPercentDeadband,
                            DWORD dwLCID, OPCHANDLE *phServerGroup, DWORD *pRevisedUpdateRate,
                            REFIID riid, LPUNKNOWN *ppUnk) {
    return Guard([&] {
        if (!phServerGroup || !pRevisedUpdateRate || !ppUnk)
            return E_POINTER;
        *phServerGroup = 0;
        *pRevisedUpdateRate = 0;
        *ppUnk = nullptr;
        HRESULT hr = core_->Enter("AddGroup", [&] {
            return "name=" + Narrow(View(szName)) + " active=" + (bActive ? "1" : "0") +
                   " rate=" + std::to_string(dwRequestedUpdateRate) +
                   " client=" + std::to_string(hClientGroup);
        });
        if (FAILED(hr))
            return hr;
        if (pPercentDeadband && !(*pPercentDeadband >= 0 && *pPercentDeadband <= 100))
            return E_INVALIDARG;
        auto g = std::make_shared<GroupState>();
        std::vector<IID> withheld;
        {
            std::lock_guard lock(core_->mu);
            vexo::platform::WideString name(View(szName));
            if (name.empty())
                name = core_->UniqueGroupName();
            else if (core_->FindGroupByName(name))
                return OPC_E_DUPLICATENAME;
            g->handle = core_->nextGroupHandle++;
            g->name = std::move(name);
            g->active = bActive != 0;
            g->rate = core_->ReviseRate(dwRequestedUpdateRate);
            g->clientHandle = hClientGroup;
            g->timeBias = pTimeBias ? *pTimeBias : -platform::CurrentUtcOffsetMinutes();
            g->deadband = pPercentDeadband ? *pPercentDeadband : 0.0f;
            g->lcid = dwLCID;
            g->nextDueMs = core_->NowMs();
            core_->groups.emplace(g->handle, g);
            withheld = core_->withheldOnGroups;
            core_->Wake();
        }
        hr = WrapGroup(g, std::move(withheld), riid, ppUnk);
        if (FAILED(hr)) {
            std::lock_guard lock(core_->mu);
            core_->groups.erase(g->handle);
            g->inNameSpace = false;
            return hr;
        }
        *phServerGroup = g->handle;
        *pRevisedUpdateRate = g->rate;
        return g->rate != dwRequestedUpdateRate ? OPC_S_UNSUPPORTEDRATE : S_OK;
    });
}

HRESULT SimServer::GetErrorString(HRESULT dwError, LCID dwLocale, LPWSTR *ppString) {
    return Guard([&] {
        if (!ppString)
            return E_POINTER;
        *ppString = nullptr;
        const HRESULT hr = core_->Enter("GetErrorString", [&] {
            return "error=" + Hex(dwError) + " locale=" + std::to_string(dwLocale);
        });
        if (FAILED(hr))
            return hr;
        *ppString = TaskString(ErrorText(dwError));
        return S_OK;
    });
}

HRESULT SimServer::GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN *ppUnk) {
    return Guard([&] {
        if (!ppUnk)
            return E_POINTER;
        *ppUnk = nullptr;
        HRESULT hr =
            core_->Enter("GetGroupByName", [&] { return "name=" + Narrow(View(szName)); });
        if (FAILED(hr))
            return hr;
        std::shared_ptr<GroupState> g;
        std::vector<IID> withheld;
        {
            std::lock_guard lock(core_->mu);
            for (auto &[h, group] : core_->groups)
                if (group->name == View(szName) && !group->removing)
                    g = group;
            withheld = core_->withheldOnGroups;
        }
        if (!g)
            return E_INVALIDARG;
        return WrapGroup(g, std::move(withheld), riid, ppUnk);
    });
}

HRESULT SimServer::GetStatus(OPCSERVERSTATUS **ppServerStatus) {
    return Guard([&] {
        if (!ppServerStatus)
            return E_POINTER;
        *ppServerStatus = nullptr;
        HRESULT hr = core_->Enter("GetStatus");
        if (FAILED(hr))
            return hr;
        OPCSERVERSTATUS status{};
        vexo::platform::WideString vendor;
        {
            std::lock_guard lock(core_->mu);
            if (core_->statusOverride) {
                status = *core_->statusOverride;
                vendor = core_->statusVendor;
            } else {
                status.ftStartTime = core_->startTime;
                status.ftCurrentTime = ServerCore::ToFileTime(core_->NowMs());
                status.ftLastUpdateTime = core_->lastUpdate;
                status.dwServerState = OPC_STATUS_RUNNING;
                for (auto &[h, g] : core_->groups)
                    status.dwGroupCount += g->removing ? 0 : 1;
                status.dwBandWidth = 0xFFFFFFFF;
                status.wMajorVersion = 1;
                status.wMinorVersion = 3;
                status.wBuildNumber = 100;
                vendor = OLESTR("Vexo Simulation Server");
            }
        }
        auto *record = TaskArray<OPCSERVERSTATUS>(1);
        *record = status;
        try {
            record->szVendorInfo = TaskString(vendor);
        } catch (...) {
            platform::CoTaskMemFree(record);
            throw;
        }
        *ppServerStatus = record;
        return S_OK;
    });
}

HRESULT SimServer::RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) {
    return Guard([&] {
        HRESULT hr = core_->Enter("RemoveGroup", [&] {
            return "handle=" + std::to_string(hServerGroup) + " force=" + (bForce ? "1" : "0");
        });
        if (FAILED(hr))
            return hr;
        std::shared_ptr<GroupState> g;
        {
            std::lock_guard lock(core_->mu);
            auto it = core_->groups.find(hServerGroup);
            if (it == core_->groups.end() || it->second->removing)
                return E_INVALIDARG;
            g = it->second;
            if (g->object && !bForce) {
                // Still held: the group works on for its holder and goes with
                // its object's last reference; its name is free at once.
                g->removing = true;
                return OPC_S_INUSE;
            }
        }
        core_->DeleteGroup(g);
        return S_OK;
    });
}

HRESULT SimServer::CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN *ppUnk) {
    return Guard([&] {
        if (!ppUnk)
            return E_POINTER;
        *ppUnk = nullptr;
        HRESULT hr = core_->Enter("CreateGroupEnumerator",
                                  [&] { return "scope=" + std::to_string(dwScope); });
        if (FAILED(hr))
            return hr;
        if (dwScope < OPC_ENUM_PRIVATE_CONNECTIONS || dwScope > OPC_ENUM_ALL)
            return E_INVALIDARG;
        // Every group of this server is private: the public scopes list nothing.
        const bool privateToo =
            dwScope != OPC_ENUM_PUBLIC_CONNECTIONS && dwScope != OPC_ENUM_PUBLIC;
        std::vector<std::shared_ptr<GroupState>> found;
        std::vector<vexo::platform::WideString> names;
        std::vector<IID> withheld;
        {
            std::lock_guard lock(core_->mu);
            if (privateToo)
                for (auto &[h, g] : core_->groups) {
                    if (g->removing)
                        continue;
                    found.push_back(g);
                    names.push_back(g->name);
                }
            withheld = core_->withheldOnGroups;
        }
        if (riid == IID_IEnumString) {
            *ppUnk = platform::MakeCom<StringEnum>(std::move(names)).Detach();
        } else if (riid == IID_IEnumUnknown) {
            std::vector<platform::ComPtr<IUnknown>> objects;
            for (auto &g : found) {
                platform::ComPtr<IUnknown> unk;
                if (SUCCEEDED(WrapGroup(g, withheld, IID_IUnknown,
                                        reinterpret_cast<LPUNKNOWN *>(unk.ReleaseAndGetAddressOf()))))
                    objects.push_back(std::move(unk));
            }
            *ppUnk = platform::MakeCom<UnknownEnum>(std::move(objects)).Detach();
        } else {
            return E_NOINTERFACE;
        }
        return found.empty() ? S_FALSE : S_OK;
    });
}

// --- IOPCCommon --------------------------------------------------------------

HRESULT SimServer::SetLocaleID(LCID dwLcid) {
    return Guard([&] {
        HRESULT hr = core_->Enter("SetLocaleID", [&] { return "lcid=" + std::to_string(dwLcid); });
        if (FAILED(hr))
            return hr;
        bool known = dwLcid == LOCALE_SYSTEM_DEFAULT_ID || dwLcid == LOCALE_USER_DEFAULT_ID;
        for (LCID l : kLocales)
            known = known || l == dwLcid;
        if (!known)
            return E_INVALIDARG;
        std::lock_guard lock(core_->mu);
        core_->locale = dwLcid;
        return S_OK;
    });
}

HRESULT SimServer::GetLocaleID(LCID *pdwLcid) {
    return Guard([&] {
        if (!pdwLcid)
            return E_POINTER;
        *pdwLcid = 0;
        HRESULT hr = core_->Enter("GetLocaleID");
        if (FAILED(hr))
            return hr;
        std::lock_guard lock(core_->mu);
        *pdwLcid = core_->locale;
        return S_OK;
    });
}

HRESULT SimServer::QueryAvailableLocaleIDs(DWORD *pdwCount, LCID **pdwLcid) {
    return Guard([&] {
        if (!pdwCount || !pdwLcid)
            return E_POINTER;
        *pdwCount = 0;
        *pdwLcid = nullptr;
        HRESULT hr = core_->Enter("QueryAvailableLocaleIDs");
        if (FAILED(hr))
            return hr;
        LCID *ids = TaskArray<LCID>(std::size(kLocales));
        for (std::size_t i = 0; i < std::size(kLocales); ++i)
            ids[i] = kLocales[i];
        *pdwCount = static_cast<DWORD>(std::size(kLocales));
        *pdwLcid = ids;
        return S_OK;
    });
}

HRESULT SimServer::GetErrorString(HRESULT dwError, LPWSTR *ppString) {
    return Guard([&] {
        if (!ppString)
            return E_POINTER;
        *ppString = nullptr;
        HRESULT hr =
            core_->Enter("Common.GetErrorString", [&] { return "error=" + Hex(dwError); });
        if (FAILED(hr))
            return hr;
        *ppString = TaskString(ErrorText(dwError));
        return S_OK;
    });
}

HRESULT SimServer::SetClientName(LPCWSTR szName) {
    return Guard([&] {
        HRESULT hr =
            core_->Enter("SetClientName", [&] { return "name=" + Narrow(View(szName)); });
        if (FAILED(hr))
            return hr;
        std::lock_guard lock(core_->mu);
        core_->clientName = vexo::platform::WideString(View(szName));
        return S_OK;
    });
}

// --- IConnectionPointContainer (IOPCShutdown) --------------------------------

HRESULT SimServer::EnumConnectionPoints(IEnumConnectionPoints **ppEnum) {
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    return E_NOTIMPL;
}

HRESULT SimServer::FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) {
    return Guard([&] {
        if (!ppCP)
            return E_POINTER;
        *ppCP = nullptr;
        const bool shutdown = riid == IID_IOPCShutdown;
        HRESULT hr = core_->Enter("FindConnectionPoint", [&] {
            return std::string("point=") + (shutdown ? "IOPCShutdown" : "other");
        });
        if (FAILED(hr))
            return hr;
        if (!shutdown)
            return CONNECT_E_NOCONNECTION;
        *ppCP = platform::MakeCom<ConnectionPoint>(riid, this, this).Detach();
        return S_OK;
    });
}

HRESULT SimServer::AdviseSink(REFIID, IUnknown *sink, DWORD *cookie) {
    HRESULT hr = core_->Enter("Advise", [] { return std::string("point=IOPCShutdown"); });
    if (FAILED(hr))
        return hr;
    platform::ComPtr<IOPCShutdown> shutdown;
    if (FAILED(sink->QueryInterface(IID_IOPCShutdown, shutdown.PutVoid())) || !shutdown)
        return CONNECT_E_CANNOTCONNECT;
    std::lock_guard lock(core_->mu);
    *cookie = core_->nextCookie++;
    core_->shutdownSinks.emplace_back(*cookie, std::move(shutdown));
    return S_OK;
}

HRESULT SimServer::UnadviseSink(REFIID, DWORD cookie) {
    HRESULT hr = core_->Enter("Unadvise", [&] {
        return "point=IOPCShutdown cookie=" + std::to_string(cookie);
    });
    if (FAILED(hr))
        return hr;
    platform::ComPtr<IOPCShutdown> released;
    std::lock_guard lock(core_->mu);
    auto &sinks = core_->shutdownSinks;
    for (auto it = sinks.begin(); it != sinks.end(); ++it) {
        if (it->first == cookie) {
            released = std::move(it->second);
            sinks.erase(it);
            // Released after the lock: declared before the guard, so destroyed after it.
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

} // namespace vexo::sim
