//===- ValueText.h - item values, types and times as vexo-opc shows them --===//
//
// Values become JSON cells (numbers, booleans, strings, arrays; dates as ISO
// 8601 text), from which the table and CSV forms are made, so every format
// shows the same value. Text typed by a user becomes a value of an item's
// type here too, with a reason in the user's terms when it does not fit.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include <vexo/foundation/Conversions.h>
#include <vexo/framework/DateUtils.h>
#include <vexo/framework/SysUtils.h>
#include <vexo/framework/Variants.h>

namespace vexo::cli {

using TCell = nlohmann::ordered_json;

/// Text that does not convert to the type asked for; the message says why in
/// terms of the text and the type, without naming an item.
VEXO_DECLARE_EXCEPTION(EValueText, Exception);

/// The value as a cell: null for empty, numbers and booleans as such, dates
/// as "2024-05-06T07:08:09", one-dimensional arrays as arrays. Never raises.
TCell ValueToCell(const OleVariant &Value);
/// A local time as ISO 8601 with the local offset, "2024-05-06T07:08:09+02:00";
/// null for no time (0).
TCell TimeToCell(TDateTime Time);
/// The cell as one line of text: strings as they are, null as "", arrays as
/// their elements separated by ';' (what write accepts back).
std::string CellText(const TCell &Cell);

/// "I4", "R8", "BSTR", "I4[]" for an array of I4; "EMPTY" for no type.
std::string TypeName(std::int32_t VarType);
/// "good", "uncertain" or "bad": the status bits of a quality.
std::string QualityName(std::int32_t Quality);

/// Text as a value of VarType: integers in range, decimal numbers, true or
/// false, dates as ISO 8601 (an offset or Z converts to local time), arrays
/// as elements separated by ';' (one trailing ';' allowed). Raises EValueText.
OleVariant TextToValue(const std::string &Text, std::int32_t VarType);

} // namespace vexo::cli
