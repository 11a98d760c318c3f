//===- Files.h - whole-file reads and replacing writes --------------------===//
//
// This file declares the two file operations the configuration code needs:
// reading a whole file into memory and replacing a file's content so that a
// failed write never leaves a half-written file behind. Errors name the file
// and the system's reason. Any thread.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

namespace vexo {

/// The whole content of FileName, byte for byte. Raises EFOpenError naming
/// the file and the reason when it cannot be opened or read (a directory, no
/// permission, a read error).
std::string ReadFileText(const std::string &FileName);

/// Replaces FileName's content with Text: writes a temporary file beside it
/// and renames it over FileName, so an existing file stays as it was unless
/// the whole text was written. Raises EFCreateError naming the file and the
/// reason; the temporary file is removed on failure.
void WriteFileText(const std::string &FileName, const std::string &Text);

} // namespace vexo
