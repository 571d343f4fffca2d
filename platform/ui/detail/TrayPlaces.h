// Hears when the tray takes an icon of this program in or moves it, so the icons' places can be
// looked at again then rather than polled.
#pragma once

#include <functional>

namespace taluvo::ui::detail {

// From the first call on, changed() runs on the user-interface thread (once for a burst of
// events) after the tray has embedded one of the program's icons, or has moved or resized an icon
// or any window that holds it. Later calls for the same application do nothing. Only on X11; elsewhere nothing is
// heard.
void WatchTrayIconPlaces(std::function<void()> changed);

} // namespace taluvo::ui::detail
