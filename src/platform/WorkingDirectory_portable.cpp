#include "platform/WorkingDirectory.h"

#include <QDir>
#include <QStandardPaths>

namespace platform {

// $XDG_DATA_HOME/totem (normally ~/.local/share/totem): writable by the kiosk's own user. A fresh kiosk
// account may not have its data folder yet; it is made here so that start-up only creates its own level.
QString workingDirectoryPath() {
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QDir().mkpath(dataHome);
    return QDir(dataHome).filePath(QStringLiteral("totem"));
}

}  // namespace platform
