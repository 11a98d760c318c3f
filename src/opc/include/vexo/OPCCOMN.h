//===- OPCCOMN.h - OPC Common interfaces and the server list --------------===//
//
// This file declares the interfaces shared by every kind of OPC server (locale,
// client name, error texts, the shutdown callback) and those of the server-list
// object that finds OPC servers by component category, with their IIDs and
// v-table orders, and the class id of that object.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <vexo/OPCtypes.h>

constexpr IID IID_IOPCShutdown{
    0xF31DFDE1, 0x07B6, 0x11D2, {0xB2, 0xD8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
constexpr IID IID_IOPCCommon{
    0xF31DFDE2, 0x07B6, 0x11D2, {0xB2, 0xD8, 0x00, 0x60, 0x08, 0x3B, 0xA1, 0xFB}};
constexpr IID IID_IOPCServerList{
    0x13486D50, 0x4821, 0x11D2, {0xA4, 0x94, 0x3C, 0xB3, 0x06, 0xC1, 0x00, 0x00}};
constexpr IID IID_IOPCEnumGUID{
    0x55C382C8, 0x21C7, 0x4E88, {0x96, 0xC1, 0xBE, 0xCF, 0xB1, 0xE3, 0xF4, 0x83}};
constexpr IID IID_IOPCServerList2{
    0x9DD0B56C, 0xAD9E, 0x43EE, {0x83, 0x05, 0x48, 0x7F, 0x31, 0x88, 0xBF, 0x7A}};

/// The server-list object; it implements IOPCServerList2 and IOPCServerList.
constexpr CLSID CLSID_OPCServerList{
    0x13486D51, 0x4821, 0x11D2, {0xA4, 0x94, 0x3C, 0xB3, 0x06, 0xC1, 0x00, 0x00}};

/// Services every server from DA 2.0 on offers; a pure DA 1.0 server lacks it.
struct IOPCCommon : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetLocaleID(LCID dwLcid) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLocaleID(LCID *pdwLcid) = 0;
    /// *pdwLcid: callee allocates *pdwCount entries.
    virtual HRESULT STDMETHODCALLTYPE QueryAvailableLocaleIDs(DWORD *pdwCount, LCID **pdwLcid) = 0;
    /// *ppString: callee allocates.
    virtual HRESULT STDMETHODCALLTYPE GetErrorString(HRESULT dwError, LPWSTR *ppString) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetClientName(LPCWSTR szName) = 0;
};

/// The client's sink for a server's shutdown notice (advised through the
/// server's connection point); szReason belongs to the server.
struct IOPCShutdown : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE ShutdownRequest(LPCWSTR szReason) = 0;
};

/// Finds server classes by component category.
struct IOPCServerList : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented,
                                                              CATID *rgcatidImpl, ULONG cRequired,
                                                              CATID *rgcatidReq,
                                                              IEnumGUID **ppenumClsid) = 0;
    /// Both strings: callee allocates.
    virtual HRESULT STDMETHODCALLTYPE GetClassDetails(REFCLSID clsid, LPOLESTR *ppszProgID,
                                                      LPOLESTR *ppszUserType) = 0;
    virtual HRESULT STDMETHODCALLTYPE CLSIDFromProgID(LPCOLESTR szProgId, LPCLSID clsid) = 0;
};

/// Class-id enumerator returned by IOPCServerList2.
struct IOPCEnumGUID : IUnknown {
    /// Fills at most celt entries of the caller's array; *pceltFetched says how many.
    virtual HRESULT STDMETHODCALLTYPE Next(ULONG celt, GUID *rgelt, ULONG *pceltFetched) = 0;
    virtual HRESULT STDMETHODCALLTYPE Skip(ULONG celt) = 0;
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    virtual HRESULT STDMETHODCALLTYPE Clone(IOPCEnumGUID **ppenum) = 0;
};

/// IOPCServerList with the version-independent program id as well.
struct IOPCServerList2 : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE EnumClassesOfCategories(ULONG cImplemented,
                                                              CATID *rgcatidImpl, ULONG cRequired,
                                                              CATID *rgcatidReq,
                                                              IOPCEnumGUID **ppenumClsid) = 0;
    /// All three strings: callee allocates.
    virtual HRESULT STDMETHODCALLTYPE GetClassDetails(REFCLSID clsid, LPOLESTR *ppszProgID,
                                                      LPOLESTR *ppszUserType,
                                                      LPOLESTR *ppszVerIndProgID) = 0;
    virtual HRESULT STDMETHODCALLTYPE CLSIDFromProgID(LPCOLESTR szProgId, LPCLSID clsid) = 0;
};

VEXO_DECLARE_INTERFACE_IID(IOPCCommon, IID_IOPCCommon);
VEXO_DECLARE_INTERFACE_IID(IOPCShutdown, IID_IOPCShutdown);
VEXO_DECLARE_INTERFACE_IID(IOPCServerList, IID_IOPCServerList);
VEXO_DECLARE_INTERFACE_IID(IOPCEnumGUID, IID_IOPCEnumGUID);
VEXO_DECLARE_INTERFACE_IID(IOPCServerList2, IID_IOPCServerList2);
