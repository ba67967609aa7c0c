#pragma once

#include "kit/Form.h"
#include "statements/GroupPeriod.h"

#include <QString>

class QLabel;
class QTableView;
class QTimer;
class TBlendedBitBtn;
class TClientDataSet;
class TMessages;
class TNetConnection;
struct TerminalContext;

// The group statement: what the consumer bought in the period, by product sub-group, with the products
// of the selected sub-group and the grand totals paid by the employee and subsidised by the employer.
// A button switches between the current period and the one a month earlier; "Sair" or the inactivity
// timer closes the screen.
class TfrmExtratoGrupo : public TForm {
    Q_OBJECT
public:
    TfrmExtratoGrupo(const TerminalContext& context, const QString& storeCode, const QString& storeName,
                     QWidget* parent = nullptr);

protected:
    void FormKeyDown(int& key, Qt::KeyboardModifiers shift) override;
    void FormClose() override;

private:
    void buildLayout();
    void buildHeader();
    void buildGrids();
    void buildButtons();
    void buildFooter();
    void declareTables();

    void FormCreate();
    void showPeriod();
    void loadProducts();
    void showTotals(const QString& subsidised, const QString& employee);
    void armInactivityTimer(int interval);
    void startInactivityTimer();
    void restartCountdown();

    void netExtratoGrupoBeforeConnect();
    void cdsFinalAfterScroll();
    void sbtSairClick();
    void sbtGrupoAntClick();
    void sbtGrupoPostClick();
    void sbtPrimProdClick();
    void sbtProdAntClick();
    void sbtProdPostClick();
    void sbtUltProdClick();
    void sbtMesAntClick();
    void timDataHoraTimer();

    const TerminalContext& m_context;
    QString m_storeCode;
    QString m_storeName;
    GroupPeriod m_period;
    // True while the screen shows the period one month before the current one.
    bool m_mesAnterior = false;

    TMessages* msgPadrao = nullptr;
    TNetConnection* netExtratoGrupo = nullptr;
    TClientDataSet* cdsProduto = nullptr;
    TClientDataSet* cdsGrupo = nullptr;
    TClientDataSet* cdsFinal = nullptr;
    QTimer* timDataHora = nullptr;

    QLabel* lblCabec = nullptr;
    QLabel* lblDe = nullptr;
    QLabel* lblAte = nullptr;
    QLabel* lblMes = nullptr;
    QLabel* lblLoja = nullptr;
    QLabel* lblTotSubs = nullptr;
    QLabel* lblTotFunc = nullptr;
    QTableView* dbgSubGrupo = nullptr;
    QTableView* dbgProdutos = nullptr;
    TBlendedBitBtn* sbtMesAnt = nullptr;
};

// Shows the group statement modally for the store chosen at the terminal (both texts empty: every store)
// and returns once it has closed.
void ShowExtratoGrupo(const TerminalContext& context, const QString& storeCode, const QString& storeName);
