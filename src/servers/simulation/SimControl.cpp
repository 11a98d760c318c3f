//===- SimControl.cpp - IVexoSimControl of the server object --------------===//
//
// The test-control interface: planned failures, rate granularity, cancel-id
// mode, a chosen status, shutdown requests, withheld interfaces, manual scans,
// forced changes, tag values, the call log, when completions arrive and the
// process going offline. Control calls are not logged and keep working on an
// object that is gone.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/TaskMemory.h>

#include "ComHelpers.h"
#include "ServerObject.h"

namespace vexo::sim {

HRESULT SimServer::FailNextCall(LPCWSTR szMethod, HRESULT hr) {
    return Guard([&] {
        if (View(szMethod).empty())
            return E_INVALIDARG;
        core_->faults.FailNext(Narrow(View(szMethod)), hr);
        return S_OK;
    });
}

HRESULT SimServer::SetNextItemErrors(LPCWSTR szMethod, DWORD dwCount, const HRESULT *pErrors) {
    return Guard([&] {
        if (View(szMethod).empty() || (dwCount && !pErrors))
            return E_INVALIDARG;
        core_->faults.ItemErrorsNext(Narrow(View(szMethod)),
                                     std::vector<HRESULT>(pErrors, pErrors + dwCount));
        return S_OK;
    });
}

HRESULT SimServer::SetRateGranularity(DWORD dwMs) {
    if (dwMs == 0)
        return E_INVALIDARG;
    std::lock_guard lock(core_->mu);
    core_->granularity = dwMs;
    return S_OK;
}

HRESULT SimServer::SetDistinctCancelIds(BOOL bDistinct) {
    std::lock_guard lock(core_->mu);
    core_->distinctCancelIds = bDistinct != 0;
    return S_OK;
}

HRESULT SimServer::SetStatus(const OPCSERVERSTATUS *pStatus) {
    return Guard([&] {
        std::lock_guard lock(core_->mu);
        if (!pStatus) {
            core_->statusOverride.reset();
            core_->statusVendor.clear();
            return S_OK;
        }
        core_->statusOverride = *pStatus;
        core_->statusOverride->szVendorInfo = nullptr;
        core_->statusVendor = vexo::platform::WideString(View(pStatus->szVendorInfo));
        return S_OK;
    });
}

HRESULT SimServer::SendShutdown(LPCWSTR szReason, BOOL bFromScanThread) {
    return Guard([&] {
        if (FAILED(core_->Lost()))
            return S_OK; // a gone server sends nothing
        std::vector<platform::ComPtr<IOPCShutdown>> sinks;
        {
            std::lock_guard lock(core_->mu);
            if (bFromScanThread) {
                Job job{Job::Shutdown};
                job.reason = vexo::platform::WideString(View(szReason));
                core_->QueueJob(std::move(job));
                return S_OK;
            }
            for (auto &[cookie, sink] : core_->shutdownSinks)
                sinks.push_back(sink);
        }
        const vexo::platform::WideString reason(View(szReason));
        for (auto &sink : sinks)
            sink->ShutdownRequest(reason.c_str());
        return S_OK;
    });
}

HRESULT SimServer::WithholdInterface(VexoSimTarget target, REFIID riid, BOOL bWithhold) {
    return Guard([&] {
        if (target != SIM_TARGET_SERVER && target != SIM_TARGET_GROUPS)
            return E_INVALIDARG;
        if (riid == IID_IUnknown || riid == IID_IVexoSimControl)
            return E_INVALIDARG;
        std::lock_guard lock(core_->mu);
        auto &list = target == SIM_TARGET_SERVER ? core_->withheldOnServer : core_->withheldOnGroups;
        std::erase(list, riid);
        if (bWithhold)
            list.push_back(riid);
        return S_OK;
    });
}

HRESULT SimServer::SetManualMode(BOOL bManual) {
    return Guard([&] {
        core_->SetManual(bManual != 0);
        return S_OK;
    });
}

HRESULT SimServer::RunScan(DWORD dwAdvanceMs) {
    return Guard([&] { return core_->RunManualScan(dwAdvanceMs); });
}

HRESULT SimServer::SetForceChange(BOOL bForce) {
    std::lock_guard lock(core_->mu);
    core_->forceChange = bForce != 0;
    return S_OK;
}

HRESULT SimServer::SetTagValue(LPCWSTR szItemID, const VARIANT *pValue, WORD wQuality) {
    CountRecordArrayCall(); // a VARIANT travels like one
    return Guard([&] {
        if (!pValue)
            return E_POINTER;
        std::lock_guard lock(core_->mu);
        Tag *tag = nullptr;
        if (HRESULT found = FindTag(szItemID, tag); FAILED(found))
            return found;
        SimVar converted;
        if (FAILED(ConvertValue(converted.Get(), *pValue, tag->vt)))
            return OPC_E_BADTYPE;
        const bool same = SameValue(converted.Get(), tag->value.Get()) && wQuality == tag->quality;
        if (!same)
            tag->Store(std::move(converted), wQuality, ServerCore::ToFileTime(core_->NowMs()));
        return S_OK;
    });
}

HRESULT SimServer::GetCallLog(LPWSTR *ppText) {
    return Guard([&] {
        if (!ppText)
            return E_POINTER;
        *ppText = nullptr;
        *ppText = TaskString(platform::Utf8ToUtf16(core_->log.Text()));
        return S_OK;
    });
}

HRESULT SimServer::ClearCallLog() {
    core_->log.Clear();
    return S_OK;
}

HRESULT SimServer::EnableCallLog(BOOL bEnable) {
    core_->log.SetEnabled(bEnable != 0);
    return S_OK;
}

HRESULT SimServer::GetClock(ULONGLONG *pMs) {
    if (!pMs)
        return E_POINTER;
    std::lock_guard lock(core_->mu);
    *pMs = core_->NowMs();
    return S_OK;
}

HRESULT SimServer::SetCompletionMode(VexoSimCompletion mode) {
    CompletionMode chosen;
    switch (mode) {
    case SIM_COMPLETE_ON_SCAN: chosen = CompletionMode::OnScan; break;
    case SIM_COMPLETE_BEFORE_RETURN: chosen = CompletionMode::BeforeReturn; break;
    case SIM_COMPLETE_BEFORE_RETURN_OTHER_THREAD:
        chosen = CompletionMode::BeforeReturnOtherThread;
        break;
    case SIM_COMPLETE_REVERSED: chosen = CompletionMode::Reversed; break;
    default: return E_INVALIDARG;
    }
    std::lock_guard lock(core_->mu);
    core_->completion = chosen;
    return S_OK;
}

HRESULT SimServer::SetOffline(BOOL bOffline, HRESULT hrLost) {
    if (!core_->process)
        return E_UNEXPECTED;
    if (!bOffline) {
        core_->process->ComeBack();
        return S_OK;
    }
    if (SUCCEEDED(hrLost))
        return E_INVALIDARG;
    core_->process->GoOffline(hrLost);
    return S_OK;
}

HRESULT SimServer::SetStreamLayout(DWORD dwPointerBits) {
    const opc::StreamLayout *layout = nullptr;
    switch (dwPointerBits) {
    case 32: layout = &opc::StreamLayout32; break;
    case 64: layout = &opc::StreamLayout64; break;
    default: return E_INVALIDARG;
    }
    std::lock_guard lock(core_->mu);
    core_->streamLayout = layout;
    return S_OK;
}

HRESULT SimServer::GetTaskMemoryBlocks(LONGLONG *pBlocks) {
    if (!pBlocks)
        return E_POINTER;
    *pBlocks = platform::TaskMemLiveBlocks();
    return S_OK;
}

} // namespace vexo::sim
