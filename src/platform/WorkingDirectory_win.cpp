#include "platform/WorkingDirectory.h"

#include <QCoreApplication>
#include <QDir>

namespace platform {

// Beside the program, where the installer puts the help file.
QString workingDirectoryPath() {
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("Trabalho"));
}

}  // namespace platform
