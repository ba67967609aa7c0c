#include "support/TestEnvironment.h"

#include "platform/Registry.h"

#include <QFile>
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
    return QSettings(QSettings::IniFormat, QSettings::SystemScope, QStringLiteral("QUENVOR"),
                     QStringLiteral("Strovel"))
        .fileName();
}

void TestEnvironment::setRegistryValue(const QString& name, const QString& value) {
    platform::Registry::openKey()->writeString(name, value);
}

QString TestEnvironment::registryValue(const QString& name) const {
    return platform::Registry::openKey()->readString(name);
}

bool TestEnvironment::corruptRegistryFile() const {
    // Padded well past any file of a few values: QSettings trusts its cache of a file whose size and time
    // have not changed, and a same-sized rewrite within one millisecond would go unread.
    QFile file(registryFile());
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write("[General\n\x01\x02 not = = an ini\n[[[" + QByteArray(256, '[')) > 0;
}
