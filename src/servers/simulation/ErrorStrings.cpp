//===- ErrorStrings.cpp - texts of result codes for GetErrorString --------===//
//
// The server's own wording for the OPC codes; every other code gets the
// platform's system text.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/ErrorText.h>
#include <vexo/platform/WideString.h>

#include "ServerObject.h"

namespace vexo::sim {

vexo::platform::WideString ErrorText(HRESULT hr) {
    const char *text = nullptr;
    switch (hr) {
    case OPC_E_INVALIDHANDLE: text = "The handle is not valid."; break;
    case OPC_E_BADTYPE: text = "The server cannot convert between the two data types."; break;
    case OPC_E_PUBLIC: text = "This operation is not allowed on a public group."; break;
    case OPC_E_BADRIGHTS: text = "The item's access rights do not allow this operation."; break;
    case OPC_E_UNKNOWNITEMID: text = "The item id is not in the server's address space."; break;
    case OPC_E_INVALIDITEMID: text = "The item id does not follow the server's syntax."; break;
    case OPC_E_INVALIDFILTER: text = "The filter string is not valid."; break;
    case OPC_E_UNKNOWNPATH: text = "The access path is not known to the server."; break;
    case OPC_E_RANGE: text = "The value is out of range."; break;
    case OPC_E_DUPLICATENAME: text = "The name is already in use."; break;
    case OPC_S_UNSUPPORTEDRATE: text = "The server uses the nearest update rate it supports."; break;
    case OPC_S_CLAMP: text = "The value was accepted, but the output was clamped."; break;
    case OPC_S_INUSE: text = "The object is still referenced and was not freed."; break;
    case OPC_E_INVALIDCONFIGFILE: text = "The configuration file has an invalid format."; break;
    case OPC_E_NOTFOUND: text = "The requested object was not found."; break;
    case OPC_E_INVALID_PID: text = "The property id is not valid for this item."; break;
    default: break;
    }
    if (text)
        return platform::Utf8ToUtf16(text);
    return platform::Utf8ToUtf16(platform::SystemErrorText(hr));
}

} // namespace vexo::sim
