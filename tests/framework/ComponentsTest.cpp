//===- ComponentsTest.cpp - ownership, notifications, component state ----===//
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <vexo/framework/Classes.h>
#include <vexo/framework/SysUtils.h>

using namespace vexo;

namespace {

std::vector<std::string> Log;

class TProbe : public TComponent {
  public:
    TProbe(TComponent *AOwner, std::string Tag) : TComponent(AOwner), FTagName(std::move(Tag)) {}
    ~TProbe() override { Log.push_back("free " + FTagName); }
    void Notification(TComponent *AComponent, TOperation Operation) override {
        TComponent::Notification(AComponent, Operation);
        if (Operation == TOperation::opRemove) {
            // The dying component is only a TComponent by now: name it by role.
            Log.push_back(FTagName + " told " + (AComponent == Watched ? "watched" : "other") +
                          " goes");
            if (AComponent == Watched)
                Watched = nullptr;
        }
    }
    void Loaded() override { ++LoadedCount; }
    void Watch(TProbe *Other) {
        Watched = Other;
        Other->FreeNotification(this);
    }
    std::string FTagName;
    TComponent *Watched = nullptr;
    int LoadedCount = 0;
};

} // namespace

// The owner frees what it owns, last first, and children leave the owner's list.
TEST(Components, OwnerFreesOwnedLastFirst) {
    Log.clear();
    auto *root = new TProbe(nullptr, "root");
    new TProbe(root, "a");
    auto *b = new TProbe(root, "b");
    new TProbe(b, "b1");
    new TProbe(root, "c");
    EXPECT_EQ(root->ComponentCount(), 3);
    EXPECT_EQ(root->Components(1), b);
    EXPECT_EQ(b->Owner(), root);
    EXPECT_THROW(root->Components(3), EListError);
    delete root;
    EXPECT_EQ(Log, (std::vector<std::string>{"free root", "free c", "free b", "free b1", "free a"}));
}

// A component freed on its own leaves its owner's list.
TEST(Components, FreedChildLeavesOwner) {
    TComponent root(nullptr);
    auto *a = new TComponent(&root);
    auto *b = new TComponent(&root);
    delete a;
    ASSERT_EQ(root.ComponentCount(), 1);
    EXPECT_EQ(root.Components(0), b);
}

// FreeNotification: the watcher hears of the watched one's end, and when the
// watcher goes first the watched one forgets it (no call into freed memory).
TEST(Components, FreeNotificationBothDirections) {
    Log.clear();
    auto *watched = new TProbe(nullptr, "watched");
    auto *watcher = new TProbe(nullptr, "watcher");
    watcher->Watch(watched);
    delete watched;
    EXPECT_EQ(watcher->Watched, nullptr);
    EXPECT_NE(std::find(Log.begin(), Log.end(), "watcher told watched goes"), Log.end());
    delete watcher;

    // Watcher first: freeing the watched one afterwards must not reach it.
    auto *w2 = new TProbe(nullptr, "w2");
    auto *watcher2 = new TProbe(nullptr, "watcher2");
    watcher2->Watch(w2);
    delete watcher2;
    Log.clear();
    delete w2; // ASan would flag a call into watcher2 here
    EXPECT_EQ(Log, (std::vector<std::string>{"free w2"}));

    // RemoveFreeNotification stops the notification.
    auto *w3 = new TProbe(nullptr, "w3");
    auto *watcher3 = new TProbe(nullptr, "watcher3");
    watcher3->Watch(w3);
    watcher3->RemoveFreeNotification(w3);
    Log.clear();
    delete w3;
    EXPECT_EQ(Log, (std::vector<std::string>{"free w3"}));
    delete watcher3;
}

// The designing state reaches owned components, also ones created later.
TEST(Components, DesigningPropagates) {
    TComponent root(nullptr);
    auto *a = new TComponent(&root);
    auto *a1 = new TComponent(a);
    root.SetDesigning(true);
    EXPECT_TRUE(a->IsDesigning());
    EXPECT_TRUE(a1->IsDesigning());
    auto *late = new TComponent(&root);
    EXPECT_TRUE(late->IsDesigning());
    root.SetDesigning(false);
    EXPECT_FALSE(a1->IsDesigning());
}

// EndLoading clears the loading state before Loaded runs, once per load.
TEST(Components, EndLoadingCallsLoadedAfterClearing) {
    class TCheck : public TComponent {
      public:
        using TComponent::TComponent;
        void Loaded() override {
            LoadingDuringLoaded = IsLoading();
            ++Count;
        }
        bool LoadingDuringLoaded = true;
        int Count = 0;
    } c(nullptr);
    c.BeginLoading();
    EXPECT_TRUE(c.IsLoading());
    c.EndLoading();
    EXPECT_FALSE(c.IsLoading());
    EXPECT_FALSE(c.LoadingDuringLoaded);
    EXPECT_EQ(c.Count, 1);
}
