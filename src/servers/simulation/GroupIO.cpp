//===- GroupIO.cpp - synchronous and asynchronous reads and writes --------===//
//
// Synchronous calls answer at once. Asynchronous calls check each handle now
// (the per-item codes the call returns), queue the work for the scan thread
// (or the next manual scan) and deliver the results from there: through the
// IOPCDataCallback for DA 2.0 calls, through the named IDataObject advise for
// DA 1.0 calls. Items that fail at call time are left out of the completion.
// In an early completion mode the results arrive before the call returns.
//
//===----------------------------------------------------------------------===//
#include "ComHelpers.h"
#include "GroupObject.h"
#include "ItemAccess.h"

namespace vexo::sim {
namespace {

bool ValidSource(OPCDATASOURCE s) { return s == OPC_DS_CACHE || s == OPC_DS_DEVICE; }

/// Whether connection names an advise of the group that can carry the
/// answer: a data advise for reads and refreshes, a write-complete advise
/// for writes.
bool HasAdviseFor(const GroupState &g, DWORD connection, bool write) {
    const auto &f = StreamFormats::Get();
    for (const auto &a : g.advises) {
        if (a.connection != connection)
            continue;
        if (write ? a.format == f.writeComplete : (a.format == f.data || a.format == f.dataTime))
            return true;
    }
    return false;
}

bool HasActiveItems(const GroupState &g) {
    for (const Item &item : g.items)
        if (item.alive && item.active)
            return true;
    return false;
}

void FreeStates(OPCITEMSTATE *states, HRESULT *errors, DWORD n) {
    for (DWORD i = 0; i < n; ++i)
        platform::VariantClear(&states[i].vDataValue);
    platform::CoTaskMemFree(states);
    platform::CoTaskMemFree(errors);
}

} // namespace

// --- IOPCSyncIO --------------------------------------------------------------

HRESULT SimGroup::Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE *phServer,
                       OPCITEMSTATE **ppItemValues, HRESULT **ppErrors) {
    return Guard([&] {
        if (!ppItemValues || !ppErrors)
            return E_POINTER;
        *ppItemValues = nullptr;
        *ppErrors = nullptr;
        HRESULT hr = Enter("Read", [&] {
            return "source=" + std::to_string(dwSource) + " count=" + std::to_string(dwCount);
        });
        if (FAILED(hr))
            return hr;
        if (dwCount == 0 || !ValidSource(dwSource))
            return E_INVALIDARG;
        if (!phServer)
            return E_POINTER;
        const auto planned = core_->faults.TakeItemErrors("Read");
        OPCITEMSTATE *states = TaskArray<OPCITEMSTATE>(dwCount);
        HRESULT *errors = nullptr;
        try {
            errors = TaskArray<HRESULT>(dwCount);
            std::lock_guard lock(core_->mu);
            if (!group_->inNameSpace)
                throw E_FAIL;
            const std::uint64_t now = core_->NowMs();
            for (DWORD i = 0; i < dwCount; ++i) {
                const HRESULT plan = PlannedAt(planned, i);
                Item *item = group_->FindItem(phServer[i]);
                OPCITEMSTATE &s = states[i];
                platform::VariantInit(&s.vDataValue);
                s.wQuality = OPC_QUALITY_BAD;
                if (FAILED(plan) || !item) {
                    errors[i] = FAILED(plan) ? plan : OPC_E_INVALIDHANDLE;
                    hr = S_FALSE;
                    continue;
                }
                ItemBatch one;
                ReadItem(*core_, *group_, *item, dwSource == OPC_DS_DEVICE, now, one);
                s.hClient = one.clients[0];
                s.ftTimeStamp = one.stamps[0];
                s.wQuality = one.qualities[0];
                s.vDataValue = one.values[0]; // moved: the batch forgets it
                platform::VariantInit(&one.values[0]);
                errors[i] = SUCCEEDED(one.errors[0]) && plan != S_OK ? plan : one.errors[0];
                if (errors[i] != S_OK)
                    hr = S_FALSE;
            }
        } catch (HRESULT failure) {
            FreeStates(states, errors, dwCount);
            return failure;
        } catch (...) {
            FreeStates(states, errors, dwCount);
            throw;
        }
        *ppItemValues = states;
        *ppErrors = errors;
        return hr;
    });
}

