#pragma once

namespace platform {

// Lets the user interface process pending events. Cheap enough to call once per row of a long
// loop: it hands control to the event loop only every few milliseconds, so input and timers are
// still served promptly and the screen repaints about once a frame, not once a call.
void DoEvents();
// Hands control to the event loop now, however short the time since the last yield (the first
// screenful of a long loop's rows, shown at once); DoEvents counts its interval from here.
void YieldNow();

} // namespace platform
