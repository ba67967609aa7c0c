#pragma once

#include "statements/StatementScreen.h"

class DataSetModel;
class QTableView;
class TBlendedBitBtn;
class TClientDataSet;
class TNetConnection;

// The simplified statement: the consumer's account movements over the statement period in one list,
// with the initial and final balance and the register's message; it closes by Back or after the
// inactivity interval.
class TfrmExtratoSimplificado : public StatementScreen {
    Q_OBJECT
public:
    explicit TfrmExtratoSimplificado(const TerminalContext& context, QWidget* parent = nullptr);

protected:
    void FormKeyDown(int& key, Qt::KeyboardModifiers shift) override;

private:
    void buildLayout();
    void FormCreate();
    void netExtratoBeforeConnect();
    QString cdsExtratoIDTIPMOCVLIGetText(const QVariant& value) const;
    QString cdsExtratoVRMOVCLIGetText(const QVariant& value) const;
    QString cdsExtratoVRSALDOCONSGetText(const QVariant& value) const;
    void cdsExtratoAfterScroll();
    void bbbAnteriorClick();
    void bbbProximoClick();
    void bbbVoltarClick();
    void tmrDataHoraTimer();

    TNetConnection* netExtrato = nullptr;
    TClientDataSet* cdsExtrato = nullptr;
    DataSetModel* dtsExtrato = nullptr;
    QTableView* dbgExtSimples = nullptr;
    TBlendedBitBtn* bbbAnterior = nullptr;
    TBlendedBitBtn* bbbProximo = nullptr;
};

// Shows the simplified statement of the context's consumer modally; returns once it has closed.
void ShowExtratoSimplificado(const TerminalContext& context);
