//===- PaletteBitmaps.cpp - the components' palette pictures -------------===//
//
// Each picture is drawn from a 32 by 32 character map, one character per
// pixel naming a colour of the standard 16-colour table.
//
//===----------------------------------------------------------------------===//
#include <vexo/design/PaletteBitmaps.h>

#include <array>

namespace vexo {

namespace {

// '.' background (light grey), 'k' black, 'g' dark grey, 'w' white,
// 'b' blue, 'c' cyan, 'G' green, 'y' yellow.
constexpr std::array<const char *, 32> kServer = {
    "................................",  "................................",
    "........kkkkkkkkkkkkkkkk........",  "........kwwwwwwwwwwwwwwk........",
    "........kw............gk........",  "........kw.bbbbbbbbbb..gk........",
    "........kw............gk........",  "........kw.GG.......k.gk........",
    "........kw............gk........",  "........kggggggggggggggk........",
    "........kwwwwwwwwwwwwwwk........",  "........kw............gk........",
    "........kw.bbbbbbbbbb..gk........", "........kw............gk........",
    "........kw.GG.......k.gk........",  "........kw............gk........",
    "........kggggggggggggggk........",  "........kwwwwwwwwwwwwwwk........",
    "........kw............gk........",  "........kw.bbbbbbbbbb..gk........",
    "........kw............gk........",  "........kw.yy.......k.gk........",
    "........kw............gk........",  "........kkkkkkkkkkkkkkkk........",
    "...............kk...............",  "...............kk...............",
    "......kkkkkkkkkkkkkkkkkkkk......",  "......k..................k......",
    "...cccc..........OPC.....cccc...",  "...cccc..................cccc...",
    "................................",  "................................"};

constexpr std::array<const char *, 32> kServerBrowser = {
    "................................",  "..kkkkkkkkkkkkkkkkkkkk..........",
    "..kwwwwwwwwwwwwwwwwwwk..........",  "..kw.bbbbbbbbbbbb...gk..........",
    "..kw................gk..........",  "..kw.bbbbbbbbb......gk..........",
    "..kw................gk..........",  "..kw.bbbbbbbbbbbbb..gk..........",
    "..kw................gk..........",  "..kw.bbbbbbb.....kkkkkk.........",
    "..kw...........kk......kk.......",  "..kw.bbbbbbbb.k..wwww....k......",
    "..kw..........k.ww........k.....",  "..kw.bbbbbbbbk.w..........k.....",
    "..kw.........k.w...........k....",  "..kw.bbbbbbb.k..............k....",
    "..kw.........k..............k....", "..kw.........k..............k....",
    "..kw.........k..............k....", "..kggggggggggk..............k....",
    "..............k............k.....", "...............k..........k.....",
    "................kk......kkk......", "..................kkkkkk.kkk.....",
    "..........................kkk....", "...........................kkk...",
    "............................kkk..", ".............................kk..",
    "................................",  "................................",
    "................................",  "................................"};

/// The standard 16-colour table.
QList<QRgb> ColourTable() {
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

int ColourIndex(char C) {
    switch (C) {
    case 'k':
        return 0;
    case 'g':
        return 8;
    case 'w':
        return 15;
    case 'b':
        return 4;
    case 'c':
        return 6;
    case 'G':
        return 2;
    case 'y':
        return 11;
    case 'O':
    case 'P':
    case 'C':
        return 12;
    default:
        return 7;
    }
}

QImage Draw(const std::array<const char *, 32> &Map) {
    QImage Image(32, 32, QImage::Format_Indexed8);
    Image.setColorTable(ColourTable());
    for (int y = 0; y < 32; ++y) {
        const std::string_view Row(Map[static_cast<size_t>(y)]);
        for (int x = 0; x < 32; ++x)
            Image.setPixel(x, y,
                           static_cast<uint>(ColourIndex(x < static_cast<int>(Row.size())
                                                             ? Row[static_cast<size_t>(x)]
                                                             : '.')));
    }
    return Image;
}

} // namespace

QImage PaletteBitmap(const std::string &Name) {
    if (Name == "TVEXOSERVER")
        return Draw(kServer);
    if (Name == "TVEXOSERVERBROWSER")
        return Draw(kServerBrowser);
    return QImage();
}

} // namespace vexo
