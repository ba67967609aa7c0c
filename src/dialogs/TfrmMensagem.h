#pragma once

#include "kit/Form.h"

#include <QString>
#include <QVariant>

class QLabel;
class QScrollArea;
class QTextEdit;
class TBlendedBitBtn;
class TBlendedShape;
class TMessages;

// Shows a message and returns the answer: false when "Não" or the extra button closed the form, true
// otherwise. detailsFlag "S" offers the "Detalhes" button; questionFlag "S" asks yes or no instead of "Ok";
// kind picks the icon (0 information, 1 question, 2 alert, 3 error, any other none); schemeCode picks the
// colours ("001" to "005", empty as "002", any other keeps the last ones). A text of the form
// "<message>Erro: <details>" shows the message and keeps the rest for "Detalhes".
// Returns once the consumer has closed the form.
bool ShowMessageForm(const QString& text, const QString& details, const QString& detailsFlag,
                     const QString& questionFlag, quint8 kind, const QString& extraCaption,
                     const QString& schemeCode);

// The check that follows every call to the application server. A failed server method answers its error
// as a text in place of its data: such a text is reported on the message form, with the calling program,
// method, arguments and time behind "Detalhes", and then the caller's work ends with SilentAbort.
// Anything else (a data packet, a list of packets, a text of validLength characters, an empty text, or any
// text when checkText is false) is copied to result.
void CheckServerResult(const QVariant& value, bool checkText, int validLength, const QString& method,
                       const QString& programName, const QString& parameters, const QString& schemeCode,
                       QVariant& result);

// The message form. ShowMessageForm creates an instance whenever none is live; the instance frees itself
// when it closes, so each message gets a fresh one. An instance made elsewhere is never the live one.
class TfrmMensagem : public TForm {
    Q_OBJECT
public:
    explicit TfrmMensagem(QWidget* parent = nullptr);

protected:
    void FormActivate() override;
    void FormKeyDown(int& key, Qt::KeyboardModifiers shift) override;
    void FormClose() override;
    void showEvent(QShowEvent* event) override;

private:
    // The module's two operations fill and show the live instance.
    friend bool ShowMessageForm(const QString&, const QString&, const QString&, const QString&, quint8,
                                const QString&, const QString&);
    friend void CheckServerResult(const QVariant&, bool, int, const QString&, const QString&, const QString&,
                                  const QString&, QVariant&);

    void tcbSimClick();
    void tcbOkClick();
    void tcbNaoClick();
    void tcbExtraClick();
    void tcbDetalhesClick();

    void paintScheme();
    void showExtraButton(const QString& caption);
    void showKindIcon(quint8 kind);
    void setFormHeight(int height);
    bool isShown(const QWidget* control) const;

    TBlendedShape* blsFundo;
    TBlendedShape* blsBorda;
    QLabel* lblMessage;
    QLabel* imgInformacao;
    QLabel* imgPergunta;
    QLabel* imgAlerta;
    QLabel* imgErro;
    TBlendedBitBtn* tcbSim;
    TBlendedBitBtn* tcbOk;
    TBlendedBitBtn* tcbNao;
    TBlendedBitBtn* tcbDetalhes;
    QLabel* imgTpMsg;
    TBlendedBitBtn* tcbExtra;
    QScrollArea* srcDetalhes;
    QTextEdit* redDetalhes;
    TMessages* msgPadrao;
};
