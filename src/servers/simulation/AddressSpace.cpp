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
    const WCHAR *name;
    VARTYPE vt;
};
constexpr TypeName kScalars[] = {
    {OLESTR("Int1"), VT_I1},    {OLESTR("Int2"), VT_I2},   {OLESTR("Int4"), VT_I4},     {OLESTR("Int8"), VT_I8},
    {OLESTR("UInt1"), VT_UI1},  {OLESTR("UInt2"), VT_UI2}, {OLESTR("UInt4"), VT_UI4},   {OLESTR("UInt8"), VT_UI8},
    {OLESTR("Int"), VT_INT},    {OLESTR("UInt"), VT_UINT}, {OLESTR("Real4"), VT_R4},    {OLESTR("Real8"), VT_R8},
    {OLESTR("Money"), VT_CY},   {OLESTR("Time"), VT_DATE}, {OLESTR("String"), VT_BSTR}, {OLESTR("Boolean"), VT_BOOL},
};

void SetText(Tag &tag, const WCHAR *text) {
    SimVar v;
    v.Get().vt = VT_BSTR;
    v.Get().bstrVal = platform::SysAllocString(text);
    tag.value = std::move(v);
}

} // namespace

Branch *Branch::Child(vexo::platform::WideStringView childName) const {
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

HRESULT AddressSpace::CheckSyntax(vexo::platform::WideStringView id) {
    if (id.empty() || id.front() == WCHAR('.') || id.back() == WCHAR('.'))
        return OPC_E_INVALIDITEMID;
    unsigned previous = 0;
    for (WCHAR c : id) {
        const unsigned cls = c < 128 ? kIdCharClass[c] : 0;
        if (cls == 1 || (cls & previous & 2))
            return OPC_E_INVALIDITEMID;
        previous = cls;
    }
    return S_OK;
}

Tag *AddressSpace::Find(vexo::platform::WideStringView itemId) {
    // Bench tags are looked up by number in a table: 100,000 of them would
    // make the hash map miss the cache on every look-up.
    if (itemId.substr(0, kBenchPrefix.size()) == kBenchPrefix)
        return MakeBenchTag(itemId);
    auto it = index_.find(itemId);
    return it != index_.end() ? it->second : nullptr;
}

Tag *AddressSpace::MakeBenchTag(vexo::platform::WideStringView itemId) {
    if (itemId.size() <= kBenchPrefix.size() || itemId.size() > kBenchPrefix.size() + 7 ||
        itemId.substr(0, kBenchPrefix.size()) != kBenchPrefix)
        return nullptr;
    const vexo::platform::WideStringView digits = itemId.substr(kBenchPrefix.size());
    for (WCHAR c : digits)
        if (c < WCHAR('0') || c > WCHAR('9'))
            return nullptr;
    if (digits.size() > 1 && digits.front() == WCHAR('0'))
        return nullptr; // one spelling per tag
    std::size_t n = 0;
    for (WCHAR c : digits)
        n = n * 10 + static_cast<std::size_t>(c - WCHAR('0'));
    if (n < bench_.size() && bench_[n])
        return bench_[n];
    if (n >= bench_.size())
        bench_.resize(std::max(n + 1, bench_.size() * 2), nullptr);
    Tag &tag = tags_.emplace_back(vexo::platform::WideString(itemId), vexo::platform::WideString(digits), VT_I4,
                                  Behaviour::Ramp, kReadWrite);
    tag.euLow = 0;
    tag.euHigh = 1000000;
    tag.periodMs = 1000000; // one step per millisecond: changes on every scan
    tag.value = MakeValue(VT_I4, 0);
    bench_[n] = &tag;
    return &tag;
}

Branch *AddressSpace::FindBranch(vexo::platform::WideStringView path) {
    Branch *b = &root_;
    while (!path.empty() && b) {
        const auto dot = path.find(WCHAR('.'));
        b = b->Child(path.substr(0, dot));
        path = dot == vexo::platform::WideStringView::npos ? vexo::platform::WideStringView{} : path.substr(dot + 1);
    }
    return b;
}

Branch &AddressSpace::MakeBranch(vexo::platform::WideStringView path) {
    Branch *b = &root_;
    while (!path.empty()) {
        const auto dot = path.find(WCHAR('.'));
        const vexo::platform::WideStringView name = path.substr(0, dot);
        Branch *child = b->Child(name);
        if (!child) {
            auto made = std::make_unique<Branch>();
            made->name = vexo::platform::WideString(name);
            made->path = b->path.empty() ? made->name : b->path + OLESTR(".") + made->name;
            made->parent = b;
            child = made.get();
            b->children.push_back(std::move(made));
        }
        b = child;
        path = dot == vexo::platform::WideStringView::npos ? vexo::platform::WideStringView{} : path.substr(dot + 1);
    }
    return *b;
}

Tag &AddressSpace::Add(vexo::platform::WideStringView branchPath, vexo::platform::WideStringView name, VARTYPE vt,
                       Behaviour behaviour, DWORD rights) {
    Branch &branch = MakeBranch(branchPath);
    vexo::platform::WideString id = branch.path + OLESTR(".") + vexo::platform::WideString(name);
    Tag &tag = tags_.emplace_back(std::move(id), vexo::platform::WideString(name), vt, behaviour, rights);
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
        Add(OLESTR("Simulation.Random"), t.name, t.vt, Behaviour::Random, kRead);
        Add(OLESTR("Simulation.Ramp"), t.name, t.vt, Behaviour::Ramp, kRead);
    }
    Add(OLESTR("Simulation.Sine"), OLESTR("Real4"), VT_R4, Behaviour::Sine, kRead);
    Add(OLESTR("Simulation.Sine"), OLESTR("Real8"), VT_R8, Behaviour::Sine, kRead);
    Add(OLESTR("Simulation.Sine"), OLESTR("Int4"), VT_I4, Behaviour::Sine, kRead);
    Add(OLESTR("Simulation.Square"), OLESTR("Boolean"), VT_BOOL, Behaviour::Square, kRead);
    Add(OLESTR("Simulation.Square"), OLESTR("Int4"), VT_I4, Behaviour::Square, kRead);
    Add(OLESTR("Simulation.Square"), OLESTR("Real8"), VT_R8, Behaviour::Square, kRead);

    Add(OLESTR("Simulation.Constant"), OLESTR("Int4"), VT_I4, Behaviour::Constant, kRead).value =
        MakeValue(VT_I4, 42);
    Add(OLESTR("Simulation.Constant"), OLESTR("Real8"), VT_R8, Behaviour::Constant, kRead).value =
        MakeValue(VT_R8, 3.25);
    Add(OLESTR("Simulation.Constant"), OLESTR("String"), VT_BSTR, Behaviour::Constant, kRead).value =
        MakeValue(VT_BSTR, 42);
    Add(OLESTR("Simulation.Constant"), OLESTR("Boolean"), VT_BOOL, Behaviour::Constant, kRead).value =
        MakeValue(VT_BOOL, 1);
    Add(OLESTR("Simulation.Constant"), OLESTR("Time"), VT_DATE, Behaviour::Constant, kRead).value =
        MakeValue(VT_DATE, 36526.5); // 2000-01-01 12:00
    Add(OLESTR("Simulation.Constant"), OLESTR("Money"), VT_CY, Behaviour::Constant, kRead).value =
        MakeValue(VT_CY, 12.3456);

    for (const auto &t : kScalars)
        Add(OLESTR("Simulation.Bucket"), t.name, t.vt, Behaviour::Bucket, kReadWrite);
    Add(OLESTR("Simulation.Bucket"), OLESTR("Int4Array"), VT_ARRAY | VT_I4, Behaviour::Bucket, kReadWrite);
    Add(OLESTR("Simulation.Bucket"), OLESTR("Real8Array"), VT_ARRAY | VT_R8, Behaviour::Bucket, kReadWrite);
    Add(OLESTR("Simulation.Bucket"), OLESTR("StringArray"), VT_ARRAY | VT_BSTR, Behaviour::Bucket,
        kReadWrite);
    Add(OLESTR("Simulation.Arrays"), OLESTR("Int4Array"), VT_ARRAY | VT_I4, Behaviour::Ramp, kRead);
    Add(OLESTR("Simulation.Arrays"), OLESTR("Real8Array"), VT_ARRAY | VT_R8, Behaviour::Ramp, kRead);
    Add(OLESTR("Simulation.Arrays"), OLESTR("StringArray"), VT_ARRAY | VT_BSTR, Behaviour::Ramp, kRead);

    Add(OLESTR("Simulation.ReadOnly"), OLESTR("Int4"), VT_I4, Behaviour::Ramp, kRead);
    SetText(Add(OLESTR("Simulation.ReadOnly"), OLESTR("String"), VT_BSTR, Behaviour::Constant, kRead),
            OLESTR("read only"));
    Add(OLESTR("Simulation.WriteOnly"), OLESTR("Int4"), VT_I4, Behaviour::Bucket, kWrite);
    Add(OLESTR("Simulation.WriteOnly"), OLESTR("String"), VT_BSTR, Behaviour::Bucket, kWrite);

    Add(OLESTR("Simulation.Quality"), OLESTR("Override"), VT_I4, Behaviour::Constant, kRead).quality =
        OPC_QUALITY_LOCAL_OVERRIDE;
    Add(OLESTR("Simulation.Quality"), OLESTR("Uncertain"), VT_R8, Behaviour::Constant, kRead).quality =
        OPC_QUALITY_EGU_EXCEEDED;
    Add(OLESTR("Simulation.Quality"), OLESTR("Bad"), VT_R8, Behaviour::Constant, kRead).quality =
        OPC_QUALITY_COMM_FAILURE;

    Tag &level = Add(OLESTR("Simulation.Line 1"), OLESTR("Level"), VT_R8, Behaviour::Sine, kRead);
    level.euType = OPC_ANALOG;
    level.units = OLESTR("m");
    level.description = OLESTR("Tank level \"north\" sensor");
    level.accessPaths = {OLESTR("Path A"), OLESTR("Path B")};
    level.extraProperties = {{100, OLESTR("Simulation.Line 1.Level EU"), S_OK},
                             {101, OLESTR("Simulation.Line 1.Level Description"), S_OK},
                             {5001, OLESTR(""), E_FAIL}};
    SetText(Add(OLESTR("Simulation.Line 1"), OLESTR("Level EU"), VT_BSTR, Behaviour::Constant, kRead), OLESTR("m"));
    SetText(Add(OLESTR("Simulation.Line 1"), OLESTR("Level Description"), VT_BSTR, Behaviour::Constant, kRead),
            level.description.c_str());

    Tag &setpoint = Add(OLESTR("Simulation.Line 1"), OLESTR("Setpoint"), VT_R8, Behaviour::Bucket, kReadWrite);
    setpoint.euType = OPC_ANALOG;
    setpoint.clampWrites = true;
    setpoint.units = OLESTR("m");
    setpoint.description = OLESTR("Level setpoint");
    Add(OLESTR("Simulation.Line 1"), OLESTR("Pump 1"), VT_BOOL, Behaviour::Bucket, kReadWrite);

    MakeBranch(OLESTR("Simulation.Bench")); // its tags are made on demand
}

bool WildcardMatch(vexo::platform::WideStringView p, vexo::platform::WideStringView t) {
    if (p.empty())
        return true;
    std::size_t pi = 0, ti = 0, star = vexo::platform::WideStringView::npos, mark = 0;
    while (ti < t.size()) {
        if (pi < p.size() && (p[pi] == WCHAR('?') || p[pi] == t[ti])) {
            ++pi;
            ++ti;
        } else if (pi < p.size() && p[pi] == WCHAR('*')) {
            star = pi++;
            mark = ti;
        } else if (star != vexo::platform::WideStringView::npos) {
            pi = star + 1;
            ti = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == WCHAR('*'))
        ++pi;
    return pi == p.size();
}

} // namespace vexo::sim
