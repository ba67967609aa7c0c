#include "modules/MethodCall.h"

#include "server/ServerErrors.h"
#include "server/WireFormat.h"

namespace {

QString kindName(ArgumentKind kind) {
    return kind == ArgumentKind::Text ? QStringLiteral("um texto") : QStringLiteral("uma data-hora");
}

bool fits(const QVariant& value, ArgumentKind kind) {
    return value.typeId() == (kind == ArgumentKind::Text ? QMetaType::QString : QMetaType::QDateTime);
}

void checkArguments(const Method& method, const QVariantList& arguments) {
    if (arguments.size() != method.arguments.size()) {
        throw ProtocolFault{400, QStringLiteral("%1 espera %2 argumentos e recebeu %3.")
                                     .arg(method.name)
                                     .arg(method.arguments.size())
                                     .arg(arguments.size())};
    }
    for (int i = 0; i < arguments.size(); ++i) {
        const Argument& expected = method.arguments.at(i);
        if (!fits(arguments.at(i), expected.kind)) {
            throw ProtocolFault{400, QStringLiteral("%1: o argumento %2 (%3) deve ser %4.")
                                         .arg(method.name)
                                         .arg(i + 1)
                                         .arg(expected.name, kindName(expected.kind))};
        }
    }
}

}  // namespace

const Module& moduleNamed(const QString& name) {
    const Module* module = findModule(name);
    if (module == nullptr) {
        throw ProtocolFault{404, QStringLiteral("Módulo remoto \"%1\" não encontrado.").arg(name.left(64))};
    }
    return *module;
}

MethodCall decodeMethodCall(const QString& moduleName, const QString& methodName, const QByteArray& body) {
    const Module& module = moduleNamed(moduleName);
    MethodCall call;
    call.method = module.method(methodName);
    if (call.method == nullptr) {
        throw ProtocolFault{404, QStringLiteral("Método \"%1\" não existe no módulo %2.")
                                     .arg(methodName.left(64), module.serverName)};
    }
    try {
        call.arguments = wire::decodeCall(body);
    } catch (const WireError& error) {
        throw ProtocolFault{400, error.text()};
    }
    checkArguments(*call.method, call.arguments);
    return call;
}
