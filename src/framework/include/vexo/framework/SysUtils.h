//===- SysUtils.h - exceptions, formatting, string and number helpers ----===//
//
// This file defines the framework's exception classes (Exception is the base
// of every error the library raises), Format with the usual specifiers, and
// the string and number helpers whose conversion errors name the offending
// text.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

#include <vexo/platform/ComBase.h>

namespace vexo {

/// Base of every framework and library exception: a message text and a help context.
class Exception : public std::exception {
  public:
    explicit Exception(std::string Msg, int HelpContext = 0)
        : FMessage(std::move(Msg)), FHelpContext(HelpContext) {}
    const std::string &Message() const noexcept { return FMessage; }
    void SetMessage(std::string Msg) { FMessage = std::move(Msg); }
    int HelpContext() const noexcept { return FHelpContext; }
    const char *what() const noexcept override { return FMessage.c_str(); }

  private:
    std::string FMessage;
    int FHelpContext;
};

#define VEXO_DECLARE_EXCEPTION(Name, Base)                                                         \
    class Name : public Base {                                                                     \
      public:                                                                                      \
        using Base::Base;                                                                          \
    }

VEXO_DECLARE_EXCEPTION(EConvertError, Exception);    ///< text that is not a number, etc.
VEXO_DECLARE_EXCEPTION(EListError, Exception);       ///< list index out of bounds
VEXO_DECLARE_EXCEPTION(EStringListError, EListError);
VEXO_DECLARE_EXCEPTION(EIntfCastError, Exception);   ///< an interface cast that was refused
VEXO_DECLARE_EXCEPTION(EInvalidOperation, Exception);
VEXO_DECLARE_EXCEPTION(EVariantError, Exception);    ///< a variant that cannot be converted
VEXO_DECLARE_EXCEPTION(EStreamError, Exception);
VEXO_DECLARE_EXCEPTION(EFOpenError, EStreamError);   ///< a file that cannot be opened or read
VEXO_DECLARE_EXCEPTION(EFCreateError, EStreamError); ///< a file that cannot be created or written
VEXO_DECLARE_EXCEPTION(EReadError, EStreamError);    ///< a component stream that cannot be read
VEXO_DECLARE_EXCEPTION(EWriteError, EStreamError);   ///< a value the component text cannot hold
VEXO_DECLARE_EXCEPTION(EParserError, Exception);     ///< malformed component text
VEXO_DECLARE_EXCEPTION(EOleError, Exception);

/// The COM error exception: the failing HRESULT and the system's text for it.
class EOleSysError : public EOleError {
  public:
    EOleSysError(std::string Msg, HRESULT ErrorCode) : EOleError(std::move(Msg)), FErrorCode(ErrorCode) {}
    HRESULT ErrorCode() const noexcept { return FErrorCode; }

  private:
    HRESULT FErrorCode;
};

/// Raises EOleSysError for ErrorCode with the platform's text for it.
[[noreturn]] void OleError(HRESULT ErrorCode);
/// Raises EOleSysError when Result is a failure code.
void OleCheck(HRESULT Result);

/// One argument of Format: an integer, a float, a string or a pointer.
class FormatArg {
  public:
    FormatArg(int v) : FValue(static_cast<std::int64_t>(v)) {}
    FormatArg(long v) : FValue(static_cast<std::int64_t>(v)) {}
    FormatArg(long long v) : FValue(static_cast<std::int64_t>(v)) {}
    FormatArg(unsigned v) : FValue(static_cast<std::uint64_t>(v)) {}
    FormatArg(unsigned long v) : FValue(static_cast<std::uint64_t>(v)) {}
    FormatArg(unsigned long long v) : FValue(static_cast<std::uint64_t>(v)) {}
    FormatArg(double v) : FValue(v) {}
    FormatArg(float v) : FValue(static_cast<double>(v)) {}
    FormatArg(const char *v) : FValue(std::string(v ? v : "")) {}
    FormatArg(std::string v) : FValue(std::move(v)) {}
    FormatArg(std::string_view v) : FValue(std::string(v)) {}
    FormatArg(const void *v) : FValue(v) {}
    using Value = std::variant<std::int64_t, std::uint64_t, double, std::string, const void *>;
    const Value &Get() const { return FValue; }

  private:
    Value FValue;
};

/// Formats like the framework's Format: %s %d %u %x %X %f %e %g %n %m %p %c %%,
/// with optional index ("%1:s"), "-" flag, width and precision ("%.2f", "%5d",
/// "%*d"). A specifier that does not match its argument, or a missing argument,
/// raises EConvertError naming the format text.
std::string Format(std::string_view Fmt, std::initializer_list<FormatArg> Args);

// --- Strings ----------------------------------------------------------------
/// Removes leading and trailing blanks and control characters (<= ' ').
std::string Trim(std::string_view S);
std::string TrimLeft(std::string_view S);
std::string TrimRight(std::string_view S);
/// ASCII letter case.
std::string LowerCase(std::string_view S);
std::string UpperCase(std::string_view S);
bool SameText(std::string_view A, std::string_view B);
std::string StringReplaceAll(std::string_view S, std::string_view From, std::string_view To);

// --- Numbers ----------------------------------------------------------------
std::string IntToStr(long long Value);
std::string IntToHex(unsigned long long Value, int Digits);
/// Decimal or $hex/0x hex; raises EConvertError "'<S>' is not a valid integer value".
int StrToInt(std::string_view S);
long long StrToInt64(std::string_view S);
int StrToIntDef(std::string_view S, int Default);
/// Raises EConvertError "'<S>' is not a valid floating point value".
double StrToFloat(std::string_view S);
/// Shortest round-trip text with '.' as decimal separator, up to 15 significant digits.
std::string FloatToStr(double Value);

} // namespace vexo
