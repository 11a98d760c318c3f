//===- InspectorSession.h - vexo-inspector, one editing session ----------===//
//
// RunVexoInspector opens the inspector on a server component, loaded from a
// configuration file when one is named, and when the window closes saves the
// component back if anything changed, asking first: save, discard, or cancel
// (back to the inspector). Without a file, or for a file that does not exist
// yet, it starts on an empty component; saving then asks for a name when
// none was given. The simulation servers are always registered, so there is
// a server to build against. Needs a QApplication; GUI thread only.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace vexo::inspector {

/// Runs one session; returns the process exit code (0, or 1 when the file
/// cannot be read or the arguments are wrong, reported on Err).
int RunVexoInspector(const std::vector<std::string> &Args, std::ostream &Out, std::ostream &Err);

} // namespace vexo::inspector