HRESULT SimGroup::Write(DWORD dwCount, OPCHANDLE *phServer, VARIANT *pItemValues,
                        HRESULT **ppErrors) {
    CountRecordArrayCall();
    return Guard([&] {
        if (dwCount && !pItemValues)
            return E_POINTER;
        const std::uint64_t unset = ~std::uint64_t{0};
        std::uint64_t now = unset;
        return ForEachHandle("Write", dwCount, phServer, ppErrors, [&](Item &item, DWORD i) {
            if (now == unset)
                now = core_->NowMs();
            return WriteItem(*core_, item, pItemValues[i], now);
        });
    });
}

// --- shared front of the asynchronous calls ---------------------------------

HRESULT SimGroup::QueueItems(Job job, bool write, DWORD dwCount, OPCHANDLE *phServer,
                             VARIANT *pItemValues, const char *method, HRESULT **ppErrors,
                             EarlyWork &early) {
    const auto planned = core_->faults.TakeItemErrors(method);
    HRESULT *errors = TaskArray<HRESULT>(dwCount);
    HRESULT hr = S_OK;
    for (DWORD i = 0; i < dwCount; ++i) {
        const HRESULT plan = PlannedAt(planned, i);
        const Item *item = group_->FindItem(phServer[i]);
        HRESULT e = plan;
        if (SUCCEEDED(e) && !item)
            e = OPC_E_INVALIDHANDLE;
        else if (SUCCEEDED(e))
            e = write ? (item->tag->rights & OPC_WRITEABLE ? plan : OPC_E_BADRIGHTS)
                      : (item->tag->rights & OPC_READABLE ? plan : OPC_E_BADRIGHTS);
        errors[i] = e;
        if (e != S_OK)
            hr = S_FALSE;
        if (FAILED(e))
            continue;
        job.handles.push_back(phServer[i]);
        if (write)
            job.values.emplace_back(pItemValues[i]);
    }
    *ppErrors = errors;
    if (!job.handles.empty())
        core_->Submit(std::move(job), early);
    return hr;
}

// --- IOPCAsyncIO2 ------------------------------------------------------------

HRESULT SimGroup::QueueAsync2(bool write, DWORD dwCount, OPCHANDLE *phServer,
                              VARIANT *pItemValues, DWORD dwTransactionID, DWORD *pdwCancelID,
                              HRESULT **ppErrors) {
    const char *method = write ? "AsyncIO2.Write" : "AsyncIO2.Read";
    if (!pdwCancelID || !ppErrors)
        return E_POINTER;
    *pdwCancelID = 0;
    *ppErrors = nullptr;
    HRESULT hr = Enter(method, [&] {
        return "count=" + std::to_string(dwCount) + " transid=" + std::to_string(dwTransactionID);
    });
    if (FAILED(hr))
        return hr;
    if (dwCount == 0)
        return E_INVALIDARG;
    if (!phServer || (write && !pItemValues))
        return E_POINTER;
    EarlyWork early;
    {
        std::lock_guard lock(core_->mu);
        if (!group_->inNameSpace)
            return E_FAIL;
        if (!group_->callback)
            return CONNECT_E_NOCONNECTION;
        Job job{write ? Job::Write2 : Job::Read2, group_};
        job.transactionId = dwTransactionID;
        job.cancelId = core_->distinctCancelIds ? core_->nextCancel++ : dwTransactionID;
        const DWORD cancelId = job.cancelId;
        hr = QueueItems(std::move(job), write, dwCount, phServer, pItemValues, method, ppErrors,
                        early);
        *pdwCancelID = cancelId;
    }
    early.Deliver();
    return hr;
}

HRESULT SimGroup::Read(DWORD dwCount, OPCHANDLE *phServer, DWORD dwTransactionID,
                       DWORD *pdwCancelID, HRESULT **ppErrors) {
    return Guard([&] {
        return QueueAsync2(false, dwCount, phServer, nullptr, dwTransactionID, pdwCancelID,
                           ppErrors);
    });
}

