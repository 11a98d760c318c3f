//===- ErrorText.h - the system's message for an HRESULT -----------------===//
#pragma once

#include <string>

#include <vexo/platform/ComBase.h>

namespace vexo::platform {

/// The system's text for a result code (as FormatMessage gives it, without a
/// trailing line break). Codes outside the table give
/// "Unknown error 0x8004ABCD" with the code in hexadecimal.
std::string SystemErrorText(HRESULT hr);

} // namespace vexo::platform
