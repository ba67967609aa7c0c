#pragma once

#include "kit/Form.h"

#include <QString>

#include <optional>

class QFrame;
class QLabel;
class QTimer;
class TTouchButton;

// The name a button of the timed dialog bears for its index in the button set: 0 "Yes", 1 "No", 2 "OK",
// 3 "Cancel", 4 "Abort", 5 "Retry", 6 "Ignore", 7 "All", 8 "NoToAll", 9 "YesToAll", 10 "Help";
// an empty name for an index outside the set.
QString messageDlgButtonName(quint8 index);

// A message dialog whose touch buttons are made at run time and named after the button set, and which
// answers by itself with its default button when its timer runs out. Enter clicks the default button and
// Escape the cancel button; a letter or digit clicks every touch button whose caption carries it after "&".
//
// Whoever shows it: setMessage, addButton for each answer, setDefaultButton and setCancelButton, set the
// interval of timDefault() and start it, then show it modally and read answer().
class TfrmMessageDlg : public TForm {
    Q_OBJECT
public:
    explicit TfrmMessageDlg(QWidget* parent = nullptr);

    void setMessage(const QString& text);
    // Makes the touch button of the set's index (named after it); its click ends the dialog with that answer.
    TTouchButton* addButton(quint8 index, const QString& caption, const QRect& geometry);
    quint8 defaultButton() const { return m_defaultButton; }
    void setDefaultButton(quint8 index) { m_defaultButton = index; }
    quint8 cancelButton() const { return m_cancelButton; }
    void setCancelButton(quint8 index) { m_cancelButton = index; }
    // Off until the caller starts it; it fires once.
    QTimer& timDefault() const { return *m_timDefault; }
    // The index of the button that ended the dialog; none when it was closed otherwise.
    std::optional<quint8> answer() const { return m_answer; }

protected:
    void FormKeyDown(int& key, Qt::KeyboardModifiers shift) override;

private:
    void timDefaultTimer();
    void buttonClick(quint8 index);
    // Clicks the component that bears the set's name for the index; false when there is none.
    bool clickNamed(quint8 index);
    void clickAccelerated(QChar character);

    QFrame* bvlMessage;
    QLabel* lblMessage;
    QLabel* imgMessage0;
    QLabel* imgMessage1;
    QLabel* imgMessage2;
    QLabel* imgMessage3;
    QTimer* m_timDefault;
    quint8 m_defaultButton = 0;
    quint8 m_cancelButton = 0;
    std::optional<quint8> m_answer;
};
