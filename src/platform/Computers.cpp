//===- Computers.cpp - computers, class tables, activation, security -----===//
//
// This file implements the COM/DCOM activation stand-in. Every computer has
// a class table (registrations of class factories, newest first) and a
// registry tree. The local computer always exists under "" and its own name;
// named computers come and go at run time. The table's mutex is never held
// while a factory runs, so a factory may itself create objects.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/Activation.h>
#include <vexo/platform/ComPtr.h>
#include <vexo/platform/WideString.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include <unistd.h>

#include "Computers.h"

namespace vexo::platform {
namespace detail {

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char &c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return out;
}

std::mutex &RegistryMutex() {
    static auto *m = new std::mutex; // never destroyed: used until exit
    return *m;
}

void MarkDeleted(RegNode &node) {
    node.deleted = true;
    for (auto &child : node.children)
        MarkDeleted(*child);
}

} // namespace detail

namespace {

struct ClassEntry {
    DWORD cookie;
    CLSID clsid;
    ComPtr<IUnknown> factory;
};

struct Computer {
    std::string name;
    std::shared_ptr<detail::RegNode> root = std::make_shared<detail::RegNode>();
    std::vector<ClassEntry> classes; // newest registration last
};

/// The computer table; keys are lower-case names, "" for the local computer.
struct ComputerTable {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Computer>> computers;
    DWORD nextCookie = 1;

