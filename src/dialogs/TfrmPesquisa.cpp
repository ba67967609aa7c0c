#include "dialogs/TfrmPesquisa.h"

#include "kit/Application.h"
#include "kit/Buttons.h"
#include "kit/Colors.h"
#include "kit/DataGrid.h"
#include "kit/ErrorReport.h"
#include "kit/Layout.h"
#include "kit/Modal.h"
#include "kit/Pictures.h"
#include "kit/Shapes.h"
#include "kit/core/Messages.h"
#include "kit/core/VirtualKeys.h"
#include "server/ClientDataSet.h"
#include "server/DataSetModel.h"
#include "server/FilterExpression.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTableView>

#include <algorithm>
#include <array>
#include <stdexcept>

// The grid's model: the dataset's rows, with one column title drawn purple (the sort column) and the
// others navy.
class SearchGridModel : public DataSetModel {
public:
    using DataSetModel::DataSetModel;

    void highlightTitle(int column) {
        m_highlighted = column;
        if (columnCount() > 0) {
            emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (role == Qt::ForegroundRole && orientation == Qt::Horizontal && section >= 0 &&
            section < columnCount()) {
            return fromBgr(section == m_highlighted ? colors::Purple : colors::Navy);
        }
        return DataSetModel::headerData(section, orientation, role);
    }

private:
    int m_highlighted = -1;
};

namespace {

using layout::place;
using layout::setColour;
using layout::tahoma;

// Letter case as the list applies it: only the letters a to z and A to Z change.
QChar asciiCase(QChar c, bool upper) {
    const char16_t code = c.unicode();
    if (upper && code >= u'a' && code <= u'z') {
        return QChar(static_cast<char16_t>(code - u'a' + u'A'));
    }
    if (!upper && code >= u'A' && code <= u'Z') {
        return QChar(static_cast<char16_t>(code - u'A' + u'a'));
    }
    return c;
}

QString asciiCase(QString text, bool upper) {
    for (QChar& c : text) {
        c = asciiCase(c, upper);
    }
    return text;
}

}  // namespace

namespace search {

bool acceptsTyped(QChar typed) {
    const char16_t c = typed.unicode();
    return c == u' ' || c == u',' || c == u'.' || c == u'/' || (c >= u'0' && c <= u'9') ||
           (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'Ç' || c == u'ç';
}

QString prefixFilter(const QString& base, const QString& fieldName, const QString& typed) {
    const QString condition =
        QStringLiteral("UPPER(%1) LIKE %2").arg(fieldName, filter::quoted(asciiCase(typed, true) + u'%'));
    return base.isEmpty() ? condition : QStringLiteral("(%1) AND %2").arg(base, condition);
}

}  // namespace search

namespace {

constexpr QSize FormSize(800, 600);
constexpr QSize CharacterKey(64, 54);
constexpr int KeyPitch = 65;
constexpr int FirstKeyLeft = 9;
constexpr int KeyFontPixels = 21;
constexpr int SmallKeyFontPixels = 16;  // captions too long for the key at the usual size
constexpr QSize NavigationButton(61, 51);
constexpr int NavigationLeft = 689;
constexpr int NavigationGlyph = 32;
constexpr int GridFontPixels = 21;
constexpr int GridRowHeight = 27;
constexpr int CellPadding = 4;
constexpr int OpeningSortColumn = 1;  // the second visible field

TBlendedShape* roundRect(QWidget* parent, const char* name, const QRect& geometry, quint32 bgr) {
    return place(new TBlendedShape(parent, TBlendedShape::stRoundRect, fromBgr(bgr)), name, geometry);
}

QLineEdit* filterBox(QWidget* form) {
    auto* box = place(new QLineEdit(form), "edtFiltro", {14, 8, 741, 43});
    box->setReadOnly(true);
    box->setFont(tahoma(29));
    setColour(*box, QPalette::Base, colors::InfoBackground);
    setColour(*box, QPalette::Text, colors::Navy);
    return box;
}

// Draws the line under each row (the grid has row lines and no column lines).
class RowLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyledItemDelegate::paint(painter, option, index);
        painter->save();
        painter->setPen(fromBgr(colors::Silver));
        painter->drawLine(option.rect.bottomLeft(), option.rect.bottomRight());
        painter->restore();
    }
};

// The list's grid: it shows rows and never searches them itself, since typing is the form's business.
class SearchGrid : public QTableView {
public:
    using QTableView::QTableView;
    void keyboardSearch(const QString&) override {}
};

QTableView* grid(QWidget* panel) {
    auto* view = place(new SearchGrid(panel), "dbgPesquisa", {0, 0, 746, 244});
    view->setTabKeyNavigation(true);
    view->setItemDelegate(new RowLineDelegate(view));
    // The scroll bars would lie outside the panel; the navigation buttons move through the rows.
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->horizontalHeader()->setSectionsClickable(true);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Base, fromBgr(colors::InfoBackground));
    // The selection stays as visible when the grid does not have the focus.
    for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    view->setPalette(palette);
    return view;
}

