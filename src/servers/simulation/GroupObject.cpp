//===- GroupObject.cpp - item management, group state, connection point ---===//
//
// Item handles name a slot of the group's item table and its generation, so
// a stale handle is OPC_E_INVALIDHANDLE even after its slot was reused. Adding items
// costs one hash look-up each and no allocation beyond the table and the
// result arrays, so 100,000 items go in one call quickly.
//
//===----------------------------------------------------------------------===//
#include "GroupObject.h"

#include "ComHelpers.h"
#include "Delivery.h"

namespace vexo::sim {
namespace {

std::string Count(DWORD n) { return "count=" + std::to_string(n); }

HRESULT CheckDef(AddressSpace &space, const OPCITEMDEF &def, Tag *&tag) {
    tag = nullptr;
    const vexo::platform::WideStringView id = View(def.szItemID);
    if (FAILED(AddressSpace::CheckSyntax(id)))
        return OPC_E_INVALIDITEMID;
    tag = space.Find(id);
    if (!tag)
        return OPC_E_UNKNOWNITEMID;
    const vexo::platform::WideStringView path = View(def.szAccessPath);
    if (!path.empty()) {
        bool known = false;
        for (const auto &p : tag->accessPaths)
            known = known || p == path;
        if (!known)
            return OPC_E_UNKNOWNPATH;
    }
    if (!CanConvert(tag->vt, def.vtRequestedDataType))
        return OPC_E_BADTYPE;
    return S_OK;
}

} // namespace

SimGroup::SimGroup(platform::ComPtr<IUnknown> server, std::shared_ptr<ServerCore> core,
                   std::shared_ptr<GroupState> group, std::vector<IID> withheld)
    : server_(std::move(server)), core_(std::move(core)), group_(std::move(group)),
      withheld_(std::move(withheld)) {}

SimGroup::~SimGroup() = default;

ULONG SimGroup::AddRef() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

bool SimGroup::TryAddRef() {
    ULONG n = refs_.load(std::memory_order_relaxed);
    while (n != 0)
        if (refs_.compare_exchange_weak(n, n + 1, std::memory_order_relaxed))
            return true;
    return false;
}

ULONG SimGroup::Release() {
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left != 0)
        return left;
    bool remove = false;
    {
        std::lock_guard lock(core_->mu);
        if (group_->object == this) {
            group_->object = nullptr;
            remove = group_->removing;
        }
    }
    if (remove)
        core_->DeleteGroup(group_);
    delete this;
    return 0;
}

bool SimGroup::IsOffered(REFIID riid) {
    if (core_->da10 && (riid == IID_IConnectionPointContainer || riid == IID_IOPCAsyncIO2))
        return false;
    for (const IID &w : withheld_)
        if (w == riid)
            return false;
    return true;
}

// --- IOPCItemMgt -------------------------------------------------------------

HRESULT SimGroup::CheckItems(bool add, const char *method, DWORD dwCount, OPCITEMDEF *pItemArray,
                             OPCITEMRESULT **ppResults, HRESULT **ppErrors) {
    if (!ppResults || !ppErrors)
        return E_POINTER;
    *ppResults = nullptr;
    *ppErrors = nullptr;
    HRESULT hr = Enter(method, [&] { return Count(dwCount); });
    if (FAILED(hr))
        return hr;
    if (dwCount == 0)
        return E_INVALIDARG;
    if (!pItemArray)
        return E_POINTER;
    const auto planned = core_->faults.TakeItemErrors(method);
    // Both arrays are written whole by the loop below (or freed): for many
    // items a zeroing pass first would double the memory traffic.
    OPCITEMRESULT *results = UnsetTaskArray<OPCITEMRESULT>(dwCount);
    HRESULT *errors = nullptr;
    try {
        errors = UnsetTaskArray<HRESULT>(dwCount);
        std::lock_guard lock(core_->mu);
        GroupState &g = *group_;
        if (!g.inNameSpace)
            throw E_FAIL;
        bool activated = false;
        if (add)
            g.ReserveItems(dwCount);
        for (DWORD i = 0; i < dwCount; ++i) {
            const OPCITEMDEF &def = pItemArray[i];
            results[i] = OPCITEMRESULT{};
            const HRESULT plan = PlannedAt(planned, i);
            Tag *tag = nullptr;
            HRESULT e = FAILED(plan) ? plan : CheckDef(core_->space, def, tag);
            if (SUCCEEDED(e)) {
                results[i].vtCanonicalDataType = tag->vt;
                results[i].dwAccessRights = tag->rights;
                Item *slot = add ? g.NewItem() : nullptr;
                if (add && !slot) {
                    e = E_OUTOFMEMORY; // the group's handle space is full
                    results[i] = OPCITEMRESULT{};
                } else if (add) {
                    Item &item = *slot;
                    item.hClient = def.hClient;
                    item.active = def.bActive != 0;
                    item.requested = def.vtRequestedDataType;
                    item.tag = tag;
                    if (def.szAccessPath && *def.szAccessPath)
                        item.accessPath = def.szAccessPath;
                    results[i].hServer = item.hServer;
                    activated = activated || item.active;
                }
                if (SUCCEEDED(e) && plan != S_OK)
                    e = plan;
            }
            errors[i] = e;
            if (e != S_OK)
                hr = S_FALSE;
        }
        if (activated && g.active) {
            g.nextDueMs = std::min(g.nextDueMs, core_->NowMs());
            core_->Wake();
        }
    } catch (HRESULT failure) {
        platform::CoTaskMemFree(results);
        platform::CoTaskMemFree(errors);
        return failure;
    } catch (...) {
        platform::CoTaskMemFree(results);
        platform::CoTaskMemFree(errors);
        throw;
    }
    *ppResults = results;
    *ppErrors = errors;
    return hr;
}

