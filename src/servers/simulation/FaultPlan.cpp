//===- FaultPlan.cpp - failures a test asked a server object to produce ---===//
#include "FaultPlan.h"

#include <cstdlib>

namespace vexo::sim {

template <class Map, class T> void FaultPlan::Put(Map &map, std::string method, T value) {
    unsigned skip = 0;
    if (const auto hash = method.rfind('#'); hash != std::string::npos) {
        const unsigned long k = std::strtoul(method.c_str() + hash + 1, nullptr, 10);
        skip = k > 1 ? static_cast<unsigned>(k - 1) : 0;
        method.resize(hash);
    }
    std::lock_guard lock(mu_);
    auto [it, added] = map.insert_or_assign(std::move(method), typename Map::mapped_type{});
    it->second.value = std::move(value);
    it->second.skip = skip;
    if (added)
        pending_.fetch_add(1);
}

void FaultPlan::FailNext(std::string method, HRESULT hr) { Put(failures_, std::move(method), hr); }

void FaultPlan::ItemErrorsNext(std::string method, std::vector<HRESULT> errors) {
    Put(itemErrors_, std::move(method), std::move(errors));
}

template <class Map> auto FaultPlan::Take(Map &map, std::string_view method) {
    decltype(Map::mapped_type::value) result{};
    auto it = map.find(method);
    if (it == map.end()) {
        const auto dot = method.rfind('.');
        if (dot != std::string_view::npos)
            it = map.find(method.substr(dot + 1));
    }
    if (it == map.end())
        return result;
    if (it->second.skip > 0) {
        --it->second.skip;
        return result;
    }
    result = std::move(it->second.value);
    map.erase(it);
    pending_.fetch_sub(1);
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
