//===- VexoConfig.cpp - configuration file of the server component -------===//
//
// SaveToFile writes the component with its groups and items in the
// framework's component text (refusing values the text cannot hold, and
// replacing an existing file only once the whole text is written);
// LoadFromFile checks the file's marker and reads it back into the same
// component. A component connected at that moment is disconnected first (its
// groups must not be replaced while they exist on the server). A file
// describes the whole configuration: what it leaves out takes the property's
// own default, never what the loading component held before. A file that
// says Active = True connects once, after everything was read.
//
//===----------------------------------------------------------------------===//

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoBrowser.h>
#include <vexo/client/TVexoGroup.h>
#include <vexo/client/TVexoItem.h>
#include <vexo/client/TVexoServer.h>
#include <vexo/client/TvexoServerBrowser.h>

#include <cstring>
#include <vector>

#include <vexo/framework/Files.h>
#include <vexo/framework/Streaming.h>

namespace vexo {

namespace {

/// How far into a file the class name is looked for.
constexpr std::size_t kMarkerReach = 299;

/// True when "tvexoserver" (any case) stands in the first 299 bytes, read up
/// to the first zero byte.
bool HasMarker(const std::string &Text) {
    std::string head = Text.substr(0, kMarkerReach);
    head.resize(std::strlen(head.c_str()));
    return LowerCase(head).find("tvexoserver") != std::string::npos;
}

} // namespace

namespace {

/// The names of the requestable data types, by ordinal.
const std::vector<std::string> &DatatypeNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (int i = 0; i < OPCADatatypeCount; ++i)
            n.emplace_back(OPCADatatypeName(static_cast<OPCADatatype>(i)));
        return n;
    }();
    return names;
}

} // namespace

// Each table lists the published properties in declaration order, which is
// the order in which they are written and expected.

const PropertyTable *TVexoServer::GetPropertyTable() const {
    using S = TVexoServer;
    static const PropertyTable Table =
        PropertyTable::Builder<S>()
            .Boolean("BatchMode", &S::BatchMode, &S::SetBatchMode)
            .String("ComputerName", &S::ComputerName, &S::SetComputername)
            .String("ServerName", &S::ServerName, &S::SetServer)
            .Collection("OPCGroups", &S::OPCGroups)
            .Class("OPCGroupDefault", &S::OPCGroupDefault)
            .Boolean("Active", &S::Active, &S::SetActive)
            .String("ClientName", &S::ClientName, &S::SetClientName)
            .String("Version", &S::Version, &S::SetVersion)
            // The reconnection settings declare their start values as defaults,
            // so a component that keeps them writes the file it always wrote.
            .Boolean("AutoReconnect", &S::AutoReconnect, &S::SetAutoReconnect, false)
            .Integer("ReconnectDelay", &S::ReconnectDelay, &S::SetReconnectDelay, 1000)
            .Integer("ReconnectMaxDelay", &S::ReconnectMaxDelay, &S::SetReconnectMaxDelay, 30000)
            .Integer("ReconnectAttempts", &S::ReconnectAttempts, &S::SetReconnectAttempts, 0)
            .Integer("KeepAliveInterval", &S::KeepAliveInterval, &S::SetKeepAliveInterval, 0)
            .Event("OnError", &S::OnError)
            .Event("OnServerShutdown", &S::OnServerShutdown)
            .Event("OnConnect", &S::OnConnect)
            .Event("OnDisconnect", &S::OnDisconnect)
            .Event("OnDatachange", &S::OnDatachange)
            .Event("OnWriteError", &S::OnWriteError)
            .Event("OnWriteComplete", &S::OnWriteComplete)
            .Event("OnConnectionState", &S::OnConnectionState)
            .Build();
    return &Table;
}

const PropertyTable *TVexoDefaultGroup::GetPropertyTable() const {
    using D = TVexoDefaultGroup;
    static const PropertyTable Table = PropertyTable::Builder<D>()
                                           .Boolean("IsActive", &D::IsActive, &D::IsActive)
                                           .Integer("UpdateRate", &D::UpdateRate, &D::UpdateRate)
                                           .Float("DeadBand", &D::DeadBand, &D::DeadBand, true)
                                           .Integer("LocaleId", &D::LocaleId, &D::LocaleId)
                                           .Integer("TimeBias", &D::TimeBias, &D::TimeBias)
                                           .Build();
    return &Table;
}

const PropertyTable *TVexoGroup::GetPropertyTable() const {
    using G = TVexoGroup;
    static const PropertyTable Table =
        PropertyTable::Builder<G>()
            .String("Name", &G::Name, &G::SetName)
            .Boolean("IsActive", &G::IsActive, &G::SetIsActive)
            .Integer("UpdateRate", &G::UpdateRate, &G::SetUpdateRate)
            .Float("DeadBand", &G::DeadBand, &G::SetDeadBand, true)
            .Integer("LocaleId", &G::LocaleId, &G::SetLocaleId)
            .Integer("TimeBias", &G::TimeBias, &G::SetTimeBias)
            .Class("DefaultItem", &G::DefaultItem)
            .Collection("OPCItems", &G::OPCItems)
            .Build();
    return &Table;
}

