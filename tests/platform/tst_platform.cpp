#include <QDir>
#include <QFile>
#include <QTest>

#include "platform/Registry.h"
#include "support/TestEnvironment.h"

using platform::Registry;
using platform::RegistryError;

class TestPlatform : public QObject {
    Q_OBJECT
private slots:
    void registryKeepsValuesBetweenOpenings() {
        TestEnvironment env;
        QCOMPARE(Registry::openKey()->readString(Registry::ServerAddressValue), QString());
        Registry::openKey()->writeString(Registry::TerminalKeyValue, "0001001");
        QCOMPARE(Registry::openKey()->readString(Registry::TerminalKeyValue), QStringLiteral("0001001"));
        QVERIFY(QFile::exists(env.registryFile()));
        QVERIFY(env.registryFile().startsWith(env.root()));
        // A file that is no INI file is reported, not silently replaced.
        QVERIFY(env.corruptRegistryFile());
        QVERIFY_THROWS_EXCEPTION(RegistryError, Registry::openKey());
        QFile check(env.registryFile());
        QVERIFY(check.open(QIODevice::ReadOnly));
        QVERIFY(check.readAll().startsWith("[General\n"));
    }

    void registryThatCannotBeWrittenRaises() {
        TestEnvironment env;
        // A folder in the file's place cannot be written, whatever the rights of the user running the test.
        QVERIFY(QDir().mkpath(env.registryFile()));
        auto key = Registry::openKey();
        QVERIFY_THROWS_EXCEPTION(RegistryError, key->writeString(Registry::ServerAddressValue, "10.0.0.1"));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