// Each column as wide as its field's declared text width in digits of the cell font, and never narrower
// than its title.
void sizeColumns(QTableView& view, const DataSetModel& model, const TClientDataSet& dataset) {
    const QFontMetrics cells(view.font());
    const QFontMetrics titles(view.horizontalHeader()->font());
    for (int column = 0; column < model.columnCount(); ++column) {
        const TField& field = dataset.field(model.fieldIndex(column));
        const int textWidth = cells.horizontalAdvance(u'0') * std::max(field.Size(), 1);
        const int titleWidth = titles.horizontalAdvance(field.DisplayLabel());
        view.setColumnWidth(column, std::max(textWidth, titleWidth) + 2 * CellPadding);
    }
}

template <typename Button>
Button* keyButton(QWidget* form, const char* name, const QRect& geometry, int tag) {
    auto* button = place(new Button(form), name, geometry);
    button->setShape(Button::RoundRect);
    button->setBrushColor(fromBgr(colors::Silver));
    button->setFontColor(fromBgr(colors::Navy));
    button->setTag(tag);
    return button;
}

TBlendedButton* captionKey(QWidget* form, const char* name, const QRect& geometry, const QString& caption,
                           int tag, int fontPixels = KeyFontPixels) {
    auto* key = keyButton<TBlendedButton>(form, name, geometry, tag);
    key->setCaption(caption);
    key->setFont(tahoma(fontPixels));
    return key;
}

TBlendedBitBtn* glyphKey(QWidget* form, const char* name, const QRect& geometry, int tag,
                         pictures::Glyph glyph) {
    auto* key = keyButton<TBlendedBitBtn>(form, name, geometry, tag);
    key->setGlyph(pictures::glyph(glyph, geometry.height() - 14));
    return key;
}

TBlendedBitBtn* navigationButton(QWidget* form, const char* name, int top, pictures::Glyph glyph) {
    auto* button =
        place(new TBlendedBitBtn(form), name, QRect(QPoint(NavigationLeft, top), NavigationButton));
    button->setShape(TBlendedBitBtn::Circle);
    // A face of their own: silver buttons on the silver column read as no buttons at all.
    button->setBrushColor(fromBgr(colors::White));
    button->setAccentColor(fromBgr(colors::Navy));
    button->setGlyph(pictures::glyph(glyph, NavigationGlyph));
    return button;
}

// The rows of character keys: each character is the key's tag; letters and digits name their key.
struct CharacterRow {
    int top;
    QStringView characters;
};
constexpr std::array<CharacterRow, 4> CharacterRows{{
    {308, u"1234567890"},
    {363, u"QWERTYUIOP"},
    {418, u"ASDFGHJKL"},
    {473, u"ZXCVBNM,./"},
}};

QString characterKeyName(QChar character) {
    switch (character.unicode()) {
        case u',':
            return QStringLiteral("sbtVirgula");
        case u'.':
            return QStringLiteral("sbtPonto");
        case u'/':
            return QStringLiteral("sbtBarra");
        default:
            return QStringLiteral("sbt") + character;
    }
}

TMessages* messageTable(QObject* form) {
    auto* table = new TMessages({QStringLiteral("FILIAL|Filial"), QStringLiteral("Operador|Operador"),
                                 QStringLiteral("Versao|Versão ")},
                                form);
    table->setObjectName(QStringLiteral("msgPadrao"));
    return table;
}

}  // namespace

