//===- ComPtr.h - counted COM interface reference ------------------------===//
//
// This file defines ComPtr<T>, the owning smart pointer for COM interfaces.
// A ComPtr holds one counted reference; clearing it (Reset, assignment of
// nullptr, destruction) releases that reference.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <utility>

#include <vexo/platform/ComBase.h>

namespace vexo::platform {

/// Owns one counted reference to a COM interface of type T.
/// Not thread-safe as an object; the reference counting it drives is.
template <class T> class ComPtr {
  public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    /// Takes a new reference to p (AddRef).
    explicit ComPtr(T *p) noexcept : ptr_(p) {
        if (ptr_)
            ptr_->AddRef();
    }
    ComPtr(const ComPtr &o) noexcept : ComPtr(o.ptr_) {}
    ComPtr(ComPtr &&o) noexcept : ptr_(std::exchange(o.ptr_, nullptr)) {}
    ~ComPtr() { Reset(); }

    ComPtr &operator=(const ComPtr &o) noexcept {
        ComPtr(o).Swap(*this);
        return *this;
    }
    ComPtr &operator=(ComPtr &&o) noexcept {
        ComPtr(std::move(o)).Swap(*this);
        return *this;
    }
    ComPtr &operator=(std::nullptr_t) noexcept {
        Reset();
        return *this;
    }

    /// Adopts a reference the caller already owns (no AddRef).
    static ComPtr Attach(T *p) noexcept {
        ComPtr r;
        r.ptr_ = p;
        return r;
    }
    /// Gives up the reference without releasing it.
    T *Detach() noexcept { return std::exchange(ptr_, nullptr); }

    void Reset() noexcept {
        if (T *p = std::exchange(ptr_, nullptr))
            p->Release();
    }
    void Swap(ComPtr &o) noexcept { std::swap(ptr_, o.ptr_); }

    T *Get() const noexcept { return ptr_; }
    T *operator->() const noexcept { return ptr_; }
    T &operator*() const noexcept { return *ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }

    /// Address for an out-parameter; releases the current reference first.
    T **ReleaseAndGetAddressOf() noexcept {
        Reset();
        return &ptr_;
    }
    /// Address for an out-parameter that must be empty.
    T **GetAddressOf() noexcept { return &ptr_; }
    /// Out-parameter typed void** for QueryInterface-style calls; releases first.
    void **PutVoid() noexcept { return reinterpret_cast<void **>(ReleaseAndGetAddressOf()); }

    /// Queries for interface U; returns an empty pointer when refused.
    template <class U> ComPtr<U> As() const noexcept {
        ComPtr<U> r;
        if (ptr_)
            ptr_->QueryInterface(IidOf<U>(), r.PutVoid());
        return r;
    }
    /// Queries for interface U into out; returns the QueryInterface result.
    template <class U> HRESULT As(ComPtr<U> &out) const noexcept {
        if (!ptr_) {
            out.Reset();
            return E_POINTER;
        }
        return ptr_->QueryInterface(IidOf<U>(), out.PutVoid());
    }

    friend bool operator==(const ComPtr &a, const ComPtr &b) { return a.ptr_ == b.ptr_; }
    friend bool operator==(const ComPtr &a, std::nullptr_t) { return a.ptr_ == nullptr; }

  private:
    T *ptr_ = nullptr;
};

} // namespace vexo::platform
