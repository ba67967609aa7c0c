#pragma once

#include "modules/Module.h"

#include <QByteArray>
#include <QString>
#include <QVariantList>

// A request that breaks the protocol; the text goes back in {"error": ...} with the status.
struct ProtocolFault {
    int status;
    QString text;
};

// A method call as a request names it, its arguments decoded and checked against the method's declaration.
struct MethodCall {
    const Method* method = nullptr;
    QVariantList arguments;
};

const Module& moduleNamed(const QString& name);

// Decodes the body of POST /modules/<moduleName>/<methodName>; raises ProtocolFault for an unknown module
// or method, a body that does not decode, or arguments of the wrong count or type. Touches no database.
MethodCall decodeMethodCall(const QString& moduleName, const QString& methodName, const QByteArray& body);
