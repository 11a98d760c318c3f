//===- TVexoServerStatus.cpp - the server's status and locale --------------===//
//
// This file implements the status queries of TVexoServer. Every answer comes
// from one fresh IOPCServer::GetStatus call (nothing is cached); the record
// and its vendor text are task memory that is released before returning, on
// every path. The locale goes through the cached IOPCCommon reference.
//
//===----------------------------------------------------------------------===//

#include <vexo/VexoErrors.h>
#include <vexo/client/TVexoServer.h>
#include <vexo/foundation/Conversions.h>
#include <vexo/platform/TaskMemory.h>
#include <vexo/platform/WideString.h>

namespace vexo {

namespace {

/// Owns the record a GetStatus call returned; frees the vendor text and then
/// the record, also when a check raises in between.
class StatusBlock {
  public:
    StatusBlock() = default;
    StatusBlock(const StatusBlock &) = delete;
    StatusBlock &operator=(const StatusBlock &) = delete;
    ~StatusBlock() {
        if (FStatus) {
            platform::CoTaskMemFree(FStatus->szVendorInfo);
            platform::CoTaskMemFree(FStatus);
        }
    }
    OPCSERVERSTATUS **Address() { return &FStatus; }
    OPCSERVERSTATUS *Get() const { return FStatus; }

  private:
    OPCSERVERSTATUS *FStatus = nullptr;
};

} // namespace

OPCSERVERSTATUS TVexoServer::GetStatus() {
    OPCSERVERSTATUS Result{};
    if (!CheckServer())
        return Result;
    StatusBlock Block;
    OPCCheck(FServerIF->GetStatus(Block.Address()));
    if (!Block.Get()) {
        Fault(VexoLoadStr(_STR_NOTACTIVE));
        return Result;
    }
    Result = *Block.Get();
    Result.szVendorInfo = nullptr; // the text it pointed to is released with the block
    return Result;
}

tServerStateRec TVexoServer::GetState() {
    tServerStateRec Result;
    if (!CheckServer())
        return Result;
    StatusBlock Block;
    OPCCheck(FServerIF->GetStatus(Block.Address()));
    const OPCSERVERSTATUS *Status = Block.Get();
    if (!Status) {
        Fault(VexoLoadStr(_STR_NOTACTIVE));
        return Result;
    }
    Result.StartTime = FileTimeToDateTime(Status->ftStartTime);
    Result.CurrentTime = FileTimeToDateTime(Status->ftCurrentTime);
    Result.LastUpdateTime = FileTimeToDateTime(Status->ftLastUpdateTime);
    Result.ServerState = static_cast<int>(Status->dwServerState);
    Result.GroupCount = static_cast<int>(Status->dwGroupCount);
    Result.BandWidth = static_cast<int>(Status->dwBandWidth);
    Result.MajorVersion = Status->wMajorVersion;
    Result.MinorVersion = Status->wMinorVersion;
    Result.BuildNumber = Status->wBuildNumber;
    if (Status->szVendorInfo)
        Result.VendorInfo = platform::WideToString(Status->szVendorInfo);
    return Result;
}

int TVexoServer::GetServerState() { return GetState().ServerState; }

std::string TVexoServer::GetServerStateStr() { return ServerStateToStr(GetServerState()); }

TDateTime TVexoServer::GetStartTime() { return GetState().StartTime; }

TDateTime TVexoServer::GetCurrentTime() { return GetState().CurrentTime; }

TDateTime TVexoServer::GetLastUpdateTime() { return GetState().LastUpdateTime; }

int TVexoServer::GetMajorVersion() { return GetState().MajorVersion; }

int TVexoServer::GetMinorVersion() { return GetState().MinorVersion; }

std::string TVexoServer::GetVendorInfo() { return GetState().VendorInfo; }

int TVexoServer::GetBandWidth() { return static_cast<int>(GetStatus().dwBandWidth); }

int TVexoServer::GetBuildNumber() { return GetStatus().wBuildNumber; }

int TVexoServer::GetLocaleId() {
    if (!FCommonIF)
        throw EOPCException(VexoLoadStr(_STR_NOTACTIVE));
    LCID Locale = 0;
    OPCCheck(FCommonIF->GetLocaleID(&Locale));
    return static_cast<int>(Locale);
}

void TVexoServer::SetLocaleId(int Value) {
    if (FCommonIF)
        FCommonIF->SetLocaleID(static_cast<LCID>(Value));
}

} // namespace vexo
