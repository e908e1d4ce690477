#pragma once

#include "platform/service/SmtpSvc.h"

#include <QDialog>
#include <QTimer>
#include <memory>

namespace Ui {
class frmSMTPServiceManager;
}
class QPushButton;
class ctlBalloonTip;

// Shows the local mail service's state and starts, stops, pauses or
// continues it. While a change is on its way it looks again every 200 ms.
class frmSMTPServiceManager : public QDialog
{
    Q_OBJECT

public:
    static void Manage(QWidget* owner);

    ~frmSMTPServiceManager() override;

private:
    explicit frmSMTPServiceManager(QWidget* owner);
    void Refresh();
    void Act(bool (SmtpSvc::*action)(), QPushButton* button);
    void Timer1_Timer();

    std::unique_ptr<Ui::frmSMTPServiceManager> ui;
    ctlBalloonTip* m_balloon = nullptr;
    SmtpSvc m_service;
    QTimer m_timer1{this};
    bool m_changing = false; // the last state read was pending or unknown
    bool m_acting = false;   // an action waits for the system's answer
};
