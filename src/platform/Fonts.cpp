#include "platform/Fonts.h"

#include <QFont>
#include <QStringList>
#include <QtGlobal>
#include <fontconfig/fontconfig.h>

namespace platform {
namespace {

const QString kSongFace = QStringLiteral("AR PL UMing CN");
const QString kKaiFace = QStringLiteral("AR PL UKai CN");
// The Latin letters of both Chinese faces draw "l" like "1". The layouts are measured with Latin
// letters half as wide as a Chinese character, drawn as bitmaps where the Song is drawn from its
// bitmaps: the Terminus bitmaps of those sizes keep l, 1 and I apart, and are gathered here into
// one family with a scalable face for the sizes they lack.
const QString kLatinFace = QStringLiteral("Orvandel Latin");
const QString kScalableLatinFace = QStringLiteral("Liberation Serif");
// Regular only: bold bitmaps would stand in for bold text of every size, not only of theirs.
const char* const kLatinBitmaps[] = {
    "/usr/share/fonts/X11/misc/ter-u12n_unicode.pcf.gz", // 9 points
    "/usr/share/fonts/X11/misc/ter-u16n_unicode.pcf.gz", // 12 points
};
const char* const kLatinOutlines[] = {
    "/usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSerif-Bold.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSerif-Italic.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSerif-BoldItalic.ttf",
};

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

// Renames a font file, as it is read, into the Latin family; a bitmap also to the regular style
// of the scalable face, or the two would be told apart by weight and width. The system leaves
// bitmap faces out; these are let in.
QByteArray LatinFamilyRule(const char* file, bool bitmap) {
    QByteArray rule = QByteArrayLiteral(R"(<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <match target="scan">
    <test name="file"><string>FILE</string></test>
    <edit name="family" mode="assign_replace"><string>FAMILY</string></edit>
    <edit name="foundry" mode="assign_replace"><string>orvandel</string></edit>
)");
    if (bitmap)
        rule += R"(    <edit name="style" mode="assign_replace"><string>Regular</string></edit>
    <edit name="weight" mode="assign_replace"><const>regular</const></edit>
    <edit name="width" mode="assign_replace"><const>normal</const></edit>
)";
    rule += R"(  </match>
  <selectfont><acceptfont><pattern>
    <patelt name="file"><string>FILE</string></patelt>
  </pattern></acceptfont></selectfont>
</fontconfig>
)";
    return rule.replace("FILE", file).replace("FAMILY", kLatinFace.toUtf8());
}

bool AddLatinFile(const char* file, bool bitmap) {
    FcConfig* config = FcConfigGetCurrent();
    return FcConfigParseAndLoadFromMemory(
               config, reinterpret_cast<const FcChar8*>(LatinFamilyRule(file, bitmap).constData()),
               FcFalse) &&
           FcConfigAppFontAddFile(config, reinterpret_cast<const FcChar8*>(file));
}

} // namespace

void SetUpFonts() {
    if (!FcConfigParseAndLoadFromMemory(
            FcConfigGetCurrent(), reinterpret_cast<const FcChar8*>(kCrispSmallSongRule), FcTrue))
        qWarning("the font rule for small Song text was not accepted; small text stays smooth");
    static bool latinAdded = false; // a second set of the same files would only be a duplicate
    if (!latinAdded) {
        latinAdded = true;
        bool latin = true;
        for (const char* file : kLatinBitmaps)
            latin = AddLatinFile(file, true) && latin;
        for (const char* file : kLatinOutlines)
            latin = AddLatinFile(file, false) && latin;
        if (!latin)
            qWarning("not every Latin face was found; Latin text may not line up");
    }
    // A family list: Latin letters come from the first face there is, Chinese from the last. The
    // Kai face has no bitmaps, so neither have its Latin letters.
    for (const QString& song : {kSongFamily, QStringLiteral("SimSun")})
        QFont::insertSubstitutions(song, {kLatinFace, kScalableLatinFace, kSongFace});
    for (const QString& kai : {kKaiFamily, QStringLiteral("KaiTi_GB2312")})
        QFont::insertSubstitutions(kai, {kScalableLatinFace, kKaiFace});
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
}

} // namespace platform