TfrmPesquisa::TfrmPesquisa(QWidget* parent)
    : TForm(parent),
      blsBorda(roundRect(this, "blsBorda", QRect(QPoint(0, 0), FormSize), colors::Silver)),
      blsPesquisa(roundRect(this, "blsPesquisa", {3, 2, 763, 298}, colors::LightGrey)),
      BlendedShape1(roundRect(this, "BlendedShape1", {4, 302, 764, 286}, colors::LightGrey)),
      edtFiltro(filterBox(this)),
      panGrid(place(new QWidget(this), "panGrid", {14, 54, 658, 236})),
      dbgPesquisa(grid(panGrid)),
      blsRolagem(roundRect(this, "blsRolagem", {685, 53, 65, 242}, colors::Silver)),
      sbtPrimeiro(navigationButton(this, "sbtPrimeiro", 65, pictures::Glyph::First)),
      sbtRolarCima(navigationButton(this, "sbtRolarCima", 120, pictures::Glyph::ArrowUp)),
      sbtRolaBaixo(navigationButton(this, "sbtRolaBaixo", 177, pictures::Glyph::ArrowDown)),
      sbtUltimo(navigationButton(this, "sbtUltimo", 237, pictures::Glyph::Last)),
      msgPadrao(messageTable(this)) {
    setObjectName(QStringLiteral("frmPesquisa"));
    setClientSize(FormSize.width(), FormSize.height());
    setColour(*this, QPalette::Window, colors::ButtonFace);
    previewKeysOf(edtFiltro);
    previewKeysOf(dbgPesquisa);
    createKeyboard();
    connectNavigation();
    connectGuarded(dbgPesquisa, &QAbstractItemView::doubleClicked, this, [this] { dbgPesquisaDblClick(); });
    connectGuarded(dbgPesquisa->horizontalHeader(), &QHeaderView::sectionClicked, this,
                   [this](int column) { dbgPesquisaTitleClick(column); });

    Trad(this);
    applyApplicationLook(this);
    sbtShiftClick();  // the list opens showing capitals
}

void TfrmPesquisa::createKeyboard() {
    for (const CharacterRow& row : CharacterRows) {
        int left = FirstKeyLeft;
        for (const QChar character : row.characters) {
            const QString name = characterKeyName(character);
            auto* key = captionKey(this, qPrintable(name), QRect(QPoint(left, row.top), CharacterKey),
                                   QString(asciiCase(character, false)), character.unicode());
            connectCharacterKey(key);
            left += KeyPitch;
        }
    }
    connectCharacterKey(captionKey(this, "sbtEspaco", {204, 528, 258, 54}, QString(), u' '));
    sbtCCdil = captionKey(this, "sbtCCdil", QRect(QPoint(595, 418), CharacterKey), QStringLiteral("ç"), u'ç');
    sbtBackSpace = captionKey(this, "sbtBackSpace", {660, 309, 101, 54}, QStringLiteral("Backspace"),
                              vk::Back, SmallKeyFontPixels);
    sbtEnter = captionKey(this, "sbtEnter", {660, 365, 99, 216}, QStringLiteral("Enter"), vk::Return);
    sbtSair = glyphKey(this, "sbtSair", {9, 529, 96, 54}, 0, pictures::Glyph::ExitDoor);
    sbtShift = captionKey(this, "sbtShift", {106, 528, 97, 54}, QStringLiteral("Shift"), vk::Shift,
                          SmallKeyFontPixels);
    sbtCapsLock = captionKey(this, "sbtCapsLock", {464, 528, 100, 54}, QStringLiteral("Caps Lock"),
                             vk::Capital, SmallKeyFontPixels);
    sbtLimpar = glyphKey(this, "sbtLimpar", {566, 528, 92, 54}, vk::Delete, pictures::Glyph::Clear);

    connectClick(sbtCCdil, &TfrmPesquisa::sbtCCdilClick);
    connectClick(sbtBackSpace, &TfrmPesquisa::sbtBackSpaceClick);
    connectClick(sbtEnter, &TfrmPesquisa::sbtEnterClick);
    connectClick(sbtSair, &TfrmPesquisa::sbtSairClick);
    connectClick(sbtShift, &TfrmPesquisa::sbtShiftClick);
    connectClick(sbtCapsLock, &TfrmPesquisa::sbtCapsLockClick);
    connectClick(sbtLimpar, &TfrmPesquisa::sbtLimparClick);
}

