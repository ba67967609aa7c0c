#pragma once

#include "kit/Form.h"
#include "terminal/Marquee.h"

#include <QString>

#include <vector>

class QFrame;
class QLabel;
class QTimer;
class QWidget;
class TClientDataSet;
class TMessages;
class TNetConnection;

// The consultation terminal: the kiosk's working screen. It loads the register's parameters once, then
// waits for a consumer (badge reader, keyboard or touch keypad), validates the code on the application
// server, shows the balances when the register asks for it, and opens the register's statement. While it
// waits it shows the clock, the server address and a picture or a scrolling message.
class TfrmTerminalConsu : public TForm {
    Q_OBJECT
public:
    TfrmTerminalConsu(const QString& branchCode, const QString& registerCode, QWidget* parent = nullptr);

    QTimer& dataHoraTimer() const { return *timDataHora; }
    QTimer& messageTimer() const { return *timMessage; }
    // The scrolling labels, oldest first.
    const std::vector<QLabel*>& scrollingLabels() const { return m_scrollingLabels; }
    bool isFirstActivationPending() const { return m_firstActivation; }

    // The handlers of the screen's timers, as their timers call them.
    void timDataHoraTimer();
    void timMessageTimer();

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

    // Idle screen.
    QLabel* addScrollingLabel(const QString& caption);
    void clearScrollingLabels();
    void paintMarqueeColour(QLabel& label);

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
    QFrame* panMessage = nullptr;
    QWidget* panImgMessage = nullptr;
    QLabel* imgMessage = nullptr;
    QTimer* timDataHora = nullptr;
    QTimer* timMessage = nullptr;
    std::vector<QLabel*> m_scrollingLabels;
    bool m_firstActivation = true;
    bool m_startupRunning = false;
};

// Shows the consultation terminal modally for the kiosk's branch and register; returns when it has closed.
void ShowTerminalConsu(const QString& branchCode, const QString& registerCode);
