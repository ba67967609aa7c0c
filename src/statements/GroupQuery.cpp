#include "statements/GroupQuery.h"

#include "kit/core/Formats.h"
#include "kit/core/Strings.h"
#include "terminal/TerminalContext.h"

#include <QDateTime>
#include <QStringList>

namespace {

QDateTime atMidnight(const QDate& date) {
    return date.startOfDay();
}

}  // namespace

GroupQuery GroupQuery::of(const TerminalContext& context, const QDate& start, const QDate& end,
                          const QString& storeCode) {
    return {context.branchCode, context.CDCLIENTE, context.CDCONSUMIDOR, context.CDGRUPPROD, start, end,
            storeCode};
}

QVariantList GroupQuery::arguments() const {
    return {branchCode, CDCLIENTE, CDCONSUMIDOR, CDGRUPPROD, atMidnight(start), atMidnight(end), storeCode};
}

QString GroupQuery::parametersText() const {
    return QStringList{branchCode,
                       CDCLIENTE,
                       CDCONSUMIDOR,
                       CDGRUPPROD,
                       formats::dateTimeText(atMidnight(start)),
                       formats::dateTimeText(atMidnight(end)),
                       storeCode}
        .join(u'-');
}

QString groupStoreLine(const QString& storeText, const QString& storeCode, const QString& storeName) {
    if (EmptyString(storeCode)) {
        return {};
    }
    return storeText + QStringLiteral("  ") + storeCode + QStringLiteral("  ") + storeName;
}