HRESULT SimGroup::Write(DWORD dwCount, OPCHANDLE *phServer, VARIANT *pItemValues,
                        DWORD dwTransactionID, DWORD *pdwCancelID, HRESULT **ppErrors) {
    CountRecordArrayCall();
    return Guard([&] {
        return QueueAsync2(true, dwCount, phServer, pItemValues, dwTransactionID, pdwCancelID,
                           ppErrors);
    });
}

HRESULT SimGroup::Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD *pdwCancelID) {
    return Guard([&] {
        if (!pdwCancelID)
            return E_POINTER;
        *pdwCancelID = 0;
        HRESULT hr = Enter("Refresh2", [&] {
            return "source=" + std::to_string(dwSource) +
                   " transid=" + std::to_string(dwTransactionID);
        });
        if (FAILED(hr))
            return hr;
        if (!ValidSource(dwSource))
            return E_INVALIDARG;
        EarlyWork early;
        {
            std::lock_guard lock(core_->mu);
            GroupState &g = *group_;
            if (!g.inNameSpace)
                return E_FAIL;
            if (!g.callback)
                return CONNECT_E_NOCONNECTION;
            if (!g.active || !HasActiveItems(g))
                return E_FAIL; // nothing active to refresh
            Job job{Job::Refresh2, group_};
            job.source = dwSource;
            job.transactionId = dwTransactionID;
            job.cancelId = core_->distinctCancelIds ? core_->nextCancel++ : dwTransactionID;
            *pdwCancelID = job.cancelId;
            core_->Submit(std::move(job), early);
        }
        early.Deliver();
        return S_OK;
    });
}

HRESULT SimGroup::Cancel2(DWORD dwCancelID) {
    return Guard([&] {
        HRESULT hr = Enter("Cancel2", [&] { return "cancelid=" + std::to_string(dwCancelID); });
        if (FAILED(hr))
            return hr;
        EarlyWork early;
        {
            std::lock_guard lock(core_->mu);
            auto &jobs = core_->jobs;
            auto it = jobs.begin();
            for (; it != jobs.end(); ++it) {
                const bool da20 = it->kind == Job::Read2 || it->kind == Job::Write2 ||
                                  it->kind == Job::Refresh2;
                if (da20 && it->group == group_ && it->cancelId == dwCancelID)
                    break;
            }
            if (it == jobs.end())
                return E_FAIL; // unknown, or already done
            Job notice{Job::Cancel2Notice, group_};
            notice.transactionId = it->transactionId;
            jobs.erase(it);
            core_->Submit(std::move(notice), early);
        }
        early.Deliver();
        return S_OK;
    });
}

HRESULT SimGroup::SetEnable(BOOL bEnable) {
    return Guard([&] {
        HRESULT hr = Enter("SetEnable", [&] { return std::string("enable=") + (bEnable ? "1" : "0"); });
        if (FAILED(hr))
            return hr;
        EarlyWork early;
        {
            std::lock_guard lock(core_->mu);
            if (!group_->inNameSpace)
                return E_FAIL;
            const bool enabling = bEnable && !group_->enabled;
            group_->enabled = bEnable != 0;
            if (enabling) {
                // Enabling sends every active value to the callback at once.
                Job initial{Job::Initial, group_};
                initial.audience = Job::NewCallback;
                core_->Submit(std::move(initial), early);
            }
            core_->Wake();
        }
        early.Deliver();
        return S_OK;
    });
}

HRESULT SimGroup::GetEnable(BOOL *pbEnable) {
    return Guard([&] {
        if (!pbEnable)
            return E_POINTER;
        *pbEnable = FALSE;
        HRESULT hr = Enter("GetEnable");
        if (FAILED(hr))
            return hr;
        std::lock_guard lock(core_->mu);
        *pbEnable = group_->enabled ? TRUE : FALSE;
        return S_OK;
    });
}

// --- IOPCAsyncIO (DA 1.0) ----------------------------------------------------

