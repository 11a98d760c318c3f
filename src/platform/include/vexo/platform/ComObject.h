//===- ComObject.h - reference-counted implementation of IUnknown --------===//
//
// This file defines ComObject<Interfaces...>, the base from which COM objects
// of this codebase (server objects, enumerators, client sinks) derive. It
// counts references atomically, answers QueryInterface for IUnknown and each
// listed interface, and deletes the object when the last reference goes.
//
//   class Enum final : public vexo::platform::ComObject<IEnumString> { ... };
//   ComPtr<IEnumString> e = vexo::platform::MakeCom<Enum>(args...);
//
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <new>
#include <type_traits>
#include <utility>

#include <vexo/platform/ComPtr.h>

namespace vexo::platform {

/// Implements IUnknown for the listed interfaces. Created with a count of 0;
/// MakeCom hands out the first reference. Thread-safe counting.
template <class First, class... Rest> class ComObject : public First, public Rest... {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid == IID_IUnknown) {
            *ppv = static_cast<IUnknown *>(static_cast<First *>(this));
        } else if (!FindInterface<First, Rest...>(riid, ppv)) {
            if (!QueryExtraInterface(riid, ppv))
                return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete this;
        return left;
    }

    /// This object as IUnknown (no AddRef).
    IUnknown *GetUnknown() { return static_cast<IUnknown *>(static_cast<First *>(this)); }

  protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    ComObject(const ComObject &) = delete;
    ComObject &operator=(const ComObject &) = delete;

    /// Hook for interfaces answered conditionally (for example a capability a
    /// server object offers only in one configuration). Set *ppv without AddRef.
    virtual bool QueryExtraInterface(REFIID, void **) { return false; }

  private:
    template <class I, class... Is> bool FindInterface(REFIID riid, void **ppv) {
        if (riid == IidOf<I>() && IsOffered(riid)) {
            *ppv = static_cast<I *>(this);
            return true;
        }
        if constexpr (sizeof...(Is) > 0)
            return FindInterface<Is...>(riid, ppv);
        else
            return false;
    }

  protected:
    /// Hook to withhold a listed interface (for example DA 1.0 only objects).
    virtual bool IsOffered(REFIID) { return true; }

  private:
    std::atomic<ULONG> refs_{0};
};

/// Creates a T and returns the first counted reference to it.
template <class T, class... Args> ComPtr<T> MakeCom(Args &&...args) {
    T *p = new T(std::forward<Args>(args)...);
    return ComPtr<T>(p);
}

} // namespace vexo::platform
