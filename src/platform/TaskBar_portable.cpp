#include "platform/TaskBar.h"

namespace platform::taskbar {

void hide() {}
void show() {}

}  // namespace platform::taskbar