const PropertyTable *TVexoDefaultItem::GetPropertyTable() const {
    using D = TVexoDefaultItem;
    static const PropertyTable Table =
        PropertyTable::Builder<D>()
            .Boolean("IsActive", &D::IsActive, &D::IsActive, true)
            .String("AccessPath", &D::AccessPath, &D::AccessPath)
            .Enumeration("RequestDataType", &D::RequestDataType, &D::RequestDataType,
                         DatatypeNames())
            .Build();
    return &Table;
}

const PropertyTable *TVexoItem::GetPropertyTable() const {
    using I = TVexoItem;
    // The delivered fields are listed read-only: shown, never written.
    static const PropertyTable Table =
        PropertyTable::Builder<I>()
            .String("ItemID", &I::ItemID, &I::SetItemID)
            .String("AccessPath", &I::AccessPath, &I::SetAccessPath)
            .Boolean("IsActive", &I::IsActive, &I::SetIsActive)
            .Enumeration("RequestDatatype", &I::RequestDatatype, &I::SetRequestDatatype,
                         DatatypeNames())
            .Variant("Value", &I::Value)
            .Integer("Quality", &I::Quality, nullptr)
            .Float("TimeStamp", &I::TimeStamp, nullptr, false)
            .Integer("CanonicalDatatype", &I::CanonicalDatatype, nullptr)
            .Integer("EUType", &I::EUType, nullptr)
            .Variant("EUInfo", &I::EUInfo)
            .Build();
    return &Table;
}

const PropertyTable *TVexoBrowser::GetPropertyTable() const {
    using B = TVexoBrowser;
    static const PropertyTable Table =
        PropertyTable::Builder<B>()
            .Component(
                "OPCServer", &B::OPCServer,
                [](B &Browser, TComponent *C) { Browser.SetOPCServer(dynamic_cast<TVexoServer *>(C)); })
            .String("Filter", &B::Filter, &B::SetFilter)
            .Enumeration("Datatype", &B::Datatype, &B::SetDatatype, DatatypeNames())
            .Set(
                "AccessRights", [](const B &Browser) { return Browser.AccessRights().Bits; },
                [](B &Browser, long long Bits) {
                    OPCAcesstype rights;
                    rights.Bits = static_cast<std::uint8_t>(Bits & 3);
                    Browser.SetAccessRights(rights);
                },
                {"opcReadable", "opcWritable"})
            .Build();
    return &Table;
}

const PropertyTable *TvexoServerBrowser::GetPropertyTable() const {
    using B = TvexoServerBrowser;
    static const PropertyTable Table =
        PropertyTable::Builder<B>()
            .String("ComputerName", &B::ComputerName, &B::SetComputerName)
            .Set(
                "Servertype", [](const B &Browser) { return Browser.Servertype().Bits; },
                [](B &Browser, long long Bits) {
                    Browser.SetServertype(tvexoServerSet{static_cast<std::uint8_t>(Bits & 7)});
                },
                {"svr_DA20", "svr_DA10", "svr_AE10"})
            .Build();
    return &Table;
}

void TVexoServer::SaveToFile(const std::string &FileName) {
    WriteFileText(FileName, WriteComponentText(*this));
}

// Everything a file can set goes back to what a new component holds; the
// events stay (a file names handlers, it does not hold them).
void TVexoServer::ResetConfiguration() {
    FOPCGroups->Clear();
    const TVexoDefaultGroup Fresh;
    FOPCGroupDefault->IsActive = Fresh.IsActive;
    FOPCGroupDefault->UpdateRate = Fresh.UpdateRate;
    FOPCGroupDefault->DeadBand = Fresh.DeadBand;
    FOPCGroupDefault->LocaleId = Fresh.LocaleId;
    FOPCGroupDefault->TimeBias = Fresh.TimeBias;
    SetTag(0);
    FBatchMode = false;
    FComputerName.clear();
    FServerName.clear();
    FClientName.clear();
    FAutoReconnect = false;
    FReconnectDelay = 1000;
    FReconnectMaxDelay = 30000;
    FReconnectAttempts = 0;
    FKeepAliveInterval = 0;
}

void TVexoServer::LoadFromFile(const std::string &FileName) {
    const std::string text = ReadFileText(FileName);
    if (!HasMarker(text))
        throw Exception(VexoLoadStr(_STR_WRONGFILE));
    // Groups are replaced while reading: they must not be on the server then.
    SetActive(false);
    ResetConfiguration();
    try {
        ReadComponentText(text, *this);
    } catch (...) {
        // A read that failed never reaches Loaded: an Active read as true
        // would claim a connection that was never made.
        if (FActive && !FServerIF)
            FActive = false;
        throw;
    }
}

} // namespace vexo