HRESULT SimGroup::AddItems(DWORD dwCount, OPCITEMDEF *pItemArray, OPCITEMRESULT **ppAddResults,
                           HRESULT **ppErrors) {
    CountRecordArrayCall();
    return Guard(
        [&] { return CheckItems(true, "AddItems", dwCount, pItemArray, ppAddResults, ppErrors); });
}

HRESULT SimGroup::ValidateItems(DWORD dwCount, OPCITEMDEF *pItemArray, BOOL,
                                OPCITEMRESULT **ppValidationResults, HRESULT **ppErrors) {
    CountRecordArrayCall();
    return Guard([&] {
        return CheckItems(false, "ValidateItems", dwCount, pItemArray, ppValidationResults,
                          ppErrors);
    });
}

HRESULT SimGroup::ForEachHandle(const char *method, DWORD dwCount, OPCHANDLE *phServer,
                                HRESULT **ppErrors,
                                const std::function<HRESULT(Item &, DWORD)> &op) {
    if (!ppErrors)
        return E_POINTER;
    *ppErrors = nullptr;
    HRESULT hr = Enter(method, [&] { return Count(dwCount); });
    if (hr != S_OK)
        return hr; // a planned answer, success codes too, comes without an array
    if (dwCount == 0)
        return E_INVALIDARG;
    if (!phServer)
        return E_POINTER;
    const auto planned = core_->faults.TakeItemErrors(method);
    HRESULT *errors = TaskArray<HRESULT>(dwCount);
    {
        std::lock_guard lock(core_->mu);
        if (!group_->inNameSpace) {
            platform::CoTaskMemFree(errors);
            return E_FAIL;
        }
        for (DWORD i = 0; i < dwCount; ++i) {
            const HRESULT plan = PlannedAt(planned, i);
            Item *item = group_->FindItem(phServer[i]);
            HRESULT e = FAILED(plan) ? plan : item ? op(*item, i) : OPC_E_INVALIDHANDLE;
            if (SUCCEEDED(e) && plan != S_OK)
                e = plan;
            errors[i] = e;
            if (e != S_OK)
                hr = S_FALSE;
        }
    }
    *ppErrors = errors;
    return hr;
}

HRESULT SimGroup::RemoveItems(DWORD dwCount, OPCHANDLE *phServer, HRESULT **ppErrors) {
    return Guard([&] {
        return ForEachHandle("RemoveItems", dwCount, phServer, ppErrors, [&](Item &item, DWORD) {
            group_->DeleteItem(item);
            return S_OK;
        });
    });
}

HRESULT SimGroup::SetActiveState(DWORD dwCount, OPCHANDLE *phServer, BOOL bActive,
                                 HRESULT **ppErrors) {
    return Guard([&] {
        bool activated = false;
        HRESULT hr = ForEachHandle("SetActiveState", dwCount, phServer, ppErrors,
                                   [&](Item &item, DWORD) {
                                       if (bActive && !item.active) {
                                           item.sent = false; // activation sends the value again
                                           activated = true;
                                       }
                                       item.active = bActive != 0;
                                       return S_OK;
                                   });
        if (activated) {
            std::lock_guard lock(core_->mu);
            group_->nextDueMs = std::min(group_->nextDueMs, core_->NowMs());
            core_->Wake();
        }
        return hr;
    });
}

