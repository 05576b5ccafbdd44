// Whether windows can be shown at all, or the tool must run without them.
#pragma once

namespace torv::platform {

// True when a window system is reachable (an X11 or Wayland display that answers), or when a Qt
// platform was chosen explicitly (QT_QPA_PLATFORM, "offscreen" included).
bool hasDisplay();

}  // namespace torv::platform
