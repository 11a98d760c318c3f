//===- OPCDA.h - OPC Data Access 1.0/2.0 interfaces and constants --------===//
//
// This file declares the OPC Data Access custom interfaces with their IIDs and
// v-table orders, the records they pass (with their Windows sizes checked for
// 32-bit and 64-bit builds), the enumerations, result codes, quality bits,
// access rights, item property ids, component category ids, and the headers and
// clipboard format names of the DA 1.0 data streams.
//
// Everything here is COM ABI and lives at global scope. The interfaces are pure
// declarations: servers implement them, clients call them through ComPtr.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>

#include <vexo/OPCtypes.h>

// --- Enumerations (stored as 32-bit integers in records) -------------------

/// Where a synchronous read or an asynchronous refresh takes its values from.
enum OPCDATASOURCE : std::int32_t { OPC_DS_CACHE = 1, OPC_DS_DEVICE = 2 };

/// What BrowseOPCItemIDs lists at the current browse position.
enum OPCBROWSETYPE : std::int32_t { OPC_BRANCH = 1, OPC_LEAF = 2, OPC_FLAT = 3 };

/// Shape of a server's address space; "HIERARCHIAL" is the published spelling.
enum OPCNAMESPACETYPE : std::int32_t { OPC_NS_HIERARCHIAL = 1, OPC_NS_FLAT = 2 };

/// Moves of ChangeBrowsePosition; OPC_BROWSE_TO exists from DA 2.0 on.
enum OPCBROWSEDIRECTION : std::int32_t {
    OPC_BROWSE_UP = 1,
    OPC_BROWSE_DOWN = 2,
    OPC_BROWSE_TO = 3
};

/// Kind of engineering-unit information an item carries.
enum OPCEUTYPE : std::int32_t { OPC_NOENUM = 0, OPC_ANALOG = 1, OPC_ENUMERATED = 2 };

/// Server state in OPCSERVERSTATUS. OPC_STATUS_COMM_FAULT comes only from DA 3.0
/// servers: accept it, never rely on it.
enum OPCSERVERSTATE : std::int32_t {
    OPC_STATUS_RUNNING = 1,
    OPC_STATUS_FAILED = 2,
    OPC_STATUS_NOCONFIG = 3,
    OPC_STATUS_SUSPENDED = 4,
    OPC_STATUS_TEST = 5,
    OPC_STATUS_COMM_FAULT = 6
};

/// Which groups CreateGroupEnumerator lists; each "..._CONNECTIONS" member names
/// the same set as its plain counterpart.
enum OPCENUMSCOPE : std::int32_t {
    OPC_ENUM_PRIVATE_CONNECTIONS = 1,
    OPC_ENUM_PUBLIC_CONNECTIONS = 2,
    OPC_ENUM_ALL_CONNECTIONS = 3,
    OPC_ENUM_PRIVATE = 4,
    OPC_ENUM_PUBLIC = 5,
    OPC_ENUM_ALL = 6
};

static_assert(sizeof(OPCDATASOURCE) == 4 && sizeof(OPCBROWSETYPE) == 4);
static_assert(sizeof(OPCNAMESPACETYPE) == 4 && sizeof(OPCBROWSEDIRECTION) == 4);
static_assert(sizeof(OPCEUTYPE) == 4 && sizeof(OPCSERVERSTATE) == 4);
static_assert(sizeof(OPCENUMSCOPE) == 4);

// --- Access rights (a bit mask, not an enumeration) ------------------------

constexpr DWORD OPC_READABLE = 0x01;
constexpr DWORD OPC_WRITEABLE = 0x02;

// --- Result codes (interface facility) -------------------------------------

constexpr HRESULT OPC_E_INVALIDHANDLE = MakeHResult(0xC0040001);
constexpr HRESULT OPC_E_BADTYPE = MakeHResult(0xC0040004);
constexpr HRESULT OPC_E_PUBLIC = MakeHResult(0xC0040005);
constexpr HRESULT OPC_E_BADRIGHTS = MakeHResult(0xC0040006);
constexpr HRESULT OPC_E_UNKNOWNITEMID = MakeHResult(0xC0040007);
constexpr HRESULT OPC_E_INVALIDITEMID = MakeHResult(0xC0040008);
constexpr HRESULT OPC_E_INVALIDFILTER = MakeHResult(0xC0040009);
constexpr HRESULT OPC_E_UNKNOWNPATH = MakeHResult(0xC004000A);
constexpr HRESULT OPC_E_RANGE = MakeHResult(0xC004000B);
constexpr HRESULT OPC_E_DUPLICATENAME = MakeHResult(0xC004000C);
/// Success: the nearest supported update rate is used instead.
constexpr HRESULT OPC_S_UNSUPPORTEDRATE = MakeHResult(0x0004000D);
/// Success: the value was written but the output was clamped.
constexpr HRESULT OPC_S_CLAMP = MakeHResult(0x0004000E);
/// Success code: the object is still referenced, so the operation did not complete.
constexpr HRESULT OPC_S_INUSE = MakeHResult(0x0004000F);
constexpr HRESULT OPC_E_INVALIDCONFIGFILE = MakeHResult(0xC0040010);
constexpr HRESULT OPC_E_NOTFOUND = MakeHResult(0xC0040011);
constexpr HRESULT OPC_E_INVALID_PID = MakeHResult(0xC0040203);

