#include <QTest>

#include "StoreRows.h"
#include "server/ClientDataSet.h"
#include "server/FilterExpression.h"
#include "server/ServerErrors.h"
#include "support/Rows.h"

class TestFilterExpression : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_stores = std::make_unique<TClientDataSet>();
        m_stores->loadPacket(storePacket());
    }

    void selects_data() {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QStringList>("codes");
        const QStringList all{"001", "002", "0'3", "004", "005", ""};
        dataRow("field and keyword case", "cdloja = '001' and NrSeq = 1", QStringList{"001"});
        dataRow("equal is exact about case", "NMLOJA = 'café central'", QStringList{});
        dataRow("escaped quote", "CDLOJA = '0''3'", QStringList{"0'3"});
        dataRow("null text equals empty", "CDLOJA = ''", QStringList{""});
        dataRow("like ignores case", "NMLOJA LIKE 'caf%'", QStringList{"001", "002"});
        dataRow("like keeps accents", "NMLOJA LIKE 'acai'", QStringList{});
        dataRow("like a-tilde both cases", "NMLOJA LIKE 'AÇAÍ'", QStringList{"005"});
        dataRow("upper converts accented letters", "UPPER(NMLOJA) = 'ÇALDO & CIA'", QStringList{"0'3"});
        dataRow("lower converts accented letters", "LOWER(NMLOJA) = 'çaldo nobre'", QStringList{"004"});
        dataRow("not like", "NMLOJA NOT LIKE '%o%'", QStringList{"001", "005"});
        dataRow("like: % matches nothing", "'' LIKE '%'", all);
        dataRow("like: _ needs a character", "'' LIKE '_'", QStringList{});
        dataRow("like: underscores", "'abc' LIKE 'a_c'", all);
        dataRow("like: % backtracks", "'aXbaXbc' LIKE '%a_bc'", all);
        dataRow("like: many percents", "'abc' LIKE '%%a%%c%%'", all);
        dataRow("like: trailing text fails", "'abcd' LIKE 'abc'", QStringList{});
        dataRow("text order by character codes", "CDLOJA < '002'", QStringList{"001", "0'3", ""});
        dataRow("greater number", "VRTOTAL > 0", QStringList{"001", "005", ""});
        dataRow("greater or equal with zero", "VRTOTAL >= 0", QStringList{"001", "002", "005", ""});
        dataRow("negative literal", "VRTOTAL = -3", QStringList{"0'3"});
        dataRow("null number fails every comparison", "VRTOTAL <> 0", QStringList{"001", "0'3", "005", ""});
        dataRow("decimal literal on integer field", "NRSEQ > 1.5 AND NRSEQ < 4", QStringList{"002", "0'3"});
        dataRow("less or equal", "NRSEQ <= 2", QStringList{"001", "002"});
        dataRow("and binds before or", "CDLOJA = '001' OR CDLOJA = '002' AND NRSEQ = 1", QStringList{"001"});
        dataRow("parentheses", "(CDLOJA = '001' OR CDLOJA = '002') AND NRSEQ = 2", QStringList{"002"});
        dataRow("not binds before and", "NOT CDLOJA = '001' AND NRSEQ <= 3", QStringList{"002", "0'3"});
        dataRow("double not", "NOT NOT CDLOJA = '001'", QStringList{"001"});
        dataRow("boolean field as condition", "IDATIVO", QStringList{"001", "0'3"});
        dataRow("not of boolean, null counts as false", "NOT IDATIVO", QStringList{"002", "004", "005", ""});
        dataRow("boolean equality", "IDATIVO = (NRSEQ = 1)", QStringList{"001", "002", "005", ""});
        dataRow("date-time fields compare", "DTMOV >= DTMOV", QStringList{"001", "002", "004", "005", ""});
        dataRow("is null", "DTMOV IS NULL", QStringList{"0'3"});
        dataRow("is not null", "VRTOTAL IS NOT NULL", QStringList{"001", "002", "0'3", "005", ""});
        dataRow("empty text is null", "CDLOJA IS NULL", QStringList{""});
        dataRow("blank expression", "   ", all);
        dataRow("literal comparison", "'a' = 'a'", all);
        dataRow("quoted injection attempt", "CDLOJA = " + filter::quoted("x' OR 'a' = 'a"), QStringList{});
        const int depth = filter::MaxDepth - 1;
        dataRow("nesting up to the limit", QString(depth, u'(') + "CDLOJA = '001'" + QString(depth, u')'),
                QStringList{"001"});
        // Long chains are kept flat: no depth limit, no deep recursion.
        const QStringList terms(5000, QStringLiteral("NRSEQ > 0"));
        dataRow("long AND chain", terms.join(" AND "), all);
        dataRow("long OR chain", terms.join(" OR "), all);
    }

    void selects() {
        QFETCH(QString, expression);
        QFETCH(QStringList, codes);
        QCOMPARE(codesPassing(expression), codes);
    }

    void malformedRaises_data() {
        QTest::addColumn<QString>("expression");
        dataRow("missing operand", "CDLOJA = ");
        dataRow("unterminated text", "CDLOJA = 'abc");
        dataRow("unclosed parenthesis", "(CDLOJA = '001'");
        dataRow("extra parenthesis", "CDLOJA = '001')");
        dataRow("unknown character", "CDLOJA # '1'");
        dataRow("leading and", "AND CDLOJA = '1'");
        dataRow("two points in a number", "VRTOTAL = 1.2.3");
        dataRow("minus before a field", "- VRTOTAL > 1");
        dataRow("is without null", "CDLOJA IS 'x'");
        dataRow("not without like", "CDLOJA NOT = 'x'");
        dataRow("upper unclosed", "UPPER(NMLOJA LIKE 'A%'");
        dataRow("words after the end", "CDLOJA = '1' CDLOJA");
        dataRow("unknown field", "CDFILIAL = '1'");
        dataRow("text against number", "VRTOTAL = '1'");
        dataRow("text alone is no condition", "CDLOJA");
        dataRow("upper of a number", "UPPER(VRTOTAL) = 'A'");
        dataRow("like with a number", "CDLOJA LIKE 5");
        dataRow("ordering conditions", "IDATIVO < IDATIVO");
        dataRow("and of texts", "'a' AND 'b'");
        dataRow("nested too deep",
                QString(filter::MaxDepth + 1, u'(') + "IDATIVO" + QString(filter::MaxDepth + 1, u')'));
        dataRow("not nested too deep", QStringLiteral("NOT ").repeated(filter::MaxDepth + 1) + "IDATIVO");
    }

    void malformedRaises() {
        QFETCH(QString, expression);
        m_stores->setFilter("NRSEQ = 2");
        m_stores->setFiltered(true);
        try {
            m_stores->setFilter(expression);
            QFAIL("the expression was accepted");
        } catch (const FilterError& error) {
            QVERIFY2(error.text().startsWith(QStringLiteral("Filtro inválido")), qPrintable(error.text()));
        }
        QCOMPARE(m_stores->Filter(), QStringLiteral("NRSEQ = 2"));
        QCOMPARE(m_stores->RecordCount(), 1);
    }

    void syntaxErrorsNamePosition() {
        try {
            filter::Expression::parse("CDLOJA = '1' OR #");
            QFAIL("accepted");
        } catch (const FilterError& error) {
            QVERIFY2(error.text().contains(QStringLiteral("posição 17")), qPrintable(error.text()));
        }
    }

private:
    // The codes of the rows that pass, in row order.
    QStringList codesPassing(const QString& expression) {
        m_stores->setFilter(expression);
        m_stores->setFiltered(true);
        QStringList codes;
        for (m_stores->First(); !m_stores->Eof(); m_stores->Next()) {
            codes.append(m_stores->FieldByName("CDLOJA").asString());
        }
        return codes;
    }

    std::unique_ptr<TClientDataSet> m_stores;
};

QTEST_GUILESS_MAIN(TestFilterExpression)
#include "tst_filterexpression.moc"
