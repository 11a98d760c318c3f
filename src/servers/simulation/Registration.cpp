//===- Registration.cpp - class factories and registry entries ------------===//
//
// RegisterSimulationServers puts the two simulation classes and the
// server-list object into a computer's class table and writes their registry
// keys: the ProgID key with its CLSID and OPC subkeys, the CLSID key with the
// user type, ProgID and implemented component categories, and the category
// descriptions. A computer that already has the keys is left as it is. Each
// server class's factory stands for its process on that computer, which a
// test can take offline and bring back (IVexoSimControl::SetOffline).
//
//===----------------------------------------------------------------------===//
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include <vexo/OPCCOMN.h>
#include <vexo/OPCDA.h>
#include <vexo/VexoSimulation.h>
#include <vexo/platform/Activation.h>
#include <vexo/platform/Guid.h>
#include <vexo/platform/Registry.h>

#include "ComHelpers.h"
#include "ServerList.h"
#include "ServerObject.h"
#include "SimHosting.h"
#include "SimProcess.h"

namespace vexo {
namespace {

enum class Product { Simulation, SimulationDA10, ServerList };

class Factory final : public platform::ComObject<IClassFactory> {
  public:
    Factory(Product product, std::string computer)
        : product_(product), computer_(std::move(computer)),
          process_(std::make_shared<sim::SimProcess>()) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject) override {
        return sim::Guard([&] {
            if (!ppvObject)
                return E_POINTER;
            *ppvObject = nullptr;
            if (pUnkOuter)
                return CLASS_E_NOAGGREGATION;
            if (product_ == Product::ServerList)
                return platform::MakeCom<sim::SimServerList>(computer_)->QueryInterface(riid,
                                                                                       ppvObject);
            // A process that went away cannot be reached, let alone start objects.
            if (process_->Offline())
                return RPC_S_SERVER_UNAVAILABLE_HR;
            auto server = sim::SimServer::Create(product_ == Product::SimulationDA10, process_);
            return server->QueryInterface(riid, ppvObject);
        });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
        fLock ? sim::HostAddRef() : sim::HostRelease();
        return S_OK;
    }

  private:
    Product product_;
    std::string computer_;
    std::shared_ptr<sim::SimProcess> process_; ///< the class's process on this computer
};

void SetDefault(HKEY root, const std::string &subKey, const std::string &value) {
    platform::RegSetValueA(root, subKey.c_str(), REG_SZ, value.c_str(),
                           static_cast<DWORD>(value.size() + 1));
}

void CreateKey(HKEY root, const std::string &subKey) {
    HKEY key = nullptr;
    if (platform::RegCreateKeyA(root, subKey.c_str(), &key) == ERROR_SUCCESS)
        platform::RegCloseKey(key);
}

void WriteClass(HKEY root, const CLSID &clsid, const std::string &progId,
                const std::string &userType, std::initializer_list<CATID> categories, bool opc) {
    const std::string id = platform::GuidToString(clsid);
    SetDefault(root, progId, userType);
    SetDefault(root, progId + "\\CLSID", id);
    if (opc)
        CreateKey(root, progId + "\\OPC");
    SetDefault(root, "CLSID\\" + id, userType);
    SetDefault(root, "CLSID\\" + id + "\\ProgID", progId);
    for (const CATID &cat : categories)
        CreateKey(root, "CLSID\\" + id + "\\Implemented Categories\\" + platform::GuidToString(cat));
}

platform::ComPtr<IClassFactory> MakeFactory(Product product, const std::string &computer) {
    auto factory = platform::MakeCom<Factory>(product, computer);
    return platform::ComPtr<IClassFactory>(factory.Get());
}

} // namespace

namespace sim {

platform::ComPtr<IClassFactory> SimulationClassObject(REFCLSID clsid) {
    static std::mutex mu;
    static platform::ComPtr<IClassFactory> factories[3];
    const Product product = clsid == CLSID_VexoSimulation       ? Product::Simulation
                            : clsid == CLSID_VexoSimulationDA10 ? Product::SimulationDA10
                            : clsid == CLSID_OPCServerList      ? Product::ServerList
                                                                : Product(-1);
    if (int(product) < 0)
        return {};
    std::lock_guard lock(mu);
    auto &factory = factories[int(product)];
    if (!factory)
        factory = MakeFactory(product, "");
    return factory;
}

void WriteSimulationKeys(HKEY root) {
    WriteClass(root, CLSID_VexoSimulation, "Vexo.Simulation.1", "Vexo OPC DA Simulation Server",
               {CATID_OPCDAServer10, CATID_OPCDAServer20}, true);
    WriteClass(root, CLSID_VexoSimulationDA10, "Vexo.Simulation.DA10.1",
               "Vexo OPC DA 1.0 Simulation Server", {CATID_OPCDAServer10}, true);
    WriteClass(root, CLSID_OPCServerList, "OPC.ServerList.1", "OPC Server List", {}, false);
    SetDefault(root, "Component Categories\\" + platform::GuidToString(CATID_OPCDAServer10),
               OPC_CATEGORY_DESCRIPTION_DA10);
    SetDefault(root, "Component Categories\\" + platform::GuidToString(CATID_OPCDAServer20),
               OPC_CATEGORY_DESCRIPTION_DA20);
}

} // namespace sim

void RegisterSimulationServers(std::string_view computerName) {
    static std::mutex mu;
    std::lock_guard lock(mu);
    const std::string computer(computerName);
    if (!computer.empty() && !platform::ComputerExists(computer))
        platform::AddComputer(computer);
    HKEY root = nullptr;
    if (platform::RegConnectRegistryA(computer.empty() ? nullptr : computer.c_str(),
                                      HKEY_CLASSES_ROOT, &root) != ERROR_SUCCESS)
        return;
    const std::string marker = "CLSID\\" + platform::GuidToString(CLSID_VexoSimulation);
    HKEY existing = nullptr;
    const bool keysThere = platform::RegOpenKeyA(root, marker.c_str(), &existing) == ERROR_SUCCESS;
    if (keysThere)
        platform::RegCloseKey(existing);
#ifdef _WIN32
    // The system's registry outlives this process and is shared with others;
    // the class objects are this process's own.
    static std::set<std::string> withClasses;
    const bool classesThere = !withClasses.insert(computer).second;
#else
    const bool classesThere = keysThere; // the stand-in's registry is this process's
#endif
    if (!classesThere) {
        const std::pair<Product, CLSID> classes[] = {
            {Product::Simulation, CLSID_VexoSimulation},
            {Product::SimulationDA10, CLSID_VexoSimulationDA10},
            {Product::ServerList, CLSID_OPCServerList}};
        for (const auto &[product, clsid] : classes) {
            auto factory = MakeFactory(product, computer);
            DWORD cookie = 0;
            platform::RegisterClassObjectOn(computer, clsid, factory.Get(), &cookie);
        }
    }
    if (keysThere) {
        platform::RegCloseKey(root);
        return; // registered before
    }
    sim::WriteSimulationKeys(root);
    platform::RegCloseKey(root);
}

std::vector<std::string> SimCallLog(IVexoSimControl *control) {
    std::vector<std::string> lines;
    LPWSTR text = nullptr;
    if (!control || FAILED(control->GetCallLog(&text)) || !text)
        return lines;
    const std::string all = platform::WideToString(text);
    platform::CoTaskMemFree(text);
    std::size_t start = 0;
    while (start < all.size()) {
        const auto end = all.find('\n', start);
        lines.push_back(all.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

} // namespace vexo
