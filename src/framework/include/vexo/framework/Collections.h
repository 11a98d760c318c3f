//===- Collections.h - TCollection and TCollectionItem -------------------===//
//
// A collection owns its items. Each item gets an ID when it joins: 0 for the
// first item, then increasing by one, never reused within the collection.
// Deleting an item removes it from its collection. Owner thread only.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <vexo/framework/Classes.h>

namespace vexo {

class TCollection;

class TCollectionItem : public TPersistent {
  public:
    /// Joins Collection (appended at the end, next ID assigned) when not null.
    explicit TCollectionItem(TCollection *Collection);
    /// Leaves the collection.
    ~TCollectionItem() override;
    TCollectionItem(const TCollectionItem &) = delete;
    TCollectionItem &operator=(const TCollectionItem &) = delete;

    std::string ClassName() const override { return "TCollectionItem"; }
    TPersistent *GetOwner() const override;

    TCollection *Collection() const { return FCollection; }
    int ID() const { return FID; }
    /// Position in the collection; -1 when in none.
    int Index() const;
    void SetIndex(int Value);
    /// The text shown for the item; the class name by default.
    virtual std::string GetDisplayName() const { return ClassName(); }

  private:
    friend class TCollection;
    TCollection *FCollection = nullptr;
    int FID = 0;
};

class TCollection : public TPersistent {
  public:
    using ItemFactory = std::function<TCollectionItem *(TCollection *)>;
    /// Factory creates one item of the collection's item class inside it.
    explicit TCollection(ItemFactory Factory);
    /// Frees every item.
    ~TCollection() override;
    TCollection(const TCollection &) = delete;
    TCollection &operator=(const TCollection &) = delete;

    std::string ClassName() const override { return "TCollection"; }

    /// Creates a new item at the end (through the factory) and returns it.
    TCollectionItem *Add();
    /// Frees every item, last first.
    void Clear();
    /// Frees the item at Index; EListError on a bad index.
    void Delete(int Index);
    int Count() const { return static_cast<int>(FItems.size()); }
    /// The item at Index; EListError on a bad index.
    TCollectionItem *GetItem(int Index) const;
    /// The item with this ID, or nullptr.
    TCollectionItem *FindItemID(int ID) const;
    int NextID() const { return FNextID; }
    int IndexOf(const TCollectionItem *Item) const;

    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }
    /// Change notification; Item is nullptr when the whole collection changed.
    virtual void Update(TCollectionItem *Item);

  protected:
    void Changed();

  private:
    friend class TCollectionItem;
    void InsertItem(TCollectionItem *Item);
    void RemoveItem(TCollectionItem *Item);

    ItemFactory FFactory;
    std::vector<TCollectionItem *> FItems;
    int FNextID = 0;
    int FUpdateCount = 0;
};

} // namespace vexo
