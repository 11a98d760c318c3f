//===- SimProcess.h - the simulated process behind a class's objects -----===//
//
// This file defines SimProcess: the life of the server process that stands
// behind every object of one simulation class on one computer. When the
// process goes away, each object made so far is gone for good: its calls
// fail with a lost-connection code and it calls back no more. While it is
// away no object can be created; once it is back new objects can.
// Lock-free; read on every call of an object.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <cstdint>

#include <vexo/platform/ComBase.h>

namespace vexo::sim {

class SimProcess {
  public:
    /// The current life; an object remembers the one it was created in.
    std::uint64_t Life() const { return life_.load(std::memory_order_acquire); }
    bool Offline() const { return offline_.load(std::memory_order_acquire); }
    /// S_OK while an object created in life is reachable, else the code its
    /// calls fail with.
    HRESULT LostCode(std::uint64_t life) const {
        if (Life() == life)
            return S_OK;
        return code_.load(std::memory_order_acquire);
    }
    /// Ends the current life: its objects fail every call with code from now on.
    void GoOffline(HRESULT code) {
        code_.store(code, std::memory_order_release);
        offline_.store(true, std::memory_order_release);
        life_.fetch_add(1, std::memory_order_acq_rel);
    }
    /// Lets new objects be created again (in the new life).
    void ComeBack() { offline_.store(false, std::memory_order_release); }

  private:
    std::atomic<bool> offline_{false};
    std::atomic<std::uint64_t> life_{1};
    std::atomic<HRESULT> code_{S_OK};
};

} // namespace vexo::sim
