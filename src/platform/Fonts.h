#pragma once

namespace platform {

// Lets the Windows face names resolve to the faces installed here and sets how they are drawn:
// Latin letters from a face in which l, 1 and I differ, Chinese from the Song and Kai faces, and
// small Song text crisp and black from the face's own bitmaps.
void SetUpFonts();

} // namespace platform
