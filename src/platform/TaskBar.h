#pragma once

namespace platform::taskbar {

// The desktop's task bar is hidden while the kiosk runs and shown again when it ends.
// Only Windows has one to hide; elsewhere the kiosk runs as the only program of its session.
void hide();
void show();

}  // namespace platform::taskbar
