//===- Computers.h - private computer table and registry nodes -----------===//
//
// This file declares what activation and the registry share: the registry
// key node (a shared_ptr tree, so an open handle keeps its node alive after a
// delete), the lock that guards every registry tree, and the lookup of a
// computer's class root by name.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vexo::platform::detail {

/// One registry key: its name, its default value (unset = empty) and its
/// subkeys sorted by name, ignoring case. Guarded by RegistryMutex().
struct RegNode {
    std::string name;
    std::optional<std::string> value;
    std::vector<std::shared_ptr<RegNode>> children;
    bool deleted = false;
};

/// Guards every registry tree of every computer.
std::mutex &RegistryMutex();

/// The class root of computer `name` ("" or a local alias = local); nullptr
/// for an unknown computer. Takes the computer table's lock only.
std::shared_ptr<RegNode> ClassesRootOf(std::string_view name);

/// Marks node and everything below it deleted; caller holds RegistryMutex().
void MarkDeleted(RegNode &node);

/// ASCII case-insensitive equality (names of keys, computers, formats).
inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y + 32);
        if (x != y)
            return false;
    }
    return true;
}
std::string LowerAscii(std::string_view s);

} // namespace vexo::platform::detail
