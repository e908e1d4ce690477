#pragma once

#include "controls/ToolTip.h"

#include <QWidget>
#include <memory>

namespace Ui {
class ctlWizSend;
}

// The Send step's panel: mail setup, a test e-mail, and the send command,
// which the main window carries out.
class ctlWizSend : public QWidget
{
    Q_OBJECT

public:
    explicit ctlWizSend(QWidget* parent = nullptr);
    ~ctlWizSend() override;

Q_SIGNALS:
    void SendMails();
    // The test e-mail wizard, which needs the Compose step's sender.
    void TestEMail();

private:
    std::unique_ptr<Ui::ctlWizSend> ui;
    ToolTip m_tips;
};
