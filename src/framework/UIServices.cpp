//===- UIServices.cpp - default and replaceable UI services --------------===//
//
// This file implements the UI services. The defaults suit a process without
// a user interface: messages go to stderr, everything else does nothing.
//
//===----------------------------------------------------------------------===//
#include <vexo/framework/UIServices.h>

#include <cstdio>
#include <mutex>

namespace vexo {
namespace {

TUIServices Defaults() {
    TUIServices s;
    s.ShowMessage = [](const std::string &Text) {
        std::fprintf(stderr, "%s\n", Text.c_str());
        std::fflush(stderr);
    };
    s.Beep = [] {};
    s.SetBusyCursor = [](bool) {};
    s.ProcessPendingMessages = [] {};
    return s;
}

struct State {
    std::mutex Lock; // Beep may come from any thread while the owner replaces the set
    TUIServices Current = Defaults();
    int BusyCount = 0;
};

State &TheState() {
    static State s;
    return s;
}

} // namespace

TUIServices SetUIServices(TUIServices Services) {
    TUIServices d = Defaults();
    if (!Services.ShowMessage)
        Services.ShowMessage = std::move(d.ShowMessage);
    if (!Services.Beep)
        Services.Beep = std::move(d.Beep);
    if (!Services.SetBusyCursor)
        Services.SetBusyCursor = std::move(d.SetBusyCursor);
    if (!Services.ProcessPendingMessages)
        Services.ProcessPendingMessages = std::move(d.ProcessPendingMessages);
    State &s = TheState();
    std::lock_guard lock(s.Lock);
    std::swap(s.Current, Services);
    return Services;
}

const TUIServices &UIServices() { return TheState().Current; }

void ShowMessage(const std::string &Text) { UIServices().ShowMessage(Text); }

void Beep() {
    std::function<void()> beep;
    {
        State &s = TheState();
        std::lock_guard lock(s.Lock);
        beep = s.Current.Beep;
    }
    beep();
}

TBusyCursor::TBusyCursor() {
    if (TheState().BusyCount++ == 0)
        UIServices().SetBusyCursor(true);
}

TBusyCursor::~TBusyCursor() {
    if (--TheState().BusyCount == 0)
        UIServices().SetBusyCursor(false);
}

} // namespace vexo
