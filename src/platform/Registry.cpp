#include "platform/Registry.h"

#include <QSettings>

namespace platform {

namespace {

// Both implementations are QSettings: the native registry on Windows, an INI file elsewhere.
class SettingsRegistry final : public Registry {
public:
    explicit SettingsRegistry(std::unique_ptr<QSettings> settings) : m_settings(std::move(settings)) {
        if (m_settings->status() == QSettings::FormatError) {
            throw RegistryError(QStringLiteral("O registro do terminal em %1 está corrompido e não pode ser lido.")
                                    .arg(location())
                                    .toStdString());
        }
    }

    QString location() const override { return m_settings->fileName(); }

    QString readString(const QString& name) const override { return m_settings->value(name).toString(); }

    void writeString(const QString& name, const QString& value) override {
        m_settings->setValue(name, value);
        m_settings->sync();
        if (m_settings->status() != QSettings::NoError) {
            throw RegistryError(QStringLiteral("Não foi possível gravar o valor \"%1\" no registro do terminal (%2).")
                                    .arg(name, location())
                                    .toStdString());
        }
    }

private:
    std::unique_ptr<QSettings> m_settings;
};

}  // namespace

std::unique_ptr<QSettings> openTerminalSettings();

std::unique_ptr<Registry> Registry::openKey() {
    return std::make_unique<SettingsRegistry>(openTerminalSettings());
}

}  // namespace platform
