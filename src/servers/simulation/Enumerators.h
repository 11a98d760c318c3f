//===- Enumerators.h - string, GUID and object enumerators ----------------===//
//
// This file declares the enumerators the servers hand out: IEnumString (browse
// results, access paths, group names), IEnumGUID (the server list) and
// IEnumUnknown (group objects). Each holds a snapshot; Next copies into task
// memory (strings) or the caller's array. Not thread-safe per object, as COM
// enumerators are not.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <vector>

#include <vexo/platform/ComInterfaces.h>
#include <vexo/platform/ComObject.h>
#include <vexo/platform/WideString.h>

namespace vexo::sim {

class StringEnum final : public platform::ComObject<IEnumString> {
  public:
    explicit StringEnum(std::vector<vexo::platform::WideString> items, std::size_t pos = 0);
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, LPOLESTR *rgelt, ULONG *pceltFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumString **ppenum) override;

  private:
    std::vector<vexo::platform::WideString> items_;
    std::size_t pos_;
};

class GuidEnum final : public platform::ComObject<IEnumGUID> {
  public:
    explicit GuidEnum(std::vector<GUID> items, std::size_t pos = 0);
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, GUID *rgelt, ULONG *pceltFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumGUID **ppenum) override;

  private:
    std::vector<GUID> items_;
    std::size_t pos_;
};

class UnknownEnum final : public platform::ComObject<IEnumUnknown> {
  public:
    explicit UnknownEnum(std::vector<platform::ComPtr<IUnknown>> items, std::size_t pos = 0);
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, IUnknown **rgelt, ULONG *pceltFetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumUnknown **ppenum) override;

  private:
    std::vector<platform::ComPtr<IUnknown>> items_;
    std::size_t pos_;
};

} // namespace vexo::sim
