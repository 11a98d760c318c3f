//===- Tag.h - one simulated data point and its behaviour -----------------===//
//
// This file defines Tag, a leaf of the simulated address space: its item id,
// canonical type, access rights, engineering units, properties, access paths
// and the behaviour that moves its value over time (random, ramp, sine,
// square, constant, or a "bucket" that keeps what is written). Tags are owned
// by the AddressSpace and guarded by the server's lock.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <vexo/OPCDA.h>
#include <vexo/platform/WideString.h>

#include "SimValue.h"

namespace vexo::sim {

enum class Behaviour { Random, Ramp, Sine, Square, Constant, Bucket };

/// A property with an item id behind it (LookupItemIDs), or a read that fails.
struct TagPropertyLink {
    DWORD id;
    vexo::platform::WideString itemId; ///< empty: no item id
    HRESULT readError;     ///< S_OK: readable
};

class Tag {
  public:
    Tag(vexo::platform::WideString itemId, vexo::platform::WideString name, VARTYPE vt, Behaviour behaviour,
        DWORD rights);

    /// Moves the value to time nowMs (once per distinct time); force = always change.
    void Evaluate(std::uint64_t nowMs, const FILETIME &stamp, bool force, std::uint32_t random);
    /// Stores a written value (already in canonical type) and stamps it.
    void Store(SimVar value, WORD quality, const FILETIME &stamp);
    /// Converts and limits a value to be written. S_OK, OPC_S_CLAMP, or a failure
    /// (OPC_E_BADTYPE, OPC_E_RANGE); out receives the value to store.
    HRESULT PrepareWrite(const VARIANT &in, SimVar &out) const;

    bool IsAnalog() const { return euType == OPC_ANALOG; }

    vexo::platform::WideString itemId;
    vexo::platform::WideString name;
    VARTYPE vt;
    Behaviour behaviour;
    DWORD rights;
    OPCEUTYPE euType = OPC_NOENUM;
    double euLow = 0, euHigh = 100; ///< range of the behaviours, EU range for analog tags
    bool clampWrites = false;
    double periodMs = 10000;
    vexo::platform::WideString units;
    vexo::platform::WideString description;
    std::vector<vexo::platform::WideString> accessPaths;
    std::vector<TagPropertyLink> extraProperties;

    SimVar value;
    WORD quality = OPC_QUALITY_GOOD;
    /// False until a changing tag's value was first worked out (by a scan or
    /// a device read) or written: until then the value means nothing.
    bool acquired = true;
    FILETIME stamp{};
    std::uint64_t version = 1; ///< bumped whenever value or quality changes

  private:
    std::uint64_t lastEvalMs_ = ~std::uint64_t{0};
    std::uint64_t counter_ = 0;
};

} // namespace vexo::sim
