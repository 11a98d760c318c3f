//===- Classes.h - TObject, TPersistent and TComponent -------------------===//
//
// This file defines the component model: TObject (class name), TPersistent
// (owner query, published-property table for streaming) and TComponent
// (owner that frees what it owns, name, loading and designing state, Loaded,
// removal notification).
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <vector>

namespace vexo {

class PropertyTable; // published properties of a class, see Streaming.h

class TObject {
  public:
    virtual ~TObject() = default;
    /// The class name as the framework shows it ("TVexoGroup").
    virtual std::string ClassName() const { return "TObject"; }
};

class TPersistent : public TObject {
  public:
    std::string ClassName() const override { return "TPersistent"; }
    /// The object that owns this one in the streaming and naming sense.
    virtual TPersistent *GetOwner() const { return nullptr; }
    /// The published properties in declaration order (nullptr: none).
    virtual const PropertyTable *GetPropertyTable() const { return nullptr; }
};

enum class TOperation { opInsert, opRemove };

/// Component state flags.
enum TComponentStateFlag : unsigned {
    csLoading = 1u << 0,
    csReading = 1u << 1,
    csWriting = 1u << 2,
    csDestroying = 1u << 3,
    csDesigning = 1u << 4,
};

/// A named component. Created with new and an owner, which frees it, or held
/// by std::unique_ptr without one. Owner thread only; not copyable.
class TComponent : public TPersistent {
  public:
    explicit TComponent(TComponent *AOwner);
    /// Notifies the components registered with FreeNotification, frees every
    /// owned component (last first), then leaves its owner.
    ~TComponent() override;
    TComponent(const TComponent &) = delete;
    TComponent &operator=(const TComponent &) = delete;

    std::string ClassName() const override { return "TComponent"; }
    TPersistent *GetOwner() const override { return FOwner; }

    TComponent *Owner() const { return FOwner; }
    const std::string &Name() const { return FName; }
    void SetName(const std::string &Value) { FName = Value; }
    long Tag() const { return FTag; }
    void SetTag(long Value) { FTag = Value; }

    unsigned ComponentState() const { return FComponentState; }
    bool IsLoading() const { return (FComponentState & csLoading) != 0; }
    bool IsDesigning() const { return (FComponentState & csDesigning) != 0; }
    bool IsDestroying() const { return (FComponentState & csDestroying) != 0; }
    /// Puts this component and every owned one into (or out of) the design state.
    void SetDesigning(bool Value);
    /// Enters the loading state; the stream reader calls this before reading
    /// properties and EndLoading (which calls Loaded) afterwards.
    void BeginLoading();
    void EndLoading();
    /// Leaves the loading state without calling Loaded (a read that failed).
    void CancelLoading();

    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    TComponent *Components(int Index) const; ///< EListError on a bad index

    /// Asks to be told (Notification with opRemove) when AComponent is destroyed.
    void FreeNotification(TComponent *AComponent);
    void RemoveFreeNotification(TComponent *AComponent);

  protected:
    /// Called once after the component has been read from a stream.
    virtual void Loaded();
    /// Called when a component this one owns or watches is inserted or removed.
    virtual void Notification(TComponent *AComponent, TOperation Operation);

  private:
    void InsertComponent(TComponent *AComponent);
    void RemoveComponent(TComponent *AComponent);

    TComponent *FOwner = nullptr;
    std::string FName;
    long FTag = 0;
    unsigned FComponentState = 0;
    std::vector<TComponent *> FComponents;
    std::vector<TComponent *> FFreeNotifies;
};

} // namespace vexo
