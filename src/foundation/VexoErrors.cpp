//===- VexoErrors.cpp - the library's texts and the result-code checks ----===//
//
// This file holds the library's message texts under their fixed ids, the table
// from OPC result codes to those ids, and OPCCheck.
//
//===----------------------------------------------------------------------===//
#include <vexo/VexoErrors.h>

#include <atomic>
#include <mutex>
#include <utility>

#include <vexo/framework/ResourceStrings.h>

namespace vexo {
namespace {

struct TextEntry {
    int Id;
    const char *Text;
};

// The library's texts, character for character. Three of them hold a line
// break, and "acknowleged" is the established spelling.
constexpr TextEntry LibraryTexts[] = {
    {_STR_HASSERVERHANDLE, "item %s already exists on OPCServer"},
    {_STR_NOTPOSSIBLE, "not possible if connected to OPC Server"},
    {_STR_WRITERROR, "cannot write Items:"},
    {_STR_ADDITEMSERROR, "cannot add Items:"},
    {_STR_WRONGFILE, "wrong fileformat"},
    {_STR_AE_ALREADYACKED, "The condition has already been acknowleged"},
    {_STR_AE_INVALIDBUFFERTIME, "The buffer time parameter was invalid"},
    {_STR_AE_INVALIDMAXSIZE, "The max size parameter was invalid"},
    {_STR_AE_BUSY, "A refresh is currently in progress"},
    {_STR_AE_REFRESHINPROGRESS, "A refresh is currently in progress"},
    {_STR_AE_NOINFO, "Information is not available"},
    {_STR_NOTACTIVE, "not connected to server"},
    {_STR_NODCOM, "Failed to initialize DCOM security"},
    {_STR_NOServer, "first define servername"},
    {_STR_NOREGISTER, "OPC Server %s not found on computer %s"},
    {_STR_NOCONNECT, "Unable to connect to OPC server %s"},
    {_STR_NOBROWSER, "Browser interface not found"},
    {_STR_UNKNOWN, "unknown error : %d"},
    {_STR_GROUPNOTFOUND, "group not found"},
    {_STR_GROUPEXITS, "group %s already exists"},
    {_STR_NOSERVERHANDLE, "item %s not exists on OPCServer"},
    {_STR_OPC_INVALIDHANDLE, "The value of the handle is invalid."},
    {_STR_OPC_BADTYPE, "The server cannot convert the data between the\r\n"
                       "requested data type and the canonical data"},
    {_STR_OPC_PUBLIC, "The requested operation cannot be done on a public group."},
    {_STR_OPC_BADRIGHTS, "The Items AccessRights do not allow the operation."},
    {_STR_OPC_UNKNOWNITEMID, "The item is no longer available in the server address space."},
    {_STR_OPC_INVALIDITEMID, "The item definition doesn't conform to the server's syntax."},
    {_STR_OPC_INVALIDFILTER, "The filter string was not valid"},
    {_STR_OPC_UNKNOWNPATH, "The item's access path is not known to the server."},
    {_STR_OPC_RANGE, "The value was out of range."},
    {_STR_OPC_DUPLICATENAME, "Duplicate name not allowed."},
    {_STR_OPC_UNSUPPORTEDRATE, "The server does not support the requested data rate\r\n"
                               "but will use the closest available rate."},
    {_STR_OPC_CLAMP, "A value passed to WRITE was accepted but the output was clamped."},
    {_STR_OPC_INUSE, "The operation cannot be completed because the\r\n"
                     "object still has references that exist."},
    {_STR_OPC_INVALIDCONFIGFILE, "The server's configuration file is an invalid format."},
    {_STR_OPC_NOTFOUND, "The server could not locate the requested object."},
    {_STR_OPC_INVALID_PID, "The server does not recognise the passed property ID."},
};

struct CodeEntry {
    std::uint32_t Code;
    int Id;
};

// Result code (as its 32-bit pattern) to text id. 0xC0040002 and 0xC0040003,
// retired long ago, deliberately have no text.
constexpr CodeEntry CodeTexts[] = {
    {0xC0040001, _STR_OPC_INVALIDHANDLE},
    {0xC0040004, _STR_OPC_BADTYPE},
    {0xC0040005, _STR_OPC_PUBLIC},
    {0xC0040006, _STR_OPC_BADRIGHTS},
    {0xC0040007, _STR_OPC_UNKNOWNITEMID},
    {0xC0040008, _STR_OPC_INVALIDITEMID},
    {0xC0040009, _STR_OPC_INVALIDFILTER},
    {0xC004000A, _STR_OPC_UNKNOWNPATH},
    {0xC004000B, _STR_OPC_RANGE},
    {0xC004000C, _STR_OPC_DUPLICATENAME},
    {0x0004000D, _STR_OPC_UNSUPPORTEDRATE},
    {0x0004000E, _STR_OPC_CLAMP},
    {0x0004000F, _STR_OPC_INUSE},
    {0xC0040010, _STR_OPC_INVALIDCONFIGFILE},
    {0xC0040011, _STR_OPC_NOTFOUND},
    {0xC0040203, _STR_OPC_INVALID_PID},
    {0x00040200, _STR_AE_ALREADYACKED},
    {0x00040201, _STR_AE_INVALIDBUFFERTIME},
    {0x00040202, _STR_AE_INVALIDMAXSIZE},
    {0xC0040204, _STR_AE_BUSY},
    {0xC0040205, _STR_AE_REFRESHINPROGRESS},
    {0xC0040206, _STR_AE_NOINFO},
};

std::once_flag RegisterOnce;

void RegisterTexts() {
    for (const TextEntry &Entry : LibraryTexts)
        if (LoadResString(Entry.Id).empty())
            SetResourceString(Entry.Id, Entry.Text);
}

// Registers the texts while the program starts, so that code loading them with
// LoadResString directly finds them too.
[[maybe_unused]] const bool RegisteredAtStartup = (RegisterVexoResourceStrings(), true);

} // namespace

void RegisterVexoResourceStrings() { std::call_once(RegisterOnce, RegisterTexts); }

std::string VexoLoadStr(int Id) {
    RegisterVexoResourceStrings();
    return LoadResString(Id);
}

std::string GetOPCErrorMessage(HRESULT Code) noexcept {
    const auto Bits = static_cast<std::uint32_t>(Code);
    for (const CodeEntry &Entry : CodeTexts) {
        if (Entry.Code != Bits)
            continue;
        try {
            return VexoLoadStr(Entry.Id);
        } catch (...) {
            return {}; // only an exhausted heap gets here; a text is not worth a crash
        }
    }
    return {};
}

namespace {
std::atomic<TOPCCheckObserver> GCheckObserver{nullptr};
} // namespace

TOPCCheckObserver SetOPCCheckObserver(TOPCCheckObserver Observer) noexcept {
    return GCheckObserver.exchange(Observer, std::memory_order_acq_rel);
}

bool IsConnectionLost(HRESULT Code) noexcept {
    switch (Code) {
    case RPC_S_SERVER_UNAVAILABLE_HR:
    case RPC_S_CALL_FAILED_HR:
    case RPC_S_CALL_FAILED_DNE_HR:
    case RPC_E_CONNECTION_TERMINATED:
    case RPC_E_SERVER_DIED:
    case RPC_E_SERVER_DIED_DNE:
    case RPC_E_DISCONNECTED:
    case CO_E_OBJNOTCONNECTED:
        return true;
    default:
        return false;
    }
}

void OPCCheck(HRESULT Code) {
    if (SUCCEEDED(Code))
        return;
    if (TOPCCheckObserver Observer = GCheckObserver.load(std::memory_order_acquire))
        Observer(Code);
    std::string Text = GetOPCErrorMessage(Code);
    if (!Text.empty())
        throw EOPCException(std::move(Text));
    OleError(Code);
}

} // namespace vexo
