//===- Registry.cpp - per-computer registry trees ------------------------===//
//
// This file implements the registry functions over the RegNode trees of the
// computers. An HKEY is a heap record holding a shared_ptr to its node, so a
// key deleted while open stays valid memory and answers ERROR_KEY_DELETED.
// Every open handle is tracked, which makes stale or foreign handles
// detectable (ERROR_INVALID_HANDLE) and leaks countable.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/Registry.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "Computers.h"

const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000000u));

namespace vexo::platform {
namespace {

using detail::RegNode;

struct OpenKey {
    std::shared_ptr<RegNode> node;
};

/// Live handles; guarded by RegistryMutex().
std::unordered_set<OpenKey *> &Handles() {
    static auto *h = new std::unordered_set<OpenKey *>;
    return *h;
}

std::shared_ptr<RegNode> LocalRoot() {
    static const std::shared_ptr<RegNode> root = detail::ClassesRootOf("");
    return root;
}

/// The node of an open or predefined key; nullptr for an invalid handle.
/// Caller holds RegistryMutex().
RegNode *NodeOf(HKEY h) {
    if (h == HKEY_CLASSES_ROOT)
        return LocalRoot().get();
    auto *k = reinterpret_cast<OpenKey *>(h);
    return Handles().count(k) ? k->node.get() : nullptr;
}

std::shared_ptr<RegNode> SharedNodeOf(HKEY h) {
    if (h == HKEY_CLASSES_ROOT)
        return LocalRoot();
    auto *k = reinterpret_cast<OpenKey *>(h);
    return Handles().count(k) ? k->node : nullptr;
}

HKEY NewHandle(std::shared_ptr<RegNode> node) {
    auto *k = new OpenKey{std::move(node)};
    Handles().insert(k);
    return reinterpret_cast<HKEY>(k);
}

std::vector<std::string_view> SplitPath(const char *path) {
    std::vector<std::string_view> parts;
    if (!path)
        return parts;
    std::string_view s(path);
    while (!s.empty()) {
        auto cut = s.find('\\');
        std::string_view part = s.substr(0, cut);
        if (!part.empty())
            parts.push_back(part);
        if (cut == std::string_view::npos)
            break;
        s.remove_prefix(cut + 1);
    }
    return parts;
}

/// The order in which subkeys enumerate: by name, ignoring case (letters
/// compare as upper case, so '_' sorts after 'Z').
bool NameBefore(std::string_view a, std::string_view b) {
    auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(up(a[i]));
        const auto y = static_cast<unsigned char>(up(b[i]));
        if (x != y)
            return x < y;
    }
    return a.size() < b.size();
}

/// Adds a subkey in its sorted place.
void InsertChild(RegNode &node, std::shared_ptr<RegNode> child) {
    auto at = std::lower_bound(node.children.begin(), node.children.end(), child->name,
                               [](const std::shared_ptr<RegNode> &c, const std::string &n) {
                                   return NameBefore(c->name, n);
                               });
    node.children.insert(at, std::move(child));
}

std::shared_ptr<RegNode> Child(const RegNode &node, std::string_view name) {
    for (auto &c : node.children)
        if (detail::EqualsNoCase(c->name, name))
            return c;
    return nullptr;
}

/// Walks (and with create, builds) path below start. Caller holds the lock.
LONG Walk(HKEY hKey, const char *path, bool create, std::shared_ptr<RegNode> &out) {
    std::shared_ptr<RegNode> node = SharedNodeOf(hKey);
    if (!node)
        return ERROR_INVALID_HANDLE;
    if (node->deleted)
        return ERROR_KEY_DELETED;
    for (std::string_view part : SplitPath(path)) {
        std::shared_ptr<RegNode> next = Child(*node, part);
        if (!next) {
            if (!create)
                return ERROR_FILE_NOT_FOUND;
            next = std::make_shared<RegNode>();
            next->name = std::string(part);
            InsertChild(*node, next);
        }
        node = std::move(next);
    }
    out = std::move(node);
    return ERROR_SUCCESS;
}

} // namespace

LONG RegConnectRegistryA(LPCSTR lpMachineName, HKEY hKey, PHKEY phkResult) {
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    if (hKey != HKEY_CLASSES_ROOT)
        return ERROR_INVALID_HANDLE;
    std::shared_ptr<RegNode> root = detail::ClassesRootOf(lpMachineName ? lpMachineName : "");
    if (!root)
        return ERROR_BAD_NETPATH;
    std::lock_guard lock(detail::RegistryMutex());
    *phkResult = NewHandle(std::move(root));
    return ERROR_SUCCESS;
}

