#include "server/ReadOnlyMethods.h"

#include <QSet>

bool isReadOnlyMethod(const QString& serverName, const QString& method) {
    static const QSet<QString> readOnly{
        QStringLiteral("Qvr.rdmTerminalCons.getParametrosCx"),
        QStringLiteral("Qvr.rdmTerminalCons.getParaVend"),
        QStringLiteral("Qvr.rdmTerminalCons.getConsumidor"),
        QStringLiteral("Qvr.rdmTerminalCons.getSaldo"),
        QStringLiteral("Qvr.rdmTerminalCons.getLoja"),
        QStringLiteral("Qvr.rdmExtratoGrupo.getProdutos"),
        QStringLiteral("Qvr.rdmExtratoDetalhado.GetMoviClie"),
        QStringLiteral("Qvr.rdmExtratoDetalhado.GetProduto"),
        QStringLiteral("Qvr.rdmExtratoSimplificado.getMoviClie"),
    };
    return readOnly.contains(serverName + u'.' + method);
}
