//===- BrowsePropertiesTest.cpp - address-space browsing and properties ---===//
#include "SimTestSupport.h"

namespace vexo::simtest {
namespace {

using Browsing = SimServerTest;

std::vector<std::string> Drain(IEnumString *e) {
    std::vector<std::string> out;
    LPOLESTR s = nullptr;
    ULONG n = 0;
    while (e && e->Next(1, &s, &n) == S_OK) {
        out.push_back(platform::WideToString(s));
        platform::CoTaskMemFree(s);
    }
    return out;
}

std::vector<std::string> List(IOPCBrowseServerAddressSpace *b, OPCBROWSETYPE type,
                              const WCHAR *filter = OLESTR(""), VARTYPE vt = VT_EMPTY,
                              DWORD rights = 0, HRESULT *result = nullptr) {
    ComPtr<IEnumString> e;
    const HRESULT hr = b->BrowseOPCItemIDs(type, filter, vt, rights, e.ReleaseAndGetAddressOf());
    if (result)
        *result = hr;
    return Drain(e.Get());
}

bool Has(const std::vector<std::string> &v, const std::string &s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

// Hierarchical browsing: branches, leaves, moves (with blanks) and item ids.
TEST_F(Browsing, HierarchicalBrowsing) {
    auto b = server.As<IOPCBrowseServerAddressSpace>();
    OPCNAMESPACETYPE org{};
    ASSERT_EQ(b->QueryOrganization(&org), S_OK);
    EXPECT_EQ(org, OPC_NS_HIERARCHIAL);
    EXPECT_EQ(b->ChangeBrowsePosition(OPC_BROWSE_UP, OLESTR("")), E_FAIL); // at the root
    EXPECT_EQ(List(b.Get(), OPC_BRANCH), (std::vector<std::string>{"Simulation"}));
    ASSERT_EQ(b->ChangeBrowsePosition(OPC_BROWSE_DOWN, OLESTR("Simulation")), S_OK);
    EXPECT_EQ(b->ChangeBrowsePosition(OPC_BROWSE_DOWN, OLESTR("Nowhere")), E_INVALIDARG);
    EXPECT_TRUE(Has(List(b.Get(), OPC_BRANCH), "Line 1"));
    EXPECT_EQ(List(b.Get(), OPC_BRANCH, OLESTR("R*")),
              (std::vector<std::string>{"Random", "Ramp", "ReadOnly"}));
    ASSERT_EQ(b->ChangeBrowsePosition(OPC_BROWSE_TO, OLESTR("Simulation.Line 1")), S_OK);
    const auto leaves = List(b.Get(), OPC_LEAF);
    EXPECT_TRUE(Has(leaves, "Level"));
    EXPECT_TRUE(Has(leaves, "Pump 1"));
    EXPECT_EQ(List(b.Get(), OPC_LEAF, OLESTR("Level?EU")), (std::vector<std::string>{"Level EU"}));
    LPWSTR id = nullptr;
    ASSERT_EQ(b->GetItemID(const_cast<LPWSTR>(OLESTR("Pump 1")), &id), S_OK);
    EXPECT_EQ(platform::WideToString(id), "Simulation.Line 1.Pump 1");
    platform::CoTaskMemFree(id);
    EXPECT_EQ(b->GetItemID(const_cast<LPWSTR>(OLESTR("Nothing")), &id), E_INVALIDARG);
    ASSERT_EQ(b->ChangeBrowsePosition(OPC_BROWSE_UP, OLESTR("")), S_OK);
    ASSERT_EQ(b->GetItemID(const_cast<LPWSTR>(OLESTR("")), &id), S_OK);
    EXPECT_EQ(platform::WideToString(id), "Simulation");
    platform::CoTaskMemFree(id);
    EXPECT_EQ(b->ChangeBrowsePosition(OPC_BROWSE_TO, OLESTR("Simulation.Nope")), E_INVALIDARG);
    ASSERT_EQ(b->ChangeBrowsePosition(OPC_BROWSE_TO, OLESTR("")), S_OK);
    HRESULT hr = S_OK;
    EXPECT_TRUE(List(b.Get(), OPC_LEAF, OLESTR(""), VT_EMPTY, 0, &hr).empty());
    EXPECT_EQ(hr, S_FALSE); // nothing to list at the root
}

// Flat listings honour the name pattern, the data type and the access rights.
TEST_F(Browsing, FlatListingsAndFilters) {
    auto b = server.As<IOPCBrowseServerAddressSpace>();
    const auto all = List(b.Get(), OPC_FLAT);
    EXPECT_TRUE(Has(all, "Simulation.Line 1.Level"));
    EXPECT_FALSE(Has(all, "Simulation.Bench.Tag1"));
    const auto writable = List(b.Get(), OPC_FLAT, OLESTR(""), VT_EMPTY, OPC_WRITEABLE);
    EXPECT_TRUE(Has(writable, "Simulation.WriteOnly.Int4"));
    EXPECT_FALSE(Has(writable, "Simulation.ReadOnly.Int4"));
    const auto readable = List(b.Get(), OPC_FLAT, OLESTR("*Only*"), VT_EMPTY, OPC_READABLE);
    EXPECT_EQ(readable, (std::vector<std::string>{"Simulation.ReadOnly.Int4",
                                                  "Simulation.ReadOnly.String"}));
    // Asking for both rights lists every item with either of them.
    const auto either = List(b.Get(), OPC_FLAT, OLESTR("*Only*"), VT_EMPTY, OPC_READABLE | OPC_WRITEABLE);
    EXPECT_EQ(either, (std::vector<std::string>{"Simulation.ReadOnly.Int4",
                                                "Simulation.ReadOnly.String",
                                                "Simulation.WriteOnly.Int4",
                                                "Simulation.WriteOnly.String"}));
    const auto arrays = List(b.Get(), OPC_FLAT, OLESTR("*"), VT_ARRAY | VT_R8);
    EXPECT_EQ(arrays, (std::vector<std::string>{"Simulation.Bucket.Real8Array",
                                                "Simulation.Arrays.Real8Array"}));
    HRESULT hr = S_OK;
    List(b.Get(), static_cast<OPCBROWSETYPE>(9), OLESTR(""), VT_EMPTY, 0, &hr);
    EXPECT_EQ(hr, E_INVALIDARG);
    // Access paths: known ones listed, an item without any answers S_FALSE.
    ComPtr<IEnumString> paths;
    ASSERT_EQ(b->BrowseAccessPaths(OLESTR("Simulation.Line 1.Level"), paths.ReleaseAndGetAddressOf()), S_OK);
    EXPECT_EQ(Drain(paths.Get()), (std::vector<std::string>{"Path A", "Path B"}));
    EXPECT_EQ(b->BrowseAccessPaths(OLESTR("Simulation.Random.Int4"), paths.ReleaseAndGetAddressOf()),
              S_FALSE);
    EXPECT_EQ(b->BrowseAccessPaths(OLESTR("Simulation.Nope"), paths.ReleaseAndGetAddressOf()),
              OPC_E_UNKNOWNITEMID);
}

// The DA 1.0 class is flat: no moves, no branches, every id as a leaf.
TEST_F(Browsing, Da10ClassIsFlat) {
    auto old = CreateServer(CLSID_VexoSimulationDA10);
    auto b = old.As<IOPCBrowseServerAddressSpace>();
    OPCNAMESPACETYPE org{};
    ASSERT_EQ(b->QueryOrganization(&org), S_OK);
    EXPECT_EQ(org, OPC_NS_FLAT);
    EXPECT_EQ(b->ChangeBrowsePosition(OPC_BROWSE_DOWN, OLESTR("Simulation")), E_FAIL);
    EXPECT_TRUE(List(b.Get(), OPC_BRANCH).empty());
    EXPECT_EQ(List(b.Get(), OPC_LEAF), List(server.As<IOPCBrowseServerAddressSpace>().Get(), OPC_FLAT));
}

// Properties: the list, values (one failing read), and item ids behind some.
TEST_F(Browsing, ItemProperties) {
    auto p = server.As<IOPCItemProperties>();
    DWORD count = 0;
    DWORD *ids = nullptr;
    LPWSTR *texts = nullptr;
    VARTYPE *types = nullptr;
    ASSERT_EQ(p->QueryAvailableProperties(const_cast<LPWSTR>(OLESTR("Simulation.Line 1.Level")), &count,
                                          &ids, &texts, &types),
              S_OK);
    ASSERT_EQ(count, 11u); // 1..8, 100, 101, 5001
    EXPECT_EQ(ids[0], 1u);
    EXPECT_EQ(types[0], VT_I2);
    EXPECT_EQ(ids[9], 101u);
    for (DWORD i = 0; i < count; ++i)
        platform::CoTaskMemFree(texts[i]);
    platform::CoTaskMemFree(ids);
    platform::CoTaskMemFree(texts);
    platform::CoTaskMemFree(types);
    EXPECT_EQ(p->QueryAvailableProperties(const_cast<LPWSTR>(OLESTR("Simulation.Nope")), &count, &ids,
                                          &texts, &types),
              OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(ids, nullptr);

    DWORD want[4] = {101, 5001, 8, 999};
    VARIANT *values = nullptr;
    HRESULT *errors = nullptr;
    ASSERT_EQ(p->GetItemProperties(const_cast<LPWSTR>(OLESTR("Simulation.Line 1.Level")), 4, want,
                                   &values, &errors),
              S_FALSE);
    EXPECT_EQ(Text(values[0]), "Tank level \"north\" sensor");
    EXPECT_EQ(errors[1], E_FAIL);
    EXPECT_EQ(values[1].vt, VT_EMPTY);
    EXPECT_EQ(errors[2], S_OK);
    EXPECT_EQ(values[2].vt, VT_ARRAY | VT_R8);
    EXPECT_EQ(errors[3], OPC_E_INVALID_PID);
    for (int i = 0; i < 4; ++i)
        platform::VariantClear(&values[i]);
    platform::CoTaskMemFree(values);
    platform::CoTaskMemFree(errors);
    EXPECT_EQ(p->GetItemProperties(const_cast<LPWSTR>(OLESTR("Simulation.Line 1.Level")), 0, want,
                                   &values, &errors),
              E_INVALIDARG);

    DWORD look[3] = {100, 1, 5001};
    LPWSTR *newIds = nullptr;
    ASSERT_EQ(p->LookupItemIDs(const_cast<LPWSTR>(OLESTR("Simulation.Line 1.Level")), 3, look, &newIds,
                               &errors),
              S_FALSE);
    EXPECT_EQ(platform::WideToString(newIds[0]), "Simulation.Line 1.Level EU");
    EXPECT_EQ(errors[1], OPC_E_INVALID_PID);
    EXPECT_EQ(newIds[1], nullptr);
    EXPECT_EQ(errors[2], E_FAIL);
    platform::CoTaskMemFree(newIds[0]);
    platform::CoTaskMemFree(newIds);
    platform::CoTaskMemFree(errors);
    // The looked-up id is a real item.
    auto g = AddGroup(OLESTR("G"));
    std::vector<OPCHANDLE> h;
    EXPECT_EQ(AddItems(g.Get(), {OLESTR("Simulation.Line 1.Level EU")}, h)[0], S_OK);
    EXPECT_EQ(ReadOne(g.Get(), h[0], OPC_DS_DEVICE, nullptr, nullptr), "m");
}

// Every scalar type of the table and the arrays can be read through the server.
TEST_F(Browsing, EveryTypeReads) {
    auto g = AddGroup(OLESTR("G"));
    const std::vector<vexo::platform::WideString> names = {OLESTR("Int1"), OLESTR("Int2"), OLESTR("Int4"), OLESTR("Int8"), OLESTR("UInt1"),
                                               OLESTR("UInt2"), OLESTR("UInt4"), OLESTR("UInt8"), OLESTR("Int"), OLESTR("UInt"),
                                               OLESTR("Real4"), OLESTR("Real8"), OLESTR("Money"), OLESTR("Time"), OLESTR("String"),
                                               OLESTR("Boolean"), OLESTR("Int4Array"), OLESTR("Real8Array"),
                                               OLESTR("StringArray")};
    const VARTYPE expected[] = {VT_I1, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI2, VT_UI4,
                                VT_UI8, VT_INT, VT_UINT, VT_R4, VT_R8, VT_CY, VT_DATE,
                                VT_BSTR, VT_BOOL, VT_ARRAY | VT_I4, VT_ARRAY | VT_R8,
                                VT_ARRAY | VT_BSTR};
    std::vector<vexo::platform::WideString> ids;
    for (const auto &n : names)
        ids.push_back((n.find(OLESTR("Array")) != vexo::platform::WideString::npos ? OLESTR("Simulation.Arrays.")
                                                                  : OLESTR("Simulation.Random.")) + n);
    std::vector<OPCHANDLE> h;
    const auto codes = AddItems(g.Get(), ids, h);
    auto sync = g.As<IOPCSyncIO>();
    OPCITEMSTATE *states = nullptr;
    HRESULT *errors = nullptr;
    ASSERT_EQ(sync->Read(OPC_DS_DEVICE, static_cast<DWORD>(h.size()), h.data(), &states, &errors),
              S_OK);
    for (std::size_t i = 0; i < h.size(); ++i) {
        EXPECT_EQ(codes[i], S_OK);
        EXPECT_EQ(states[i].vDataValue.vt, expected[i]) << platform::Utf16ToUtf8(ids[i]);
        EXPECT_NE(states[i].ftTimeStamp.dwHighDateTime, 0u);
        platform::VariantClear(&states[i].vDataValue);
    }
    platform::CoTaskMemFree(states);
    platform::CoTaskMemFree(errors);
}

} // namespace
} // namespace vexo::simtest
