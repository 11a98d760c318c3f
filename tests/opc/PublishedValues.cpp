//===- PublishedValues.cpp - every published OPC value and record layout ---===//
//
// Compile-time checks of the OPC declarations against the published values:
// result codes, qualities and limits, property ids, enumerations, access
// bits, the COM base sizes and every field of every record. The offsets are
// those of 32-bit and 64-bit Windows; the pointer width of the compiler picks
// the column, so this file is compiled once for the test build (64-bit) and
// once for a 32-bit Windows target (the OPCLayout32 test). It needs nothing
// but the declaration headers.
//
//===----------------------------------------------------------------------===//
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include <vexo/OPCCOMN.h>
#include <vexo/OPCDA.h>

namespace {

constexpr bool Is64 = sizeof(void *) == 8;
static_assert(sizeof(void *) == 4 || Is64);
constexpr std::size_t On(std::size_t Bits64, std::size_t Bits32) { return Is64 ? Bits64 : Bits32; }
constexpr std::uint32_t Bits(HRESULT Code) { return static_cast<std::uint32_t>(Code); }

// --- COM base types ------------------------------------------------------------
static_assert(sizeof(BYTE) == 1 && sizeof(WORD) == 2 && sizeof(VARTYPE) == 2);
static_assert(sizeof(DWORD) == 4 && sizeof(ULONG) == 4 && sizeof(LCID) == 4);
static_assert(sizeof(LONG) == 4 && sizeof(HRESULT) == 4 && sizeof(BOOL) == 4);
static_assert(sizeof(FLOAT) == 4 && sizeof(OPCHANDLE) == 4 && sizeof(GUID) == 16);
static_assert(std::is_signed_v<LONG> && std::is_signed_v<HRESULT> && std::is_signed_v<BOOL>);
static_assert(std::is_unsigned_v<DWORD> && std::is_unsigned_v<WORD> && std::is_unsigned_v<OPCHANDLE>);
static_assert(sizeof(FILETIME) == 8 && alignof(FILETIME) == 4);
static_assert(offsetof(FILETIME, dwHighDateTime) == 4);
static_assert(sizeof(VARIANT) == On(24, 16) && alignof(VARIANT) == 8);
static_assert(sizeof(STGMEDIUM) == On(24, 12));
static_assert(offsetof(STGMEDIUM, hGlobal) == On(8, 4));
static_assert(offsetof(STGMEDIUM, pUnkForRelease) == On(16, 8));
static_assert(TYMED_HGLOBAL == 1 && DVASPECT_CONTENT == 1);

// --- Records: size and every field's offset --------------------------------------

static_assert(sizeof(OPCITEMSTATE) == On(40, 32));
static_assert(offsetof(OPCITEMSTATE, hClient) == On(0, 0));
static_assert(offsetof(OPCITEMSTATE, ftTimeStamp) == On(4, 4));
static_assert(offsetof(OPCITEMSTATE, wQuality) == On(12, 12));
static_assert(offsetof(OPCITEMSTATE, wReserved) == On(14, 14));
static_assert(offsetof(OPCITEMSTATE, vDataValue) == On(16, 16));

static_assert(sizeof(OPCITEMDEF) == On(48, 28));
static_assert(offsetof(OPCITEMDEF, szAccessPath) == On(0, 0));
static_assert(offsetof(OPCITEMDEF, szItemID) == On(8, 4));
static_assert(offsetof(OPCITEMDEF, bActive) == On(16, 8));
static_assert(offsetof(OPCITEMDEF, hClient) == On(20, 12));
static_assert(offsetof(OPCITEMDEF, dwBlobSize) == On(24, 16));
static_assert(offsetof(OPCITEMDEF, pBlob) == On(32, 20));
static_assert(offsetof(OPCITEMDEF, vtRequestedDataType) == On(40, 24));
static_assert(offsetof(OPCITEMDEF, wReserved) == On(42, 26));

static_assert(sizeof(OPCITEMATTRIBUTES) == On(80, 56));
static_assert(offsetof(OPCITEMATTRIBUTES, szAccessPath) == On(0, 0));
static_assert(offsetof(OPCITEMATTRIBUTES, szItemID) == On(8, 4));
static_assert(offsetof(OPCITEMATTRIBUTES, bActive) == On(16, 8));
static_assert(offsetof(OPCITEMATTRIBUTES, hClient) == On(20, 12));
static_assert(offsetof(OPCITEMATTRIBUTES, hServer) == On(24, 16));
static_assert(offsetof(OPCITEMATTRIBUTES, dwAccessRights) == On(28, 20));
static_assert(offsetof(OPCITEMATTRIBUTES, dwBlobSize) == On(32, 24));
static_assert(offsetof(OPCITEMATTRIBUTES, pBlob) == On(40, 28));
static_assert(offsetof(OPCITEMATTRIBUTES, vtRequestedDataType) == On(48, 32));
static_assert(offsetof(OPCITEMATTRIBUTES, vtCanonicalDataType) == On(50, 34));
static_assert(offsetof(OPCITEMATTRIBUTES, dwEUType) == On(52, 36));
static_assert(offsetof(OPCITEMATTRIBUTES, vEUInfo) == On(56, 40));

static_assert(sizeof(OPCITEMRESULT) == On(24, 20));
static_assert(offsetof(OPCITEMRESULT, hServer) == On(0, 0));
static_assert(offsetof(OPCITEMRESULT, vtCanonicalDataType) == On(4, 4));
static_assert(offsetof(OPCITEMRESULT, wReserved) == On(6, 6));
static_assert(offsetof(OPCITEMRESULT, dwAccessRights) == On(8, 8));
static_assert(offsetof(OPCITEMRESULT, dwBlobSize) == On(12, 12));
static_assert(offsetof(OPCITEMRESULT, pBlob) == On(16, 16));

static_assert(sizeof(OPCSERVERSTATUS) == On(56, 48));
static_assert(offsetof(OPCSERVERSTATUS, ftStartTime) == On(0, 0));
static_assert(offsetof(OPCSERVERSTATUS, ftCurrentTime) == On(8, 8));
static_assert(offsetof(OPCSERVERSTATUS, ftLastUpdateTime) == On(16, 16));
static_assert(offsetof(OPCSERVERSTATUS, dwServerState) == On(24, 24));
static_assert(offsetof(OPCSERVERSTATUS, dwGroupCount) == On(28, 28));
static_assert(offsetof(OPCSERVERSTATUS, dwBandWidth) == On(32, 32));
static_assert(offsetof(OPCSERVERSTATUS, wMajorVersion) == On(36, 36));
static_assert(offsetof(OPCSERVERSTATUS, wMinorVersion) == On(38, 38));
static_assert(offsetof(OPCSERVERSTATUS, wBuildNumber) == On(40, 40));
static_assert(offsetof(OPCSERVERSTATUS, wReserved) == On(42, 42));
static_assert(offsetof(OPCSERVERSTATUS, szVendorInfo) == On(48, 44));

static_assert(sizeof(OPCGROUPHEADER) == On(20, 20));
static_assert(offsetof(OPCGROUPHEADER, dwSize) == On(0, 0));
static_assert(offsetof(OPCGROUPHEADER, dwItemCount) == On(4, 4));
static_assert(offsetof(OPCGROUPHEADER, hClientGroup) == On(8, 8));
static_assert(offsetof(OPCGROUPHEADER, dwTransactionID) == On(12, 12));
static_assert(offsetof(OPCGROUPHEADER, hrStatus) == On(16, 16));

static_assert(sizeof(OPCITEMHEADER1) == On(20, 20));
static_assert(offsetof(OPCITEMHEADER1, hClient) == On(0, 0));
static_assert(offsetof(OPCITEMHEADER1, dwValueOffset) == On(4, 4));
static_assert(offsetof(OPCITEMHEADER1, wQuality) == On(8, 8));
static_assert(offsetof(OPCITEMHEADER1, wReserved) == On(10, 10));
static_assert(offsetof(OPCITEMHEADER1, ftTimeStampItem) == On(12, 12));

static_assert(sizeof(OPCITEMHEADER2) == On(12, 12));
static_assert(offsetof(OPCITEMHEADER2, hClient) == On(0, 0));
static_assert(offsetof(OPCITEMHEADER2, dwValueOffset) == On(4, 4));
static_assert(offsetof(OPCITEMHEADER2, wQuality) == On(8, 8));
static_assert(offsetof(OPCITEMHEADER2, wReserved) == On(10, 10));

static_assert(sizeof(OPCGROUPHEADERWRITE) == On(16, 16));
static_assert(offsetof(OPCGROUPHEADERWRITE, dwItemCount) == On(0, 0));
static_assert(offsetof(OPCGROUPHEADERWRITE, hClientGroup) == On(4, 4));
static_assert(offsetof(OPCGROUPHEADERWRITE, dwTransactionID) == On(8, 8));
static_assert(offsetof(OPCGROUPHEADERWRITE, hrStatus) == On(12, 12));

static_assert(sizeof(OPCITEMHEADERWRITE) == On(8, 8));
static_assert(offsetof(OPCITEMHEADERWRITE, hClient) == On(0, 0));
static_assert(offsetof(OPCITEMHEADERWRITE, dwError) == On(4, 4));

static_assert(sizeof(OPCITEMPROPERTY) == On(56, 40));
static_assert(offsetof(OPCITEMPROPERTY, vtDataType) == On(0, 0));
static_assert(offsetof(OPCITEMPROPERTY, wReserved) == On(2, 2));
static_assert(offsetof(OPCITEMPROPERTY, dwPropertyID) == On(4, 4));
static_assert(offsetof(OPCITEMPROPERTY, szItemID) == On(8, 8));
static_assert(offsetof(OPCITEMPROPERTY, szDescription) == On(16, 12));
static_assert(offsetof(OPCITEMPROPERTY, vValue) == On(24, 16));
static_assert(offsetof(OPCITEMPROPERTY, hrErrorID) == On(48, 32));
static_assert(offsetof(OPCITEMPROPERTY, dwReserved) == On(52, 36));

static_assert(sizeof(FORMATETC) == On(32, 20));
static_assert(offsetof(FORMATETC, cfFormat) == On(0, 0));
static_assert(offsetof(FORMATETC, ptd) == On(8, 4));
static_assert(offsetof(FORMATETC, dwAspect) == On(16, 8));
static_assert(offsetof(FORMATETC, lindex) == On(20, 12));
static_assert(offsetof(FORMATETC, tymed) == On(24, 16));

// --- Enumerations: 32-bit, with their published values ---------------------------
static_assert(sizeof(OPCDATASOURCE) == 4);
static_assert(sizeof(OPCBROWSETYPE) == 4);
static_assert(sizeof(OPCNAMESPACETYPE) == 4);
static_assert(sizeof(OPCBROWSEDIRECTION) == 4);
static_assert(sizeof(OPCEUTYPE) == 4);
static_assert(sizeof(OPCSERVERSTATE) == 4);
static_assert(sizeof(OPCENUMSCOPE) == 4);
static_assert(OPC_DS_CACHE == 1);
static_assert(OPC_DS_DEVICE == 2);
static_assert(OPC_BRANCH == 1);
static_assert(OPC_LEAF == 2);
static_assert(OPC_FLAT == 3);
static_assert(OPC_NS_HIERARCHIAL == 1);
static_assert(OPC_NS_FLAT == 2);
static_assert(OPC_BROWSE_UP == 1);
static_assert(OPC_BROWSE_DOWN == 2);
static_assert(OPC_BROWSE_TO == 3);
static_assert(OPC_NOENUM == 0);
static_assert(OPC_ANALOG == 1);
static_assert(OPC_ENUMERATED == 2);
static_assert(OPC_STATUS_RUNNING == 1);
static_assert(OPC_STATUS_FAILED == 2);
static_assert(OPC_STATUS_NOCONFIG == 3);
static_assert(OPC_STATUS_SUSPENDED == 4);
static_assert(OPC_STATUS_TEST == 5);
static_assert(OPC_STATUS_COMM_FAULT == 6);
static_assert(OPC_ENUM_PRIVATE_CONNECTIONS == 1);
static_assert(OPC_ENUM_PUBLIC_CONNECTIONS == 2);
static_assert(OPC_ENUM_ALL_CONNECTIONS == 3);
static_assert(OPC_ENUM_PRIVATE == 4);
static_assert(OPC_ENUM_PUBLIC == 5);
static_assert(OPC_ENUM_ALL == 6);

// --- Access rights ---------------------------------------------------------------
static_assert(OPC_READABLE == 0x01 && OPC_WRITEABLE == 0x02);

// --- Result codes ----------------------------------------------------------------
static_assert(Bits(OPC_E_INVALIDHANDLE) == 0xC0040001u);
static_assert(Bits(OPC_E_BADTYPE) == 0xC0040004u);
static_assert(Bits(OPC_E_PUBLIC) == 0xC0040005u);
static_assert(Bits(OPC_E_BADRIGHTS) == 0xC0040006u);
static_assert(Bits(OPC_E_UNKNOWNITEMID) == 0xC0040007u);
static_assert(Bits(OPC_E_INVALIDITEMID) == 0xC0040008u);
static_assert(Bits(OPC_E_INVALIDFILTER) == 0xC0040009u);
static_assert(Bits(OPC_E_UNKNOWNPATH) == 0xC004000Au);
static_assert(Bits(OPC_E_RANGE) == 0xC004000Bu);
static_assert(Bits(OPC_E_DUPLICATENAME) == 0xC004000Cu);
static_assert(Bits(OPC_S_UNSUPPORTEDRATE) == 0x0004000Du);
static_assert(Bits(OPC_S_CLAMP) == 0x0004000Eu);
static_assert(Bits(OPC_S_INUSE) == 0x0004000Fu);
static_assert(Bits(OPC_E_INVALIDCONFIGFILE) == 0xC0040010u);
static_assert(Bits(OPC_E_NOTFOUND) == 0xC0040011u);
static_assert(Bits(OPC_E_INVALID_PID) == 0xC0040203u);
static_assert(Bits(OPC_E_DEADBANDNOTSET) == 0xC0040400u);
static_assert(Bits(OPC_E_DEADBANDNOTSUPPORTED) == 0xC0040401u);
static_assert(Bits(OPC_E_NOBUFFERING) == 0xC0040402u);
static_assert(Bits(OPC_E_INVALIDCONTINUATIONPOINT) == 0xC0040403u);
static_assert(Bits(OPC_S_DATAQUEUEOVERFLOW) == 0x00040404u);
static_assert(Bits(OPC_E_RATENOTSET) == 0xC0040405u);
static_assert(Bits(OPC_E_NOTSUPPORTED) == 0xC0040406u);
static_assert(Bits(OPCCPX_E_TYPE_CHANGED) == 0xC0040407u);
static_assert(Bits(OPCCPX_E_FILTER_DUPLICATE) == 0xC0040408u);
static_assert(Bits(OPCCPX_E_FILTER_INVALID) == 0xC0040409u);
static_assert(Bits(OPCCPX_E_FILTER_ERROR) == 0xC004040Au);
static_assert(Bits(OPCCPX_S_FILTER_NO_DATA) == 0x0004040Bu);

// --- Quality word: masks, qualities with sub-status, limits ----------------------
static_assert(OPC_QUALITY_MASK == 0xC0);
static_assert(OPC_STATUS_MASK == 0xFC);
static_assert(OPC_LIMIT_MASK == 0x03);
static_assert(OPC_QUALITY_BAD == 0x00);
static_assert(OPC_QUALITY_CONFIG_ERROR == 0x04);
static_assert(OPC_QUALITY_NOT_CONNECTED == 0x08);
static_assert(OPC_QUALITY_DEVICE_FAILURE == 0x0C);
static_assert(OPC_QUALITY_SENSOR_FAILURE == 0x10);
static_assert(OPC_QUALITY_LAST_KNOWN == 0x14);
static_assert(OPC_QUALITY_COMM_FAILURE == 0x18);
static_assert(OPC_QUALITY_OUT_OF_SERVICE == 0x1C);
static_assert(OPC_QUALITY_WAITING_FOR_INITIAL_DATA == 0x20);
static_assert(OPC_QUALITY_UNCERTAIN == 0x40);
static_assert(OPC_QUALITY_LAST_USABLE == 0x44);
static_assert(OPC_QUALITY_SENSOR_CAL == 0x50);
static_assert(OPC_QUALITY_EGU_EXCEEDED == 0x54);
static_assert(OPC_QUALITY_SUB_NORMAL == 0x58);
static_assert(OPC_QUALITY_GOOD == 0xC0);
static_assert(OPC_QUALITY_LOCAL_OVERRIDE == 0xD8);
static_assert(OPC_LIMIT_OK == 0x00);
static_assert(OPC_LIMIT_LOW == 0x01);
static_assert(OPC_LIMIT_HIGH == 0x02);
static_assert(OPC_LIMIT_CONST == 0x03);

// --- Item property ids ------------------------------------------------------------
static_assert(OPC_PROP_CDT == 1);
static_assert(OPC_PROP_VALUE == 2);
static_assert(OPC_PROP_QUALITY == 3);
static_assert(OPC_PROP_TIME == 4);
static_assert(OPC_PROP_RIGHTS == 5);
static_assert(OPC_PROP_SCANRATE == 6);
static_assert(OPC_PROP_EUTYPE == 7);
static_assert(OPC_PROP_EUINFO == 8);
static_assert(OPC_PROP_UNIT == 100);
static_assert(OPC_PROP_DESC == 101);
static_assert(OPC_PROP_HIEU == 102);
static_assert(OPC_PROP_LOEU == 103);
static_assert(OPC_PROP_HIRANGE == 104);
static_assert(OPC_PROP_LORANGE == 105);
static_assert(OPC_PROP_CLOSE == 106);
static_assert(OPC_PROP_OPEN == 107);
static_assert(OPC_PROP_TIMEZONE == 108);
static_assert(OPC_PROP_DSP == 200);
static_assert(OPC_PROP_FGC == 201);
static_assert(OPC_PROP_BGC == 202);
static_assert(OPC_PROP_BLINK == 203);
static_assert(OPC_PROP_BMP == 204);
static_assert(OPC_PROP_SND == 205);
static_assert(OPC_PROP_HTML == 206);
static_assert(OPC_PROP_AVI == 207);
static_assert(OPC_PROP_ALMSTAT == 300);
static_assert(OPC_PROP_ALMHELP == 301);
static_assert(OPC_PROP_ALMAREAS == 302);
static_assert(OPC_PROP_ALMPRIMARYAREA == 303);
static_assert(OPC_PROP_ALMCONDITION == 304);
static_assert(OPC_PROP_ALMLIMIT == 305);
static_assert(OPC_PROP_ALMDB == 306);
static_assert(OPC_PROP_ALMHH == 307);
static_assert(OPC_PROP_ALMH == 308);
static_assert(OPC_PROP_ALML == 309);
static_assert(OPC_PROP_ALMLL == 310);
static_assert(OPC_PROP_ALMROC == 311);
static_assert(OPC_PROP_ALMDEV == 312);
static_assert(OPC_PROP_ALMSOUNDFILE == 313);
static_assert(OPC_PROP_VENDOR_FIRST == 5000);

} // namespace
