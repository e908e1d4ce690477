#include "delivery/frmSendTestEMail.h"

#include "base/AppError.h"
#include "base/AppInfo.h"
#include "base/EMailAddress.h"
#include "base/Texts.h"
#include "controls/Dialogs.h"
#include "controls/WaitCursor.h"
#include "controls/ctlBalloonTip.h"
#include "controls/modForms.h"
#include "delivery/MailConfiguration.h"
#include "delivery/MailSender.h"
#include "delivery/frmTrustCertificate.h"
#include "merge/Mails.h"
#include "ui_frmSendTestEMail.h"

#include <QPointer>

namespace {

enum Page { TypeEMail, MailErrors, MailSuccess, MailYes, MailNo };

QString TwoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

frmSendTestEMail::frmSendTestEMail(QWidget* owner, FromAddressRef sender, const QString& senderText,
                                   const QString& folder)
    : QDialog(owner), ui(std::make_unique<Ui::frmSendTestEMail>()), m_sender(std::move(sender)),
      m_senderText(senderText), m_folder(folder)
{
    ui->setupUi(this);
    m_balloon = new ctlBalloonTip(this);
    setWindowTitle(LoadResString(1100));
    const struct
    {
        QWidget* control;
        int text;
    } texts[] = {{ui->lblTypeEMailHead, 1101},    {ui->lblTypeEMailBody, 1102},   {ui->lblTestEMail0, 1103},
                 {ui->lblTestEMail1, 1104},       {ui->lblTestEMail2, 1105},      {ui->lblMailErrorsHead, 1106},
                 {ui->lblMailErrorsBody, 1107},   {ui->lblMailSuccessHead, 1108}, {ui->lblMailSuccessBody, 1109},
                 {ui->lblIsMailReceived, 1110},   {ui->optIsMailReceived0, 1111}, {ui->optIsMailReceived1, 1112},
                 {ui->lblMailYesHead, 1113},      {ui->lblMailYesBody, 1114},     {ui->lblMailNoHead, 1115},
                 {ui->lblMailNoBody, 1116},       {ui->cmdCancel, 4},             {ui->cmdPrevious, 1},
                 {ui->cmdNext, 0},                {ui->cmdFinish, 3},             {ui->cmdTrustCertificate, 4300}};
    for (const auto& t : texts)
        t.control->setProperty("text", LoadResString(t.text));
    ui->lvwErrors->setHeaderLabels({LoadResString(1119) + QStringLiteral("     "), LoadResString(1120)});
    ui->cmdTrustCertificate->hide();
    // A server's reply is often longer than the list is wide: the chosen
    // row's reason shows whole below it.
    connect(ui->lvwErrors, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* row) {
        ui->lblErrorText->setText(row ? row->text(1) : QString());
    });
    connect(ui->cmdNext, &QPushButton::clicked, this, &frmSendTestEMail::cmdNext_Click);
    connect(ui->cmdPrevious, &QPushButton::clicked, this, &frmSendTestEMail::cmdPrevious_Click);
    connect(ui->cmdFinish, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmSendTestEMail::reject);
    connect(ui->cmdTrustCertificate, &QPushButton::clicked, this, &frmSendTestEMail::cmdTrustCertificate_Click);
    modForms::ApplyFonts(this);
    modForms::InstallHelpKey(this);
    ShowPage(TypeEMail);
}

frmSendTestEMail::~frmSendTestEMail() = default;

QString frmSendTestEMail::TestSubject(const QDateTime& now)
{
    const QDate date = now.date();
    const QTime time = now.time();
    return Texts::ReplaceAppTokens(LoadResString(1121))
        .replace(QLatin1String("#YEAR#"), QString::number(date.year()))
        .replace(QLatin1String("#MONTH#"), TwoDigits(date.month()))
        .replace(QLatin1String("#DAY#"), TwoDigits(date.day()))
        .replace(QLatin1String("#HOUR#"), TwoDigits(time.hour()))
        .replace(QLatin1String("#MINUTE#"), TwoDigits(time.minute()));
}

void frmSendTestEMail::ShowPage(int page)
{
    m_page = page;
    ui->stkPages->setCurrentIndex(page);
    ui->cmdPrevious->setEnabled(page != TypeEMail);
    ui->cmdNext->setEnabled(page == TypeEMail || page == MailSuccess);
    // Finish ends the wizard once there is a verdict; Cancel always can.
    ui->cmdFinish->setEnabled(page == MailYes || page == MailNo);
    if (ui->cmdNext->isEnabled())
        ui->cmdNext->setDefault(true);
    else if (ui->cmdFinish->isEnabled())
        ui->cmdFinish->setDefault(true);
}

