#include "platform/Fonts.h"

#include <QFont>
#include <QStringList>
#include <QtGlobal>
#include <fontconfig/fontconfig.h>

namespace platform {
namespace {

const QString kSongFace = QStringLiteral("AR PL UMing CN");
const QString kKaiFace = QStringLiteral("AR PL UKai CN");
// The Latin letters of both Chinese faces draw "l" like "1"; this face keeps l, 1 and I apart.
const QString kLatinFace = QStringLiteral("Liberation Serif");

// The Song face carries black-and-white bitmaps for 11 to 16 pixels, the sizes of 9- and 12-point
// text. Drawn from them without smoothing, small Chinese text is crisp and black, as on the
// desktop this program was designed for; larger Song text, the Kai face and Latin letters (from
// their own face) stay smooth.
const char kCrispSmallSongRule[] = R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <match target="font">
    <test name="family"><string>AR PL UMing CN</string></test>
    <test name="pixelsize" compare="less_eq"><double>16.5</double></test>
    <edit name="antialias" mode="assign"><bool>false</bool></edit>
    <edit name="embeddedbitmap" mode="assign"><bool>true</bool></edit>
    <edit name="hinting" mode="assign"><bool>true</bool></edit>
  </match>
</fontconfig>
)";

} // namespace

void SetUpFonts() {
    if (!FcConfigParseAndLoadFromMemory(
            FcConfigGetCurrent(), reinterpret_cast<const FcChar8*>(kCrispSmallSongRule), FcTrue))
        qWarning("the font rule for small Song text was not accepted; small text stays smooth");
    // A family list: Latin letters come from the first face, Chinese from the next.
    for (const QString& song : {kSongFamily, QStringLiteral("SimSun")})
        QFont::insertSubstitutions(song, {kLatinFace, kSongFace});
    for (const QString& kai : {kKaiFamily, QStringLiteral("KaiTi_GB2312")})
        QFont::insertSubstitutions(kai, {kLatinFace, kKaiFace});
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
}

} // namespace platform
