#include <QTest>

#include "StoreRows.h"
#include "server/ClientDataSet.h"
#include "server/FilterExpression.h"
#include "server/ServerErrors.h"
#include "support/TestEnvironment.h"

class TestFilterExpression : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void selects_data();
    void selects();
    void malformedRaises_data();
    void malformedRaises();
    void syntaxErrorsNamePosition();
    void quotedTextIsSafe_data();
    void quotedTextIsSafe();
    void nestingUpToTheLimitIsRead();
    void longChainsAreFlat();
    void likePatterns_data();
    void likePatterns();

private:
    // The codes of the rows that pass, in row order.
    QStringList codesPassing(const QString& expression);

    std::unique_ptr<TestEnvironment> m_environment;
    std::unique_ptr<TClientDataSet> m_stores;
};

void TestFilterExpression::init() {
    m_environment = std::make_unique<TestEnvironment>();
    m_stores = std::make_unique<TClientDataSet>();
    m_stores->loadPacket(storePacket());
}

void TestFilterExpression::cleanup() {
    m_stores.reset();
    m_environment.reset();
}

QStringList TestFilterExpression::codesPassing(const QString& expression) {
    m_stores->setFilter(expression);
    m_stores->setFiltered(true);
    QStringList codes;
    for (m_stores->First(); !m_stores->Eof(); m_stores->Next()) {
        codes.append(m_stores->FieldByName("CDLOJA").asString());
    }
    return codes;
}

void TestFilterExpression::selects_data() {
    QTest::addColumn<QString>("expression");
    QTest::addColumn<QStringList>("codes");
    const QStringList all{"001", "002", "0'3", "004", "005", ""};
    QTest::newRow("equal text") << "CDLOJA = '001'" << QStringList{"001"};
    QTest::newRow("field and keyword case") << "cdloja = '001' and NrSeq = 1" << QStringList{"001"};
    QTest::newRow("equal is exact about case") << "NMLOJA = 'café central'" << QStringList{};
    QTest::newRow("equal is exact about accents") << "NMLOJA = 'Cafe Central'" << QStringList{};
    QTest::newRow("escaped quote") << "CDLOJA = '0''3'" << QStringList{"0'3"};
    QTest::newRow("null text equals empty") << "CDLOJA = ''" << QStringList{""};
    QTest::newRow("upper prefix") << "UPPER(NMLOJA) LIKE 'CAF%'" << QStringList{"001", "002"};
    QTest::newRow("like ignores case") << "NMLOJA LIKE 'caf%'" << QStringList{"001", "002"};
    QTest::newRow("like c-cedilla both cases") << "UPPER(NMLOJA) LIKE 'ç%'" << QStringList{"0'3", "004"};
    QTest::newRow("like keeps accents") << "NMLOJA LIKE 'acai'" << QStringList{};
    QTest::newRow("like a-tilde both cases") << "NMLOJA LIKE 'AÇAÍ'" << QStringList{"005"};
    QTest::newRow("upper converts accented letters") << "UPPER(NMLOJA) = 'ÇALDO & CIA'" << QStringList{"0'3"};
    QTest::newRow("lower converts accented letters") << "LOWER(NMLOJA) = 'çaldo nobre'" << QStringList{"004"};
    QTest::newRow("not like") << "NMLOJA NOT LIKE '%o%'" << QStringList{"001", "005"};
    QTest::newRow("text order by character codes") << "CDLOJA < '002'" << QStringList{"001", "0'3", ""};
    QTest::newRow("greater number") << "VRTOTAL > 0" << QStringList{"001", "005", ""};
    QTest::newRow("greater or equal with zero") << "VRTOTAL >= 0" << QStringList{"001", "002", "005", ""};
    QTest::newRow("negative literal") << "VRTOTAL = -3" << QStringList{"0'3"};
    QTest::newRow("null number fails every comparison")
        << "VRTOTAL <> 0" << QStringList{"001", "0'3", "005", ""};
    QTest::newRow("decimal literal on integer field")
        << "NRSEQ > 1.5 AND NRSEQ < 4" << QStringList{"002", "0'3"};
    QTest::newRow("less or equal") << "NRSEQ <= 2" << QStringList{"001", "002"};
    QTest::newRow("or") << "CDLOJA = '001' OR CDLOJA = '004'" << QStringList{"001", "004"};
    QTest::newRow("and binds before or")
        << "CDLOJA = '001' OR CDLOJA = '002' AND NRSEQ = 1" << QStringList{"001"};
    QTest::newRow("parentheses") << "(CDLOJA = '001' OR CDLOJA = '002') AND NRSEQ = 2" << QStringList{"002"};
    QTest::newRow("not binds before and") << "NOT CDLOJA = '001' AND NRSEQ <= 3" << QStringList{"002", "0'3"};
    QTest::newRow("double not") << "NOT NOT CDLOJA = '001'" << QStringList{"001"};
    QTest::newRow("boolean field as condition") << "IDATIVO" << QStringList{"001", "0'3"};
    QTest::newRow("not of boolean, null counts as false")
        << "NOT IDATIVO" << QStringList{"002", "004", "005", ""};
    QTest::newRow("boolean equality") << "IDATIVO = (NRSEQ = 1)" << QStringList{"001", "002", "005", ""};
    QTest::newRow("date-time fields compare")
        << "DTMOV >= DTMOV" << QStringList{"001", "002", "004", "005", ""};
    QTest::newRow("is null") << "DTMOV IS NULL" << QStringList{"0'3"};
    QTest::newRow("is not null") << "VRTOTAL IS NOT NULL" << QStringList{"001", "002", "0'3", "005", ""};
    QTest::newRow("empty text is null") << "CDLOJA IS NULL" << QStringList{""};
    QTest::newRow("blank expression") << "   " << all;
    QTest::newRow("literal comparison") << "'a' = 'a'" << all;
}