// Codes of later servers, declared so that they can be recognised and named.
constexpr HRESULT OPC_E_DEADBANDNOTSET = MakeHResult(0xC0040400);
constexpr HRESULT OPC_E_DEADBANDNOTSUPPORTED = MakeHResult(0xC0040401);
constexpr HRESULT OPC_E_NOBUFFERING = MakeHResult(0xC0040402);
constexpr HRESULT OPC_E_INVALIDCONTINUATIONPOINT = MakeHResult(0xC0040403);
constexpr HRESULT OPC_S_DATAQUEUEOVERFLOW = MakeHResult(0x00040404);
constexpr HRESULT OPC_E_RATENOTSET = MakeHResult(0xC0040405);
constexpr HRESULT OPC_E_NOTSUPPORTED = MakeHResult(0xC0040406);
constexpr HRESULT OPCCPX_E_TYPE_CHANGED = MakeHResult(0xC0040407);
constexpr HRESULT OPCCPX_E_FILTER_DUPLICATE = MakeHResult(0xC0040408);
constexpr HRESULT OPCCPX_E_FILTER_INVALID = MakeHResult(0xC0040409);
constexpr HRESULT OPCCPX_E_FILTER_ERROR = MakeHResult(0xC004040A);
constexpr HRESULT OPCCPX_S_FILTER_NO_DATA = MakeHResult(0x0004040B);

// --- Quality word ----------------------------------------------------------
//
// Low byte: bits 7-6 quality, bits 5-2 sub-status, bits 1-0 limit. The status
// mask includes the quality bits, so (q & OPC_STATUS_MASK) is compared with the
// full sub-status values below (0x18, not 0x06). The high byte is the vendor's.

constexpr WORD OPC_QUALITY_MASK = 0xC0;
constexpr WORD OPC_STATUS_MASK = 0xFC;
constexpr WORD OPC_LIMIT_MASK = 0x03;

constexpr WORD OPC_QUALITY_BAD = 0x00;
constexpr WORD OPC_QUALITY_UNCERTAIN = 0x40;
constexpr WORD OPC_QUALITY_GOOD = 0xC0;

constexpr WORD OPC_QUALITY_CONFIG_ERROR = 0x04;
constexpr WORD OPC_QUALITY_NOT_CONNECTED = 0x08;
constexpr WORD OPC_QUALITY_DEVICE_FAILURE = 0x0C;
constexpr WORD OPC_QUALITY_SENSOR_FAILURE = 0x10;
constexpr WORD OPC_QUALITY_LAST_KNOWN = 0x14;
constexpr WORD OPC_QUALITY_COMM_FAILURE = 0x18;
constexpr WORD OPC_QUALITY_OUT_OF_SERVICE = 0x1C;
/// Sent only by later servers; recognised, never produced by DA 1.0/2.0 code.
constexpr WORD OPC_QUALITY_WAITING_FOR_INITIAL_DATA = 0x20;

constexpr WORD OPC_QUALITY_LAST_USABLE = 0x44;
constexpr WORD OPC_QUALITY_SENSOR_CAL = 0x50;
constexpr WORD OPC_QUALITY_EGU_EXCEEDED = 0x54;
constexpr WORD OPC_QUALITY_SUB_NORMAL = 0x58;

constexpr WORD OPC_QUALITY_LOCAL_OVERRIDE = 0xD8;

constexpr WORD OPC_LIMIT_OK = 0x00;
constexpr WORD OPC_LIMIT_LOW = 0x01;
constexpr WORD OPC_LIMIT_HIGH = 0x02;
constexpr WORD OPC_LIMIT_CONST = 0x03;

// --- Item property ids -----------------------------------------------------
//
// 1..99 describe what the server knows of the item itself; 100..4999 are the
// recommended set; 5000 and up belong to vendors.

constexpr DWORD OPC_PROP_CDT = 1;      // canonical data type (VT_I2)
constexpr DWORD OPC_PROP_VALUE = 2;    // current value (VT_VARIANT)
constexpr DWORD OPC_PROP_QUALITY = 3;  // current quality (VT_I2)
constexpr DWORD OPC_PROP_TIME = 4;     // time stamp of the current value (VT_DATE)
constexpr DWORD OPC_PROP_RIGHTS = 5;   // access-rights mask (VT_I4)
constexpr DWORD OPC_PROP_SCANRATE = 6; // server scan rate in ms (VT_R4)
constexpr DWORD OPC_PROP_EUTYPE = 7;   // OPCEUTYPE (VT_I4)
constexpr DWORD OPC_PROP_EUINFO = 8;   // EU range or list of texts (an array)

