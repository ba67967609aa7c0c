#pragma once

#include <QString>

namespace platform {

// The folder the kiosk works in (help file, pictures named by relative paths).
QString workingDirectoryPath();

}  // namespace platform
