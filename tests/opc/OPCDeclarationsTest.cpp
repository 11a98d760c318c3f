//===- OPCDeclarationsTest.cpp - ABI checks of the OPC declarations -------===//
//
// Checks the record layouts, interface ids and v-table slots of OPCDA.h and
// OPCCOMN.h against the published values, so that a typo in a GUID byte or a
// swapped method shows up before any server is built on top of it.
//
//===----------------------------------------------------------------------===//
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include <vexo/OPCCOMN.h>
#include <vexo/OPCDA.h>

namespace {

// Registry text form, upper case, without braces; kept local so that this test
// needs nothing but the headers.
std::string Text(const GUID &g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1],
                  g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

// V-table slot of a virtual member function. Under the Itanium C++ ABI a
// pointer to a virtual member holds 1 + the byte offset of its slot.
template <class M> std::ptrdiff_t Slot(M member) {
    static_assert(sizeof(M) == 2 * sizeof(std::ptrdiff_t));
    std::ptrdiff_t raw[2];
    std::memcpy(raw, &member, sizeof raw);
    return (raw[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void *));
}

constexpr bool Is64 = sizeof(void *) == 8;

} // namespace

// Each record has the Windows size and field offsets of the build's pointer width.
TEST(OPCDeclarations, RecordLayoutsMatchWindows) {
    EXPECT_EQ(sizeof(OPCITEMSTATE), Is64 ? 40u : 32u);
    EXPECT_EQ(offsetof(OPCITEMSTATE, wReserved), 14u);
    EXPECT_EQ(offsetof(OPCITEMSTATE, vDataValue), 16u);

    EXPECT_EQ(sizeof(OPCITEMDEF), Is64 ? 48u : 28u);
    EXPECT_EQ(offsetof(OPCITEMDEF, dwBlobSize), Is64 ? 24u : 16u);
    EXPECT_EQ(offsetof(OPCITEMDEF, wReserved), Is64 ? 42u : 26u);

    EXPECT_EQ(sizeof(OPCITEMATTRIBUTES), Is64 ? 80u : 56u);
    EXPECT_EQ(offsetof(OPCITEMATTRIBUTES, dwAccessRights), Is64 ? 28u : 20u);
    EXPECT_EQ(offsetof(OPCITEMATTRIBUTES, vtRequestedDataType), Is64 ? 48u : 32u);
    EXPECT_EQ(offsetof(OPCITEMATTRIBUTES, vEUInfo), Is64 ? 56u : 40u);

    EXPECT_EQ(sizeof(OPCITEMRESULT), Is64 ? 24u : 20u);
    EXPECT_EQ(offsetof(OPCITEMRESULT, dwBlobSize), 12u);

    EXPECT_EQ(sizeof(OPCSERVERSTATUS), Is64 ? 56u : 48u);
    EXPECT_EQ(offsetof(OPCSERVERSTATUS, ftLastUpdateTime), 16u);
    EXPECT_EQ(offsetof(OPCSERVERSTATUS, dwBandWidth), 32u);
    EXPECT_EQ(offsetof(OPCSERVERSTATUS, szVendorInfo), Is64 ? 48u : 44u);

    EXPECT_EQ(sizeof(OPCITEMPROPERTY), Is64 ? 56u : 40u);
    EXPECT_EQ(offsetof(OPCITEMPROPERTY, dwReserved), Is64 ? 52u : 36u);
}

