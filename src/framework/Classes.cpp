//===- Classes.cpp - TComponent ownership, state and notifications -------===//
//
// This file implements TComponent: an owner keeps the components it owns and
// frees them last first; free notifications are kept in both components'
// lists so that whichever dies first removes itself from the other.
//
//===----------------------------------------------------------------------===//
#include <vexo/framework/Classes.h>

#include <algorithm>

#include <vexo/framework/SysUtils.h>

namespace vexo {
namespace {

/// Removes the last occurrence of C (the most recently added is the most
/// likely one to go first), keeping the order of the rest.
bool RemoveLast(std::vector<TComponent *> &List, TComponent *C) {
    auto it = std::find(List.rbegin(), List.rend(), C);
    if (it == List.rend())
        return false;
    List.erase(std::next(it).base());
    return true;
}

} // namespace

TComponent::TComponent(TComponent *AOwner) {
    if (AOwner) {
        if (AOwner->IsDesigning())
            FComponentState |= csDesigning;
        AOwner->InsertComponent(this);
    }
}

TComponent::~TComponent() {
    FComponentState |= csDestroying;
    // Everybody who watches this one (and everybody it watches) is told and
    // forgets it before anything else goes.
    while (!FFreeNotifies.empty()) {
        TComponent *other = FFreeNotifies.back();
        FFreeNotifies.pop_back();
        RemoveLast(other->FFreeNotifies, this);
        other->Notification(this, TOperation::opRemove);
    }
    // Owned components: last first, each taken out of the list before it is
    // freed, so its destructor finds no owner to leave.
    while (!FComponents.empty()) {
        TComponent *c = FComponents.back();
        FComponents.pop_back();
        c->FOwner = nullptr;
        delete c;
    }
    if (FOwner)
        FOwner->RemoveComponent(this);
}

void TComponent::SetDesigning(bool Value) {
    if (Value)
        FComponentState |= csDesigning;
    else
        FComponentState &= ~static_cast<unsigned>(csDesigning);
    for (TComponent *c : FComponents)
        c->SetDesigning(Value);
}

void TComponent::BeginLoading() { FComponentState |= csLoading | csReading; }

void TComponent::EndLoading() {
    FComponentState &= ~static_cast<unsigned>(csLoading | csReading);
    Loaded();
}

void TComponent::CancelLoading() {
    FComponentState &= ~static_cast<unsigned>(csLoading | csReading);
}

TComponent *TComponent::Components(int Index) const {
    if (Index < 0 || Index >= ComponentCount())
        throw EListError(Format("List index out of bounds (%d)", {Index}));
    return FComponents[static_cast<std::size_t>(Index)];
}

void TComponent::FreeNotification(TComponent *AComponent) {
    if (!AComponent || AComponent == this)
        return;
    if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
        FFreeNotifies.push_back(AComponent);
    auto &theirs = AComponent->FFreeNotifies;
    if (std::find(theirs.begin(), theirs.end(), this) == theirs.end())
        theirs.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent *AComponent) {
    if (!AComponent)
        return;
    RemoveLast(FFreeNotifies, AComponent);
    RemoveLast(AComponent->FFreeNotifies, this);
}

void TComponent::Loaded() {}

void TComponent::Notification(TComponent *AComponent, TOperation Operation) {
    if (Operation == TOperation::opRemove && AComponent)
        RemoveFreeNotification(AComponent);
}

void TComponent::InsertComponent(TComponent *AComponent) {
    FComponents.push_back(AComponent);
    AComponent->FOwner = this;
    Notification(AComponent, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent *AComponent) {
    if (RemoveLast(FComponents, AComponent)) {
        AComponent->FOwner = nullptr;
        Notification(AComponent, TOperation::opRemove);
    }
}

} // namespace vexo