    ComputerTable() {
        auto local = std::make_shared<Computer>();
        local->name = LocalComputerName();
        computers[""] = local;
    }
};

ComputerTable &Table() {
    static auto *t = new ComputerTable; // never destroyed: factories may outlive main
    return *t;
}

std::string_view TrimBlank(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

/// The table key of a computer name: "" for every name of the local computer.
std::string KeyOf(std::string_view name) {
    name = TrimBlank(name);
    if (name.empty() || detail::EqualsNoCase(name, LocalComputerName()) ||
        detail::EqualsNoCase(name, "localhost") || name == "127.0.0.1")
        return "";
    return detail::LowerAscii(name);
}

/// Caller holds the table mutex.
Computer *FindLocked(std::string_view name) {
    auto &t = Table();
    auto it = t.computers.find(KeyOf(name));
    return it == t.computers.end() ? nullptr : it->second.get();
}

/// The newest factory for clsid on the computer; RPC_S_SERVER_UNAVAILABLE_HR
/// for an unknown computer, REGDB_E_CLASSNOTREG when the class is not there.
HRESULT FindFactory(std::string_view computer, REFCLSID clsid, ComPtr<IUnknown> &factory) {
    auto &t = Table();
    std::lock_guard lock(t.mutex);
    Computer *c = FindLocked(computer);
    if (!c)
        return RPC_S_SERVER_UNAVAILABLE_HR;
    for (auto it = c->classes.rbegin(); it != c->classes.rend(); ++it) {
        if (it->clsid == clsid) {
            factory = it->factory;
            return S_OK;
        }
    }
    return REGDB_E_CLASSNOTREG;
}

std::atomic<bool> gSecurityInitialised{false};

/// The calling thread's apartment: how many CoInitialize(Ex) calls are open
/// and in which model.
struct ThreadApartment {
    int Entries = 0;
    DWORD Model = COINIT_APARTMENTTHREADED;
};
thread_local ThreadApartment tApartment;

/// Threads in the multi-threaded apartment; while there is one, a thread that
/// never entered an apartment belongs to it implicitly.
std::atomic<int> gMtaThreads{0};

bool InAnApartment() {
    return tApartment.Entries > 0 || gMtaThreads.load(std::memory_order_acquire) > 0;
}

} // namespace

namespace detail {

std::shared_ptr<RegNode> ClassesRootOf(std::string_view name) {
    auto &t = Table();
    std::lock_guard lock(t.mutex);
    Computer *c = FindLocked(name);
    return c ? c->root : nullptr;
}

} // namespace detail

std::string LocalComputerName() {
    static const std::string name = [] {
        char buf[256] = {};
        if (gethostname(buf, sizeof buf - 1) != 0 || buf[0] == '\0')
            return std::string("localhost");
        return std::string(buf);
    }();
    return name;
}

void AddComputer(std::string_view name) {
    std::string key = KeyOf(name);
    if (key.empty())
        return;
    auto &t = Table();
    std::lock_guard lock(t.mutex);
    auto &slot = t.computers[key];
    if (!slot) {
        slot = std::make_shared<Computer>();
        slot->name = std::string(TrimBlank(name));
    }
}

void RemoveComputer(std::string_view name) {
    std::string key = KeyOf(name);
    if (key.empty())
        return;
    std::shared_ptr<Computer> gone;
    {
        auto &t = Table();
        std::lock_guard lock(t.mutex);
        auto it = t.computers.find(key);
        if (it == t.computers.end())
            return;
        gone = std::move(it->second);
        t.computers.erase(it);
    }
    {
        // Keys still open on that computer answer as deleted from now on.
        std::lock_guard lock(detail::RegistryMutex());
        detail::MarkDeleted(*gone->root);
    }
    // The factories are released here, outside every lock.
}

bool ComputerExists(std::string_view name) {
    auto &t = Table();
    std::lock_guard lock(t.mutex);
    return FindLocked(name) != nullptr;
}

std::vector<std::string> ComputerNames() {
    auto &t = Table();
    std::lock_guard lock(t.mutex);
    std::vector<std::string> names;
    for (auto &[key, c] : t.computers)
        names.push_back(c->name);
    return names;
}

HRESULT RegisterClassObjectOn(std::string_view computer, REFCLSID rclsid, IUnknown *pUnk,
                              DWORD *lpdwRegister) {
    if (!lpdwRegister)
        return E_POINTER;
    *lpdwRegister = 0;
    if (!pUnk)
        return E_INVALIDARG;
    auto &t = Table();
    std::lock_guard lock(t.mutex);
    Computer *c = FindLocked(computer);
    if (!c)
        return RPC_S_SERVER_UNAVAILABLE_HR;
    DWORD cookie = t.nextCookie++;
    c->classes.push_back(ClassEntry{cookie, rclsid, ComPtr<IUnknown>(pUnk)});
    *lpdwRegister = cookie;
    return S_OK;
}

HRESULT CoRegisterClassObject(REFCLSID rclsid, IUnknown *pUnk, DWORD /*dwClsContext*/,
                              DWORD /*flags*/, DWORD *lpdwRegister) {
    return RegisterClassObjectOn("", rclsid, pUnk, lpdwRegister);
}

HRESULT CoRevokeClassObject(DWORD dwRegister) {
    ComPtr<IUnknown> released; // dropped after the lock is gone
    {
        auto &t = Table();
        std::lock_guard lock(t.mutex);
        for (auto &[key, c] : t.computers) {
            auto it = std::find_if(c->classes.begin(), c->classes.end(),
                                   [&](const ClassEntry &e) { return e.cookie == dwRegister; });
            if (it != c->classes.end()) {
                released = std::move(it->factory);
                c->classes.erase(it);
                return S_OK;
            }
        }
    }
    return E_INVALIDARG; // an unknown cookie, as the system answers
}

HRESULT CoInitializeEx(LPVOID, DWORD dwCoInit) {
    const DWORD model = (dwCoInit & COINIT_APARTMENTTHREADED) ? COINIT_APARTMENTTHREADED
                                                              : COINIT_MULTITHREADED;
    ThreadApartment &a = tApartment;
    if (a.Entries > 0 && a.Model != model)
        return RPC_E_CHANGED_MODE;
    if (a.Entries++ > 0)
        return S_FALSE;
    a.Model = model;
    if (model == COINIT_MULTITHREADED)
        gMtaThreads.fetch_add(1, std::memory_order_acq_rel);
    return S_OK;
}

HRESULT CoInitialize(LPVOID pvReserved) {
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize() {
    ThreadApartment &a = tApartment;
    if (a.Entries == 0)
        return;
    if (--a.Entries == 0 && a.Model == COINIT_MULTITHREADED)
        gMtaThreads.fetch_sub(1, std::memory_order_acq_rel);
}

HRESULT CoCreateInstanceEx(REFCLSID rclsid, IUnknown *punkOuter, DWORD /*dwClsCtx*/,
                           COSERVERINFO *pServerInfo, DWORD dwCount, MULTI_QI *pResults) {
    if (dwCount == 0 || !pResults)
        return E_INVALIDARG;
    for (DWORD i = 0; i < dwCount; ++i) {
        pResults[i].pItf = nullptr;
        pResults[i].hr = E_NOINTERFACE;
    }
    for (DWORD i = 0; i < dwCount; ++i)
        if (!pResults[i].pIID)
            return E_INVALIDARG;
    auto fail = [&](HRESULT hr) {
        for (DWORD i = 0; i < dwCount; ++i)
            pResults[i].hr = hr;
        return hr;
    };
    if (!InAnApartment())
        return fail(CO_E_NOTINITIALIZED);
    if (punkOuter)
        return fail(CLASS_E_NOAGGREGATION);
    std::string computer =
        pServerInfo && pServerInfo->pwszName ? WideToString(pServerInfo->pwszName) : "";

    ComPtr<IUnknown> unknown;
    HRESULT hr = FindFactory(computer, rclsid, unknown);
    if (FAILED(hr))
        return fail(hr);
    ComPtr<IClassFactory> factory;
    hr = unknown->QueryInterface(IID_IClassFactory, factory.PutVoid());
    if (FAILED(hr) || !factory)
        return fail(FAILED(hr) ? hr : E_NOINTERFACE);
    ComPtr<IUnknown> object;
    hr = factory->CreateInstance(nullptr, IID_IUnknown, object.PutVoid());
    if (FAILED(hr))
        return fail(hr);
    if (!object)
        return fail(E_UNEXPECTED);

    DWORD got = 0;
    for (DWORD i = 0; i < dwCount; ++i) {
        void *itf = nullptr;
        pResults[i].hr = object->QueryInterface(*pResults[i].pIID, &itf);
        if (SUCCEEDED(pResults[i].hr) && itf) {
            pResults[i].pItf = static_cast<IUnknown *>(itf);
            ++got;
        } else {
            if (SUCCEEDED(pResults[i].hr))
                pResults[i].hr = E_NOINTERFACE;
            pResults[i].pItf = nullptr;
        }
    }
    if (got == 0)
        return E_NOINTERFACE;
    return got == dwCount ? S_OK : CO_S_NOTALLINTERFACES;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown *pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void **ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    MULTI_QI qi{&riid, nullptr, S_OK};
    HRESULT hr = CoCreateInstanceEx(rclsid, pUnkOuter, dwClsContext, nullptr, 1, &qi);
    if (FAILED(hr))
        return hr;
    *ppv = qi.pItf;
    return S_OK;
}

HRESULT CoInitializeSecurity(PSECURITY_DESCRIPTOR, LONG, SOLE_AUTHENTICATION_SERVICE *, void *,
                             DWORD, DWORD, void *, DWORD, void *) {
    return gSecurityInitialised.exchange(true) ? RPC_E_TOO_LATE : S_OK;
}

void ResetSecurityForTesting() { gSecurityInitialised.store(false); }

void Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

} // namespace vexo::platform
