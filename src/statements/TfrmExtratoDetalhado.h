#pragma once

#include "statements/StatementScreen.h"

class DataSetModel;
class QTableView;
class TBlendedBitBtn;
class TClientDataSet;
class TNetConnection;

// The detailed statement: the consumer's account movements and purchases over the statement period, in
// two lists paged by the pair of buttons of the list that holds the focus, with the initial and final
// balance and the register's message; it closes by Back or after the inactivity interval.
class TfrmExtratoDetalhado : public StatementScreen {
    Q_OBJECT
public:
    TfrmExtratoDetalhado(const TerminalContext& context, const QString& branchCode,
                         const QString& registerCode, QWidget* parent = nullptr);

protected:
    void FormActivate() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void declarePurchaseFields();
    void FormCreate();
    void netExtratoDetalhadoBeforeConnect();
    void loadMovements();
    void loadPurchases();
    QString cdsMovCliIDTIPMOCVLIGetText(const QVariant& value) const;
    QString cdsMovCliVRMOVCLIGetText(const QVariant& value) const;
    QString cdsMovCliVRSALDOCONSGetText(const QVariant& value) const;
    QString cdsProdutoVRUNITVENDGetText(const QVariant& value) const;
    QString cdsProdutoVRTOTVENDGetText(const QVariant& value) const;
    void dbgMoviCliEnter();
    void dbgVendaEnter();
    void dbgMoviCliKeyDown(int key);
    void dbgMoviCliKeyUp(int key);
    void dbgVendaKeyDown(int key);
    void dbgVendaKeyUp(int key);
    void bbbMovCliAnteriorClick();
    void bbbMovCliProximoClick();
    void bbbVendasAnteriorClick();
    void bbbVendasProximoClick();
    void bbbVoltarClick();
    void timDataHoraTimer();
    void enableMovementPaging(bool movements);
    void holdCountdownOnArrow(int key);
    void releaseCountdownOnArrow(int key);

    QString m_branchCode;
    QString m_registerCode;
    TNetConnection* netExtratoDetalhado = nullptr;
    TClientDataSet* cdsMovCli = nullptr;
    DataSetModel* dtsMovCli = nullptr;
    TClientDataSet* cdsProduto = nullptr;
    DataSetModel* dtsVendas = nullptr;
    QTableView* dbgMoviCli = nullptr;
    QTableView* dbgVenda = nullptr;
    TBlendedBitBtn* bbbMovCliAnterior = nullptr;
    TBlendedBitBtn* bbbMovCliProximo = nullptr;
    TBlendedBitBtn* bbbVendasAnterior = nullptr;
    TBlendedBitBtn* bbbVendasProximo = nullptr;
};

// Shows the detailed statement of the context's consumer modally; the branch and register code are the
// terminal's own, for the purchases. Returns once the screen has closed.
void ShowExtratoDetalhado(const TerminalContext& context, const QString& branchCode,
                          const QString& registerCode);
