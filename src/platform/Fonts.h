#pragma once

#include <QString>

namespace platform {

// The Windows face names the program asks for; SetUpFonts() makes them resolve here.
inline const QString kSongFamily = QStringLiteral("宋体");
inline const QString kKaiFamily = QStringLiteral("楷体_GB2312");

// Lets the Windows face names resolve to the faces installed here and sets how they are drawn:
// Latin letters from a face in which l, 1 and I differ, Chinese from the Song and Kai faces, and
// small Song text crisp and black from the face's own bitmaps. Needs no widgets, so that
// command-line tools print lists in these faces too.
void SetUpFonts();

} // namespace platform
