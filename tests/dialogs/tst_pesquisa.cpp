#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QTableView>
#include <QTest>

#include "dialogs/TfrmPesquisa.h"
#include "kit/Buttons.h"
#include "kit/Colors.h"
#include "kit/Modal.h"
#include "kit/core/Messages.h"
#include "server/ClientDataSet.h"
#include "support/Rows.h"
#include "support/TestEnvironment.h"
#include "support/Widgets.h"

#include <optional>

namespace {

// The consumer's stores as the terminal holds them, the all-stores row included, and one store of another
// branch for the base filters.
void loadStores(TClientDataSet& stores) {
    stores.addField("CDFILIAL", FieldType::String, 4).setVisible(false);
    stores.addField("CDLOJA", FieldType::String, 10).setDisplayLabel("Código");
    stores.addField("NMLOJA", FieldType::String, 50).setDisplayLabel("Nome");
    stores.addField("CDCLIENTE", FieldType::String, 21).setVisible(false);
    stores.addField("CDCONSUMIDOR", FieldType::String, 21).setVisible(false);
    DataPacket packet;
    for (const char* name : {"CDFILIAL", "CDLOJA", "NMLOJA", "CDCLIENTE", "CDCONSUMIDOR"}) {
        packet.fields.append({name, FieldType::String, 50});
    }
    const QList<std::pair<QString, QString>> branch1{{"101", "Restaurante Central"}, {"102", "Açaí da Praça"},
                                                     {"110", "Cantina Ipê"},         {"205", "Acácia Doces"},
                                                     {"230", "padaria Pão Quente"},  {"T", "TODAS"}};
    for (const auto& [code, name] : branch1) {
        packet.rows.append({"0001", code, name, "10", "1001"});
    }
    packet.rows.append({"0002", "301", "Café Norte", "10", "1001"});
    stores.loadPacket(packet);
}

// The store codes the list shows, top to bottom.
QStringList shownCodes(const TClientDataSet& stores) {
    QStringList codes;
    const int code = stores.FieldByName("CDLOJA").Index();
    for (int row = 0; row < stores.RecordCount(); ++row) {
        codes.append(stores.valueAt(row, code).toString());
    }
    return codes;
}

QTableView& grid(QWidget& form) {
    return childOf<QTableView>(form, "dbgPesquisa");
}

void tapTitle(QWidget& form, int column) {
    QHeaderView& titles = *grid(form).horizontalHeader();
    const QPoint inside(titles.sectionViewportPosition(column) + 5, titles.height() / 2);
    QTest::mouseClick(titles.viewport(), Qt::LeftButton, {}, inside);
}

// One step of the consumer: "sbtX" taps a button, "title:N" taps a column title, "key:Name" presses a
// physical key (through the grid, which has the focus once the list is shown) and "type:c" types a character
// on a physical keyboard.
void act(QWidget& form, const QString& step) {
    if (step.startsWith(u"sbt")) {
        childOf<QAbstractButton>(form, qPrintable(step)).click();
    } else if (step.startsWith(u"title:")) {
        tapTitle(form, step.mid(6).toInt());
    } else if (step.startsWith(u"key:")) {
        QTest::keyClick(&grid(form), QKeySequence(step.mid(4))[0].key());
    } else if (step.startsWith(u"type:")) {
        QTest::keyClick(&grid(form), step.at(5).toLatin1());
    } else {
        throw std::runtime_error("unknown step " + step.toStdString());
    }
}

void act(QWidget& form, const QStringList& steps) {
    for (const QString& step : steps) {
        act(form, step);
    }
}

QString caption(QWidget& form, const char* key) {
    return childOf<BlendedButtonBase>(form, key).Caption();
}
QString typed(QWidget& form) {
    return childOf<QLineEdit>(form, "edtFiltro").text();
}
bool enterEnabled(QWidget& form) {
    return childOf<QAbstractButton>(form, "sbtEnter").isEnabled();
}

// A list open on the stores, shown (not modally) so that taps and keys reach it as on the kiosk.
struct OpenList {
    explicit OpenList(const QString& baseFilter = {}) {
        loadStores(stores);
        if (!baseFilter.isEmpty()) {
            stores.setFilter(baseFilter);
            stores.setFiltered(true);
        }
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
        QFETCH(bool, accepted);
        QCOMPARE(search::acceptsTyped(character), accepted);
    }