void TfrmPesquisa::connectCharacterKey(TBlendedButton* key) {
    connectGuarded(key, &QAbstractButton::clicked, this, [this, key] { sbtCharacterClick(*key); });
}

void TfrmPesquisa::connectClick(QAbstractButton* button, void (TfrmPesquisa::*handler)()) {
    connectGuarded(button, &QAbstractButton::clicked, this, [this, handler] { (this->*handler)(); });
}

void TfrmPesquisa::connectNavigation() {
    connectClick(sbtPrimeiro, &TfrmPesquisa::sbtPrimeiroClick);
    connectClick(sbtRolarCima, &TfrmPesquisa::sbtRolarCimaClick);
    connectClick(sbtRolaBaixo, &TfrmPesquisa::sbtRolaBaixoClick);
    connectClick(sbtUltimo, &TfrmPesquisa::sbtUltimoClick);
}

void TfrmPesquisa::PrepareList(TClientDataSet& dataset) {
    m_dataset = &dataset;
    dtsPesquisa = new SearchGridModel(dataset, this);
    dataset.clearIndexDefs();
    for (int i = 0; i < dataset.fieldCount(); ++i) {
        if (const TField& field = dataset.field(i); field.Visible()) {
            dataset.addIndexDef(field.FieldName(), field.FieldName());
        }
    }
    m_baseFilter = dataset.Filter();
    // With fewer visible fields than the list expects, it sorts by the one there is.
    const QStringList indexes = dataset.indexNames();
    const int sortColumn = std::min(OpeningSortColumn, static_cast<int>(indexes.size()) - 1);
    if (sortColumn >= 0) {
        dtsPesquisa->highlightTitle(sortColumn);
        dataset.setIndexName(indexes.at(sortColumn));
    }
    dataset.First();
    setUpDataGrid(*dbgPesquisa, *dtsPesquisa,
                  {tahoma(GridFontPixels), tahoma(GridFontPixels), GridRowHeight, false, QString()});
    sizeColumns(*dbgPesquisa, *dtsPesquisa, dataset);
    enableEnter();
}

void TfrmPesquisa::SendKeys(const QString& text, bool pressEnter, bool asTyped) {
    for (const QChar character : text) {
        if (asTyped) {
            QChar typed = character;
            FormKeyPress(typed);
        } else {
            int key = character.unicode();
            FormKeyDown(key, Qt::NoModifier);
        }
    }
    if (pressEnter) {
        int key = vk::Return;
        FormKeyDown(key, Qt::NoModifier);
    }
}

void TfrmPesquisa::FormKeyDown(int& key, Qt::KeyboardModifiers shift) {
    switch (key) {
        case vk::Escape:
            sbtSair->click();
            break;
        case vk::Return:
            sbtEnter->click();
            break;
        case vk::Delete:
            edtFiltro->clear();
            restoreBaseFilter();
            break;
        case vk::Back: {
            QString text = edtFiltro->text();
            text.chop(1);
            edtFiltro->setText(text);
            if (text.isEmpty()) {
                restoreBaseFilter();
            } else {
                applyPrefixFilter();
            }
            break;
        }
        case vk::Capital:
            sbtCapsLock->click();
            break;
        case vk::Shift:
            m_shiftOn = true;
            break;  // a physical Shift: the keys keep their captions
        case vk::F4:
            if (vk::altAlone(shift)) {
                key = 0;  // the list closes only by Enter or by leaving it
            }
            break;
        default:
            break;
    }
    enableEnter();
}

void TfrmPesquisa::FormKeyPress(QChar& key) {
    if (search::acceptsTyped(key)) {
        const QChar typed = asciiCase(key, upperCaseShown());
        if (m_shiftOn) {
            sbtShiftClick();  // Shift lasts for one character
        }
        edtFiltro->setText(edtFiltro->text() + typed);
        applyPrefixFilter();
    }
    enableEnter();
}

