//===- Collections.cpp - TCollection and TCollectionItem -----------------===//
//
// This file implements collections. Items join in their constructor and leave
// in the base destructor, so a derived item's destructor still runs inside its
// collection. Removal searches from the back, which makes clearing (last
// first) linear overall.
//
//===----------------------------------------------------------------------===//
#include <vexo/framework/Collections.h>

#include <algorithm>

#include <vexo/framework/SysUtils.h>

namespace vexo {
namespace {

[[noreturn]] void BadIndex(int Index) {
    throw EListError(Format("List index out of bounds (%d)", {Index}));
}

} // namespace

// --- TCollectionItem --------------------------------------------------------

TCollectionItem::TCollectionItem(TCollection *Collection) {
    if (Collection)
        Collection->InsertItem(this);
}

TCollectionItem::~TCollectionItem() {
    if (FCollection)
        FCollection->RemoveItem(this);
}

TPersistent *TCollectionItem::GetOwner() const { return FCollection; }

int TCollectionItem::Index() const { return FCollection ? FCollection->IndexOf(this) : -1; }

void TCollectionItem::SetIndex(int Value) {
    if (!FCollection)
        return;
    auto &items = FCollection->FItems;
    const int current = Index();
    if (Value < 0 || Value >= static_cast<int>(items.size()))
        BadIndex(Value);
    if (Value == current)
        return;
    items.erase(items.begin() + current);
    items.insert(items.begin() + Value, this);
    FCollection->Changed();
}

// --- TCollection ------------------------------------------------------------

TCollection::TCollection(ItemFactory Factory) : FFactory(std::move(Factory)) {}

TCollection::~TCollection() {
    // No change notifications while going: Update is no longer the derived one.
    ++FUpdateCount;
    while (!FItems.empty())
        delete FItems.back();
}

TCollectionItem *TCollection::Add() {
    if (!FFactory)
        throw EInvalidOperation("Collection " + ClassName() + " has no item class");
    return FFactory(this);
}

void TCollection::Clear() {
    if (FItems.empty())
        return;
    BeginUpdate();
    try {
        // Each item removes itself from the back in its destructor; an item
        // that frees another one on the way is simply gone from the list.
        while (!FItems.empty())
            delete FItems.back();
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

void TCollection::Delete(int Index) {
    if (Index < 0 || Index >= Count())
        BadIndex(Index);
    delete FItems[static_cast<std::size_t>(Index)];
}

TCollectionItem *TCollection::GetItem(int Index) const {
    if (Index < 0 || Index >= Count())
        BadIndex(Index);
    return FItems[static_cast<std::size_t>(Index)];
}

TCollectionItem *TCollection::FindItemID(int ID) const {
    for (TCollectionItem *item : FItems)
        if (item->FID == ID)
            return item;
    return nullptr;
}

int TCollection::IndexOf(const TCollectionItem *Item) const {
    for (std::size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i] == Item)
            return static_cast<int>(i);
    return -1;
}

void TCollection::EndUpdate() {
    if (FUpdateCount > 0 && --FUpdateCount == 0)
        Changed();
}

void TCollection::Update(TCollectionItem *) {}

void TCollection::Changed() {
    if (FUpdateCount == 0)
        Update(nullptr);
}

void TCollection::InsertItem(TCollectionItem *Item) {
    FItems.push_back(Item);
    Item->FCollection = this;
    Item->FID = FNextID++;
    Changed();
}

void TCollection::RemoveItem(TCollectionItem *Item) {
    auto it = std::find(FItems.rbegin(), FItems.rend(), Item);
    if (it == FItems.rend())
        return;
    FItems.erase(std::next(it).base());
    Item->FCollection = nullptr;
    Changed();
}

} // namespace vexo
