#include "kit/core/ServerAddress.h"

#include "platform/Registry.h"

using platform::Registry;

QString WebURL() {
    return Registry::openKey()->readString(QString::fromLatin1(Registry::ServerAddressValue));
}

int WebPort() {
    bool ok = false;
    const int port =
        Registry::openKey()->readString(QString::fromLatin1(Registry::ServerPortValue)).trimmed().toInt(&ok);
    return ok && port > 0 && port <= 65535 ? port : DefaultServerPort;
}

QString WebCaFile() {
    return Registry::openKey()->readString(QString::fromLatin1(Registry::ServerCaFileValue)).trimmed();
}
