//===- SimValue.h - owned VARIANTs and value helpers of the simulation ----===//
//
// This file defines SimVar, the owning VARIANT the servers keep in tags and
// items, and the helpers the tag behaviours and the scan need: building a
// value of any supported type from a number, comparing two values, reading a
// value as a number (for the dead band) and checking type conversions.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <utility>

#include <vexo/platform/Variant.h>

namespace vexo::sim {

/// An owned VARIANT: copies deep, clears on destruction. Not thread-safe.
class SimVar {
  public:
    SimVar() { platform::VariantInit(&v_); }
    SimVar(const SimVar &o) : SimVar() { platform::VariantCopy(&v_, &o.v_); }
    SimVar(SimVar &&o) noexcept : v_(o.v_) { platform::VariantInit(&o.v_); }
    explicit SimVar(const VARIANT &v) : SimVar() { platform::VariantCopy(&v_, &v); }
    ~SimVar() { platform::VariantClear(&v_); }
    SimVar &operator=(const SimVar &o) {
        if (this != &o)
            platform::VariantCopy(&v_, &o.v_);
        return *this;
    }
    SimVar &operator=(SimVar &&o) noexcept {
        std::swap(v_, o.v_);
        return *this;
    }

    VARIANT &Get() { return v_; }
    const VARIANT &Get() const { return v_; }
    VARTYPE Type() const { return v_.vt; }
    void Clear() { platform::VariantClear(&v_); }

  private:
    VARIANT v_;
};

/// True for the scalar types of the data-type table (I1 .. BOOL, BSTR, CY, DATE).
bool IsSupportedScalar(VARTYPE vt);
/// True when a value of canonical type `from` can be delivered as `requested`
/// (VT_EMPTY = canonical). Arrays convert only to themselves.
bool CanConvert(VARTYPE from, VARTYPE requested);
/// A value of type vt made from the number x (arrays: n elements starting at x).
SimVar MakeValue(VARTYPE vt, double x, int arrayLength = 4);
/// Converts src to vt into dest; VT_EMPTY copies. Returns the conversion result.
HRESULT ConvertValue(VARIANT &dest, const VARIANT &src, VARTYPE vt);
/// Deep equality of two values (type and content).
bool SameValue(const VARIANT &a, const VARIANT &b);
/// The value as a number for dead-band checks; false for strings and arrays.
bool ValueAsDouble(const VARIANT &v, double &out);
/// Readable text of a value for the call log.
std::string ValueText(const VARIANT &v);

} // namespace vexo::sim
