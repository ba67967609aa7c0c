#include "support/TestEnvironment.h"

#include "platform/Registry.h"

#include <QSettings>
#include <QStandardPaths>

TestEnvironment::TestEnvironment(const QDateTime& now)
    : m_previousDataHome(qgetenv("XDG_DATA_HOME")), m_clock(now) {
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_dir.filePath(QStringLiteral("etc")));
    qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toLocal8Bit());
}

TestEnvironment::~TestEnvironment() {
    // Point the registry at a folder that does not exist, so no later test sees this one's values.
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, m_dir.filePath(QStringLiteral("gone")));
    qputenv("XDG_DATA_HOME", m_previousDataHome);
}

QString TestEnvironment::registryFile() const {
    return QSettings(QSettings::IniFormat, QSettings::SystemScope, QStringLiteral("QUENVOR"), QStringLiteral("Strovel"))
        .fileName();
}

void TestEnvironment::setRegistryValue(const QString& name, const QString& value) {
    platform::Registry::openKey()->writeString(name, value);
}

QString TestEnvironment::registryValue(const QString& name) const {
    return platform::Registry::openKey()->readString(name);
}
