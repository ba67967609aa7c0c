#include <QSettings>

#include <memory>

namespace platform {

// <system configuration folder>/QUENVOR/Strovel.ini; tests move the folder with QSettings::setPath.
std::unique_ptr<QSettings> openTerminalSettings() {
    auto settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::SystemScope,
                                                QStringLiteral("QUENVOR"), QStringLiteral("Strovel"));
    settings->setFallbacksEnabled(false);
    return settings;
}

}  // namespace platform
