#include <QTest>

#include "StoreRows.h"
#include "server/ClientDataSet.h"
#include "server/FilterExpression.h"
#include "server/ServerErrors.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"

class TestFilterExpression : public QObject {
    Q_OBJECT
private slots:
    void init() {
        m_environment = std::make_unique<TestEnvironment>();
        m_stores = std::make_unique<TClientDataSet>();
        m_stores->loadPacket(storePacket());
    }

    void cleanup() {
        m_stores.reset();
        m_environment.reset();
    }

    void selects_data() {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QStringList>("codes");
        const QStringList all{"001", "002", "0'3", "004", "005", ""};
        dataRow("equal text", "CDLOJA = '001'", QStringList{"001"});
        dataRow("field and keyword case", "cdloja = '001' and NrSeq = 1", QStringList{"001"});
        dataRow("equal is exact about case", "NMLOJA = 'café central'", QStringList{});
        dataRow("equal is exact about accents", "NMLOJA = 'Cafe Central'", QStringList{});
        dataRow("escaped quote", "CDLOJA = '0''3'", QStringList{"0'3"});
        dataRow("null text equals empty", "CDLOJA = ''", QStringList{""});
        dataRow("upper prefix", "UPPER(NMLOJA) LIKE 'CAF%'", QStringList{"001", "002"});
        dataRow("like ignores case", "NMLOJA LIKE 'caf%'", QStringList{"001", "002"});
        dataRow("like c-cedilla both cases", "UPPER(NMLOJA) LIKE 'ç%'", QStringList{"0'3", "004"});
        dataRow("like keeps accents", "NMLOJA LIKE 'acai'", QStringList{});
        dataRow("like a-tilde both cases", "NMLOJA LIKE 'AÇAÍ'", QStringList{"005"});
        dataRow("upper converts accented letters", "UPPER(NMLOJA) = 'ÇALDO & CIA'", QStringList{"0'3"});
        dataRow("lower converts accented letters", "LOWER(NMLOJA) = 'çaldo nobre'", QStringList{"004"});
        dataRow("not like", "NMLOJA NOT LIKE '%o%'", QStringList{"001", "005"});
        dataRow("text order by character codes", "CDLOJA < '002'", QStringList{"001", "0'3", ""});
        dataRow("greater number", "VRTOTAL > 0", QStringList{"001", "005", ""});
        dataRow("greater or equal with zero", "VRTOTAL >= 0", QStringList{"001", "002", "005", ""});
        dataRow("negative literal", "VRTOTAL = -3", QStringList{"0'3"});
        dataRow("null number fails every comparison", "VRTOTAL <> 0", QStringList{"001", "0'3", "005", ""});
        dataRow("decimal literal on integer field", "NRSEQ > 1.5 AND NRSEQ < 4", QStringList{"002", "0'3"});
        dataRow("less or equal", "NRSEQ <= 2", QStringList{"001", "002"});
        dataRow("or", "CDLOJA = '001' OR CDLOJA = '004'", QStringList{"001", "004"});
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
        dataRow("double equal", "CDLOJA == '001'");
        dataRow("unknown character", "CDLOJA # '1'");
        dataRow("dangling and", "CDLOJA = '1' AND");
        dataRow("leading and", "AND CDLOJA = '1'");
        dataRow("two points in a number", "VRTOTAL = 1.2.3");
        dataRow("minus before a field", "- VRTOTAL > 1");
        dataRow("is without null", "CDLOJA IS 'x'");
        dataRow("not without like", "CDLOJA NOT = 'x'");
        dataRow("upper unclosed", "UPPER(NMLOJA LIKE 'A%'");
        dataRow("words after the end", "CDLOJA = '1' CDLOJA");
        dataRow("unknown field", "CDFILIAL = '1'");
        dataRow("text against number", "VRTOTAL = '1'");
        dataRow("number against date-time", "VRTOTAL > DTMOV");
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

    void quotedTextIsSafe_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("matches");
        dataRow("quote inside", "0'3", 1);
        dataRow("only quotes", "''", 0);
        dataRow("injection attempt", "x' OR 'a' = 'a", 0);
    }

    void quotedTextIsSafe() {
        QFETCH(QString, code);
        QFETCH(int, matches);
        QCOMPARE(codesPassing("CDLOJA = " + filter::quoted(code)).size(), matches);
    }

    void nestingUpToTheLimitIsRead() {
        const int depth = filter::MaxDepth - 1;
        QCOMPARE(codesPassing(QString(depth, u'(') + "CDLOJA = '001'" + QString(depth, u')')),
                 QStringList{"001"});
    }

    void longChainsAreFlat() {
        QStringList terms(5000, QStringLiteral("NRSEQ > 0"));
        QCOMPARE(codesPassing(terms.join(" AND ")).size(), 6);
        QCOMPARE(codesPassing(terms.join(" OR ")).size(), 6);
    }

    void likePatterns_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("matches");
        dataRow("empty both", "", "", true);
        dataRow("percent matches empty", "", "%", true);
        dataRow("underscore needs a character", "", "_", false);
        dataRow("exact", "abc", "ABC", true);
        dataRow("prefix", "abcdef", "abc%", true);
        dataRow("suffix", "abcdef", "%def", true);
        dataRow("inner with backtracking", "aXbaXbc", "%a_bc", true);
        dataRow("too short", "ab", "abc%", false);
        dataRow("underscores", "abc", "a_c", true);
        dataRow("trailing text fails", "abcd", "abc", false);
        dataRow("many percents", "abc", "%%a%%c%%", true);
        dataRow("ç and Ç", "Ção", "çÃ%", true);
    }

    void likePatterns() {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(bool, matches);
        QCOMPARE(filter::likeMatches(text, pattern), matches);
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

    std::unique_ptr<TestEnvironment> m_environment;
    std::unique_ptr<TClientDataSet> m_stores;
};

QTEST_GUILESS_MAIN(TestFilterExpression)
#include "tst_filterexpression.moc"
