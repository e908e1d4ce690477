#pragma once

#include "controls/ProgressForm.h"

#include <memory>

namespace Ui {
class frmSendingEMails;
}

// The progress of a send run, with Cancel.
class frmSendingEMails : public ProgressForm
{
    Q_OBJECT

public:
    explicit frmSendingEMails(QWidget* owner);
    ~frmSendingEMails() override;

    // What the run waits for before it retries mails refused for now;
    // a count of 0 hides it.
    void ShowWaiting(qint64 msecsLeft, int count);

private:
    std::unique_ptr<Ui::frmSendingEMails> ui;
};
