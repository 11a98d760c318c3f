//===- CallLog.cpp - record of the calls a server object received ---------===//
#include "CallLog.h"

namespace vexo::sim {

void CallLog::Add(std::string line) {
    if (!Enabled())
        return;
    std::lock_guard lock(mu_);
    lines_.push_back(std::move(line));
}

void CallLog::Clear() {
    std::lock_guard lock(mu_);
    lines_.clear();
}

std::string CallLog::Text() const {
    std::lock_guard lock(mu_);
    std::string out;
    for (const auto &l : lines_) {
        if (!out.empty())
            out += '\n';
        out += l;
    }
    return out;
}

} // namespace vexo::sim
