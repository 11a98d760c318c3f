//===- FaultPlan.cpp - failures a test asked a server object to produce ---===//
#include "FaultPlan.h"

namespace vexo::sim {

void FaultPlan::FailNext(std::string method, HRESULT hr) {
    std::lock_guard lock(mu_);
    failures_[std::move(method)] = hr;
    pending_.fetch_add(1);
}

void FaultPlan::ItemErrorsNext(std::string method, std::vector<HRESULT> errors) {
    std::lock_guard lock(mu_);
    itemErrors_[std::move(method)] = std::move(errors);
    pending_.fetch_add(1);
}

template <class Map> auto FaultPlan::Take(Map &map, std::string_view method) {
    typename Map::mapped_type result{};
    auto it = map.find(method);
    if (it == map.end()) {
        const auto dot = method.rfind('.');
        if (dot != std::string_view::npos)
            it = map.find(method.substr(dot + 1));
    }
    if (it != map.end()) {
        result = std::move(it->second);
        map.erase(it);
        pending_.fetch_sub(1);
    }
    return result;
}

HRESULT FaultPlan::TakeFailure(std::string_view method) {
    if (pending_.load(std::memory_order_acquire) == 0)
        return S_OK;
    std::lock_guard lock(mu_);
    return Take(failures_, method);
}

std::vector<HRESULT> FaultPlan::TakeItemErrors(std::string_view method) {
    if (pending_.load(std::memory_order_acquire) == 0)
        return {};
    std::lock_guard lock(mu_);
    return Take(itemErrors_, method);
}

} // namespace vexo::sim
