#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QTableView>
#include <QTest>

#include "dialogs/TfrmPesquisa.h"
#include "kit/Buttons.h"
#include "kit/Colors.h"
#include "server/ClientDataSet.h"
#include "support/ModalScript.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"
#include "support/Widgets.h"

#include <optional>

namespace {

// The consumer's stores as the list gets them, the all-stores row included, and one store of another
// branch for the base filter, which the dataset then holds as its own.
void loadStores(TClientDataSet& stores, const QString& baseFilter = {}) {
    stores.addField("CDFILIAL", FieldType::String, 4).setVisible(false);
    stores.addField("CDLOJA", FieldType::String, 10).setDisplayLabel("Código");
    stores.addField("NMLOJA", FieldType::String, 50).setDisplayLabel("Nome");
    DataPacket packet;
    for (const char* name : {"CDFILIAL", "CDLOJA", "NMLOJA"}) {
        packet.fields.append({name, FieldType::String, 50});
    }
    for (const QString row :
         {"0001|101|Restaurante Central", "0001|102|Açaí da Praça", "0001|110|Cantina Ipê",
          "0001|205|Acácia Doces", "0001|230|padaria Pão Quente", "0001|T|TODAS", "0002|301|Café Norte"}) {
        const QStringList values = row.split(u'|');
        packet.rows.append(QVariantList(values.begin(), values.end()));
    }
    stores.loadPacket(packet);
    stores.setFilter(baseFilter);
    stores.setFiltered(!baseFilter.isEmpty());
}

QTableView& grid(QWidget& form) {
    return childOf<QTableView>(form, "dbgPesquisa");
}

// The store codes the list shows, top to bottom.
QString shownCodes(QWidget& form) {
    return modelColumn(*grid(form).model(), 0).join(u' ');
}

void tapTitle(QWidget& form, int column) {
    QHeaderView& titles = *grid(form).horizontalHeader();
    const QPoint inside(titles.sectionViewportPosition(column) + 5, titles.height() / 2);
    QTest::mouseClick(titles.viewport(), Qt::LeftButton, {}, inside);
}

// One step of the consumer: "sbtX" taps a button, "title:N" taps a column title, "key:Name" presses a
// physical key (through the grid, which has the focus once the list is shown, or "box:Name" through the
// typed box), "type:c" types a character on a physical keyboard, "click:N" and "dblclick:N" click row N,
// "close" asks the window to close.
void act(QWidget& form, const QString& step) {
    if (step.startsWith(u"sbt")) {
        childOf<QAbstractButton>(form, qPrintable(step)).click();
    } else if (step.startsWith(u"title:")) {
        tapTitle(form, step.mid(6).toInt());
    } else if (step.startsWith(u"key:")) {
        const QKeyCombination key = QKeySequence(step.mid(4))[0];
        QTest::keyClick(&grid(form), key.key(), key.keyboardModifiers());
    } else if (step == u"close") {  // as the platform's own Alt+F4 or a window manager would
        form.close();
    } else if (step.startsWith(u"box:")) {
        QTest::keyClick(&childOf<QLineEdit>(form, "edtFiltro"), QKeySequence(step.mid(4))[0].key());
    } else if (step.contains(u"click:")) {
        QTableView& view = grid(form);
        const QPoint inside = view.visualRect(view.model()->index(step.section(u':', 1).toInt(), 1)).center();
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, inside);
        if (step.startsWith(u"dbl")) {  // as a mouse does it: the second press makes the click double
            QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, inside);
            QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, inside);
        }
    } else if (step.startsWith(u"type:")) {
        QTest::keyClick(&grid(form), step.at(5).toLatin1());
    } else {
        throw std::runtime_error("unknown step " + step.toStdString());
    }
}

// Steps separated by spaces.
void acts(QWidget& form, const QString& steps) {
    for (const QString& step : steps.split(u' ', Qt::SkipEmptyParts)) {
        act(form, step);
    }
}