void TfrmPesquisa::sbtCharacterClick(const TBlendedButton& key) {
    const QString character(QChar(static_cast<char16_t>(key.Tag())));
    SendKeys(asciiCase(character, m_capsOn || m_shiftOn), false, true);
}

void TfrmPesquisa::sbtCCdilClick() {
    SendKeys(upperCaseShown() ? QStringLiteral("Ç") : QStringLiteral("ç"), false, true);
}

void TfrmPesquisa::sbtBackSpaceClick() {
    SendKeys(QString(QChar(static_cast<char16_t>(vk::Back))), false, false);
    repaint();
}

void TfrmPesquisa::sbtLimparClick() {
    SendKeys(QString(QChar(static_cast<char16_t>(vk::Delete))), false, false);
    repaint();
}

void TfrmPesquisa::sbtEnterClick() {
    m_chosen = true;
    postClose();
}

void TfrmPesquisa::sbtSairClick() {
    m_chosen = false;
    dataset().setFilter(m_baseFilter);
    postClose();
}

void TfrmPesquisa::sbtShiftClick() {
    m_shiftOn = !m_shiftOn;
    relabel();
}

void TfrmPesquisa::sbtCapsLockClick() {
    m_shiftOn = false;
    m_capsOn = !m_capsOn;
    relabel();
}

void TfrmPesquisa::sbtPrimeiroClick() {
    dataset().First();
}
void TfrmPesquisa::sbtRolarCimaClick() {
    dataset().Prior();
}
void TfrmPesquisa::sbtRolaBaixoClick() {
    dataset().Next();
}
void TfrmPesquisa::sbtUltimoClick() {
    dataset().Last();
}

void TfrmPesquisa::dbgPesquisaDblClick() {
    sbtEnterClick();
}

// A tapped title becomes the sort column, and the column that typing searches from the next key on.
void TfrmPesquisa::dbgPesquisaTitleClick(int column) {
    dtsPesquisa->highlightTitle(column);
    dataset().setIndexName(dataset().field(dtsPesquisa->fieldIndex(column)).FieldName());
}

void TfrmPesquisa::relabel() {
    const bool upper = upperCaseShown();
    for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
        if (auto* key = findChild<TBlendedButton*>(QStringLiteral("sbt") + QChar(letter))) {
            key->setCaption(QString(asciiCase(QChar(letter), upper)));
        }
    }
    sbtCCdil->setCaption(upper ? QStringLiteral("Ç") : QStringLiteral("ç"));
}

void TfrmPesquisa::applyPrefixFilter() {
    applyFilter(search::prefixFilter(m_baseFilter, dataset().IndexName(), edtFiltro->text()));
}

void TfrmPesquisa::restoreBaseFilter() {
    applyFilter(m_baseFilter);
}

// Switching filtering off and on makes the dataset filter its rows anew.
void TfrmPesquisa::applyFilter(const QString& text) {
    TClientDataSet& rows = dataset();
    rows.setFilter(text);
    rows.setFiltered(false);
    rows.setFiltered(!text.isEmpty());
}

void TfrmPesquisa::enableEnter() {
    sbtEnter->setEnabled(!dataset().IsEmpty());
}

// The close request waits in the queue, so that the handler that asked for it finishes first.
void TfrmPesquisa::postClose() {
    m_closeRequested = true;
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

// Only the list's own actions close it: a close asked by the system (Alt+F4 that the platform handles
// itself, a window manager's close button) is refused.
void TfrmPesquisa::closeEvent(QCloseEvent* event) {
    if (!m_closeRequested) {
        event->ignore();
        return;
    }
    TForm::closeEvent(event);
}

TClientDataSet& TfrmPesquisa::dataset() const {
    if (m_dataset == nullptr) {
        throw std::logic_error("the search list has no dataset: PrepareList comes first");
    }
    return *m_dataset;
}

bool ShowSearchList(TClientDataSet& dataset, [[maybe_unused]] const QString& picture) {
    TfrmPesquisa form;
    form.PrepareList(dataset);
    ExecModal(form);
    return form.chosen();
}
