//===- StreamLayout.h - the two layouts of DA 1.0 stream values -----------===//
//
// This file defines where a value of a DA 1.0 data stream keeps its parts.
// A server copies its VARIANTs and SAFEARRAY descriptors into the block as
// they sit in its own memory, and the block crosses processes as plain bytes,
// so a 32-bit server writes 16-byte VARIANTs and 24-byte descriptors and a
// 64-bit one 24 and 32 bytes. Both agree on the rest: a VARIANT holds vt at 0
// and a scalar's value at 8 (a DECIMAL fills the first 16 bytes); a
// descriptor holds cDims at 0, fFeatures at 2, cbElements at 4 and its one
// bound (cElements, lLbound) in its last 8 bytes. Pointers in either mean
// nothing in the block.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>

#include <vexo/OPCtypes.h>

namespace vexo::opc {

struct StreamLayout {
    DWORD PointerBits;        ///< 32 or 64
    std::uint32_t Variant;    ///< bytes of a VARIANT
    std::uint32_t Descriptor; ///< bytes of a SAFEARRAY descriptor with one bound

    static constexpr std::uint32_t ValueAt = 8;    ///< a scalar's value in a VARIANT
    static constexpr std::uint32_t FeaturesAt = 2; ///< fFeatures in a descriptor
    static constexpr std::uint32_t ElemSizeAt = 4; ///< cbElements in a descriptor
    constexpr std::uint32_t Pointer() const { return PointerBits / 8; }
    constexpr std::uint32_t CountAt() const { return Descriptor - 8; }      ///< cElements
    constexpr std::uint32_t LowerBoundAt() const { return Descriptor - 4; } ///< lLbound
};

inline constexpr StreamLayout StreamLayout32{32, 16, 24};
inline constexpr StreamLayout StreamLayout64{64, 24, 32};
/// The layout of this process.
inline constexpr const StreamLayout &NativeStreamLayout =
    sizeof(void *) == 8 ? StreamLayout64 : StreamLayout32;

static_assert(NativeStreamLayout.Variant == sizeof(VARIANT));
static_assert(NativeStreamLayout.Descriptor == sizeof(SAFEARRAY));
static_assert(offsetof(VARIANT, llVal) == StreamLayout::ValueAt);
static_assert(offsetof(SAFEARRAY, cbElements) == StreamLayout::ElemSizeAt);
static_assert(offsetof(SAFEARRAY, rgsabound) == NativeStreamLayout.CountAt());

} // namespace vexo::opc
