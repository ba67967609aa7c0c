#include <QDir>
#include <QFile>
#include <QTest>

#include "platform/RegionalSettings.h"
#include "platform/Registry.h"
#include "support/TestEnvironment.h"

using platform::Registry;
using platform::RegistryError;

class TestPlatform : public QObject {
    Q_OBJECT
private slots:

    void registryKeepsValuesBetweenOpenings() {
        TestEnvironment env;
        Registry::openKey()->writeString(Registry::TerminalKeyValue, "0001001");
        QCOMPARE(Registry::openKey()->readString(Registry::TerminalKeyValue), QStringLiteral("0001001"));
        QVERIFY(QFile::exists(env.registryFile()));
        QVERIFY(env.registryFile().startsWith(env.root()));
    }

    void registryMissingValueReadsEmpty() {
        TestEnvironment env;
        QCOMPARE(Registry::openKey()->readString(Registry::ServerAddressValue), QString());
    }

    void registryFileThatIsNotIniIsReported() {
        TestEnvironment env;
        env.setRegistryValue("Totem", "0001001");
        QVERIFY(env.corruptRegistryFile());
        QVERIFY_THROWS_EXCEPTION(RegistryError, Registry::openKey());
        QFile check(env.registryFile());
        QVERIFY(check.open(QIODevice::ReadOnly));
        QVERIFY(check.readAll().startsWith("[General\n"));  // not silently replaced
    }

    void registryThatCannotBeWrittenRaises() {
        TestEnvironment env;
        // A folder where the file should be cannot be written, whatever the rights of the user running the
        // test.
        QVERIFY(QDir().mkpath(env.registryFile()));
        auto key = Registry::openKey();
        QVERIFY_THROWS_EXCEPTION(RegistryError, key->writeString(Registry::ServerAddressValue, "10.0.0.1"));
    }

    void regionalSettingsFollowTheLocale() {
        const auto settings = platform::RegionalSettings::system();
        QCOMPARE(settings.shortDateFormat, QStringLiteral("dd/MM/yyyy"));
        QCOMPARE(settings.longTimeFormat, QStringLiteral("HH:mm:ss"));
        QCOMPARE(settings.decimalSeparator, QChar(u','));
        QCOMPARE(settings.thousandsSeparator, QChar(u'.'));
        QCOMPARE(settings.currencySymbol, QStringLiteral("R$"));
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
