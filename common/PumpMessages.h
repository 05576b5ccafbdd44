// Lets the windows of the user-interface thread repaint and handle their input while long
// synchronous work runs on it. Whatever is pending, posted events included, runs nested here.
#pragma once

namespace torv {

void PumpMessages();

}  // namespace torv