constexpr DWORD OPC_PROP_UNIT = 100;     // engineering-unit text (VT_BSTR)
constexpr DWORD OPC_PROP_DESC = 101;     // item description (VT_BSTR)
constexpr DWORD OPC_PROP_HIEU = 102;     // high end of the normal EU range (VT_R8)
constexpr DWORD OPC_PROP_LOEU = 103;     // low end of the normal EU range (VT_R8)
constexpr DWORD OPC_PROP_HIRANGE = 104;  // highest value the instrument delivers (VT_R8)
constexpr DWORD OPC_PROP_LORANGE = 105;  // lowest value the instrument delivers (VT_R8)
constexpr DWORD OPC_PROP_CLOSE = 106;    // text of the closed (non-zero) state (VT_BSTR)
constexpr DWORD OPC_PROP_OPEN = 107;     // text of the open (zero) state (VT_BSTR)
constexpr DWORD OPC_PROP_TIMEZONE = 108; // time-zone offset in minutes (VT_I4)

constexpr DWORD OPC_PROP_DSP = 200;   // operator display name
constexpr DWORD OPC_PROP_FGC = 201;   // foreground colour
constexpr DWORD OPC_PROP_BGC = 202;   // background colour
constexpr DWORD OPC_PROP_BLINK = 203; // display should blink
constexpr DWORD OPC_PROP_BMP = 204;   // bitmap file
constexpr DWORD OPC_PROP_SND = 205;   // sound file
constexpr DWORD OPC_PROP_HTML = 206;  // HTML file
constexpr DWORD OPC_PROP_AVI = 207;   // video file

constexpr DWORD OPC_PROP_ALMSTAT = 300;        // condition status text (VT_BSTR)
constexpr DWORD OPC_PROP_ALMHELP = 301;        // alarm help text (VT_BSTR)
constexpr DWORD OPC_PROP_ALMAREAS = 302;       // alarm areas (VT_BSTR array)
constexpr DWORD OPC_PROP_ALMPRIMARYAREA = 303; // primary alarm area (VT_BSTR)
constexpr DWORD OPC_PROP_ALMCONDITION = 304;   // condition logic text (VT_BSTR)
constexpr DWORD OPC_PROP_ALMLIMIT = 305;       // limit exceeded (VT_BSTR)
constexpr DWORD OPC_PROP_ALMDB = 306;          // alarm deadband (VT_R8)
constexpr DWORD OPC_PROP_ALMHH = 307;          // high-high limit (VT_R8)
constexpr DWORD OPC_PROP_ALMH = 308;           // high limit (VT_R8)
constexpr DWORD OPC_PROP_ALML = 309;           // low limit (VT_R8)
constexpr DWORD OPC_PROP_ALMLL = 310;          // low-low limit (VT_R8)
constexpr DWORD OPC_PROP_ALMROC = 311;         // rate-of-change limit (VT_R8)
constexpr DWORD OPC_PROP_ALMDEV = 312;         // deviation limit (VT_R8)
constexpr DWORD OPC_PROP_ALMSOUNDFILE = 313;   // alarm sound file, later servers (VT_BSTR)

/// First property id that vendors may define.
constexpr DWORD OPC_PROP_VENDOR_FIRST = 5000;

// --- Component categories --------------------------------------------------

