#include "platform/WorkingDirectory.h"

#include <QDir>
#include <QStandardPaths>

namespace platform {

// $XDG_DATA_HOME/totem (normally ~/.local/share/totem): writable by the kiosk's own user.
QString workingDirectoryPath() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("totem"));
}

}  // namespace platform