HRESULT SimGroup::Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount,
                       OPCHANDLE *phServer, DWORD *pTransactionID, HRESULT **ppErrors) {
    return Guard([&] {
        if (!pTransactionID || !ppErrors)
            return E_POINTER;
        *pTransactionID = 0;
        *ppErrors = nullptr;
        HRESULT hr = Enter("AsyncIO.Read", [&] {
            return "connection=" + std::to_string(dwConnection) +
                   " source=" + std::to_string(dwSource) + " count=" + std::to_string(dwCount);
        });
        if (FAILED(hr))
            return hr;
        if (dwCount == 0 || !ValidSource(dwSource))
            return E_INVALIDARG;
        if (!phServer)
            return E_POINTER;
        EarlyWork early;
        {
            std::lock_guard lock(core_->mu);
            if (!group_->inNameSpace)
                return E_FAIL;
            if (!HasAdviseFor(*group_, dwConnection, false))
                return CONNECT_E_NOCONNECTION;
            Job job{Job::Read1, group_};
            job.connection = dwConnection;
            job.source = dwSource;
            job.transactionId = core_->nextTransaction++;
            const DWORD transaction = job.transactionId;
            hr = QueueItems(std::move(job), false, dwCount, phServer, nullptr, "AsyncIO.Read",
                            ppErrors, early);
            *pTransactionID = transaction;
        }
        early.Deliver();
        return hr;
    });
}

HRESULT SimGroup::Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE *phServer,
                        VARIANT *pItemValues, DWORD *pTransactionID, HRESULT **ppErrors) {
    CountRecordArrayCall();
    return Guard([&] {
        if (!pTransactionID || !ppErrors)
            return E_POINTER;
        *pTransactionID = 0;
        *ppErrors = nullptr;
        HRESULT hr = Enter("AsyncIO.Write", [&] {
            return "connection=" + std::to_string(dwConnection) +
                   " count=" + std::to_string(dwCount);
        });
        if (FAILED(hr))
            return hr;
        if (dwCount == 0)
            return E_INVALIDARG;
        if (!phServer || !pItemValues)
            return E_POINTER;
        EarlyWork early;
        {
            std::lock_guard lock(core_->mu);
            if (!group_->inNameSpace)
                return E_FAIL;
            // A write answers through a write-complete advise: without one
            // its outcome could never reach the client.
            if (!HasAdviseFor(*group_, dwConnection, true))
                return CONNECT_E_NOCONNECTION;
            Job job{Job::Write1, group_};
            job.connection = dwConnection;
            job.transactionId = core_->nextTransaction++;
            const DWORD transaction = job.transactionId;
            hr = QueueItems(std::move(job), true, dwCount, phServer, pItemValues,
                            "AsyncIO.Write", ppErrors, early);
            *pTransactionID = transaction;
        }
        early.Deliver();
        return hr;
    });
}

HRESULT SimGroup::Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD *pTransactionID) {
    return Guard([&] {
        if (!pTransactionID)
            return E_POINTER;
        *pTransactionID = 0;
        HRESULT hr = Enter("AsyncIO.Refresh", [&] {
            return "connection=" + std::to_string(dwConnection) +
                   " source=" + std::to_string(dwSource);
        });
        if (FAILED(hr))
            return hr;
        if (!ValidSource(dwSource))
            return E_INVALIDARG;
        EarlyWork early;
        {
            std::lock_guard lock(core_->mu);
            GroupState &g = *group_;
            if (!g.inNameSpace)
                return E_FAIL;
            if (!HasAdviseFor(g, dwConnection, false))
                return CONNECT_E_NOCONNECTION;
            if (!g.active || !HasActiveItems(g))
                return E_FAIL;
            Job job{Job::Refresh1, group_};
            job.connection = dwConnection;
            job.source = dwSource;
            job.transactionId = core_->nextTransaction++;
            *pTransactionID = job.transactionId;
            core_->Submit(std::move(job), early);
        }
        early.Deliver();
        return S_OK;
    });
}

HRESULT SimGroup::Cancel(DWORD dwTransactionID) {
    return Guard([&] {
        HRESULT hr = Enter("AsyncIO.Cancel",
                           [&] { return "transid=" + std::to_string(dwTransactionID); });
        if (FAILED(hr))
            return hr;
        std::lock_guard lock(core_->mu);
        auto &jobs = core_->jobs;
        for (auto it = jobs.begin(); it != jobs.end(); ++it) {
            const bool da10 =
                it->kind == Job::Read1 || it->kind == Job::Write1 || it->kind == Job::Refresh1;
            if (da10 && it->group == group_ && it->transactionId == dwTransactionID) {
                jobs.erase(it);
                return S_OK;
            }
        }
        return E_FAIL;
    });
}

} // namespace vexo::sim
