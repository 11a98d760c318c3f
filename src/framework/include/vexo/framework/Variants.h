//===- Variants.h - OleVariant and the variant helpers -------------------===//
//
// OleVariant owns one VARIANT: copying copies its contents (BSTRs and arrays
// duplicated), destruction clears it. The free functions are the framework's
// variant helpers (VarToStr, VarIsArray, element access ...).
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>

#include <vexo/platform/Variant.h>
#include <vexo/platform/WideString.h>

namespace vexo {

class OleVariant {
  public:
    OleVariant() noexcept { vexo::platform::VariantInit(&FVar); } ///< unassigned (VT_EMPTY)
    OleVariant(const OleVariant &Other);
    OleVariant(OleVariant &&Other) noexcept;
    /// Deep copy of a raw VARIANT (the source keeps its contents); a value
    /// by reference is copied as the value it points to.
    explicit OleVariant(const VARIANT &V);
    OleVariant(bool V);          ///< VT_BOOL
    OleVariant(int V);           ///< VT_I4
    OleVariant(long long V);     ///< VT_I8
    OleVariant(unsigned V);      ///< VT_UI4
    OleVariant(float V);         ///< VT_R4
    OleVariant(double V);        ///< VT_R8
    OleVariant(const char *V);   ///< VT_BSTR
    OleVariant(std::string_view V);  ///< VT_BSTR
    OleVariant(const std::string &V) : OleVariant(std::string_view(V)) {}
    OleVariant(platform::WideStringView V); ///< VT_BSTR
    /// VT_BSTR; without it a wide literal would bind to the bool constructor.
    OleVariant(const WCHAR *V) : OleVariant(platform::WideStringView(V ? V : OLESTR(""))) {}
#ifdef _WIN32
    /// Refused where WCHAR is wchar_t: the pointer would otherwise silently
    /// become a VT_BOOL of true.
    OleVariant(const char16_t *V) = delete;
#endif
    ~OleVariant() { vexo::platform::VariantClear(&FVar); }

    OleVariant &operator=(const OleVariant &Other);
    OleVariant &operator=(OleVariant &&Other) noexcept;
    /// Deep copy of a raw VARIANT into this one.
    OleVariant &operator=(const VARIANT &V);

    /// Takes over the contents of V (V is left VT_EMPTY); no copy.
    static OleVariant Attach(VARIANT &V) noexcept;
    /// Gives the contents to the caller (this is left VT_EMPTY).
    VARIANT Detach() noexcept;

    void Clear() noexcept { vexo::platform::VariantClear(&FVar); }
    VARTYPE VarType() const noexcept { return FVar.vt; }
    const VARIANT &Var() const noexcept { return FVar; }
    VARIANT &Var() noexcept { return FVar; }

    /// Converts to type Vt; raises EVariantError naming the value and type.
    OleVariant ChangeType(VARTYPE Vt) const;
    int AsInteger() const;
    double AsDouble() const;
    bool AsBoolean() const;
    std::string AsString() const; ///< VarToStr

    /// Null and unassigned values.
    static OleVariant Null();
    static OleVariant Unassigned() { return OleVariant(); }

  private:
    VARIANT FVar;
};

/// Text of a variant: numbers, dates, booleans ("True"/"False"), currency as
/// the platform renders them; Null and unassigned give "". Raises
/// EVariantError for values without a text form (arrays, interfaces).
std::string VarToStr(const OleVariant &V);
bool VarIsEmpty(const OleVariant &V);
bool VarIsNull(const OleVariant &V);
bool VarIsArray(const OleVariant &V);
/// Number of dimensions of an array variant (0 when not an array).
int VarArrayDimCount(const OleVariant &V);
/// Bounds of dimension Dim (1-based); EVariantError when not an array or bad Dim.
int VarArrayLowBound(const OleVariant &V, int Dim);
int VarArrayHighBound(const OleVariant &V, int Dim);
/// Element at Index of a one-dimensional array; EVariantError when the array
/// has another number of dimensions or the index is out of bounds.
OleVariant VarArrayGet(const OleVariant &V, int Index);
/// A one-dimensional array of element type Vt with bounds Low..High (VT_EMPTY elements for VT_VARIANT).
OleVariant VarArrayCreate(int Low, int High, VARTYPE Vt);
void VarArrayPut(OleVariant &V, int Index, const OleVariant &Value);

} // namespace vexo