// The DA 1.0 stream headers are packed the same on every pointer width.
TEST(OPCDeclarations, StreamHeadersHaveFixedLayout) {
    EXPECT_EQ(sizeof(OPCGROUPHEADER), 20u);
    EXPECT_EQ(offsetof(OPCGROUPHEADER, dwTransactionID), 12u);
    EXPECT_EQ(sizeof(OPCITEMHEADER1), 20u);
    EXPECT_EQ(offsetof(OPCITEMHEADER1, wQuality), 8u);
    EXPECT_EQ(offsetof(OPCITEMHEADER1, ftTimeStampItem), 12u);
    EXPECT_EQ(sizeof(OPCITEMHEADER2), 12u);
    EXPECT_EQ(sizeof(OPCGROUPHEADERWRITE), 16u);
    EXPECT_EQ(offsetof(OPCGROUPHEADERWRITE, hClientGroup), 4u);
    EXPECT_EQ(sizeof(OPCITEMHEADERWRITE), 8u);
    EXPECT_STREQ(OPCSTMFORMATDATA_NAME, "OPCSTMFORMATDATA");
    EXPECT_STREQ(OPCSTMFORMATDATATIME_NAME, "OPCSTMFORMATDATATIME");
    EXPECT_STREQ(OPCSTMFORMATWRITECOMPLETE_NAME, "OPCSTMFORMATWRITECOMPLETE");
}

// Every interface id, class id and category id reads as its published text.
TEST(OPCDeclarations, GuidsMatchTheirTextForm) {
    EXPECT_EQ(Text(IID_IOPCServer), "39C13A4D-011E-11D0-9675-0020AFD8ADB3");
    EXPECT_EQ(Text(IID_IOPCServerPublicGroups), "39C13A4E-011E-11D0-9675-0020AFD8ADB3");
    EXPECT_EQ(Text(IID_IOPCBrowseServerAddressSpace), "39C13A4F-011E-11D0-9675-0020AFD8ADB3");
    EXPECT_EQ(Text(IID_IOPCGroupStateMgt), "39C13A50-011E-11D0-9675-0020AFD8ADB3");
    EXPECT_EQ(Text(IID_IOPCPublicGroupStateMgt), "39C13A51-011E-11D0-9675-0020AFD8ADB3");
    EXPECT_EQ(Text(IID_IOPCSyncIO), "39C13A52-011E-11D0-9675-0020AFD8ADB3");
    EXPECT_EQ(Text(IID_IOPCAsyncIO), "39C13A53-011E-11D0-9675-0020AFD8ADB3");
    EXPECT_EQ(Text(IID_IOPCItemMgt), "39C13A54-011E-11D0-9675-0020AFD8ADB3");
    EXPECT_EQ(Text(IID_IEnumOPCItemAttributes), "39C13A55-011E-11D0-9675-0020AFD8ADB3");
    EXPECT_EQ(Text(IID_IOPCDataCallback), "39C13A70-011E-11D0-9675-0020AFD8ADB3");
    EXPECT_EQ(Text(IID_IOPCAsyncIO2), "39C13A71-011E-11D0-9675-0020AFD8ADB3");
    EXPECT_EQ(Text(IID_IOPCItemProperties), "39C13A72-011E-11D0-9675-0020AFD8ADB3");

    EXPECT_EQ(Text(IID_IOPCItemDeadbandMgt), "5946DA93-8B39-4EC8-AB3D-AA73DF5BC86F");
    EXPECT_EQ(Text(IID_IOPCItemSamplingMgt), "3E22D313-F08B-41A5-86C8-95E95CB49FFC");
    EXPECT_EQ(Text(IID_IOPCBrowse), "39227004-A18F-4B57-8B0A-5235670F4468");
    EXPECT_EQ(Text(IID_IOPCItemIO), "85C0B427-2893-4CBC-BD78-E5FC5146F08F");
    EXPECT_EQ(Text(IID_IOPCSyncIO2), "730F5F0F-55B1-4C81-9E18-FF8A0904E1FA");
    EXPECT_EQ(Text(IID_IOPCAsyncIO3), "0967B97B-36EF-423E-B6F8-6BFF1E40D39D");
    EXPECT_EQ(Text(IID_IOPCGroupStateMgt2), "8E368666-D72E-4F78-87ED-647611C61C9F");

    EXPECT_EQ(Text(IID_IOPCShutdown), "F31DFDE1-07B6-11D2-B2D8-0060083BA1FB");
    EXPECT_EQ(Text(IID_IOPCCommon), "F31DFDE2-07B6-11D2-B2D8-0060083BA1FB");
    EXPECT_EQ(Text(IID_IOPCServerList), "13486D50-4821-11D2-A494-3CB306C10000");
    EXPECT_EQ(Text(IID_IOPCEnumGUID), "55C382C8-21C7-4E88-96C1-BECFB1E3F483");
    EXPECT_EQ(Text(IID_IOPCServerList2), "9DD0B56C-AD9E-43EE-8305-487F3188BF7A");
    EXPECT_EQ(Text(CLSID_OPCServerList), "13486D51-4821-11D2-A494-3CB306C10000");

    EXPECT_EQ(Text(CATID_OPCDAServer10), "63D5F430-CFE4-11D1-B2C8-0060083BA1FB");
    EXPECT_EQ(Text(CATID_OPCDAServer20), "63D5F432-CFE4-11D1-B2C8-0060083BA1FB");
    EXPECT_EQ(Text(CATID_OPCDAServer30), "CC603642-66D7-48F1-B69A-B625E73652D7");
    EXPECT_EQ(Text(CATID_XMLDAServer10), "3098EDA4-A006-48B2-A27F-247453959408");
    EXPECT_EQ(Text(CATID_OPCAEServer10), "58E13251-AC87-11D1-84D5-00608CB8A7E9");
}

