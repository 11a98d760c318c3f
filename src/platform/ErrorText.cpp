//===- ErrorText.cpp - system texts of common result codes ---------------===//
//
// This file maps the result codes this library meets to the texts the
// system's message table gives for them; other codes are named in
// hexadecimal.
//
//===----------------------------------------------------------------------===//
#include <vexo/platform/ErrorText.h>

#include <cstdio>

namespace vexo::platform {
namespace {

struct Entry {
    std::uint32_t code;
    const char *text;
};

constexpr Entry kTexts[] = {
    {0x00000000, "The operation completed successfully."},
    {0x00000001, "Incorrect function."},
    {0x80004001, "Not implemented"},
    {0x80004002, "No such interface supported"},
    {0x80004003, "Invalid pointer"},
    {0x80004004, "Operation aborted"},
    {0x80004005, "Unspecified error"},
    {0x8000FFFF, "Catastrophic failure"},
    {0x80070002, "The system cannot find the file specified."},
    {0x80070005, "Access is denied."},
    {0x80070006, "The handle is invalid."},
    {0x8007000E, "Not enough memory resources are available to complete this operation."},
    {0x80070057, "The parameter is incorrect."},
    {0x800706BA, "The RPC server is unavailable."},
    {0x800706BE, "The remote procedure call failed."},
    {0x800706BF, "The remote procedure call failed and did not execute."},
    {0x80010001, "Call was rejected by callee."},
    {0x80010006, "The connection terminated or is in a bogus state and cannot be used any "
                 "more. Other connections are still valid."},
    {0x80010007, "The callee (server [not server application]) is not available and "
                 "disappeared; all connections are invalid. The call may have executed."},
    {0x80010012, "The callee (server [not server application]) is not available and "
                 "disappeared; all connections are invalid. The call did not execute."},
    {0x80010105, "The server threw an exception."},
    {0x80010108, "The object invoked has disconnected from its clients."},
    {0x80010119, "Security must be initialized before any interfaces are marshalled or "
                 "unmarshalled. It cannot be changed once initialized."},
    {0x80040003, "This implementation doesn't take advises"},
    {0x80040004, "There is no connection for this connection ID"},
    {0x80040064, "Invalid FORMATETC structure"},
    {0x80040069, "Invalid tymed"},
    {0x80040110, "Class does not support aggregation (or class object is remote)"},
    {0x80040111, "ClassFactory cannot supply requested class"},
    {0x80040112, "Class is not licensed for use"},
    {0x80040154, "Class not registered"},
    {0x80040200, "There is no connection for this connection ID"},
    {0x80040201, "This implementation's limit for advisory connections has been reached"},
    {0x80040202, "Connection attempt failed"},
    {0x800401F0, "CoInitialize has not been called."},
    {0x800401F3, "Invalid class string"},
    {0x800401FB, "Object is not registered"},
    {0x800401FD, "Object is not connected to server"},
    {0x80080005, "Server execution failed"},
    {0x80020005, "Type mismatch."},
    {0x80020008, "Bad variable type."},
    {0x8002000A, "Out of present range."},
    {0x8002000B, "Invalid index."},
    {0x8002000D, "Memory is locked."},
};

} // namespace

std::string SystemErrorText(HRESULT hr) {
    auto code = static_cast<std::uint32_t>(hr);
    for (const Entry &e : kTexts)
        if (e.code == code)
            return e.text;
    char buf[32];
    std::snprintf(buf, sizeof buf, "Unknown error 0x%08X", static_cast<unsigned>(code));
    return buf;
}

} // namespace vexo::platform