constexpr CATID CATID_OPCDAServer10{
    0x63D5F430, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
constexpr CATID CATID_OPCDAServer20{
    0x63D5F432, 0xCFE4, 0x11D1, {0xB2, 0xC8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
constexpr CATID CATID_OPCDAServer30{
    0xCC603642, 0x66D7, 0x48F1, {0xB6, 0x9A, 0xB6, 0x25, 0xE7, 0x36, 0x52, 0xD7}};
constexpr CATID CATID_XMLDAServer10{
    0x3098EDA4, 0xA006, 0x48B2, {0xA2, 0x7F, 0x24, 0x74, 0x53, 0x95, 0x94, 0x08}};
/// Alarms & Events 1.0 servers; the library lists them beside the DA servers.
constexpr CATID CATID_OPCAEServer10{
    0x58E13251, 0xAC87, 0x11D1, {0x84, 0xD5, 0x00, 0x60, 0x8C, 0xB8, 0xA7, 0xE9}};

// Descriptions under which servers register the categories.
constexpr const char *OPC_CATEGORY_DESCRIPTION_DA10 = "OPC Data Access Servers Version 1.0";
constexpr const char *OPC_CATEGORY_DESCRIPTION_DA20 = "OPC Data Access Servers Version 2.0";
constexpr const char *OPC_CATEGORY_DESCRIPTION_DA30 = "OPC Data Access Servers Version 3.0";
constexpr const char *OPC_CATEGORY_DESCRIPTION_XMLDA10 = "OPC XML Data Access Servers Version 1.0";
constexpr const char *OPC_CATEGORY_DESCRIPTION_AE10 = "OPC Alarm & Event Server Version 1.0";

// --- Records ---------------------------------------------------------------
//
// Natural alignment as with 8-byte packing: the VARIANT is 8-byte aligned and,
// on 64-bit, so are the pointers. The asserts pin the Windows layouts.

/// One entry of IOPCSyncIO::Read's result array; the caller clears vDataValue.
struct OPCITEMSTATE {
    OPCHANDLE hClient;
    FILETIME ftTimeStamp;
    WORD wQuality;
    WORD wReserved;
    VARIANT vDataValue;
};

/// One item to add or validate; the strings and blob belong to the caller.
struct OPCITEMDEF {
    LPWSTR szAccessPath;
    LPWSTR szItemID;
    BOOL bActive;
    OPCHANDLE hClient;
    DWORD dwBlobSize;
    BYTE *pBlob;
    VARTYPE vtRequestedDataType;
    WORD wReserved;
};

/// One element of IEnumOPCItemAttributes::Next; strings, blob and vEUInfo are
/// separate blocks the caller frees.
struct OPCITEMATTRIBUTES {
    LPWSTR szAccessPath;
    LPWSTR szItemID;
    BOOL bActive;
    OPCHANDLE hClient;
    OPCHANDLE hServer;
    DWORD dwAccessRights;
    DWORD dwBlobSize;
    BYTE *pBlob;
    VARTYPE vtRequestedDataType;
    VARTYPE vtCanonicalDataType;
    OPCEUTYPE dwEUType;
    VARIANT vEUInfo;
};

/// One result of AddItems/ValidateItems; pBlob is a separate block the caller frees.
struct OPCITEMRESULT {
    OPCHANDLE hServer;
    VARTYPE vtCanonicalDataType;
    WORD wReserved;
    DWORD dwAccessRights;
    DWORD dwBlobSize;
    BYTE *pBlob;
};

/// Returned by IOPCServer::GetStatus: the record and szVendorInfo are two blocks
/// the caller frees.
struct OPCSERVERSTATUS {
    FILETIME ftStartTime;
    FILETIME ftCurrentTime;
    FILETIME ftLastUpdateTime;
    OPCSERVERSTATE dwServerState;
    DWORD dwGroupCount;
    DWORD dwBandWidth;
    WORD wMajorVersion;
    WORD wMinorVersion;
    WORD wBuildNumber;
    WORD wReserved;
    LPWSTR szVendorInfo;
};

/// Property description of later servers (browsing); not used by DA 1.0/2.0 calls.
struct OPCITEMPROPERTY {
    VARTYPE vtDataType;
    WORD wReserved;
    DWORD dwPropertyID;
    LPWSTR szItemID;
    LPWSTR szDescription;
    VARIANT vValue;
    HRESULT hrErrorID;
    DWORD dwReserved;
};

// DA 1.0 data streams. A stream is one HGLOBAL: the group header, then
// dwItemCount item headers, then the values; dwValueOffset counts bytes from
// the start of the stream, and the group header's dwSize is the whole size.

/// Head of an "OPCSTMFORMATDATA" or "OPCSTMFORMATDATATIME" stream.
struct OPCGROUPHEADER {
    DWORD dwSize;
    DWORD dwItemCount;
    OPCHANDLE hClientGroup;
    DWORD dwTransactionID;
    HRESULT hrStatus;
};

/// Item header of an "OPCSTMFORMATDATATIME" stream (value with time stamp).
struct OPCITEMHEADER1 {
    OPCHANDLE hClient;
    DWORD dwValueOffset;
    WORD wQuality;
    WORD wReserved;
    FILETIME ftTimeStampItem;
};

/// Item header of an "OPCSTMFORMATDATA" stream (value without time stamp).
struct OPCITEMHEADER2 {
    OPCHANDLE hClient;
    DWORD dwValueOffset;
    WORD wQuality;
    WORD wReserved;
};

/// Head of an "OPCSTMFORMATWRITECOMPLETE" stream.
struct OPCGROUPHEADERWRITE {
    DWORD dwItemCount;
    OPCHANDLE hClientGroup;
    DWORD dwTransactionID;
    HRESULT hrStatus;
};

/// Item record of a write-complete stream; dwError is an HRESULT.
struct OPCITEMHEADERWRITE {
    OPCHANDLE hClient;
    HRESULT dwError;
};

namespace vexo::opc::detail {
constexpr bool Is64 = sizeof(void *) == 8;
constexpr std::size_t Pick(std::size_t on64, std::size_t on32) { return Is64 ? on64 : on32; }
} // namespace vexo::opc::detail

#define VEXO_OPC_LAYOUT(Rec, Field, Off64, Off32)                                                  \
    static_assert(offsetof(Rec, Field) == vexo::opc::detail::Pick(Off64, Off32),                   \
                  #Rec "::" #Field " offset")

static_assert(sizeof(OPCITEMSTATE) == vexo::opc::detail::Pick(40, 32));
VEXO_OPC_LAYOUT(OPCITEMSTATE, ftTimeStamp, 4, 4);
VEXO_OPC_LAYOUT(OPCITEMSTATE, wQuality, 12, 12);
VEXO_OPC_LAYOUT(OPCITEMSTATE, vDataValue, 16, 16);

static_assert(sizeof(OPCITEMDEF) == vexo::opc::detail::Pick(48, 28));
VEXO_OPC_LAYOUT(OPCITEMDEF, szItemID, 8, 4);
VEXO_OPC_LAYOUT(OPCITEMDEF, bActive, 16, 8);
VEXO_OPC_LAYOUT(OPCITEMDEF, hClient, 20, 12);
VEXO_OPC_LAYOUT(OPCITEMDEF, pBlob, 32, 20);
VEXO_OPC_LAYOUT(OPCITEMDEF, vtRequestedDataType, 40, 24);

static_assert(sizeof(OPCITEMATTRIBUTES) == vexo::opc::detail::Pick(80, 56));
VEXO_OPC_LAYOUT(OPCITEMATTRIBUTES, hServer, 24, 16);
VEXO_OPC_LAYOUT(OPCITEMATTRIBUTES, pBlob, 40, 28);
VEXO_OPC_LAYOUT(OPCITEMATTRIBUTES, vtCanonicalDataType, 50, 34);
VEXO_OPC_LAYOUT(OPCITEMATTRIBUTES, dwEUType, 52, 36);
VEXO_OPC_LAYOUT(OPCITEMATTRIBUTES, vEUInfo, 56, 40);

static_assert(sizeof(OPCITEMRESULT) == vexo::opc::detail::Pick(24, 20));
VEXO_OPC_LAYOUT(OPCITEMRESULT, vtCanonicalDataType, 4, 4);
VEXO_OPC_LAYOUT(OPCITEMRESULT, dwAccessRights, 8, 8);
VEXO_OPC_LAYOUT(OPCITEMRESULT, pBlob, 16, 16);

static_assert(sizeof(OPCSERVERSTATUS) == vexo::opc::detail::Pick(56, 48));
VEXO_OPC_LAYOUT(OPCSERVERSTATUS, dwServerState, 24, 24);
VEXO_OPC_LAYOUT(OPCSERVERSTATUS, wMajorVersion, 36, 36);
VEXO_OPC_LAYOUT(OPCSERVERSTATUS, wBuildNumber, 40, 40);
VEXO_OPC_LAYOUT(OPCSERVERSTATUS, szVendorInfo, 48, 44);

static_assert(sizeof(OPCITEMPROPERTY) == vexo::opc::detail::Pick(56, 40));
VEXO_OPC_LAYOUT(OPCITEMPROPERTY, szDescription, 16, 12);
VEXO_OPC_LAYOUT(OPCITEMPROPERTY, vValue, 24, 16);
VEXO_OPC_LAYOUT(OPCITEMPROPERTY, hrErrorID, 48, 32);

static_assert(sizeof(OPCGROUPHEADER) == 20);
VEXO_OPC_LAYOUT(OPCGROUPHEADER, hrStatus, 16, 16);
static_assert(sizeof(OPCITEMHEADER1) == 20);
VEXO_OPC_LAYOUT(OPCITEMHEADER1, ftTimeStampItem, 12, 12);
static_assert(sizeof(OPCITEMHEADER2) == 12);
VEXO_OPC_LAYOUT(OPCITEMHEADER2, wQuality, 8, 8);
static_assert(sizeof(OPCGROUPHEADERWRITE) == 16);
VEXO_OPC_LAYOUT(OPCGROUPHEADERWRITE, hrStatus, 12, 12);
static_assert(sizeof(OPCITEMHEADERWRITE) == 8);
VEXO_OPC_LAYOUT(OPCITEMHEADERWRITE, dwError, 4, 4);

#undef VEXO_OPC_LAYOUT

// --- Clipboard format names of the DA 1.0 streams --------------------------
//
// The client registers these names and advises with the ids it gets back. The
// ids themselves are process-wide variables of the client, named after the
// formats; these constants are the registered texts.

constexpr const char *OPCSTMFORMATDATA_NAME = "OPCSTMFORMATDATA";
constexpr const char *OPCSTMFORMATDATATIME_NAME = "OPCSTMFORMATDATATIME";
constexpr const char *OPCSTMFORMATWRITECOMPLETE_NAME = "OPCSTMFORMATWRITECOMPLETE";

// --- Interface ids ---------------------------------------------------------

#define VEXO_OPC_DA_IID(Name, Data1)                                                               \
    constexpr IID Name {                                                                           \
        Data1, 0x011E, 0x11D0, { 0x96, 0x75, 0x00, 0x20, 0xAF, 0xD8, 0xAD, 0xB3 }                  \
    }

VEXO_OPC_DA_IID(IID_IOPCServer, 0x39C13A4D);
VEXO_OPC_DA_IID(IID_IOPCServerPublicGroups, 0x39C13A4E);
VEXO_OPC_DA_IID(IID_IOPCBrowseServerAddressSpace, 0x39C13A4F);
VEXO_OPC_DA_IID(IID_IOPCGroupStateMgt, 0x39C13A50);
VEXO_OPC_DA_IID(IID_IOPCPublicGroupStateMgt, 0x39C13A51);
VEXO_OPC_DA_IID(IID_IOPCSyncIO, 0x39C13A52);
VEXO_OPC_DA_IID(IID_IOPCAsyncIO, 0x39C13A53);
VEXO_OPC_DA_IID(IID_IOPCItemMgt, 0x39C13A54);
VEXO_OPC_DA_IID(IID_IEnumOPCItemAttributes, 0x39C13A55);
VEXO_OPC_DA_IID(IID_IOPCDataCallback, 0x39C13A70);
VEXO_OPC_DA_IID(IID_IOPCAsyncIO2, 0x39C13A71);
VEXO_OPC_DA_IID(IID_IOPCItemProperties, 0x39C13A72);

#undef VEXO_OPC_DA_IID

// Interface ids of later servers, for recognising them in QueryInterface only;
// their interfaces are not declared.
constexpr IID IID_IOPCItemDeadbandMgt{
    0x5946DA93, 0x8B39, 0x4EC8, {0xAB, 0x3D, 0xAA, 0x73, 0xDF, 0x5B, 0xC8, 0x6F}};
constexpr IID IID_IOPCItemSamplingMgt{
    0x3E22D313, 0xF08B, 0x41A5, {0x86, 0xC8, 0x95, 0xE9, 0x5C, 0xB4, 0x9F, 0xFC}};
constexpr IID IID_IOPCBrowse{
    0x39227004, 0xA18F, 0x4B57, {0x8B, 0x0A, 0x52, 0x35, 0x67, 0x0F, 0x44, 0x68}};
constexpr IID IID_IOPCItemIO{
    0x85C0B427, 0x2893, 0x4CBC, {0xBD, 0x78, 0xE5, 0xFC, 0x51, 0x46, 0xF0, 0x8F}};
constexpr IID IID_IOPCSyncIO2{
    0x730F5F0F, 0x55B1, 0x4C81, {0x9E, 0x18, 0xFF, 0x8A, 0x09, 0x04, 0xE1, 0xFA}};
constexpr IID IID_IOPCAsyncIO3{
    0x0967B97B, 0x36EF, 0x423E, {0xB6, 0xF8, 0x6B, 0xFF, 0x1E, 0x40, 0xD3, 0x9D}};
constexpr IID IID_IOPCGroupStateMgt2{
    0x8E368666, 0xD72E, 0x4F78, {0x87, 0xED, 0x64, 0x76, 0x11, 0xC6, 0x1C, 0x9F}};

// --- Interfaces ------------------------------------------------------------
//
// Out-parameters marked "callee allocates" are task memory (CoTaskMemAlloc)
// that the caller frees with CoTaskMemFree, together with every string, blob
// and VARIANT content inside. Pointers marked "may be null" are optional.

struct IEnumOPCItemAttributes;

/// The server object: groups, status and error texts.
struct IOPCServer : IUnknown {
    /// pTimeBias and pPercentDeadband may be null; the other out-pointers may not.
    virtual HRESULT STDMETHODCALLTYPE AddGroup(LPCWSTR szName, BOOL bActive,
                                               DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup,
                                               LONG *pTimeBias, FLOAT *pPercentDeadband,
                                               DWORD dwLCID, OPCHANDLE *phServerGroup,
                                               DWORD *pRevisedUpdateRate, REFIID riid,
                                               LPUNKNOWN *ppUnk) = 0;
    /// *ppString: callee allocates.
    virtual HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LCID dwLocale,
                                                     LPWSTR *ppString) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetGroupByName(LPCWSTR szName, REFIID riid,
                                                     LPUNKNOWN *ppUnk) = 0;
    /// *ppServerStatus and its szVendorInfo: callee allocates, two blocks.
    virtual HRESULT STDMETHODCALLTYPE GetStatus(OPCSERVERSTATUS **ppServerStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) = 0;
    /// riid IID_IEnumString lists group names, IID_IEnumUnknown the group objects.
    virtual HRESULT STDMETHODCALLTYPE CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid,
                                                            LPUNKNOWN *ppUnk) = 0;
};

/// Public groups of the server object.
struct IOPCServerPublicGroups : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPublicGroupByName(LPCWSTR szName, REFIID riid,
                                                           LPUNKNOWN *ppUnk) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemovePublicGroup(OPCHANDLE hServerGroup, BOOL bForce) = 0;
};

/// Browsing of the server's address space; each browse position is per client.
struct IOPCBrowseServerAddressSpace : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryOrganization(OPCNAMESPACETYPE *pNameSpaceType) = 0;
    virtual HRESULT STDMETHODCALLTYPE ChangeBrowsePosition(OPCBROWSEDIRECTION dwBrowseDirection,
                                                           LPCWSTR szString) = 0;
    virtual HRESULT STDMETHODCALLTYPE BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType,
                                                       LPCWSTR szFilterCriteria,
                                                       VARTYPE vtDataTypeFilter,
                                                       DWORD dwAccessRightsFilter,
                                                       LPENUMSTRING *ppIEnumString) = 0;
    /// *szItemID: callee allocates.
    virtual HRESULT STDMETHODCALLTYPE GetItemID(LPWSTR szItemDataID, LPWSTR *szItemID) = 0;
    virtual HRESULT STDMETHODCALLTYPE BrowseAccessPaths(LPCWSTR szItemID,
                                                        LPENUMSTRING *ppIEnumString) = 0;
};