// IidOf<T>() reaches each interface's own id, which ComPtr::As relies on.
TEST(OPCDeclarations, InterfacesAreBoundToTheirIids) {
    using vexo::platform::IidOf;
    EXPECT_EQ(IidOf<IOPCServer>(), IID_IOPCServer);
    EXPECT_EQ(IidOf<IOPCItemMgt>(), IID_IOPCItemMgt);
    EXPECT_EQ(IidOf<IOPCDataCallback>(), IID_IOPCDataCallback);
    EXPECT_EQ(IidOf<IOPCItemProperties>(), IID_IOPCItemProperties);
    EXPECT_EQ(IidOf<IEnumOPCItemAttributes>(), IID_IEnumOPCItemAttributes);
    EXPECT_EQ(IidOf<IOPCCommon>(), IID_IOPCCommon);
    EXPECT_EQ(IidOf<IOPCShutdown>(), IID_IOPCShutdown);
    EXPECT_EQ(IidOf<IOPCServerList>(), IID_IOPCServerList);
    EXPECT_EQ(IidOf<IOPCServerList2>(), IID_IOPCServerList2);
    EXPECT_EQ(IidOf<IOPCEnumGUID>(), IID_IOPCEnumGUID);
}

#if defined(__GNUC__) && !defined(_MSC_VER)
// Methods sit in their published v-table slots, right after IUnknown's three.
TEST(OPCDeclarations, MethodsOccupyPublishedSlots) {
    EXPECT_EQ(Slot(&IOPCServer::AddGroup), 3);
    EXPECT_EQ(Slot(&IOPCServer::GetStatus), 6);
    EXPECT_EQ(Slot(&IOPCServer::CreateGroupEnumerator), 8);
    EXPECT_EQ(Slot(&IOPCServerPublicGroups::RemovePublicGroup), 4);
    EXPECT_EQ(Slot(&IOPCBrowseServerAddressSpace::GetItemID), 6);
    EXPECT_EQ(Slot(&IOPCBrowseServerAddressSpace::BrowseAccessPaths), 7);
    EXPECT_EQ(Slot(&IOPCGroupStateMgt::SetState), 4);
    EXPECT_EQ(Slot(&IOPCGroupStateMgt::CloneGroup), 6);
    EXPECT_EQ(Slot(&IOPCPublicGroupStateMgt::MoveToPublic), 4);
    EXPECT_EQ(Slot(&IOPCSyncIO::Write), 4);
    EXPECT_EQ(Slot(&IOPCAsyncIO::Refresh), 5);
    EXPECT_EQ(Slot(&IOPCAsyncIO::Cancel), 6);
    EXPECT_EQ(Slot(&IOPCItemMgt::SetActiveState), 6);
    EXPECT_EQ(Slot(&IOPCItemMgt::SetDatatypes), 8);
    EXPECT_EQ(Slot(&IOPCItemMgt::CreateEnumerator), 9);
    EXPECT_EQ(Slot(&IEnumOPCItemAttributes::Clone), 6);
    EXPECT_EQ(Slot(&IOPCDataCallback::OnReadComplete), 4);
    EXPECT_EQ(Slot(&IOPCDataCallback::OnCancelComplete), 6);
    EXPECT_EQ(Slot(&IOPCAsyncIO2::Refresh2), 5);
    EXPECT_EQ(Slot(&IOPCAsyncIO2::GetEnable), 8);
    EXPECT_EQ(Slot(&IOPCItemProperties::LookupItemIDs), 5);
    EXPECT_EQ(Slot(&IOPCCommon::GetErrorString), 6);
    EXPECT_EQ(Slot(&IOPCCommon::SetClientName), 7);
    EXPECT_EQ(Slot(&IOPCShutdown::ShutdownRequest), 3);
    EXPECT_EQ(Slot(&IOPCServerList::CLSIDFromProgID), 5);
    EXPECT_EQ(Slot(&IOPCServerList2::GetClassDetails), 4);
    EXPECT_EQ(Slot(&IOPCEnumGUID::Clone), 6);
}
#endif

