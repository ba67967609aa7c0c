#pragma once

#include <QString>

#include <memory>
#include <stdexcept>

namespace platform {

// Raised when the terminal's key cannot be read or written; the message is shown to the operator.
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The machine-wide key that holds the kiosk's own identity and server address.
// On Windows it is HKEY_LOCAL_MACHINE\<KeyPath>; elsewhere an INI file in the system configuration folder.
class Registry {
public:
    static constexpr const char* KeyPath = "Software\\QUENVOR\\Sistemas Integrados Quenvor\\Strovel";
    // Name of the server-address value (the kit's sIPServer).
    static constexpr const char* ServerAddressValue = "IPServidor";
    // Optional port of the application server; WebPort falls back to DefaultServerPort without it.
    static constexpr const char* ServerPortValue = "PortaServidor";
    // Optional PEM file of the certificate authority of the server's certificate: HTTPS when present.
    static constexpr const char* ServerCaFileValue = "CertificadoCA";
    // Terminal key: branch code (characters 1-4) followed by register code (characters 5-7).
    static constexpr const char* TerminalKeyValue = "Totem";

    virtual ~Registry() = default;

    // Opens the key, creating it when missing. Raises RegistryError when the stored key cannot be read.
    static std::unique_ptr<Registry> openKey();

    // Where the key lives, for messages and documentation.
    virtual QString location() const = 0;
    // An absent value reads as an empty text.
    virtual QString readString(const QString& name) const = 0;
    // Raises RegistryError when the value cannot be stored.
    virtual void writeString(const QString& name, const QString& value) = 0;
};

}  // namespace platform
