//===- Interfaced.h - reference-counted objects implementing interfaces --===//
#pragma once

#include <vexo/platform/ComObject.h>

namespace vexo {

/// The framework's reference-counted base object for classes that implement
/// COM interfaces (the callback sinks): counts atomically, frees itself when
/// the last reference goes.
template <class... Interfaces> using TInterfacedObject = vexo::platform::ComObject<Interfaces...>;

} // namespace vexo
