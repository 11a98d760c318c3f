//===- UIServices.h - replaceable user-interface services ----------------===//
//
// The few user-interface services the core needs: a plain message box, the
// system beep, a busy cursor and processing of pending UI messages. The
// defaults write the message to stderr and do nothing else; tests install
// capturing versions and the Qt layer installs real ones.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <functional>
#include <string>

namespace vexo {

struct TUIServices {
    std::function<void(const std::string &Text)> ShowMessage;
    std::function<void()> Beep;
    std::function<void(bool Busy)> SetBusyCursor;
    std::function<void()> ProcessPendingMessages;
};

/// Replaces the services (empty members fall back to the defaults); returns
/// the previous set. Owner thread only.
TUIServices SetUIServices(TUIServices Services);
const TUIServices &UIServices();

void ShowMessage(const std::string &Text);
void Beep(); ///< thread-safe: callbacks may beep
/// Shows the busy cursor for its lifetime.
class TBusyCursor {
  public:
    TBusyCursor();
    ~TBusyCursor();
    TBusyCursor(const TBusyCursor &) = delete;
    TBusyCursor &operator=(const TBusyCursor &) = delete;
};

} // namespace vexo
