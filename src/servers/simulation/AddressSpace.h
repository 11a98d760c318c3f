//===- AddressSpace.h - the simulated address space -----------------------===//
//
// This file defines AddressSpace: the tree of branches and tags of one server
// object, the item-id index (a hash map, so that adding 100,000 items stays
// linear) and the syntax check of item ids. Guarded by the server's lock.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Tag.h"

namespace vexo::sim {

struct Branch {
    vexo::platform::WideString name;
    vexo::platform::WideString path; ///< full dotted path; empty for the root
    Branch *parent = nullptr;
    std::vector<std::unique_ptr<Branch>> children;
    std::vector<Tag *> leaves;

    Branch *Child(vexo::platform::WideStringView childName) const;
};

class AddressSpace {
  public:
    AddressSpace();
    AddressSpace(const AddressSpace &) = delete;
    AddressSpace &operator=(const AddressSpace &) = delete;

    /// S_OK, or OPC_E_INVALIDITEMID for an empty id, control or wildcard
    /// characters, or an empty segment ("A..B", ".A", "A.").
    static HRESULT CheckSyntax(vexo::platform::WideStringView itemId);
    /// The tag with this id (bench tags are created on first use), or nullptr.
    Tag *Find(vexo::platform::WideStringView itemId);
    /// The branch with this full dotted path ("" = root), or nullptr.
    Branch *FindBranch(vexo::platform::WideStringView path);
    Branch &Root() { return root_; }
    /// Every listed tag in creation order (the flat address space).
    const std::vector<Tag *> &AllTags() const { return listed_; }
    /// Ids of tags made on demand are not listed by browsing.
    static constexpr vexo::platform::WideStringView kBenchPrefix = OLESTR("Simulation.Bench.Tag");

  private:
    Tag &Add(vexo::platform::WideStringView branchPath, vexo::platform::WideStringView name,
             VARTYPE vt, Behaviour behaviour, DWORD rights);
    Branch &MakeBranch(vexo::platform::WideStringView path);
    Tag *MakeBenchTag(vexo::platform::WideStringView itemId);
    void Build();

    Branch root_;
    std::deque<Tag> tags_;
    std::vector<Tag *> listed_;
    std::vector<Tag *> bench_; ///< bench tags by number
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(vexo::platform::WideStringView s) const {
            return std::hash<vexo::platform::WideStringView>{}(s);
        }
    };
    std::unordered_map<vexo::platform::WideString, Tag *, Hash, std::equal_to<>> index_;
};

/// Simple wildcard match: '*' any run, '?' one character; empty pattern matches all.
bool WildcardMatch(vexo::platform::WideStringView pattern, vexo::platform::WideStringView text);

} // namespace vexo::sim
