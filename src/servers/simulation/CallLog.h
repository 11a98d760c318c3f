//===- CallLog.h - record of the calls a server object received -----------===//
//
// This file defines CallLog, the thread-safe list of "Method args" lines that
// tests read through IVexoSimControl::GetCallLog. Callers test Enabled()
// before building a line so that a disabled log costs one atomic load.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace vexo::sim {

class CallLog {
  public:
    bool Enabled() const { return enabled_.load(std::memory_order_relaxed); }
    void SetEnabled(bool on) { enabled_.store(on, std::memory_order_relaxed); }
    /// Appends one line (ignored while disabled). Thread-safe.
    void Add(std::string line);
    void Clear();
    /// All lines joined by '\n'.
    std::string Text() const;

  private:
    std::atomic<bool> enabled_{true};
    mutable std::mutex mu_;
    std::vector<std::string> lines_;
};

} // namespace vexo::sim
