//===- LocalServer.cpp - the simulation servers as a local-server program -===//
//
// vexosimsrv.exe serves the simulation classes and the server-list object to
// clients in other processes, from its multithreaded apartment.
//
//   vexosimsrv /RegServer      writes the LocalServer32 keys
//   vexosimsrv /UnregServer    removes them
//   vexosimsrv [-Embedding]    serves (as COM starts it) until no object made
//                              for a client has lived for five seconds
//
// At the end it appends its task-memory count to vexosimsrv.memory.log beside
// the program: blocks allocated and not freed while it served are a leak of
// the server or of a client that failed to free what the server handed over.
//
//===----------------------------------------------------------------------===//
#include <atomic>
#include <cstdio>
#include <string>

#include <vexo/OPCCOMN.h>
#include <vexo/VexoSimulation.h>
#include <vexo/platform/TaskMemory.h>

#include "../simulation/SimHosting.h"
#include "ModuleRegistration.h"

namespace {

// Objects made for clients; the program ends once there has been none for
// kLinger, so that a client that connects again soon (a test run, a
// reconnecting client) does not wait for a new process each time.
constexpr ULONGLONG kLingerMs = 5000;
std::atomic<long> gObjects{0};
std::atomic<ULONGLONG> gIdleSince{0}; ///< when the last object went
HANDLE gIdle = nullptr;               ///< set while no object lives

void AddRefProcess() {
    if (gObjects.fetch_add(1) == 0)
        ResetEvent(gIdle);
}

void ReleaseProcess() {
    if (gObjects.fetch_sub(1) == 1) {
        gIdleSince.store(GetTickCount64());
        SetEvent(gIdle);
    }
}

/// Waits until no object has lived for kLingerMs, then suspends the class
/// objects so that no activation can reach the process as it ends.
void WaitUntilUnused() {
    for (;;) {
        WaitForSingleObject(gIdle, INFINITE);
        while (gObjects.load() == 0 && GetTickCount64() - gIdleSince.load() < kLingerMs)
            Sleep(100);
        if (gObjects.load() != 0)
            continue;
        CoSuspendClassObjects();
        Sleep(500); // an activation that reached a class object just before
        if (gObjects.load() == 0)
            return;
        CoResumeClassObjects(); // an activation came in meanwhile
    }
}

bool IsSwitch(const char *arg, const char *name) {
    return (arg[0] == '/' || arg[0] == '-') && lstrcmpiA(arg + 1, name) == 0;
}

std::string LogPath() {
    char path[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string log(path, length);
    const auto dot = log.rfind('.');
    return (dot == std::string::npos ? log : log.substr(0, dot)) + ".memory.log";
}

int Serve() {
    // Counting starts before the first object is made.
    const long long blocksAtStart = vexo::platform::TaskMemLiveBlocks();
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 1;
    // Freed strings go back to the task allocator at once, so that the count
    // at the end sees only blocks that were never freed.
    // oleaut32 exports SetOaNoCache; MinGW declares it nowhere.
    if (HMODULE oleaut = GetModuleHandleA("oleaut32.dll"))
        if (auto setNoCache = reinterpret_cast<void(WINAPI *)()>(
                reinterpret_cast<void *>(GetProcAddress(oleaut, "SetOaNoCache"))))
            setNoCache();
    gIdleSince.store(GetTickCount64());
    gIdle = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    vexo::sim::SetHostHooks({&AddRefProcess, &ReleaseProcess});
    const CLSID *classes[] = {&CLSID_VexoSimulation, &CLSID_VexoSimulationDA10,
                              &CLSID_OPCServerList};
    DWORD cookies[3] = {};
    HRESULT registered = S_OK;
    for (int i = 0; i < 3 && SUCCEEDED(registered); ++i) {
        auto factory = vexo::sim::SimulationClassObject(*classes[i]);
        registered = CoRegisterClassObject(*classes[i], factory.Get(), CLSCTX_LOCAL_SERVER,
                                           REGCLS_MULTIPLEUSE | REGCLS_SUSPENDED, &cookies[i]);
    }
    if (SUCCEEDED(registered)) {
        CoResumeClassObjects();
        WaitUntilUnused();
    } else {
        std::fprintf(stderr, "vexosimsrv: registering the class objects failed: 0x%08lX\n",
                     static_cast<unsigned long>(registered));
    }
    for (DWORD cookie : cookies)
        if (cookie)
            CoRevokeClassObject(cookie);
    CoUninitialize();
    const long long leaked = vexo::platform::TaskMemLiveBlocks() - blocksAtStart;
    if (FILE *log = std::fopen(LogPath().c_str(), "a")) {
        std::fprintf(log, "process %lu: %lld task-memory blocks not freed, %lld calls with an [in] array of records or VARIANTs\n",
                     GetCurrentProcessId(), leaked, vexo::sim::RecordArrayCalls());
        std::fclose(log);
    }
    CloseHandle(gIdle);
    return SUCCEEDED(registered) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        if (IsSwitch(argv[i], "RegServer")) {
            if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
                return 1;
            const HRESULT hr = vexo::sim::RegisterModule(nullptr, vexo::sim::ModuleKind::Local);
            CoUninitialize();
            return SUCCEEDED(hr) ? 0 : 1;
        }
        if (IsSwitch(argv[i], "UnregServer"))
            return SUCCEEDED(vexo::sim::UnregisterModule(vexo::sim::ModuleKind::Local)) ? 0 : 1;
    }
    return Serve();
}