HRESULT SimGroup::SetClientHandles(DWORD dwCount, OPCHANDLE *phServer, OPCHANDLE *phClient,
                                   HRESULT **ppErrors) {
    return Guard([&] {
        if (dwCount && !phClient)
            return E_POINTER;
        return ForEachHandle("SetClientHandles", dwCount, phServer, ppErrors,
                             [&](Item &item, DWORD i) {
                                 item.hClient = phClient[i];
                                 return S_OK;
                             });
    });
}

HRESULT SimGroup::SetDatatypes(DWORD dwCount, OPCHANDLE *phServer, VARTYPE *pRequestedDatatypes,
                               HRESULT **ppErrors) {
    return Guard([&] {
        if (dwCount && !pRequestedDatatypes)
            return E_POINTER;
        return ForEachHandle("SetDatatypes", dwCount, phServer, ppErrors,
                             [&](Item &item, DWORD i) -> HRESULT {
                                 if (!CanConvert(item.tag->vt, pRequestedDatatypes[i]))
                                     return OPC_E_BADTYPE;
                                 if (item.requested != pRequestedDatatypes[i])
                                     item.sent = false; // the client hears the new type
                                 item.requested = pRequestedDatatypes[i];
                                 return S_OK;
                             });
    });
}

HRESULT SimGroup::CreateEnumerator(REFIID, LPUNKNOWN *ppUnk) {
    if (!ppUnk)
        return E_POINTER;
    *ppUnk = nullptr;
    return E_NOTIMPL;
}

// --- IOPCGroupStateMgt -------------------------------------------------------

HRESULT SimGroup::GetState(DWORD *pUpdateRate, BOOL *pActive, LPWSTR *ppName, LONG *pTimeBias,
                           FLOAT *pPercentDeadband, DWORD *pLCID, OPCHANDLE *phClientGroup,
                           OPCHANDLE *phServerGroup) {
    return Guard([&] {
        if (!pUpdateRate || !pActive || !ppName || !pTimeBias || !pPercentDeadband || !pLCID ||
            !phClientGroup || !phServerGroup)
            return E_POINTER;
        *ppName = nullptr;
        HRESULT hr = Enter("GetState");
        if (FAILED(hr))
            return hr;
        vexo::platform::WideString name;
        {
            std::lock_guard lock(core_->mu);
            const GroupState &g = *group_;
            *pUpdateRate = g.rate;
            *pActive = g.active ? TRUE : FALSE;
            *pTimeBias = g.timeBias;
            *pPercentDeadband = g.deadband;
            *pLCID = g.lcid;
            *phClientGroup = g.clientHandle;
            *phServerGroup = g.handle;
            name = g.name;
        }
        *ppName = TaskString(name);
        return S_OK;
    });
}

HRESULT SimGroup::SetState(DWORD *pRequestedUpdateRate, DWORD *pRevisedUpdateRate, BOOL *pActive,
                           LONG *pTimeBias, FLOAT *pPercentDeadband, DWORD *pLCID,
                           OPCHANDLE *phClientGroup) {
    return Guard([&] {
        if (!pRevisedUpdateRate)
            return E_POINTER;
        *pRevisedUpdateRate = 0;
        HRESULT hr = Enter("SetState", [&] {
            std::string s;
            auto put = [&](const char *name, const std::string &v) {
                s += (s.empty() ? "" : " ") + std::string(name) + "=" + v;
            };
            if (pRequestedUpdateRate)
                put("rate", std::to_string(*pRequestedUpdateRate));
            if (pActive)
                put("active", *pActive ? "1" : "0");
            if (pTimeBias)
                put("bias", std::to_string(*pTimeBias));
            if (pPercentDeadband) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "%g", double(*pPercentDeadband));
                put("deadband", buf);
            }
            if (pLCID)
                put("lcid", std::to_string(*pLCID));
            if (phClientGroup)
                put("client", std::to_string(*phClientGroup));
            return s;
        });
        if (FAILED(hr))
            return hr;
        if (pPercentDeadband && !(*pPercentDeadband >= 0 && *pPercentDeadband <= 100))
            return E_INVALIDARG;
        EarlyWork early;
        {
            std::lock_guard lock(core_->mu);
            GroupState &g = *group_;
            if (!g.inNameSpace)
                return E_FAIL;
            const std::uint64_t now = core_->NowMs();
            if (pRequestedUpdateRate) {
                g.rate = core_->ReviseRate(*pRequestedUpdateRate);
                if (g.rate != *pRequestedUpdateRate)
                    hr = OPC_S_UNSUPPORTEDRATE;
                g.nextDueMs = std::min(g.nextDueMs, now + g.rate);
            }
            const bool activated = pActive && *pActive && !g.active;
            if (pActive)
                g.active = *pActive != 0;
            if (pTimeBias)
                g.timeBias = *pTimeBias;
            if (pPercentDeadband)
                g.deadband = *pPercentDeadband;
            if (pLCID)
                g.lcid = *pLCID;
            if (phClientGroup)
                g.clientHandle = *phClientGroup;
            *pRevisedUpdateRate = g.rate;
            if (activated) {
                // Activation sends every active value to every listener at once.
                g.nextDueMs = now;
                core_->Submit(Job{Job::Initial, group_}, early);
            }
            core_->Wake();
        }
        early.Deliver();
        return hr;
    });
}

