//===- ItemValueLockTest.cpp - reading an item value leaves its lock free --===//
//
// Callback threads wait on an item's lock while they store; reading a value
// must not copy strings, arrays or interfaces while holding it. A probe object
// stored as the value checks, from inside the copy, that another thread can
// take the lock at that moment.
//
//===----------------------------------------------------------------------===//

#include <chrono>
#include <future>
#include <vector>

#include "client/ClientFixture.h"

#include <vexo/platform/ComObject.h>

namespace vexo::test {
namespace {

class ItemValueLockTest : public ClientFixture {};

/// An interface value whose AddRef (made by every copy of the value) asks
/// another thread to take the item's lock, and records whether it could.
class LockProbe final : public platform::ComObject<IEnumString> {
  public:
    TVexoItem *Item = nullptr;
    bool Armed = false;
    int Checks = 0;
    int Blocked = 0;
    /// Kept until the probe goes: a thread still waiting for the lock must
    /// not be joined while the lock is held.
    std::vector<std::future<std::int32_t>> Pending;

    ULONG STDMETHODCALLTYPE AddRef() override {
        if (Armed) {
            ++Checks;
            auto Other = std::async(std::launch::async, [this] { return Item->Quality(); });
            if (Other.wait_for(std::chrono::seconds(10)) != std::future_status::ready)
                ++Blocked;
            Pending.push_back(std::move(Other));
        }
        return ComObject::AddRef();
    }
    HRESULT STDMETHODCALLTYPE Next(ULONG, LPOLESTR *, ULONG *) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Reset() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumString **) override { return E_NOTIMPL; }
};

TEST_F(ItemValueLockTest, ValueAndSnapshotCopyOutsideTheItemLock) {
    // The deep copy of a value made for the reader runs with the item's lock free.
    TVexoServer *Server = NewServer();
    TVexoItem *Item = Server->OPCGroups()->Add("G")->OPCItems()->AddItem("Simulation.Bucket.Int4");
    auto Probe = platform::MakeCom<LockProbe>();
    Probe->Item = Item;
    VARIANT V;
    platform::VariantInit(&V);
    V.vt = VT_UNKNOWN;
    V.punkVal = static_cast<IEnumString *>(Probe.Get());
    Item->StoreValue(V, 0xC0, 1.0, S_OK);

    Probe->Armed = true;
    OleVariant Read = Item->Value();
    TVexoItemValue Snap = Item->Snapshot();
    Probe->Armed = false;
    EXPECT_EQ(Read.VarType(), VT_UNKNOWN);
    EXPECT_EQ(Snap.Value.VarType(), VT_UNKNOWN);
    EXPECT_GE(Probe->Checks, 2);
    EXPECT_EQ(Probe->Blocked, 0);
    Read.Clear();
    Snap.Value.Clear();
    Item->StoreValue(OleVariant(1).Var(), 0xC0, 1.0, S_OK); // lets go of the probe
    for (auto &P : Probe->Pending)
        P.wait();
}

} // namespace
} // namespace vexo::test
