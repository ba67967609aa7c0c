#include "kit/core/Dates.h"

#include "kit/core/Errors.h"

#include <array>

QString NomeMes(const QDate& date) {
    static const std::array<const char16_t*, 12> names = {u"Janeiro", u"Fevereiro", u"Março",    u"Abril",
                                                          u"Maio",    u"Junho",     u"Julho",    u"Agosto",
                                                          u"Setembro", u"Outubro",  u"Novembro", u"Dezembro"};
    if (!date.isValid()) {
        return {};
    }
    return QString::fromUtf16(names[static_cast<size_t>(date.month() - 1)]);
}

QDate UltimoDiaMes(const QDate& date) { return QDate(date.year(), date.month(), date.daysInMonth()); }

QDate makeDate(int year, int month, int day) {
    const QDate date(year, month, day);
    if (!date.isValid()) {
        throw DateError(QStringLiteral("Data inválida: dia %1 do mês %2 de %3.").arg(day).arg(month).arg(year));
    }
    return date;
}

int parameterAsInteger(const QString& name, const QString& value) {
    bool ok = false;
    const int number = value.trimmed().toInt(&ok);
    if (!ok) {
        throw KioskError(QStringLiteral("'%1' não é um valor inteiro válido para %2.").arg(value, name));
    }
    return number;
}
