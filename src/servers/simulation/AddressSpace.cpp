//===- AddressSpace.cpp - building and searching the address space --------===//
//
// Builds the fixed tree described in VexoSimulation.h and answers look-ups by
// item id through a hash map. Bench tags ("Simulation.Bench.Tag<n>") are
// made when first asked for, so that a benchmark can add any number of
// distinct items without the server holding them all from the start.
//
//===----------------------------------------------------------------------===//
#include "AddressSpace.h"

#include <array>

#include <algorithm>

#include <vexo/platform/Time.h>

namespace vexo::sim {
namespace {

constexpr DWORD kRead = OPC_READABLE;
constexpr DWORD kWrite = OPC_WRITEABLE;
constexpr DWORD kReadWrite = OPC_READABLE | OPC_WRITEABLE;

struct TypeName {
    const char16_t *name;
    VARTYPE vt;
};
constexpr TypeName kScalars[] = {
    {u"Int1", VT_I1},    {u"Int2", VT_I2},   {u"Int4", VT_I4},     {u"Int8", VT_I8},
    {u"UInt1", VT_UI1},  {u"UInt2", VT_UI2}, {u"UInt4", VT_UI4},   {u"UInt8", VT_UI8},
    {u"Int", VT_INT},    {u"UInt", VT_UINT}, {u"Real4", VT_R4},    {u"Real8", VT_R8},
    {u"Money", VT_CY},   {u"Time", VT_DATE}, {u"String", VT_BSTR}, {u"Boolean", VT_BOOL},
};

void SetText(Tag &tag, const char16_t *text) {
    SimVar v;
    v.Get().vt = VT_BSTR;
    v.Get().bstrVal = platform::SysAllocString(text);
    tag.value = std::move(v);
}

} // namespace

Branch *Branch::Child(std::u16string_view childName) const {
    for (const auto &c : children)
        if (c->name == childName)
            return c.get();
    return nullptr;
}

AddressSpace::AddressSpace() { Build(); }

namespace {

/// For each ASCII character: 1 when an item id may not hold it, 2 for the
/// dot (two in a row are refused), 0 otherwise.
constexpr auto kIdCharClass = [] {
    std::array<unsigned char, 128> c{};
    for (int i = 0; i < 0x20; ++i)
        c[i] = 1;
    for (char bad : {'\x7F', '*', '?', '"', '\\', '|'})
        c[static_cast<unsigned char>(bad)] = 1;
    c['.'] = 2;
    return c;
}();

} // namespace

HRESULT AddressSpace::CheckSyntax(std::u16string_view id) {
    if (id.empty() || id.front() == u'.' || id.back() == u'.')
        return OPC_E_INVALIDITEMID;
    unsigned previous = 0;
    for (char16_t c : id) {
        const unsigned cls = c < 128 ? kIdCharClass[c] : 0;
        if (cls == 1 || (cls & previous & 2))
            return OPC_E_INVALIDITEMID;
        previous = cls;
    }
    return S_OK;
}

Tag *AddressSpace::Find(std::u16string_view itemId) {
    // Bench tags are looked up by number in a table: 100,000 of them would
    // make the hash map miss the cache on every look-up.
    if (itemId.substr(0, kBenchPrefix.size()) == kBenchPrefix)
        return MakeBenchTag(itemId);
    auto it = index_.find(itemId);
    return it != index_.end() ? it->second : nullptr;
}

Tag *AddressSpace::MakeBenchTag(std::u16string_view itemId) {
    if (itemId.size() <= kBenchPrefix.size() || itemId.size() > kBenchPrefix.size() + 7 ||
        itemId.substr(0, kBenchPrefix.size()) != kBenchPrefix)
        return nullptr;
    const std::u16string_view digits = itemId.substr(kBenchPrefix.size());
    for (char16_t c : digits)
        if (c < u'0' || c > u'9')
            return nullptr;
    if (digits.size() > 1 && digits.front() == u'0')
        return nullptr; // one spelling per tag
    std::size_t n = 0;
    for (char16_t c : digits)
        n = n * 10 + static_cast<std::size_t>(c - u'0');
    if (n < bench_.size() && bench_[n])
        return bench_[n];
    if (n >= bench_.size())
        bench_.resize(std::max(n + 1, bench_.size() * 2), nullptr);
    Tag &tag = tags_.emplace_back(std::u16string(itemId), std::u16string(digits), VT_I4,
                                  Behaviour::Ramp, kReadWrite);
    tag.euLow = 0;
    tag.euHigh = 1000000;
    tag.periodMs = 1000000; // one step per millisecond: changes on every scan
    tag.value = MakeValue(VT_I4, 0);
    bench_[n] = &tag;
    return &tag;
}

Branch *AddressSpace::FindBranch(std::u16string_view path) {
    Branch *b = &root_;
    while (!path.empty() && b) {
        const auto dot = path.find(u'.');
        b = b->Child(path.substr(0, dot));
        path = dot == std::u16string_view::npos ? std::u16string_view{} : path.substr(dot + 1);
    }
    return b;
}

Branch &AddressSpace::MakeBranch(std::u16string_view path) {
    Branch *b = &root_;
    while (!path.empty()) {
        const auto dot = path.find(u'.');
        const std::u16string_view name = path.substr(0, dot);
        Branch *child = b->Child(name);
        if (!child) {
            auto made = std::make_unique<Branch>();
            made->name = std::u16string(name);
            made->path = b->path.empty() ? made->name : b->path + u"." + made->name;
            made->parent = b;
            child = made.get();
            b->children.push_back(std::move(made));
        }
        b = child;
        path = dot == std::u16string_view::npos ? std::u16string_view{} : path.substr(dot + 1);
    }
    return *b;
}

Tag &AddressSpace::Add(std::u16string_view branchPath, std::u16string_view name, VARTYPE vt,
                       Behaviour behaviour, DWORD rights) {
    Branch &branch = MakeBranch(branchPath);
    std::u16string id = branch.path + u"." + std::u16string(name);
    Tag &tag = tags_.emplace_back(std::move(id), std::u16string(name), vt, behaviour, rights);
    if (vt == VT_I1 || vt == VT_UI1)
        tag.euHigh = 100;
    if (vt == VT_BOOL)
        tag.euHigh = 1;
    tag.value = MakeValue(vt, behaviour == Behaviour::Constant ? 0 : tag.euLow);
    platform::GetSystemTimeAsFileTime(&tag.stamp);
    branch.leaves.push_back(&tag);
    listed_.push_back(&tag);
    index_.emplace(tag.itemId, &tag);
    return tag;
}

void AddressSpace::Build() {
    for (const auto &t : kScalars) {
        Add(u"Simulation.Random", t.name, t.vt, Behaviour::Random, kRead);
        Add(u"Simulation.Ramp", t.name, t.vt, Behaviour::Ramp, kRead);
    }
    Add(u"Simulation.Sine", u"Real4", VT_R4, Behaviour::Sine, kRead);
    Add(u"Simulation.Sine", u"Real8", VT_R8, Behaviour::Sine, kRead);
    Add(u"Simulation.Sine", u"Int4", VT_I4, Behaviour::Sine, kRead);
    Add(u"Simulation.Square", u"Boolean", VT_BOOL, Behaviour::Square, kRead);
    Add(u"Simulation.Square", u"Int4", VT_I4, Behaviour::Square, kRead);
    Add(u"Simulation.Square", u"Real8", VT_R8, Behaviour::Square, kRead);

    Add(u"Simulation.Constant", u"Int4", VT_I4, Behaviour::Constant, kRead).value =
        MakeValue(VT_I4, 42);
    Add(u"Simulation.Constant", u"Real8", VT_R8, Behaviour::Constant, kRead).value =
        MakeValue(VT_R8, 3.25);
    Add(u"Simulation.Constant", u"String", VT_BSTR, Behaviour::Constant, kRead).value =
        MakeValue(VT_BSTR, 42);
    Add(u"Simulation.Constant", u"Boolean", VT_BOOL, Behaviour::Constant, kRead).value =
        MakeValue(VT_BOOL, 1);
    Add(u"Simulation.Constant", u"Time", VT_DATE, Behaviour::Constant, kRead).value =
        MakeValue(VT_DATE, 36526.5); // 2000-01-01 12:00
    Add(u"Simulation.Constant", u"Money", VT_CY, Behaviour::Constant, kRead).value =
        MakeValue(VT_CY, 12.3456);

    for (const auto &t : kScalars)
        Add(u"Simulation.Bucket", t.name, t.vt, Behaviour::Bucket, kReadWrite);
    Add(u"Simulation.Bucket", u"Int4Array", VT_ARRAY | VT_I4, Behaviour::Bucket, kReadWrite);
    Add(u"Simulation.Bucket", u"Real8Array", VT_ARRAY | VT_R8, Behaviour::Bucket, kReadWrite);
    Add(u"Simulation.Bucket", u"StringArray", VT_ARRAY | VT_BSTR, Behaviour::Bucket,
        kReadWrite);
    Add(u"Simulation.Arrays", u"Int4Array", VT_ARRAY | VT_I4, Behaviour::Ramp, kRead);
    Add(u"Simulation.Arrays", u"Real8Array", VT_ARRAY | VT_R8, Behaviour::Ramp, kRead);
    Add(u"Simulation.Arrays", u"StringArray", VT_ARRAY | VT_BSTR, Behaviour::Ramp, kRead);

    Add(u"Simulation.ReadOnly", u"Int4", VT_I4, Behaviour::Ramp, kRead);
    SetText(Add(u"Simulation.ReadOnly", u"String", VT_BSTR, Behaviour::Constant, kRead),
            u"read only");
    Add(u"Simulation.WriteOnly", u"Int4", VT_I4, Behaviour::Bucket, kWrite);
    Add(u"Simulation.WriteOnly", u"String", VT_BSTR, Behaviour::Bucket, kWrite);

    Add(u"Simulation.Quality", u"Override", VT_I4, Behaviour::Constant, kRead).quality =
        OPC_QUALITY_LOCAL_OVERRIDE;
    Add(u"Simulation.Quality", u"Uncertain", VT_R8, Behaviour::Constant, kRead).quality =
        OPC_QUALITY_EGU_EXCEEDED;
    Add(u"Simulation.Quality", u"Bad", VT_R8, Behaviour::Constant, kRead).quality =
        OPC_QUALITY_COMM_FAILURE;

    Tag &level = Add(u"Simulation.Line 1", u"Level", VT_R8, Behaviour::Sine, kRead);
    level.euType = OPC_ANALOG;
    level.units = u"m";
    level.description = u"Tank level \"north\" sensor";
    level.accessPaths = {u"Path A", u"Path B"};
    level.extraProperties = {{100, u"Simulation.Line 1.Level EU", S_OK},
                             {101, u"Simulation.Line 1.Level Description", S_OK},
                             {5001, u"", E_FAIL}};
    SetText(Add(u"Simulation.Line 1", u"Level EU", VT_BSTR, Behaviour::Constant, kRead), u"m");
    SetText(Add(u"Simulation.Line 1", u"Level Description", VT_BSTR, Behaviour::Constant, kRead),
            level.description.c_str());

    Tag &setpoint = Add(u"Simulation.Line 1", u"Setpoint", VT_R8, Behaviour::Bucket, kReadWrite);
    setpoint.euType = OPC_ANALOG;
    setpoint.clampWrites = true;
    setpoint.units = u"m";
    setpoint.description = u"Level setpoint";
    Add(u"Simulation.Line 1", u"Pump 1", VT_BOOL, Behaviour::Bucket, kReadWrite);

    MakeBranch(u"Simulation.Bench"); // its tags are made on demand
}

bool WildcardMatch(std::u16string_view p, std::u16string_view t) {
    if (p.empty())
        return true;
    std::size_t pi = 0, ti = 0, star = std::u16string_view::npos, mark = 0;
    while (ti < t.size()) {
        if (pi < p.size() && (p[pi] == u'?' || p[pi] == t[ti])) {
            ++pi;
            ++ti;
        } else if (pi < p.size() && p[pi] == u'*') {
            star = pi++;
            mark = ti;
        } else if (star != std::u16string_view::npos) {
            pi = star + 1;
            ti = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*')
        ++pi;
    return pi == p.size();
}

} // namespace vexo::sim