QString caption(QWidget& form, const char* key) {
    return childOf<BlendedButtonBase>(form, key).Caption();
}

// A list open on the stores, shown (not modally) so that taps and keys reach it as on the kiosk.
struct OpenList {
    explicit OpenList(const QString& baseFilter = {}) {
        loadStores(stores, baseFilter);
        form.PrepareList(stores);
        form.show();
    }
    TClientDataSet stores;
    TfrmPesquisa form;
};

}  // namespace

class TestSearchList : public QObject {
    Q_OBJECT
    std::optional<TestEnvironment> m_env;

private slots:
    void init() { m_env.emplace(); }
    void cleanup() { m_env.reset(); }

    void acceptsTyped_data() {
        QTest::addColumn<QChar>("character");
        QTest::addColumn<bool>("accepted");
        for (const QChar c : QStringView(u" ,./09AZazÇç")) {
            QTest::addRow("'%s'", qPrintable(QString(c))) << c << true;
        }
        for (const QChar c : QStringView(u"-'\"%_*é\t\r")) {
            QTest::addRow("U+%04X", c.unicode()) << c << false;
        }
    }
    void acceptsTyped() {
        QFETCH(QChar, character);
        QTEST(search::acceptsTyped(character), "accepted");
    }

    // What the filtering table below cannot type: a character outside a to z, and a quote.
    void prefixFilter_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("filter");
        dataRow("only a to z change case", "aç é", "UPPER(NMLOJA) LIKE 'Aç é%'");
        dataRow("a quote stays inside the text", "d'a", "UPPER(NMLOJA) LIKE 'D''A%'");
    }
    void prefixFilter() {
        QFETCH(QString, typed);
        QTEST(search::prefixFilter(QString(), "NMLOJA", typed), "filter");
    }

    void keyboardStates_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("capitals");  // on the letter keys and the cedilla
        QTest::addColumn<bool>("shiftOn");
        QTest::addColumn<bool>("capsOn");
        dataRow("opening", "", "", true, true, false);
        dataRow("A, then lower case", "sbtA", "A", false, false, false);
        dataRow("digit turns Shift off", "sbt1 sbtB", "1b", false, false, false);
        dataRow("signs and space", "sbtVirgula sbtPonto sbtBarra sbtEspaco sbt0", ",./ 0", false, false,
                false);
        dataRow("cedilla with Shift", "sbtCCdil sbtCCdil", "Çç", false, false, false);
        dataRow("Shift twice", "sbtShift", "", false, false, false);
        dataRow("Caps Lock", "sbtCapsLock sbtB sbtC", "BC", true, false, true);
        dataRow("Caps Lock, then Shift", "sbtCapsLock sbtShift", "", false, true, true);
        dataRow("Caps Lock, Shift, letter", "sbtCapsLock sbtShift sbtB sbtC", "bC", true, false, true);
        dataRow("physical Caps Lock", "key:CapsLock type:b", "B", true, false, true);
        dataRow("physical Shift keeps the captions", "sbtA key:Shift", "A", false, true, false);
        dataRow("physical Shift, then a letter", "sbtA key:Shift type:b type:c", "ABc", false, false, false);
        dataRow("physical Shift under Caps Lock", "sbtCapsLock key:Shift", "", true, true, true);
        dataRow("physical Shift under Caps Lock, then a letter", "sbtCapsLock key:Shift type:b", "b", true,
                false, true);
        dataRow("physical hyphen", "type:-", "", true, true, false);
        dataRow("Backspace", "sbtA sbtB sbtBackSpace", "A", false, false, false);
        dataRow("Limpar", "sbtA sbtB sbtLimpar", "", false, false, false);
    }
    void keyboardStates() {
        QFETCH(QString, steps);
        QFETCH(bool, capitals);
        OpenList list;
        acts(list.form, steps);
        QTEST(childOf<QLineEdit>(list.form, "edtFiltro").text(), "typed");
        QVERIFY(childOf<QLineEdit>(list.form, "edtFiltro").isReadOnly());  // only the keys type in it
        QCOMPARE(caption(list.form, "sbtA"), capitals ? "A" : "a");
        QCOMPARE(caption(list.form, "sbtZ"), capitals ? "Z" : "z");
        QCOMPARE(caption(list.form, "sbtCCdil"), capitals ? "Ç" : "ç");
        QTEST(list.form.shiftOn(), "shiftOn");
        QTEST(list.form.capsOn(), "capsOn");
    }

    void filtering_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("codes");  // shown, in order
        const QString branch1 = "CDFILIAL = '0001'";
        const QString branch1ByName = "205 102 110 230 101 T";
        dataRow("opening: sorted by name", "", "", "", "205 102 301 110 230 101 T");
        dataRow("name prefix", "", "sbtC sbtA", "UPPER(NMLOJA) LIKE 'CA%'", "301 110");
        dataRow("letter case ignored", "", "sbtP sbtA", "UPPER(NMLOJA) LIKE 'PA%'", "230");
        dataRow("cedilla key finds accented names", "", "sbtA sbtCCdil", "UPPER(NMLOJA) LIKE 'Aç%'", "102");
        dataRow("capital cedilla too", "", "sbtCapsLock sbtA sbtCCdil sbtA", "UPPER(NMLOJA) LIKE 'AÇA%'",
                "102");
        dataRow("accents count", "", "sbtA sbtC sbtA sbtI", "UPPER(NMLOJA) LIKE 'ACAI%'", "");
        dataRow("Código, then digits", "", "title:0 sbt1 sbt0", "UPPER(CDLOJA) LIKE '10%'", "101 102");
        dataRow("title after typing: still filtered by name", "", "sbtC title:0", "UPPER(NMLOJA) LIKE 'C%'",
                "110 301");
        dataRow("title after typing: the next key filters by code", "", "sbtC title:0 sbt1",
                "UPPER(CDLOJA) LIKE 'C1%'", "");
        dataRow("title after typing: Backspace filters by code", "", "sbt1 sbt1 title:0 sbtBackSpace",
                "UPPER(CDLOJA) LIKE '1%'", "101 102 110");
        dataRow("Nome again", "", "title:0 title:1 sbtT", "UPPER(NMLOJA) LIKE 'T%'", "T");
        dataRow("base filter kept", branch1, "sbtC", "(CDFILIAL = '0001') AND UPPER(NMLOJA) LIKE 'C%'",
                "110");
        dataRow("base filter with OR is not swallowed", "CDLOJA = '101' OR CDLOJA = '301'", "sbtC",
                "(CDLOJA = '101' OR CDLOJA = '301') AND UPPER(NMLOJA) LIKE 'C%'", "301");
        dataRow("Backspace to empty: base", branch1, "sbtC sbtBackSpace", branch1, branch1ByName);
        dataRow("Limpar: base", branch1, "sbtR sbtE sbtLimpar", branch1, branch1ByName);
        dataRow("no row matches", "", "sbtZ sbtZ", "UPPER(NMLOJA) LIKE 'ZZ%'", "");
    }
    void filtering() {
        QFETCH(QString, base);
        QFETCH(QString, steps);
        QFETCH(QString, codes);
        OpenList list(base);
        acts(list.form, steps);
        QTEST(list.stores.Filter(), "filter");
        QCOMPARE(shownCodes(list.form), codes);
        QCOMPARE(childOf<QAbstractButton>(list.form, "sbtEnter").isEnabled(), !codes.isEmpty());
    }

    // The sort column's title is drawn purple and the other navy; the titles keep their texts.
    void titleColours() {
        OpenList list;
        const QAbstractItemModel& model = *grid(list.form).model();
        const auto colours = [&model] {
            return QList<QColor>{model.headerData(0, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(),
                                 model.headerData(1, Qt::Horizontal, Qt::ForegroundRole).value<QColor>()};
        };
        const QColor purple = fromBgr(colors::Purple), navy = fromBgr(colors::Navy);
        QCOMPARE(colours(), QList<QColor>({navy, purple}));
        act(list.form, "title:0");
        QCOMPARE(colours(), QList<QColor>({purple, navy}));
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), "Código");
    }

    // Fewer visible fields than the list expects: it sorts and searches by the one there is.
    void oneVisibleField() {
        TClientDataSet stores;
        loadStores(stores);
        stores.FieldByName("NMLOJA").setVisible(false);
        TfrmPesquisa form;
        form.PrepareList(stores);
        QCOMPARE(stores.IndexName(), "CDLOJA");
        acts(form, "sbt1 sbt1");
        QCOMPARE(shownCodes(form), "110");
    }

    void navigation_data() {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("current");
        dataRow("opening: first", "", "205");
        dataRow("next", "sbtRolaBaixo sbtRolaBaixo", "301");
        dataRow("last", "sbtUltimo", "T");
        dataRow("last, previous", "sbtUltimo sbtRolarCima", "101");
        dataRow("first", "sbtUltimo sbtPrimeiro", "205");
        dataRow("previous at the top stays", "sbtRolarCima", "205");
        dataRow("arrow key in the grid", "key:Down", "102");
        dataRow("row clicked", "click:3", "110");
        dataRow("typing goes to the first match", "sbtUltimo sbtP", "230");
    }
    // The grid's selected row and the dataset's current record are one.
    void navigation() {
        QFETCH(QString, steps);
        OpenList list;
        acts(list.form, steps);
        QTEST(list.stores.FieldByName("CDLOJA").asString(), "current");
        const QModelIndexList selected = grid(list.form).selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.front().row(), list.stores.currentRow());
    }

    void closing_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("closing");
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("current");
        const QString branch1 = "CDFILIAL = '0001'";
        dataRow("Enter after typing", "", "sbtC sbtRolaBaixo", "sbtEnter", true, "UPPER(NMLOJA) LIKE 'C%'",
                "110");
        dataRow("Enter key", branch1, "sbtR", "key:Return", true,
                "(CDFILIAL = '0001') AND UPPER(NMLOJA) LIKE 'R%'", "101");
        dataRow("all stores", "", "sbtUltimo", "sbtEnter", true, "", "T");
        dataRow("double click", "", "", "dblclick:2", true, "", "301");
        // The base filter, put back, shows its rows from the first.
        dataRow("exit", branch1, "sbtC", "sbtSair", false, branch1, "205");
        dataRow("Escape", branch1, "sbtC", "key:Escape", false, branch1, "205");
        dataRow("Escape from the typed box", "", "sbtC", "box:Escape", false, "", "205");
        // Only the list's own keys close it.
        dataRow("Alt+F4 and a close request refused", "", "key:Alt+F4 close", "sbtSair", false, "", "205");
        dataRow("Enter when no row matches does nothing", "",
                "sbtZ sbtEnter key:Return sbtBackSpace sbtRolaBaixo", "sbtEnter", true, "", "102");
    }
    void closing() {
        QFETCH(QString, base);
        QFETCH(QString, steps);
        QFETCH(QString, closing);
        TClientDataSet stores;
        loadStores(stores, base);
        bool openAfterSteps = false;
        bool openRightAfterClosing = false;
        QPointer<QDialog> shown;
        ModalScript script({[&](QDialog& form) {
            shown = &form;
            acts(form, steps);
            QCoreApplication::processEvents();
            openAfterSteps = form.isVisible();
            act(form, closing);
            openRightAfterClosing = form.isVisible();  // the close request is posted
        }});
        QTEST(ShowSearchList(stores, "fundo.bmp"), "chosen");
        VERIFY_SCRIPT(script);
        QVERIFY(openAfterSteps);
        QVERIFY(openRightAfterClosing);
        QVERIFY(shown.isNull());  // destroyed before the call returned
        QTEST(stores.Filter(), "filter");
        QTEST(stores.FieldByName("CDLOJA").asString(), "current");
    }
};

QTEST_MAIN(TestSearchList)
#include "tst_pesquisa.moc"
