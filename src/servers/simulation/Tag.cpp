//===- Tag.cpp - value behaviours of a simulated data point ---------------===//
//
// The dynamic behaviours are functions of the scan time so that every group
// scanning at the same moment sees the same value; Random draws a fresh
// number per distinct time from the server's generator.
//
//===----------------------------------------------------------------------===//
#include "Tag.h"

#include <cmath>

#include <vexo/platform/Time.h>

namespace vexo::sim {
namespace {

/// Days from 30 December 1899 (the date type's origin) to 1 January 1601 (the
/// file-time origin).
constexpr double kFileTimeOriginDays = -109205.0;

/// The date value of a file time, in local time as date values are shown.
double LocalDate(const FILETIME &utc) {
    FILETIME local = utc;
    platform::FileTimeToLocalFileTime(&utc, &local);
    const ULONGLONG ticks = ULONGLONG(local.dwHighDateTime) << 32 | local.dwLowDateTime;
    return static_cast<double>(ticks / 10000) / 86400000.0 + kFileTimeOriginDays;
}

} // namespace

Tag::Tag(vexo::platform::WideString itemId_, vexo::platform::WideString name_, VARTYPE vt_,
         Behaviour behaviour_, DWORD rights_)
    : itemId(std::move(itemId_)), name(std::move(name_)), vt(vt_), behaviour(behaviour_),
      rights(rights_),
      acquired(behaviour_ == Behaviour::Constant || behaviour_ == Behaviour::Bucket) {}

void Tag::Evaluate(std::uint64_t nowMs, const FILETIME &now, bool force, std::uint32_t random) {
    if (nowMs == lastEvalMs_ && !force)
        return;
    lastEvalMs_ = nowMs;
    const bool first = !acquired;
    acquired = true;
    const double span = euHigh - euLow;
    double x = 0;
    switch (behaviour) {
    case Behaviour::Random:
        x = euLow + span * (random / 4294967296.0);
        break;
    case Behaviour::Ramp: {
        const double phase = std::fmod(static_cast<double>(nowMs), periodMs) / periodMs;
        x = euLow + span * phase;
        break;
    }
    case Behaviour::Sine: {
        const double phase = 2 * 3.14159265358979 * static_cast<double>(nowMs) / periodMs;
        x = euLow + span * (0.5 + 0.5 * std::sin(phase));
        break;
    }
    case Behaviour::Square: {
        const auto half = static_cast<std::uint64_t>(periodMs / 2);
        x = (nowMs / (half ? half : 1)) % 2 ? euHigh : euLow;
        break;
    }
    case Behaviour::Constant:
    case Behaviour::Bucket:
        if (!force)
            return;
        break;
    }
    if (force) {
        // Benchmarks want a change on every scan whatever the behaviour.
        x = static_cast<double>(++counter_ % 1000000);
    }
    if (vt == VT_DATE && behaviour != Behaviour::Bucket && !force) {
        // Time tags run with the clock; the random one lags it by up to a second.
        const double lag = behaviour == Behaviour::Random && span > 0 ? (x - euLow) / span : 0;
        x = LocalDate(now) - lag / 86400.0;
    }
    SimVar next = MakeValue(vt, x);
    if (!first && SameValue(next.Get(), value.Get()))
        return;
    value = std::move(next);
    stamp = now;
    ++version;
}

void Tag::Store(SimVar v, WORD q, const FILETIME &now) {
    acquired = true;
    value = std::move(v);
    quality = q;
    stamp = now;
    ++version;
}

HRESULT Tag::PrepareWrite(const VARIANT &in, SimVar &out) const {
    if (in.vt == VT_EMPTY || in.vt == VT_NULL)
        return OPC_E_BADTYPE;
    if (vt & VT_ARRAY) {
        if (in.vt != vt)
            return OPC_E_BADTYPE;
        out = SimVar(in);
        return S_OK;
    }
    if (in.vt & VT_ARRAY)
        return OPC_E_BADTYPE;
    HRESULT hr = S_OK;
    SimVar converted;
    if (clampWrites) {
        // Clamp on the number first so that 1e9 written to a 0..100 tag is
        // clamped rather than refused as an overflow.
        double x = 0;
        SimVar asDouble;
        if (in.vt != VT_R8 && FAILED(ConvertValue(asDouble.Get(), in, VT_R8)))
            return OPC_E_BADTYPE;
        if (!ValueAsDouble(in.vt == VT_R8 ? in : asDouble.Get(), x))
            return OPC_E_BADTYPE;
        if (x < euLow || x > euHigh) {
            x = x < euLow ? euLow : euHigh;
            hr = OPC_S_CLAMP;
        }
        out = MakeValue(vt, x);
        return hr;
    }
    const HRESULT conv = ConvertValue(converted.Get(), in, vt);
    if (conv == DISP_E_OVERFLOW)
        return OPC_E_RANGE;
    if (FAILED(conv))
        return OPC_E_BADTYPE;
    out = std::move(converted);
    return S_OK;
}

} // namespace vexo::sim