    // What the filtering table below cannot type: a character outside a to z, and a quote.
    void prefixFilter_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("filter");
        dataRow("only a to z change case", "", "NMLOJA", "aç é", "UPPER(NMLOJA) LIKE 'Aç é%'");
        dataRow("a quote stays inside the text", "", "NMLOJA", "d'a", "UPPER(NMLOJA) LIKE 'D''A%'");
    }
    void prefixFilter() {
        QFETCH(QString, base);
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(QString, filter);
        QCOMPARE(search::prefixFilter(base, field, typed), filter);
    }

    void layout() {
        OpenList list;
        QWidget& form = list.form;
        QCOMPARE(form.size(), QSize(800, 600));
        QCOMPARE(form.windowFlags() & Qt::FramelessWindowHint, Qt::FramelessWindowHint);
        // A few representative places: the typed box, the grid in its panel, the scroll column.
        const QList<std::pair<const char*, QRect>> places{{"edtFiltro", {14, 8, 741, 43}},
                                                          {"panGrid", {14, 54, 658, 236}},
                                                          {"dbgPesquisa", {0, 0, 746, 244}},
                                                          {"sbtUltimo", {689, 237, 61, 51}}};
        for (const auto& [name, place] : places) {
            QCOMPARE(childOf<QWidget>(form, name).geometry(), place);
        }
        QVERIFY(childOf<QLineEdit>(form, "edtFiltro").isReadOnly());
        QCOMPARE(childOf<QWidget>(form, "dbgPesquisa").parentWidget()->objectName(), "panGrid");
        QCOMPARE(childOf<TMessages>(form, "msgPadrao").Msg("Versao"), "Versão ");
        QCOMPARE(childOf<BlendedButtonBase>(form, "sbtPrimeiro").Caption(), QString());
    }