HRESULT SimGroup::SetName(LPCWSTR szName) {
    return Guard([&] {
        HRESULT hr = Enter("SetName", [&] { return "name=" + Narrow(View(szName)); });
        if (FAILED(hr))
            return hr;
        if (View(szName).empty())
            return E_INVALIDARG;
        std::lock_guard lock(core_->mu);
        if (!group_->inNameSpace)
            return E_FAIL;
        GroupState *other = core_->FindGroupByName(View(szName));
        if (other && other != group_.get())
            return OPC_E_DUPLICATENAME;
        group_->name = vexo::platform::WideString(View(szName));
        return S_OK;
    });
}

HRESULT SimGroup::CloneGroup(LPCWSTR, REFIID, LPUNKNOWN *ppUnk) {
    if (!ppUnk)
        return E_POINTER;
    *ppUnk = nullptr;
    return E_NOTIMPL;
}

// --- IConnectionPointContainer (IOPCDataCallback) ----------------------------

HRESULT SimGroup::EnumConnectionPoints(IEnumConnectionPoints **ppEnum) {
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    return E_NOTIMPL;
}

HRESULT SimGroup::FindConnectionPoint(REFIID riid, IConnectionPoint **ppCP) {
    return Guard([&] {
        if (!ppCP)
            return E_POINTER;
        *ppCP = nullptr;
        const bool data = riid == IID_IOPCDataCallback;
        HRESULT hr = Enter("FindConnectionPoint", [&] {
            return std::string("point=") + (data ? "IOPCDataCallback" : "other");
        });
        if (FAILED(hr))
            return hr;
        if (!data)
            return CONNECT_E_NOCONNECTION;
        *ppCP = platform::MakeCom<ConnectionPoint>(riid, this, this).Detach();
        return S_OK;
    });
}

HRESULT SimGroup::AdviseSink(REFIID, IUnknown *sink, DWORD *cookie) {
    HRESULT hr = Enter("Advise", [] { return std::string("point=IOPCDataCallback"); });
    if (FAILED(hr))
        return hr;
    platform::ComPtr<IOPCDataCallback> callback;
    if (FAILED(sink->QueryInterface(IID_IOPCDataCallback, callback.PutVoid())) || !callback)
        return CONNECT_E_CANNOTCONNECT;
    EarlyWork early;
    {
        std::lock_guard lock(core_->mu);
        GroupState &g = *group_;
        if (!g.inNameSpace)
            return E_FAIL;
        if (g.callback)
            return CONNECT_E_ADVISELIMIT;
        g.callback = std::move(callback);
        g.callbackCookie = core_->nextCookie++;
        *cookie = g.callbackCookie;
        // The new callback first hears every active value, possibly before
        // Advise returns.
        Job initial{Job::Initial, group_};
        initial.audience = Job::NewCallback;
        core_->Submit(std::move(initial), early);
    }
    early.Deliver();
    return S_OK;
}

HRESULT SimGroup::UnadviseSink(REFIID, DWORD cookie) {
    HRESULT hr = Enter("Unadvise", [&] {
        return "point=IOPCDataCallback cookie=" + std::to_string(cookie);
    });
    if (FAILED(hr))
        return hr;
    platform::ComPtr<IOPCDataCallback> released; // released after the lock
    std::lock_guard lock(core_->mu);
    GroupState &g = *group_;
    if (!g.callback || g.callbackCookie != cookie)
        return CONNECT_E_NOCONNECTION;
    released = std::move(g.callback);
    g.callbackCookie = 0;
    return S_OK;
}

} // namespace vexo::sim
