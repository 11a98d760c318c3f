//===- CollectionsTest.cpp - item IDs, indexes, clearing -----------------===//
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include <vexo/framework/Collections.h>
#include <vexo/framework/SysUtils.h>

using namespace vexo;

namespace {

struct TRecorder {
    std::vector<int> Freed;
    std::vector<int> IndexWhileFreed;
};

class TTestItem : public TCollectionItem {
  public:
    TTestItem(TCollection *C, TRecorder *R) : TCollectionItem(C), FRec(R) {}
    ~TTestItem() override {
        if (FRec) {
            FRec->Freed.push_back(ID());
            FRec->IndexWhileFreed.push_back(Index());
        }
        delete Partner; // an item that frees another item of the same collection
    }
    TRecorder *FRec;
    TCollectionItem *Partner = nullptr;
};

class TTestCollection : public TCollection {
  public:
    explicit TTestCollection(TRecorder *R = nullptr)
        : TCollection([R](TCollection *C) { return new TTestItem(C, R); }) {}
    void Update(TCollectionItem *) override { ++Updates; }
    int Updates = 0;
};

} // namespace

// IDs are 0, 1, 2 in creation order and never reused: after deleting the
// first of two items the next one gets ID 2.
TEST(Collections, IdRule) {
    TTestCollection c;
    auto *a = c.Add();
    auto *b = c.Add();
    EXPECT_EQ(a->ID(), 0);
    EXPECT_EQ(b->ID(), 1);
    c.Delete(0);
    auto *n = c.Add();
    EXPECT_EQ(n->ID(), 2);
    EXPECT_EQ(c.FindItemID(1), b);
    EXPECT_EQ(c.FindItemID(0), nullptr);
    EXPECT_EQ(c.FindItemID(2), n);
    c.Clear();
    EXPECT_EQ(c.Add()->ID(), 3);
    EXPECT_EQ(c.NextID(), 4);
}

// Index follows the position; SetIndex moves; bad indexes raise EListError.
TEST(Collections, IndexAndBadIndexes) {
    TTestCollection c;
    auto *a = c.Add();
    auto *b = c.Add();
    auto *d = c.Add();
    EXPECT_EQ(b->Index(), 1);
    d->SetIndex(0);
    EXPECT_EQ(c.GetItem(0), d);
    EXPECT_EQ(a->Index(), 1);
    EXPECT_EQ(a->Collection(), &c);
    EXPECT_EQ(a->GetOwner(), &c);
    EXPECT_THROW(c.GetItem(3), EListError);
    EXPECT_THROW(c.Delete(-1), EListError);
    EXPECT_THROW(d->SetIndex(5), EListError);
    try {
        c.GetItem(7);
    } catch (const EListError &e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (7)");
    }
}

// Clear frees last first; a derived destructor still runs inside the
// collection; an item freeing another one during Clear is safe.
TEST(Collections, ClearLastFirstAndReentrantDelete) {
    TRecorder rec;
    {
        TTestCollection c(&rec);
        for (int i = 0; i < 4; ++i)
            c.Add();
        static_cast<TTestItem *>(c.GetItem(3))->Partner = c.GetItem(0);
        c.Clear();
        EXPECT_EQ(c.Count(), 0);
    }
    EXPECT_EQ(rec.Freed, (std::vector<int>{3, 0, 2, 1}));
    EXPECT_EQ(rec.IndexWhileFreed, (std::vector<int>{3, 0, 1, 0}));
}

// Deleting an item object directly removes it from its collection; the
// collection's destructor frees whatever is left.
TEST(Collections, DeleteItemObjectAndDestructor) {
    TRecorder rec;
    {
        TTestCollection c(&rec);
        auto *a = c.Add();
        c.Add();
        delete a;
        EXPECT_EQ(c.Count(), 1);
        EXPECT_EQ(c.GetItem(0)->ID(), 1);
    }
    EXPECT_EQ(rec.Freed, (std::vector<int>{0, 1}));
}

// Update is called per change, and once for a whole batch inside BeginUpdate.
TEST(Collections, UpdateNotifications) {
    TTestCollection c;
    c.Add();
    EXPECT_EQ(c.Updates, 1);
    c.BeginUpdate();
    c.Add();
    c.Add();
    c.Clear();
    EXPECT_EQ(c.Updates, 1);
    c.EndUpdate();
    EXPECT_EQ(c.Updates, 2);
}

// 100,000 items are added and cleared in linear time.
TEST(Collections, LargeCollectionIsFast) {
    TTestCollection c;
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 100000; ++i)
        c.Add();
    c.Clear();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
}
