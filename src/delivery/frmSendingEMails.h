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

private:
    std::unique_ptr<Ui::frmSendingEMails> ui;
};