    void keys_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");  // as the list opens, with capitals
        QTest::addColumn<int>("tag");
        QTest::addColumn<QRect>("place");
        const QList<std::pair<int, QString>> rows{
            {308, "1234567890"}, {363, "QWERTYUIOP"}, {418, "ASDFGHJKL"}, {473, "ZXCVBNM"}};
        for (const auto& [top, keys] : rows) {
            for (int column = 0; column < keys.size(); ++column) {
                const QString key = keys.mid(column, 1);
                QTest::addRow("%s", qPrintable(key))
                    << "sbt" + key << key << int(key.at(0).unicode()) << QRect(9 + 65 * column, top, 64, 54);
            }
        }
        // The keys whose size, font or glyph differ from the letters'; the signs, space and Limpar are typed
        // by the keyboard tables below.
        dataRow("cedilla", "sbtCCdil", "Ç", 231, QRect(595, 418, 64, 54));
        dataRow("backspace", "sbtBackSpace", "Backspace", 8, QRect(660, 309, 101, 54));
        dataRow("enter", "sbtEnter", "Enter", 13, QRect(660, 365, 99, 216));
        dataRow("exit", "sbtSair", "", 0, QRect(9, 529, 96, 54));
        dataRow("shift", "sbtShift", "Shift", 16, QRect(106, 528, 97, 54));
        dataRow("caps lock", "sbtCapsLock", "Caps Lock", 20, QRect(464, 528, 100, 54));
    }
    void keys() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(int, tag);
        QFETCH(QRect, place);
        OpenList list;
        const auto& key = childOf<BlendedButtonBase>(list.form, qPrintable(name));
        QCOMPARE(key.Caption(), caption);
        QCOMPARE(key.Tag(), tag);
        QCOMPARE(key.geometry(), place);
        const bool glyphOnly = name == "sbtSair" || name == "sbtLimpar";
        QCOMPARE(key.glyph().isNull(), !glyphOnly);
        if (!glyphOnly) {
            const bool small = caption == "Backspace" || caption == "Shift" || caption == "Caps Lock";
            QCOMPARE(key.font().pixelSize(), small ? 16 : 21);
        }
    }

    void keyboardStates_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("letterCaption");  // of sbtA
        QTest::addColumn<QString>("cedillaCaption");
        QTest::addColumn<bool>("shiftOn");
        QTest::addColumn<bool>("capsOn");
        dataRow("opening", QStringList{}, "", "A", "Ç", true, false);
        dataRow("A, then lower case", QStringList{"sbtA"}, "A", "a", "ç", false, false);
        dataRow("digit turns Shift off", QStringList{"sbt1", "sbtB"}, "1b", "a", "ç", false, false);
        dataRow("signs and space", QStringList{"sbtVirgula", "sbtPonto", "sbtBarra", "sbtEspaco", "sbt0"},
                ",./ 0", "a", "ç", false, false);
        dataRow("cedilla with Shift", QStringList{"sbtCCdil", "sbtCCdil"}, "Çç", "a", "ç", false, false);
        dataRow("Shift twice", QStringList{"sbtShift"}, "", "a", "ç", false, false);
        dataRow("Caps Lock", QStringList{"sbtCapsLock", "sbtB", "sbtC"}, "BC", "A", "Ç", false, true);
        dataRow("Caps Lock, then Shift", QStringList{"sbtCapsLock", "sbtShift"}, "", "a", "ç", true, true);
        dataRow("Caps Lock, Shift, letter", QStringList{"sbtCapsLock", "sbtShift", "sbtB", "sbtC"}, "bC", "A",
                "Ç", false, true);
        dataRow("physical Caps Lock", QStringList{"key:CapsLock", "type:b"}, "B", "A", "Ç", false, true);
        dataRow("physical Shift keeps the captions", QStringList{"sbtA", "key:Shift"}, "A", "a", "ç", true,
                false);
        dataRow("physical Shift, then a letter", QStringList{"sbtA", "key:Shift", "type:b", "type:c"}, "ABc",
                "a", "ç", false, false);
        dataRow("physical Shift under Caps Lock", QStringList{"sbtCapsLock", "key:Shift"}, "", "A", "Ç", true,
                true);
        dataRow("physical Shift under Caps Lock, then a letter",
                QStringList{"sbtCapsLock", "key:Shift", "type:b"}, "b", "A", "Ç", false, true);
        dataRow("physical hyphen", QStringList{"type:-"}, "", "A", "Ç", true, false);
        dataRow("physical quote", QStringList{"sbtA", "type:'"}, "A", "a", "ç", false, false);
        dataRow("Backspace on an empty box", QStringList{"sbtBackSpace"}, "", "A", "Ç", true, false);
        dataRow("Backspace", QStringList{"sbtA", "sbtB", "sbtBackSpace"}, "A", "a", "ç", false, false);
        dataRow("physical Backspace", QStringList{"sbtA", "sbtB", "key:Backspace"}, "A", "a", "ç", false,
                false);
        dataRow("Limpar", QStringList{"sbtA", "sbtB", "sbtLimpar"}, "", "a", "ç", false, false);
    }
    void keyboardStates() {
        QFETCH(QStringList, steps);
        QFETCH(QString, typed);
        QFETCH(QString, letterCaption);
        QFETCH(QString, cedillaCaption);
        QFETCH(bool, shiftOn);
        QFETCH(bool, capsOn);
        OpenList list;
        act(list.form, steps);
        QCOMPARE(::typed(list.form), typed);
        for (const QString letter : {"A", "M", "Z"}) {
            QCOMPARE(caption(list.form, qPrintable("sbt" + letter)),
                     letterCaption == "A" ? letter : letter.toLower());
        }
        QCOMPARE(caption(list.form, "sbtCCdil"), cedillaCaption);
        QCOMPARE(caption(list.form, "sbt1"), "1");
        QCOMPARE(list.form.shiftOn(), shiftOn);
        QCOMPARE(list.form.capsOn(), capsOn);
    }

    void filtering_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("codes");  // shown, in order
        const QString branch1 = "CDFILIAL = '0001'";
        const QStringList allByName{"205", "102", "301", "110", "230", "101", "T"};
        const QStringList branch1ByName{"205", "102", "110", "230", "101", "T"};
        dataRow("opening: sorted by name", "", QStringList{}, "", allByName);
        dataRow("name prefix", "", QStringList{"sbtC", "sbtA"}, "UPPER(NMLOJA) LIKE 'CA%'",
                QStringList{"301", "110"});
        dataRow("letter case ignored", "", QStringList{"sbtP", "sbtA"}, "UPPER(NMLOJA) LIKE 'PA%'",
                QStringList{"230"});
        dataRow("cedilla key finds accented names", "", QStringList{"sbtA", "sbtCCdil"},
                "UPPER(NMLOJA) LIKE 'Aç%'", QStringList{"102"});
        dataRow("capital cedilla too", "", QStringList{"sbtCapsLock", "sbtA", "sbtCCdil", "sbtA"},
                "UPPER(NMLOJA) LIKE 'AÇA%'", QStringList{"102"});
        dataRow("accents count", "", QStringList{"sbtA", "sbtC", "sbtA", "sbtI"},
                "UPPER(NMLOJA) LIKE 'ACAI%'", QStringList{});
        dataRow("Código, then digits", "", QStringList{"title:0", "sbt1", "sbt0"}, "UPPER(CDLOJA) LIKE '10%'",
                QStringList{"101", "102"});
        dataRow("title after typing: still filtered by name", "", QStringList{"sbtC", "title:0"},
                "UPPER(NMLOJA) LIKE 'C%'", QStringList{"110", "301"});
        dataRow("title after typing: the next key filters by code", "",
                QStringList{"sbtC", "title:0", "sbt1"}, "UPPER(CDLOJA) LIKE 'C1%'", QStringList{});
        dataRow("title after typing: Backspace filters by code", "",
                QStringList{"sbt1", "sbt1", "title:0", "sbtBackSpace"}, "UPPER(CDLOJA) LIKE '1%'",
                QStringList{"101", "102", "110"});
        dataRow("Nome again", "", QStringList{"title:0", "title:1", "sbtT"}, "UPPER(NMLOJA) LIKE 'T%'",
                QStringList{"T"});
        dataRow("base filter kept", branch1, QStringList{"sbtC"},
                "(CDFILIAL = '0001') AND UPPER(NMLOJA) LIKE 'C%'", QStringList{"110"});
        dataRow("base filter with OR is not swallowed", "CDLOJA = '101' OR CDLOJA = '301'",
                QStringList{"sbtC"}, "(CDLOJA = '101' OR CDLOJA = '301') AND UPPER(NMLOJA) LIKE 'C%'",
                QStringList{"301"});
        dataRow("Backspace to empty: base", branch1, QStringList{"sbtC", "sbtBackSpace"}, branch1,
                branch1ByName);
        dataRow("Backspace on an empty box: base", branch1, QStringList{"sbtBackSpace"}, branch1,
                branch1ByName);
        dataRow("Limpar: base", branch1, QStringList{"sbtR", "sbtE", "sbtLimpar"}, branch1, branch1ByName);
        dataRow("physical hyphen changes nothing", "", QStringList{"sbtC", "type:-"},
                "UPPER(NMLOJA) LIKE 'C%'", QStringList{"301", "110"});
        dataRow("physical quote changes nothing", branch1, QStringList{"type:'"}, branch1, branch1ByName);
        dataRow("no row matches", "", QStringList{"sbtZ", "sbtZ"}, "UPPER(NMLOJA) LIKE 'ZZ%'", QStringList{});
    }
    void filtering() {
        QFETCH(QString, base);
        QFETCH(QStringList, steps);
        QFETCH(QString, filter);
        QFETCH(QStringList, codes);
        OpenList list(base);
        act(list.form, steps);
        QCOMPARE(list.stores.Filter(), filter);
        QCOMPARE(shownCodes(list.stores), codes);
        QCOMPARE(enterEnabled(list.form), !codes.isEmpty());
        QCOMPARE(grid(list.form).model()->rowCount(), codes.size());
    }

    void titleColours_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<int>("sortColumn");
        dataRow("opening", QStringList{}, 1);
        dataRow("Código", QStringList{"title:0"}, 0);
        dataRow("Código, then Nome", QStringList{"title:0", "title:1"}, 1);
    }
    void titleColours() {
        QFETCH(QStringList, steps);
        QFETCH(int, sortColumn);
        OpenList list;
        act(list.form, steps);
        const QAbstractItemModel& model = *grid(list.form).model();
        QCOMPARE(model.columnCount(), 2);
        for (int column = 0; column < 2; ++column) {
            const QColor expected = fromBgr(column == sortColumn ? colors::Purple : colors::Navy);
            QCOMPARE(model.headerData(column, Qt::Horizontal, Qt::ForegroundRole).value<QColor>(), expected);
        }
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), "Código");
        QCOMPARE(list.stores.IndexName(), sortColumn == 0 ? "CDLOJA" : "NMLOJA");
        QCOMPARE(list.stores.indexNames(), QStringList({"CDLOJA", "NMLOJA"}));
    }

    // Fewer visible fields than the list expects: it sorts and searches by the one there is.
    void oneVisibleField() {
        TClientDataSet stores;
        loadStores(stores);
        stores.FieldByName("NMLOJA").setVisible(false);
        TfrmPesquisa form;
        form.PrepareList(stores);
        QCOMPARE(stores.IndexName(), "CDLOJA");
        act(form, QStringList{"sbt1", "sbt1"});
        QCOMPARE(shownCodes(stores), QStringList{"110"});
    }

    void navigation_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("current");
        dataRow("opening: first", QStringList{}, "205");
        dataRow("next", QStringList{"sbtRolaBaixo", "sbtRolaBaixo"}, "301");
        dataRow("last", QStringList{"sbtUltimo"}, "T");
        dataRow("last, previous", QStringList{"sbtUltimo", "sbtRolarCima"}, "101");
        dataRow("first", QStringList{"sbtUltimo", "sbtPrimeiro"}, "205");
        dataRow("previous at the top stays", QStringList{"sbtRolarCima"}, "205");
        dataRow("arrow key in the grid", QStringList{"key:Down"}, "102");
        dataRow("typing goes to the first match", QStringList{"sbtUltimo", "sbtP"}, "230");
    }
    // The grid's selected row and the dataset's current record are one.
    void navigation() {
        QFETCH(QStringList, steps);
        QFETCH(QString, current);
        OpenList list;
        act(list.form, steps);
        QCOMPARE(list.stores.FieldByName("CDLOJA").asString(), current);
        const QModelIndexList selected = grid(list.form).selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.front().row(), list.stores.currentRow());
    }

    void gridMovesTheDataset() {
        OpenList list;
        QTableView& view = grid(list.form);
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {},
                          view.visualRect(view.model()->index(3, 0)).center());
        QCOMPARE(list.stores.FieldByName("CDLOJA").asString(), "110");
    }

    void sendKeys_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("asTyped");
        QTest::addColumn<QString>("typed");
        dataRow("typed", "Cant", true, "Cacant");
        dataRow("key-downs: Backspace", QString(QChar(8)), false, "C");
        dataRow("key-downs: Delete", QString(QChar(46)), false, "");
        dataRow("key-downs are not text", "ab", false, "Ca");
    }
    void sendKeys() {
        QFETCH(QString, text);
        QFETCH(bool, asTyped);
        QFETCH(QString, typed);
        OpenList list;
        list.form.SendKeys("Ca", false, true);
        list.form.SendKeys(text, false, asTyped);
        QCOMPARE(::typed(list.form), typed);
    }

    void closing_data() {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("closing");
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("current");
        const QString branch1 = "CDFILIAL = '0001'";
        dataRow("Enter after typing", "", QStringList{"sbtC", "sbtRolaBaixo"}, "sbtEnter", true,
                "UPPER(NMLOJA) LIKE 'C%'", "110");
        dataRow("Enter key", branch1, QStringList{"sbtR"}, "key:Return", true,
                "(CDFILIAL = '0001') AND UPPER(NMLOJA) LIKE 'R%'", "101");
        dataRow("all stores", "", QStringList{"sbtUltimo"}, "sbtEnter", true, "", "T");
        dataRow("double click", "", QStringList{}, "dblclick:2", true, "", "301");
        // The base filter, put back, shows its rows from the first.
        dataRow("exit", branch1, QStringList{"sbtC"}, "sbtSair", false, branch1, "205");
        dataRow("Escape", branch1, QStringList{"sbtC"}, "key:Escape", false, branch1, "205");
        dataRow("Escape from the filter box", "", QStringList{"sbtC"}, "box:Escape", false, "", "205");
        dataRow("Enter when no row matches does nothing", "",
                QStringList{"sbtZ", "sbtEnter", "key:Return", "sbtBackSpace", "sbtRolaBaixo"}, "sbtEnter",
                true, "", "102");
    }
    void closing() {
        QFETCH(QString, base);
        QFETCH(QStringList, steps);
        QFETCH(QString, closing);
        QFETCH(bool, chosen);
        QFETCH(QString, filter);
        QFETCH(QString, current);
        TClientDataSet stores;
        loadStores(stores);
        stores.setFilter(base);
        stores.setFiltered(!base.isEmpty());
        bool openAfterSteps = false;
        bool openRightAfterClosing = false;
        QPointer<QDialog> shown;
        ModalScript script({[&](QDialog& form) {
            shown = &form;
            act(form, steps);
            QCoreApplication::processEvents();
            openAfterSteps = form.isVisible();
            if (closing.startsWith(u"dblclick:")) {
                QTableView& view = grid(form);
                const QModelIndex row = view.model()->index(closing.mid(9).toInt(), 1);
                const QPoint inside = view.visualRect(row).center();
                // As a mouse does it: a click, then the second press that makes it double.
                QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, inside);
                QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, inside);
                QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, inside);
            } else if (closing.startsWith(u"box:")) {
                QTest::keyClick(&childOf<QLineEdit>(form, "edtFiltro"),
                                QKeySequence(closing.mid(4))[0].key());
            } else {
                act(form, closing);
            }
            openRightAfterClosing = form.isVisible();  // the close request is posted
        }});
        QCOMPARE(ShowSearchList(stores, "fundo.bmp"), chosen);
        VERIFY_SCRIPT(script);
        QVERIFY(openAfterSteps);
        QVERIFY(openRightAfterClosing);
        QVERIFY(shown.isNull());  // destroyed before the call returned
        QCOMPARE(stores.Filter(), filter);
        QCOMPARE(stores.FieldByName("CDLOJA").asString(), current);
    }

    void altF4KeepsTheListOpen() {
        TClientDataSet stores;
        loadStores(stores);
        bool open = false;
        ModalScript script({[&](QDialog& form) {
            QTest::keyClick(&grid(form), Qt::Key_F4, Qt::AltModifier);
            static_cast<TfrmPesquisa&>(form).deliverKey(Qt::Key_F4, Qt::AltModifier, {});
            form.close();  // as the platform's own Alt+F4 or a window manager would
            QCoreApplication::processEvents();
            open = form.isVisible();
            act(form, "sbtSair");
        }});
        QVERIFY(!ShowSearchList(stores, {}));
        VERIFY_SCRIPT(script);
        QVERIFY(open);
    }
};

QTEST_MAIN(TestSearchList)
#include "tst_pesquisa.moc"