void frmSendTestEMail::cmdNext_Click()
{
    if (m_sending)
        return;
    if (m_page == MailSuccess) {
        ShowPage(ui->optIsMailReceived0->isChecked() ? MailYes : MailNo);
        return;
    }
    if (m_page != TypeEMail)
        return;
    WaitCursor wait;
    wait.SetPointer(WaitCursor::Hourglass);
    QLineEdit* const boxes[] = {ui->txtTestEMail0, ui->txtTestEMail1, ui->txtTestEMail2};
    bool any = false;
    for (QLineEdit* box : boxes) {
        box->setText(box->text().trimmed());
        any = any || !box->text().isEmpty();
    }
    if (!any)
        return ShowBalloon(boxes[0], 1117);
    for (QLineEdit* box : boxes)
        if (!box->text().isEmpty() && !modForms::IsEMailAddress(box->text()))
            return ShowBalloon(box, 1118);
    if (SendTest())
        ShowPage(ui->lvwErrors->topLevelItemCount() > 0 ? MailErrors : MailSuccess);
}

void frmSendTestEMail::cmdPrevious_Click()
{
    if (m_sending)
        return;
    if (m_page == MailErrors || m_page == MailSuccess)
        ShowPage(TypeEMail);
    else if (m_page == MailYes || m_page == MailNo)
        ShowPage(MailSuccess);
}

bool frmSendTestEMail::SendTest()
{
    ui->lvwErrors->clear();
    ui->lblErrorText->clear();
    ui->cmdTrustCertificate->hide();
    m_refusedCertificate.reset();
    m_mails = std::make_unique<Mails>();
    connect(m_mails.get(), &Mails::SendErr, this,
            [this](const QString& description, const QString& to) { AddError(description, to); });
    const QString body = LoadResString(1122);
    for (const QLineEdit* box : {ui->txtTestEMail0, ui->txtTestEMail1, ui->txtTestEMail2}) {
        if (box->text().isEmpty())
            continue;
        // Without a sender no server would take the mail: say what to do.
        if (!m_sender)
            AddError(LoadResString(4310), box->text());
        else
            m_mails->Add(m_sender, box->text(), TestSubject(QDateTime::currentDateTime()), body, QString());
    }
    if (!m_sender)
        return true;

    // The run waits with the events running: the window paints, and Cancel
    // or closing it stops the run (reject). Nothing else may start meanwhile.
    m_sending = true;
    ui->cmdNext->setEnabled(false);
    ui->cmdPrevious->setEnabled(false);
    const QPointer<frmSendTestEMail> alive(this);
    MailSender run(*m_mails);
    run.SetSenderText(m_senderText);
    run.SetConfigurationFolder(m_folder);
    run.SetRetryTemporary(false); // the verdict is wanted now, not in a quarter of an hour
    m_mails->SetKeepSending(true);
    try {
        run.Send();
    } catch (const AppError& error) {
        AddError(error.Description(), QString());
    }
    if (!alive)
        return false;
    m_sending = false;
    if (!m_mails->KeepSending()) // cancelled: the window is on its way out
        return false;
    m_refusedCertificate = run.RefusedCertificate();
    ui->cmdTrustCertificate->setVisible(m_refusedCertificate.has_value());
    return true;
}

void frmSendTestEMail::AddError(const QString& description, const QString& to)
{
    auto* row = new QTreeWidgetItem(ui->lvwErrors, {to + QStringLiteral("     "), description});
    row->setToolTip(1, description);
    if (!ui->lvwErrors->currentItem())
        ui->lvwErrors->setCurrentItem(row);
    modForms::AutoSizeColumns(ui->lvwErrors);
}

void frmSendTestEMail::cmdTrustCertificate_Click()
{
    if (m_sending || !m_refusedCertificate || !frmTrustCertificate::Ask(this, *m_refusedCertificate))
        return;
    MailConfiguration settings(QString(), m_folder);
    QStringList trusted = settings.SMTPTrustedCertificates().split(u'\n', Qt::SkipEmptyParts);
    trusted.append(m_refusedCertificate->TrustLine());
    settings.SetSMTPTrustedCertificates(trusted.join(u'\n'));
    try {
        settings.Save();
    } catch (const AppError& error) {
        Dialogs::Message(this, error.Description(), QMessageBox::Ok, Dialogs::Icon::Critical);
        return;
    }
    // Trusted: the same test again, as the user would do next.
    if (SendTest())
        ShowPage(ui->lvwErrors->topLevelItemCount() > 0 ? MailErrors : MailSuccess);
}

void frmSendTestEMail::reject()
{
    // Stops a run at once, however silent the server; the run ends in its
    // own frame.
    if (m_sending && m_mails)
        m_mails->SetKeepSending(false);
    QDialog::reject();
}

void frmSendTestEMail::ShowBalloon(QLineEdit* target, int textId)
{
    const QString text = LoadResString(textId);
    m_balloon->ShowBalloonTip(target, Texts::BalloonTitle(text), Texts::BalloonBody(text), ctlBalloonTip::IconInfo);
}
