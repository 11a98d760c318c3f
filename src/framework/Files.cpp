//===- Files.cpp - whole-file reads and replacing writes ------------------===//
//
// Plain C stdio with errno for the reasons, std::filesystem for the rename
// (it replaces an existing file on every platform).
//
//===----------------------------------------------------------------------===//
#include <vexo/framework/Files.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include <vexo/framework/SysUtils.h>

namespace vexo {
namespace {

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE *)>;

std::string Reason(int Error) {
    return Error ? std::generic_category().message(Error) : std::string("unknown error");
}

[[noreturn]] void OpenFailed(const std::string &FileName, int Error) {
    throw EFOpenError("Cannot open file \"" + FileName + "\". " + Reason(Error));
}

[[noreturn]] void CreateFailed(const std::string &FileName, const std::string &Why) {
    throw EFCreateError("Cannot create file \"" + FileName + "\". " + Why);
}

/// A name beside FileName that no other writer of this process uses.
std::string TemporaryName(const std::string &FileName) {
    static std::atomic<unsigned> Counter{0};
    const auto Stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    return FileName + ".~" + std::to_string(Stamp & 0xFFFFFF) + "-" +
           std::to_string(Counter.fetch_add(1)) + ".tmp";
}

} // namespace

std::string ReadFileText(const std::string &FileName) {
    errno = 0;
    FilePtr F(std::fopen(FileName.c_str(), "rb"), &std::fclose);
    if (!F)
        OpenFailed(FileName, errno);
    std::string Data;
    char Buf[65536];
    for (;;) {
        errno = 0;
        const std::size_t N = std::fread(Buf, 1, sizeof Buf, F.get());
        Data.append(Buf, N);
        if (N < sizeof Buf)
            break;
    }
    if (std::ferror(F.get()))
        OpenFailed(FileName, errno);
    return Data;
}

void WriteFileText(const std::string &FileName, const std::string &Text) {
    const std::string Temp = TemporaryName(FileName);
    errno = 0;
    FilePtr F(std::fopen(Temp.c_str(), "wb"), &std::fclose);
    if (!F)
        CreateFailed(FileName, Reason(errno));
    errno = 0;
    const bool Written = std::fwrite(Text.data(), 1, Text.size(), F.get()) == Text.size() &&
                         std::fflush(F.get()) == 0;
    const int WriteError = errno;
    const bool Closed = std::fclose(F.release()) == 0;
    std::error_code Ec;
    if (!Written || !Closed) {
        std::filesystem::remove(Temp, Ec);
        CreateFailed(FileName, Reason(WriteError));
    }
    std::filesystem::rename(Temp, FileName, Ec);
    if (Ec) {
        std::error_code Ignored;
        std::filesystem::remove(Temp, Ignored);
        CreateFailed(FileName, Ec.message());
    }
}

} // namespace vexo
