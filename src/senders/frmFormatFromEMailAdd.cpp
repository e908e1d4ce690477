#include "senders/frmFormatFromEMailAdd.h"

#include "base/EMailAddress.h"
#include "base/Texts.h"
#include "controls/ctlBalloonTip.h"
#include "controls/modForms.h"
#include "senders/FromAddresses.h"
#include "ui_frmFormatFromEMailAdd.h"

frmFormatFromEMailAdd::frmFormatFromEMailAdd(QWidget* owner, FromAddresses* book,
                                             FromAddress* entry)
    : QDialog(owner), ui(std::make_unique<Ui::frmFormatFromEMailAdd>()), m_book(book),
      m_entry(entry)
{
    ui->setupUi(this);
    m_balloon = new ctlBalloonTip(this);
    setWindowTitle(LoadResString(m_entry ? 706 : 705));
    ui->lblName->setText(LoadResString(702));
    ui->lblEmail->setText(LoadResString(703));
    ui->lblReplyEMail->setText(LoadResString(704));
    ui->cmdOK->setText(LoadResString(2));
    ui->cmdCancel->setText(LoadResString(4));
    if (m_entry) {
        ui->txtName->setText(m_entry->Name());
        ui->txtEmail->setText(m_entry->EMailAddress());
        ui->txtReplyEMail->setText(m_entry->ReplyEMailAddress());
    }
    connect(ui->cmdOK, &QPushButton::clicked, this, &frmFormatFromEMailAdd::cmdOK_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    modForms::ApplyFonts(this);
    modForms::InstallHelpKey(this);
}

frmFormatFromEMailAdd::~frmFormatFromEMailAdd() = default;

bool frmFormatFromEMailAdd::Add(QWidget* owner, FromAddresses& book)
{
    frmFormatFromEMailAdd dialog(owner, &book, nullptr);
    return dialog.exec() == QDialog::Accepted;
}

bool frmFormatFromEMailAdd::Edit(QWidget* owner, FromAddress& entry)
{
    frmFormatFromEMailAdd dialog(owner, nullptr, &entry);
    return dialog.exec() == QDialog::Accepted;
}

void frmFormatFromEMailAdd::cmdOK_Click()
{
    const QString name = ui->txtName->text().trimmed();
    const QString eMail = ui->txtEmail->text().trimmed();
    const QString reply = ui->txtReplyEMail->text().trimmed();
    if (!modForms::IsEMailAddress(eMail)) {
        const QString text = LoadResString(701);
        m_balloon->ShowBalloonTip(ui->txtEmail, Texts::BalloonTitle(text), Texts::BalloonBody(text),
                                  ctlBalloonTip::IconInfo);
        return;
    }
    if (m_book) {
        m_book->Add(name, eMail, reply);
    } else {
        m_entry->SetName(name);
        m_entry->SetEMailAddress(eMail);
        m_entry->SetReplyEMailAddress(reply);
    }
    accept();
}
