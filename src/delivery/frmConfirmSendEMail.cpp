#include "delivery/frmConfirmSendEMail.h"

#include "base/Texts.h"
#include "controls/modForms.h"
#include "ui_frmConfirmSendEMail.h"

frmConfirmSendEMail::frmConfirmSendEMail(QWidget* owner, qint32 mailCount)
    : QDialog(owner), ui(std::make_unique<Ui::frmConfirmSendEMail>())
{
    ui->setupUi(this);
    setWindowTitle(LoadResString(3200));
    ui->lblHeader->setText(LoadResString(3201));
    ui->lblMessage->setText(LoadResString(3203)
                                .replace(QLatin1String("#COUNT#"), QString::number(mailCount))
                                .replace(QLatin1String("#CRLF#"), QStringLiteral("\n")));
    ui->cmdSendEMails->setText(LoadResString(3206));
    ui->cmdCancel->setText(LoadResString(4));
    connect(ui->cmdSendEMails, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    modForms::ApplyFonts(this);
}

frmConfirmSendEMail::~frmConfirmSendEMail() = default;

bool frmConfirmSendEMail::SendEMails(QWidget* owner, qint32 mailCount, const QString&)
{
    frmConfirmSendEMail dialog(owner, mailCount);
    return dialog.exec() == QDialog::Accepted;
}
