#pragma once

#include "kit/Form.h"

#include <QString>

class IdleStrip;
class QLabel;
class QTimer;
class QWidget;
class TClientDataSet;
class TMessages;
class TNetConnection;
struct TerminalContext;

// The consultation terminal: the kiosk's working screen. It loads the register's parameters once, then
// waits for a consumer (badge reader, keyboard or touch keypad), validates the code on the application
// server, shows the balances when the register asks for it, and opens the register's statement. While it
// waits it shows the clock, the server address and a picture or a scrolling message.
class TfrmTerminalConsu : public TForm {
    Q_OBJECT
public:
    // The terminal names itself in `context` and fills it as consumers come; the statements read it.
    TfrmTerminalConsu(TerminalContext& context, const QString& branchCode, const QString& registerCode,
                      QWidget* parent = nullptr);

    QTimer& dataHoraTimer() const { return *timDataHora; }
    IdleStrip& idleStrip() const { return *panMessage; }
    bool isFirstActivationPending() const { return m_firstActivation; }

    // The handler of the clock's timer, as the timer calls it: the clock, and the strip's message.
    void timDataHoraTimer();

protected:
    void FormActivate() override;
    void FormKeyDown(int& key, Qt::KeyboardModifiers shift) override;
    void FormKeyPress(QChar& key) override;
    void FormClose() override;

private:
    void FormCreate();
    void buildLayout();
    void buildKeypad();
    void buildIdleScreen();
    void declareDataSets();
    void netTerminalConsBeforeConnect();

    // First activation.
    void refreshIdleScreen();
    void runStartupCalls();
    void loadRegisterParametersCall();
    bool LoadRegisterParameters();
    void workOutConsultationPeriod();
    bool loadSalesParametersCall();
    void reportStartupFailure(std::exception_ptr failure);
    void closeWithShell();

    // Keypad and the OK action.
    void sbt1Click(int tag);
    void sbt8Click();
    void sbtCorrigirClick();
    void sbtEnterClick();
    void setBuffer(const QString& text);
    QString buffer() const;
    QString consumerCodeToSend() const;
    void showBalances();
    void openStatement();
    bool chooseStore();
    void LoadStoreList();
    void AddAllStoresEntry();

    TMessages* msgPadrao = nullptr;
    TNetConnection* netTerminalCons = nullptr;
    TClientDataSet* cdsConsumidor = nullptr;
    TClientDataSet* cdsParametrosCx = nullptr;
    TClientDataSet* cdsParaVend = nullptr;
    TClientDataSet* cdsSaldo = nullptr;
    TClientDataSet* cdsLoja = nullptr;
    QLabel* lblTitulo = nullptr;
    QLabel* lblCabec = nullptr;
    QLabel* lblBuffer = nullptr;
    QLabel* lblCdFilial = nullptr;
    QLabel* lblCdCaixa = nullptr;
    QLabel* lblStatus1 = nullptr;
    QLabel* lblStatus2 = nullptr;
    QLabel* lblStatus3 = nullptr;
    IdleStrip* panMessage = nullptr;
    QTimer* timDataHora = nullptr;
    TerminalContext& m_context;
    bool m_firstActivation = true;
    bool m_startupRunning = false;
};

// Shows the consultation terminal modally for the kiosk's branch and register; returns when it has closed.
void ShowTerminalConsu(TerminalContext& context, const QString& branchCode, const QString& registerCode);
