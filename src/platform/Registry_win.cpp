#include "platform/Registry.h"

#include <QSettings>

#include <memory>

namespace platform {

std::unique_ptr<QSettings> openTerminalSettings() {
    auto settings = std::make_unique<QSettings>(
        QStringLiteral("HKEY_LOCAL_MACHINE\\") + QString::fromLatin1(Registry::KeyPath), QSettings::NativeFormat);
    settings->setFallbacksEnabled(false);
    return settings;
}

}  // namespace platform
