//===- PlatformThreadsTest.cpp - platform services under concurrency -----===//
//
// These tests run under ThreadSanitizer in CI: task-memory counters, BSTRs,
// activation, the registry, clipboard ids and the cached UTC offset used
// from several threads at once.
//
//===----------------------------------------------------------------------===//
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <vexo/platform/Platform.h>

using namespace vexo::platform;

namespace {

constexpr CLSID kThreadClass{0x7E57C1A5, 0x0001, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x11}};

class Product final : public ComObject<IEnumString> {
  public:
    HRESULT STDMETHODCALLTYPE Next(ULONG, LPOLESTR *, ULONG *) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumString **) override { return E_NOTIMPL; }
};

class Factory final : public ComObject<IClassFactory> {
  public:
    std::atomic<int> created{0};
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *, REFIID riid, void **ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        ++created;
        // A factory may itself use activation: the table lock is not held here.
        ComputerExists("");
        return MakeCom<Product>()->QueryInterface(riid, ppv);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

template <class F> void RunThreads(int n, F body) {
    std::vector<std::thread> threads;
    for (int t = 0; t < n; ++t)
        threads.emplace_back(body, t);
    for (auto &th : threads)
        th.join();
}

} // namespace

// Concurrent allocations and frees keep the task-memory and BSTR counters exact.
TEST(PlatformThreads, CountersStayExact) {
    long long task = TaskMemLiveBlocks(), bstrs = BStrLiveCount();
    TaskMemoryStats before = GetTaskMemoryStats();
    RunThreads(4, [](int) {
        for (int i = 0; i < 20000; ++i) {
            void *p = CoTaskMemAlloc(24);
            BSTR b = SysAllocString(u"x");
            CoTaskMemFree(p);
            SysFreeString(b);
        }
    });
    EXPECT_EQ(TaskMemLiveBlocks(), task);
    EXPECT_EQ(BStrLiveCount(), bstrs);
    EXPECT_EQ(GetTaskMemoryStats().totalAllocs - before.totalAllocs, 80000);
}

// Large blocks, which freed go to a cache for reuse, are counted exactly, are
// never smaller than asked and never belong to two threads at once.
TEST(PlatformThreads, LargeBlocksAreReusedSafely) {
    TaskMemoryStats before = GetTaskMemoryStats();
    std::atomic<int> damaged{0};
    RunThreads(4, [&](int t) {
        for (int i = 0; i < 60; ++i) {
            // Sizes around the cache's lower bound and up to a few megabytes.
            const std::size_t size = (std::size_t{1} << (17 + (i + t) % 5)) + 24 * i + t;
            auto *p = static_cast<unsigned char *>(CoTaskMemAlloc(size));
            ASSERT_NE(p, nullptr);
            std::memset(p, 'a' + t, size);
            std::this_thread::yield();
            if (p[0] != 'a' + t || p[size / 2] != 'a' + t || p[size - 1] != 'a' + t)
                ++damaged;
            if (i % 3 == 0)
                p = static_cast<unsigned char *>(CoTaskMemRealloc(p, size / 3 + 1));
            CoTaskMemFree(p);
        }
    });
    EXPECT_EQ(damaged.load(), 0);
    const TaskMemoryStats after = GetTaskMemoryStats();
    EXPECT_EQ(after.liveBlocks, before.liveBlocks);
    EXPECT_EQ(after.totalAllocs - before.totalAllocs, 240);
    EXPECT_EQ(after.totalFrees - before.totalFrees, 240);
}

// Objects are created concurrently on local and named computers while computers come and go.
TEST(PlatformThreads, ConcurrentActivation) {
    AddComputer("thread-host");
    ComPtr<Factory> f = MakeCom<Factory>();
    DWORD local = 0, remote = 0;
    ASSERT_EQ(CoRegisterClassObject(kThreadClass, f.Get(), CLSCTX_ALL, REGCLS_MULTIPLEUSE, &local),
              S_OK);
    ASSERT_EQ(RegisterClassObjectOn("thread-host", kThreadClass, f.Get(), &remote), S_OK);
    std::atomic<int> failures{0};
    RunThreads(4, [&](int t) {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED); // activation needs an apartment
        std::u16string name = t % 2 ? u"thread-host" : u"";
        COSERVERINFO si{0, name.data(), nullptr, 0};
        for (int i = 0; i < 300; ++i) {
            if (t == 3 && i % 50 == 0) {
                AddComputer("churn-host");
                RemoveComputer("churn-host");
            }
            MULTI_QI qi{&IID_IEnumString, nullptr, S_OK};
            if (CoCreateInstanceEx(kThreadClass, nullptr, CLSCTX_ALL, &si, 1, &qi) != S_OK)
                ++failures;
            else
                qi.pItf->Release();
        }
        CoUninitialize();
    });
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(f->created, 1200);
    CoRevokeClassObject(local);
    RemoveComputer("thread-host");
}

// Registry writes, reads and deletions from several threads keep the tree consistent.
TEST(PlatformThreads, RegistryAndClipboardFormats) {
    long long keys = RegOpenKeyCount();
    std::vector<UINT> ids(4);
    RunThreads(4, [&](int t) {
        std::string base = "VexoThreads\\T" + std::to_string(t);
        for (int i = 0; i < 100; ++i) {
            std::string path = base + "\\K" + std::to_string(i);
            RegSetValueA(HKEY_CLASSES_ROOT, path.c_str(), REG_SZ, "v", 1);
            HKEY k;
            if (RegOpenKeyA(HKEY_CLASSES_ROOT, base.c_str(), &k) == ERROR_SUCCESS) {
                char buf[32];
                RegEnumKeyA(k, 0, buf, sizeof buf);
                RegCloseKey(k);
            }
        }
        RegDeleteTreeA(HKEY_CLASSES_ROOT, base.c_str());
        ids[t] = RegisterClipboardFormatA("VexoThreads:Shared");
    });
    EXPECT_EQ(RegOpenKeyCount(), keys);
    for (UINT id : ids)
        EXPECT_EQ(id, ids[0]);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "VexoThreads");
}

// The cached UTC offset is read and refreshed from many threads without a lock.
TEST(PlatformThreads, CachedOffsetReads) {
    int expected = CurrentUtcOffsetMinutes();
    std::atomic<int> mismatches{0};
    RunThreads(4, [&](int) {
        FILETIME utc{0, 0x01DA0000}, local;
        for (int i = 0; i < 50000; ++i) {
            FileTimeToLocalFileTime(&utc, &local);
            if (CurrentUtcOffsetMinutes() != expected)
                ++mismatches;
        }
    });
    // A zone change during the test could differ; the common case must agree.
    EXPECT_LT(mismatches, 1000);
}
