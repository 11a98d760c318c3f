//===- StreamingFixtures.h - small persistent classes for streaming tests -===//
//
// A root component with a sub-object, a collection of nodes, each node with
// its own sub-object and a nested collection of leaves: the shapes the
// configuration file uses, without any OPC knowledge.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <functional>
#include <string>

#include <vexo/framework/Streaming.h>

namespace vexo::test {

enum TLeafKind { lkNone, lkAnalog, lkDigital, lkText };
enum TAccessFlag : unsigned { afRead = 1, afWrite = 2 };

using TNotifyEvent = std::function<void(TObject *Sender)>;

class TTestSub : public TPersistent {
  public:
    std::string ClassName() const override { return "TTestSub"; }
    const PropertyTable *GetPropertyTable() const override;
    bool Flag = true; // declared default True
    int Rate = 1000;
    float Band = 0;
    std::string Path;
};

class TTestLeaf : public TCollectionItem {
  public:
    using TCollectionItem::TCollectionItem;
    std::string ClassName() const override { return "TTestLeaf"; }
    const PropertyTable *GetPropertyTable() const override;
    std::string Id;
    std::string Access;
    bool Active = true;
    TLeafKind Kind = lkNone;
    OleVariant Value; // read-only in the table
};

class TTestLeaves : public TCollection {
  public:
    TTestLeaves() : TCollection([](TCollection *C) { return new TTestLeaf(C); }) {}
    std::string ClassName() const override { return "TTestLeaves"; }
    TTestLeaf *Leaf(int I) const { return static_cast<TTestLeaf *>(GetItem(I)); }
};

class TTestNode : public TCollectionItem {
  public:
    using TCollectionItem::TCollectionItem;
    std::string ClassName() const override { return "TTestNode"; }
    const PropertyTable *GetPropertyTable() const override;
    const std::string &Name() const { return FName; }
    void SetName(const std::string &V) { FName = V; }
    int UpdateRate() const { return FUpdateRate; }
    void SetUpdateRate(int V) {
        if (V < 0)
            throw Exception("negative update rate");
        FUpdateRate = V;
    }
    double Ratio = 0;
    TTestSub Defaults;
    TTestLeaves Leaves;

  private:
    std::string FName;
    int FUpdateRate = 0;
};

class TTestNodes : public TCollection {
  public:
    TTestNodes() : TCollection([](TCollection *C) { return new TTestNode(C); }) {}
    std::string ClassName() const override { return "TTestNodes"; }
    TTestNode *Node(int I) const { return static_cast<TTestNode *>(GetItem(I)); }
};

class TTestRoot : public TComponent {
  public:
    using TComponent::TComponent;
    std::string ClassName() const override { return "TTestRoot"; }
    const PropertyTable *GetPropertyTable() const override;

    bool Batch = false;
    std::string Server;
    TTestNodes Nodes;
    TTestSub Sub;
    bool Active = false;
    std::string Version = "1.3";
    long long Big = 0;
    unsigned AccessSet = 0;
    TLeafKind Mode = lkNone;
    TComponent *Link = nullptr;
    std::string Computed = "computed"; // getter only: never written
    TNotifyEvent OnConnect;
    TNotifyEvent OnDisconnect;
    std::function<void(int)> OnCount;

    int LoadedCount = 0;
    bool LoadingSeenInLoaded = true;
    bool ActiveAtLoaded = false;
    int NodesAtLoaded = -1;

  protected:
    void Loaded() override {
        ++LoadedCount;
        LoadingSeenInLoaded = IsLoading();
        ActiveAtLoaded = Active;
        NodesAtLoaded = Nodes.Count();
    }
};

} // namespace vexo::test
