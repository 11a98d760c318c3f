//===- PaletteBitmaps.h - the components' palette pictures ---------------===//
//
// The library's bitmap resources for the component palette, found by the
// upper-case class name of a component ("TVEXOSERVER",
// "TVEXOSERVERBROWSER"): 32 by 32 pixels in 16 colours.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

#include <QImage>

namespace vexo {

/// The bitmap resource Name (an indexed image with a 16-colour table), or a
/// null image when the library has none of that name.
QImage PaletteBitmap(const std::string &Name);

} // namespace vexo