/// A group's state. In SetState every in-pointer may be null (leave unchanged).
struct IOPCGroupStateMgt : IUnknown {
    /// *ppName: callee allocates.
    virtual HRESULT STDMETHODCALLTYPE GetState(DWORD *pUpdateRate, BOOL *pActive, LPWSTR *ppName,
                                               LONG *pTimeBias, FLOAT *pPercentDeadband,
                                               DWORD *pLCID, OPCHANDLE *phClientGroup,
                                               OPCHANDLE *phServerGroup) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetState(DWORD *pRequestedUpdateRate,
                                               DWORD *pRevisedUpdateRate, BOOL *pActive,
                                               LONG *pTimeBias, FLOAT *pPercentDeadband,
                                               DWORD *pLCID, OPCHANDLE *phClientGroup) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetName(LPCWSTR szName) = 0;
    virtual HRESULT STDMETHODCALLTYPE CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN *ppUnk) = 0;
};

/// Whether a group is public, and making it so.
struct IOPCPublicGroupStateMgt : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetState(BOOL *pPublic) = 0;
    virtual HRESULT STDMETHODCALLTYPE MoveToPublic() = 0;
};

/// Synchronous reads and writes of a group's items.
struct IOPCSyncIO : IUnknown {
    /// *ppItemValues and *ppErrors: callee allocates dwCount entries each.
    virtual HRESULT STDMETHODCALLTYPE Read(OPCDATASOURCE dwSource, DWORD dwCount,
                                           OPCHANDLE *phServer, OPCITEMSTATE **ppItemValues,
                                           HRESULT **ppErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(DWORD dwCount, OPCHANDLE *phServer,
                                            VARIANT *pItemValues, HRESULT **ppErrors) = 0;
};

/// DA 1.0 asynchronous I/O; results arrive as streams through IDataObject advises.
struct IOPCAsyncIO : IUnknown {
    /// dwConnection is the token DAdvise returned for the matching format.
    virtual HRESULT STDMETHODCALLTYPE Read(DWORD dwConnection, OPCDATASOURCE dwSource,
                                           DWORD dwCount, OPCHANDLE *phServer,
                                           DWORD *pTransactionID, HRESULT **ppErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE *phServer,
                                            VARIANT *pItemValues, DWORD *pTransactionID,
                                            HRESULT **ppErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE Refresh(DWORD dwConnection, OPCDATASOURCE dwSource,
                                              DWORD *pTransactionID) = 0;
    virtual HRESULT STDMETHODCALLTYPE Cancel(DWORD dwTransactionID) = 0;
};

/// Adding, removing and configuring a group's items.
struct IOPCItemMgt : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddItems(DWORD dwCount, OPCITEMDEF *pItemArray,
                                               OPCITEMRESULT **ppAddResults,
                                               HRESULT **ppErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE ValidateItems(DWORD dwCount, OPCITEMDEF *pItemArray,
                                                    BOOL bBlobUpdate,
                                                    OPCITEMRESULT **ppValidationResults,
                                                    HRESULT **ppErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveItems(DWORD dwCount, OPCHANDLE *phServer,
                                                  HRESULT **ppErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetActiveState(DWORD dwCount, OPCHANDLE *phServer,
                                                     BOOL bActive, HRESULT **ppErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetClientHandles(DWORD dwCount, OPCHANDLE *phServer,
                                                       OPCHANDLE *phClient, HRESULT **ppErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDatatypes(DWORD dwCount, OPCHANDLE *phServer,
                                                   VARTYPE *pRequestedDatatypes,
                                                   HRESULT **ppErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateEnumerator(REFIID riid, LPUNKNOWN *ppUnk) = 0;
};

/// Enumerator of a group's items (IOPCItemMgt::CreateEnumerator).
struct IEnumOPCItemAttributes : IUnknown {
    /// *ppItemArray: callee allocates *pceltFetched entries.
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, OPCITEMATTRIBUTES **ppItemArray,
                                           ULONG *pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IEnumOPCItemAttributes **ppEnumItemAttributes) = 0;
};

/// The client's DA 2.0 data sink. Every array is the server's: the sink reads,
/// never frees, and must not keep pointers past the call.
struct IOPCDataCallback : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE OnDataChange(DWORD dwTransid, OPCHANDLE hGroup,
                                                   HRESULT hrMasterquality, HRESULT hrMastererror,
                                                   DWORD dwCount, OPCHANDLE *phClientItems,
                                                   VARIANT *pvValues, WORD *pwQualities,
                                                   FILETIME *pftTimeStamps, HRESULT *pErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup,
                                                     HRESULT hrMasterquality, HRESULT hrMastererror,
                                                     DWORD dwCount, OPCHANDLE *phClientItems,
                                                     VARIANT *pvValues, WORD *pwQualities,
                                                     FILETIME *pftTimeStamps, HRESULT *pErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup,
                                                      HRESULT hrMastererr, DWORD dwCount,
                                                      OPCHANDLE *pClienthandles,
                                                      HRESULT *pErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup) = 0;
};

/// DA 2.0 asynchronous I/O; results arrive through IOPCDataCallback.
struct IOPCAsyncIO2 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Read(DWORD dwCount, OPCHANDLE *phServer,
                                           DWORD dwTransactionID, DWORD *pdwCancelID,
                                           HRESULT **ppErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE Write(DWORD dwCount, OPCHANDLE *phServer,
                                            VARIANT *pItemValues, DWORD dwTransactionID,
                                            DWORD *pdwCancelID, HRESULT **ppErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID,
                                               DWORD *pdwCancelID) = 0;
    virtual HRESULT STDMETHODCALLTYPE Cancel2(DWORD dwCancelID) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetEnable(BOOL bEnable) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetEnable(BOOL *pbEnable) = 0;
};

/// Item properties of the server object; every returned array is callee-allocated.
struct IOPCItemProperties : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryAvailableProperties(LPWSTR szItemID, DWORD *pdwCount,
                                                               DWORD **ppPropertyIDs,
                                                               LPWSTR **ppDescriptions,
                                                               VARTYPE **ppvtDataTypes) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetItemProperties(LPWSTR szItemID, DWORD dwCount,
                                                        DWORD *pdwPropertyIDs, VARIANT **ppvData,
                                                        HRESULT **ppErrors) = 0;
    virtual HRESULT STDMETHODCALLTYPE LookupItemIDs(LPWSTR szItemID, DWORD dwCount,
                                                    DWORD *pdwPropertyIDs, LPWSTR **ppszNewItemIDs,
                                                    HRESULT **ppErrors) = 0;
};

VEXO_DECLARE_INTERFACE_IID(IOPCServer, IID_IOPCServer);
VEXO_DECLARE_INTERFACE_IID(IOPCServerPublicGroups, IID_IOPCServerPublicGroups);
VEXO_DECLARE_INTERFACE_IID(IOPCBrowseServerAddressSpace, IID_IOPCBrowseServerAddressSpace);
VEXO_DECLARE_INTERFACE_IID(IOPCGroupStateMgt, IID_IOPCGroupStateMgt);
VEXO_DECLARE_INTERFACE_IID(IOPCPublicGroupStateMgt, IID_IOPCPublicGroupStateMgt);
VEXO_DECLARE_INTERFACE_IID(IOPCSyncIO, IID_IOPCSyncIO);
VEXO_DECLARE_INTERFACE_IID(IOPCAsyncIO, IID_IOPCAsyncIO);
VEXO_DECLARE_INTERFACE_IID(IOPCItemMgt, IID_IOPCItemMgt);
VEXO_DECLARE_INTERFACE_IID(IEnumOPCItemAttributes, IID_IEnumOPCItemAttributes);
VEXO_DECLARE_INTERFACE_IID(IOPCDataCallback, IID_IOPCDataCallback);
VEXO_DECLARE_INTERFACE_IID(IOPCAsyncIO2, IID_IOPCAsyncIO2);
VEXO_DECLARE_INTERFACE_IID(IOPCItemProperties, IID_IOPCItemProperties);