LONG RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::lock_guard lock(detail::RegistryMutex());
    std::shared_ptr<RegNode> node;
    LONG rc = Walk(hKey, lpSubKey, false, node);
    if (rc != ERROR_SUCCESS)
        return rc;
    *phkResult = NewHandle(std::move(node));
    return ERROR_SUCCESS;
}

LONG RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
    if (!phkResult)
        return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::lock_guard lock(detail::RegistryMutex());
    std::shared_ptr<RegNode> node;
    LONG rc = Walk(hKey, lpSubKey, true, node);
    if (rc != ERROR_SUCCESS)
        return rc;
    *phkResult = NewHandle(std::move(node));
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
    if (hKey == HKEY_CLASSES_ROOT)
        return ERROR_SUCCESS;
    OpenKey *k = reinterpret_cast<OpenKey *>(hKey);
    std::shared_ptr<RegNode> dropped; // released after the lock
    {
        std::lock_guard lock(detail::RegistryMutex());
        if (!Handles().erase(k))
            return ERROR_INVALID_HANDLE;
        dropped = std::move(k->node);
    }
    delete k;
    return ERROR_SUCCESS;
}

namespace {

/// Deletes the subkey named by the last part of lpSubKey; with whole, also
/// everything below it, otherwise only a key without subkeys.
LONG DeleteKey(HKEY hKey, LPCSTR lpSubKey, bool whole) {
    auto parts = SplitPath(lpSubKey);
    if (parts.empty())
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(detail::RegistryMutex());
    RegNode *start = NodeOf(hKey);
    if (!start)
        return ERROR_INVALID_HANDLE;
    if (start->deleted)
        return ERROR_KEY_DELETED;
    RegNode *parent = start;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        auto next = Child(*parent, parts[i]);
        if (!next)
            return ERROR_FILE_NOT_FOUND;
        parent = next.get();
    }
    auto &kids = parent->children;
    for (auto it = kids.begin(); it != kids.end(); ++it) {
        if (detail::EqualsNoCase((*it)->name, parts.back())) {
            if (!whole && !(*it)->children.empty())
                return ERROR_ACCESS_DENIED;
            detail::MarkDeleted(**it);
            kids.erase(it);
            return ERROR_SUCCESS;
        }
    }
    return ERROR_FILE_NOT_FOUND;
}

} // namespace

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) { return DeleteKey(hKey, lpSubKey, false); }

LONG RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) { return DeleteKey(hKey, lpSubKey, true); }

LONG RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName) {
    if (!lpName)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(detail::RegistryMutex());
    RegNode *node = NodeOf(hKey);
    if (!node)
        return ERROR_INVALID_HANDLE;
    if (node->deleted)
        return ERROR_KEY_DELETED;
    if (dwIndex >= node->children.size())
        return ERROR_NO_MORE_ITEMS;
    const std::string &name = node->children[dwIndex]->name;
    if (name.size() + 1 > cchName)
        return ERROR_MORE_DATA;
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    return ERROR_SUCCESS;
}

LONG RegQueryValueA(HKEY hKey, LPCSTR lpSubKey, LPSTR lpData, LONG *lpcbData) {
    if (lpData && !lpcbData)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(detail::RegistryMutex());
    std::shared_ptr<RegNode> node;
    LONG rc = Walk(hKey, lpSubKey, false, node);
    if (rc != ERROR_SUCCESS)
        return rc;
    // A key whose value was never set has an empty default value.
    const std::string value = node->value.value_or(std::string());
    LONG needed = static_cast<LONG>(value.size() + 1);
    if (!lpData) {
        if (lpcbData)
            *lpcbData = needed;
        return ERROR_SUCCESS;
    }
    LONG room = *lpcbData;
    *lpcbData = needed;
    if (room < needed)
        return ERROR_MORE_DATA;
    std::memcpy(lpData, value.c_str(), value.size() + 1);
    return ERROR_SUCCESS;
}

LONG RegSetValueA(HKEY hKey, LPCSTR lpSubKey, DWORD dwType, LPCSTR lpData, DWORD /*cbData*/) {
    // The length is taken from the text itself, as the string form always does.
    if (dwType != REG_SZ || !lpData)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard lock(detail::RegistryMutex());
    std::shared_ptr<RegNode> node;
    LONG rc = Walk(hKey, lpSubKey, true, node);
    if (rc != ERROR_SUCCESS)
        return rc;
    node->value = std::string(lpData);
    return ERROR_SUCCESS;
}

long long RegOpenKeyCount() {
    std::lock_guard lock(detail::RegistryMutex());
    return static_cast<long long>(Handles().size());
}

} // namespace vexo::platform