void TestFilterExpression::selects() {
    QFETCH(QString, expression);
    QFETCH(QStringList, codes);
    QCOMPARE(codesPassing(expression), codes);
}

void TestFilterExpression::malformedRaises_data() {
    QTest::addColumn<QString>("expression");
    QTest::newRow("missing operand") << "CDLOJA = ";
    QTest::newRow("unterminated text") << "CDLOJA = 'abc";
    QTest::newRow("unclosed parenthesis") << "(CDLOJA = '001'";
    QTest::newRow("extra parenthesis") << "CDLOJA = '001')";
    QTest::newRow("double equal") << "CDLOJA == '001'";
    QTest::newRow("unknown character") << "CDLOJA # '1'";
    QTest::newRow("dangling and") << "CDLOJA = '1' AND";
    QTest::newRow("leading and") << "AND CDLOJA = '1'";
    QTest::newRow("two points in a number") << "VRTOTAL = 1.2.3";
    QTest::newRow("minus before a field") << "- VRTOTAL > 1";
    QTest::newRow("is without null") << "CDLOJA IS 'x'";
    QTest::newRow("not without like") << "CDLOJA NOT = 'x'";
    QTest::newRow("upper unclosed") << "UPPER(NMLOJA LIKE 'A%'";
    QTest::newRow("words after the end") << "CDLOJA = '1' CDLOJA";
    QTest::newRow("unknown field") << "CDFILIAL = '1'";
    QTest::newRow("text against number") << "VRTOTAL = '1'";
    QTest::newRow("number against date-time") << "VRTOTAL > DTMOV";
    QTest::newRow("text alone is no condition") << "CDLOJA";
    QTest::newRow("upper of a number") << "UPPER(VRTOTAL) = 'A'";
    QTest::newRow("like with a number") << "CDLOJA LIKE 5";
    QTest::newRow("ordering conditions") << "IDATIVO < IDATIVO";
    QTest::newRow("and of texts") << "'a' AND 'b'";
    QTest::newRow("nested too deep") << QString(filter::MaxDepth + 1, u'(') + "IDATIVO" +
                                            QString(filter::MaxDepth + 1, u')');
    QTest::newRow("not nested too deep") << QStringLiteral("NOT ").repeated(filter::MaxDepth + 1) + "IDATIVO";
}

void TestFilterExpression::malformedRaises() {
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

void TestFilterExpression::syntaxErrorsNamePosition() {
    try {
        filter::Expression::parse("CDLOJA = '1' OR #");
        QFAIL("accepted");
    } catch (const FilterError& error) {
        QVERIFY2(error.text().contains(QStringLiteral("posição 17")), qPrintable(error.text()));
    }
}

void TestFilterExpression::quotedTextIsSafe_data() {
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("matches");
    QTest::newRow("quote inside") << "0'3" << 1;
    QTest::newRow("only quotes") << "''" << 0;
    QTest::newRow("injection attempt") << "x' OR 'a' = 'a" << 0;
}

void TestFilterExpression::quotedTextIsSafe() {
    QFETCH(QString, code);
    QFETCH(int, matches);
    QCOMPARE(codesPassing("CDLOJA = " + filter::quoted(code)).size(), matches);
}

void TestFilterExpression::nestingUpToTheLimitIsRead() {
    const int depth = filter::MaxDepth - 1;
    QCOMPARE(codesPassing(QString(depth, u'(') + "CDLOJA = '001'" + QString(depth, u')')),
             QStringList{"001"});
}

void TestFilterExpression::longChainsAreFlat() {
    QStringList terms(5000, QStringLiteral("NRSEQ > 0"));
    QCOMPARE(codesPassing(terms.join(" AND ")).size(), 6);
    QCOMPARE(codesPassing(terms.join(" OR ")).size(), 6);
}

void TestFilterExpression::likePatterns_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("matches");
    QTest::newRow("empty both") << ""
                                << "" << true;
    QTest::newRow("percent matches empty") << ""
                                           << "%" << true;
    QTest::newRow("underscore needs a character") << ""
                                                  << "_" << false;
    QTest::newRow("exact") << "abc"
                           << "ABC" << true;
    QTest::newRow("prefix") << "abcdef"
                            << "abc%" << true;
    QTest::newRow("suffix") << "abcdef"
                            << "%def" << true;
    QTest::newRow("inner with backtracking") << "aXbaXbc"
                                             << "%a_bc" << true;
    QTest::newRow("too short") << "ab"
                               << "abc%" << false;
    QTest::newRow("underscores") << "abc"
                                 << "a_c" << true;
    QTest::newRow("trailing text fails") << "abcd"
                                         << "abc" << false;
    QTest::newRow("many percents") << "abc"
                                   << "%%a%%c%%" << true;
    QTest::newRow("ç and Ç") << "Ção"
                             << "çÃ%" << true;
}

void TestFilterExpression::likePatterns() {
    QFETCH(QString, text);
    QFETCH(QString, pattern);
    QFETCH(bool, matches);
    QCOMPARE(filter::likeMatches(text, pattern), matches);
}

QTEST_GUILESS_MAIN(TestFilterExpression)
#include "tst_filterexpression.moc"
