#pragma once

#include "kit/Form.h"

#include <QString>

class QAbstractButton;
class QLineEdit;
class QTableView;
class QWidget;
class TBlendedBitBtn;
class TBlendedButton;
class TBlendedShape;
class TClientDataSet;
class TMessages;

// Shows the rows of a dataset for the consumer to pick one, narrowing them with an on-screen keyboard.
// Returns true when a row was picked with Enter (or a double click); that row is then the dataset's current
// record, and the dataset stays filtered by what was typed. Returns false when the consumer left, with the
// dataset's filter text back to what it was. Either way the dataset keeps the list's index definitions (one
// per visible field, named after it) and the last sort column as its current index.
// `picture` is kept for the caller's sake and not used by the list.
bool ShowSearchList(TClientDataSet& dataset, const QString& picture);

// The list's rules, free of widgets.
namespace search {

// Whether the list takes a typed character: space, ",", ".", "/", digits, letters A to Z and a to z, Ç, ç.
bool acceptsTyped(QChar typed);
// The filter that narrows the rows to those whose field begins with `typed`, ignoring letter case, on top of
// the dataset's own filter `base` (kept whole in parentheses, so that an OR inside it cannot swallow the
// prefix condition).
QString prefixFilter(const QString& base, const QString& fieldName, const QString& typed);

}  // namespace search

class SearchGridModel;

// The search list. Build it, PrepareList with the dataset, then show it modally.
class TfrmPesquisa : public TForm {
    Q_OBJECT
public:
    explicit TfrmPesquisa(QWidget* parent = nullptr);

    // Attaches the dataset (which must outlive the form and have at least two visible fields), gives it one
    // index per visible field, opens it sorted by the second one and keeps its filter text as the base.
    void PrepareList(TClientDataSet& dataset);
    bool chosen() const { return m_chosen; }
    bool capsOn() const { return m_capsOn; }
    bool shiftOn() const { return m_shiftOn; }

    // Delivers each character of `text` to the form's own key handlers before returning: as a typed
    // character when `asTyped`, otherwise as a key-down whose virtual-key code is the character's code.
    // `pressEnter` then delivers the Enter key-down.
    void SendKeys(const QString& text, bool pressEnter, bool asTyped);

protected:
    void FormKeyDown(int& key, Qt::KeyboardModifiers shift) override;
    void FormKeyPress(QChar& key) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void sbtCharacterClick(const TBlendedButton& key);
    void sbtCCdilClick();
    void sbtBackSpaceClick();
    void sbtLimparClick();
    void sbtEnterClick();
    void sbtSairClick();
    void sbtShiftClick();
    void sbtCapsLockClick();
    void sbtPrimeiroClick();
    void sbtRolarCimaClick();
    void sbtRolaBaixoClick();
    void sbtUltimoClick();
    void dbgPesquisaDblClick();
    void dbgPesquisaTitleClick(int column);

    void createKeyboard();
    void connectCharacterKey(TBlendedButton* key);
    void connectClick(QAbstractButton* button, void (TfrmPesquisa::*handler)());
    void connectNavigation();
    void relabel();
    bool upperCaseShown() const { return m_capsOn != m_shiftOn; }
    void applyPrefixFilter();
    void restoreBaseFilter();
    void applyFilter(const QString& text);
    void enableEnter();
    void postClose();
    TClientDataSet& dataset() const;

    TBlendedShape* blsBorda;
    TBlendedShape* blsPesquisa;
    TBlendedShape* BlendedShape1;
    QLineEdit* edtFiltro;
    QWidget* panGrid;
    QTableView* dbgPesquisa;
    TBlendedShape* blsRolagem;
    TBlendedBitBtn* sbtPrimeiro;
    TBlendedBitBtn* sbtRolarCima;
    TBlendedBitBtn* sbtRolaBaixo;
    TBlendedBitBtn* sbtUltimo;
    TBlendedButton* sbtCCdil = nullptr;
    TBlendedButton* sbtBackSpace = nullptr;
    TBlendedButton* sbtEnter = nullptr;
    TBlendedButton* sbtShift = nullptr;
    TBlendedButton* sbtCapsLock = nullptr;
    TBlendedBitBtn* sbtSair = nullptr;
    TBlendedBitBtn* sbtLimpar = nullptr;
    TMessages* msgPadrao;

    TClientDataSet* m_dataset = nullptr;
    SearchGridModel* dtsPesquisa = nullptr;  // the data source of the grid, made by PrepareList
    bool m_closeRequested = false;
    bool m_chosen = false;
    bool m_capsOn = false;
    bool m_shiftOn = false;
    QString m_baseFilter;
};