// Success codes read as successes and error codes as failures.
TEST(OPCDeclarations, ResultCodesHaveTheirSeverity) {
    for (HRESULT hr : {OPC_S_UNSUPPORTEDRATE, OPC_S_CLAMP, OPC_S_INUSE, OPC_S_DATAQUEUEOVERFLOW,
                       OPCCPX_S_FILTER_NO_DATA})
        EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
    for (HRESULT hr :
         {OPC_E_INVALIDHANDLE, OPC_E_BADTYPE, OPC_E_PUBLIC, OPC_E_BADRIGHTS, OPC_E_UNKNOWNITEMID,
          OPC_E_INVALIDITEMID, OPC_E_INVALIDFILTER, OPC_E_UNKNOWNPATH, OPC_E_RANGE,
          OPC_E_DUPLICATENAME, OPC_E_INVALIDCONFIGFILE, OPC_E_NOTFOUND, OPC_E_INVALID_PID})
        EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ(static_cast<std::uint32_t>(OPC_E_INVALID_PID), 0xC0040203u);
    EXPECT_EQ(static_cast<std::uint32_t>(OPC_S_INUSE), 0x0004000Fu);
}

// Every sub-status falls inside the quality group its name belongs to.
TEST(OPCDeclarations, QualitySubStatusesSitInTheirGroup) {
    for (WORD q : {OPC_QUALITY_CONFIG_ERROR, OPC_QUALITY_NOT_CONNECTED, OPC_QUALITY_DEVICE_FAILURE,
                   OPC_QUALITY_SENSOR_FAILURE, OPC_QUALITY_LAST_KNOWN, OPC_QUALITY_COMM_FAILURE,
                   OPC_QUALITY_OUT_OF_SERVICE, OPC_QUALITY_WAITING_FOR_INITIAL_DATA})
        EXPECT_EQ(q & OPC_QUALITY_MASK, OPC_QUALITY_BAD) << q;
    for (WORD q : {OPC_QUALITY_LAST_USABLE, OPC_QUALITY_SENSOR_CAL, OPC_QUALITY_EGU_EXCEEDED,
                   OPC_QUALITY_SUB_NORMAL})
        EXPECT_EQ(q & OPC_QUALITY_MASK, OPC_QUALITY_UNCERTAIN) << q;
    EXPECT_EQ(OPC_QUALITY_LOCAL_OVERRIDE & OPC_QUALITY_MASK, OPC_QUALITY_GOOD);
    EXPECT_EQ((OPC_QUALITY_GOOD | OPC_LIMIT_CONST) & OPC_STATUS_MASK, OPC_QUALITY_GOOD);
    EXPECT_EQ(OPC_STATUS_MASK | OPC_LIMIT_MASK, 0xFF);
}
