#include "delivery/frmSendingEMails.h"

#include "base/Texts.h"
#include "controls/modForms.h"
#include "ui_frmSendingEMails.h"

frmSendingEMails::frmSendingEMails(QWidget* owner)
    : ProgressForm(owner), ui(std::make_unique<Ui::frmSendingEMails>())
{
    ui->setupUi(this);
    setWindowTitle(LoadResString(1000));
    ui->lblSend->setText(LoadResString(1001));
    Attach(ui->prgSendMails, ui->lblCount, ui->cmdCancel, 1002);
    modForms::ApplyFonts(this);
}

frmSendingEMails::~frmSendingEMails() = default;
