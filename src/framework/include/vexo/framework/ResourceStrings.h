//===- ResourceStrings.h - localisable texts loaded by id ----------------===//
//
// A process-wide string table: units register their texts under fixed ids,
// a translation may replace them, and code loads each text by id when it is
// needed, so a replaced table changes every message. Thread-safe.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

namespace vexo {

/// Adds or replaces texts in the string table.
void RegisterResourceStrings(std::initializer_list<std::pair<int, const char *>> Table);
void SetResourceString(int Id, std::string Text);
/// The text for Id; the empty string when the table has none.
std::string LoadResString(int Id);

} // namespace vexo
