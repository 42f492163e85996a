#pragma once

namespace modGeneral {

// The entry procedure: finds the system directory, opens the connection and shows the splash
// screen. On any failure shows the one start-up message and returns false; no window stays open.
bool Main();

} // namespace modGeneral
