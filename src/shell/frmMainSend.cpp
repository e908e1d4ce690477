// The main window's side of the Send step: the send command, its progress
// window and error grid, and the summary.
#include "base/BusyGuard.h"
#include "base/Texts.h"
#include "controls/Dialogs.h"
#include "controls/FormHandler.h"
#include "controls/RecordsetTableModel.h"
#include "controls/WaitCursor.h"
#include "controls/modForms.h"
#include "delivery/MailSender.h"
#include "delivery/SendChecks.h"
#include "delivery/SendSummary.h"
#include "delivery/frmConfirmSendEMail.h"
#include "delivery/frmSendTestEMail.h"
#include "delivery/frmSendingEMails.h"
#include "merge/Mails.h"
#include "senders/FromAddresses.h"
#include "shell/frmMain.h"
#include "ui_frmMain.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>

namespace {

// Widths of the error grid's columns, from 1250, 4000 and 2500 twips.
constexpr int DescriptionWidth = 83;
constexpr int ToWidth = 267;
constexpr int OtherWidth = 167;

} // namespace

void frmMain::ConnectSend()
{
    ui->wizSend->setObjectName(QStringLiteral("ctlWizSend"));
    m_sendModel = new RecordsetTableModel(this);
    ui->flxSend->setModel(m_sendModel);
    ui->flxSend->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui->flxSend->horizontalHeader()->setDefaultSectionSize(OtherWidth);
    connect(ui->wizSend, &ctlWizSend::SendMails, this, &frmMain::SendMails);
    connect(ui->wizSend, &ctlWizSend::TestEMail, this, &frmMain::ShowTestEMail);
}

void frmMain::ShowTestEMail()
{
    const int sender = ui->cboComposeFrom->currentIndex() + 1;
    FromAddressRef from;
    if (sender >= 1 && sender <= FromAddressBook().Count())
        from = std::make_shared<const FromAddress>(FromAddressBook().Item(sender));
    frmSendTestEMail wizard(this, from, ui->cboComposeFrom->currentText());
    wizard.exec();
}

void frmMain::StopMails()
{
    if (m_mails)
        m_mails->SetKeepSending(false);
}

void frmMain::SendMails()
{
    // The mails must not be merged again, nor sent twice at once, while
    // the run's events run.
    BusyGuard busy(m_busy);
    if (!busy.Entered() || !m_mails)
        return;
    if (!AcceptSendChecks())
        return;
    const int count = m_mails->Count();
    const int sender = ui->cboComposeFrom->currentIndex() + 1;
    const QString senderAddress = sender >= 1 && sender <= FromAddressBook().Count()
                                      ? FromAddressBook().Item(sender).EMailAddress()
                                      : QString();
    if (!frmConfirmSendEMail::SendEMails(this, count, senderAddress))
        return;

    WaitCursor wait;
    wait.SetPointer(WaitCursor::Hourglass);
    // Set before the window can first be clicked, so that an early Cancel
    // is not lost.
    m_mails->SetKeepSending(true);
    m_mailsHandled = 0;
    frmSendingEMails progress(this);
    connect(&progress, &ProgressForm::Stop, this, &frmMain::StopMails);
    FormHandler others;
    progress.show();
    others.MakeModalForm(&progress, true);
    progress.repaint();
    m_sendModel->Unbind();
    QCoreApplication::processEvents();

    // A new log for the run; the grid is told of each failure as it comes.
    m_sendErrorLog.Reset();
    QStringList headings;
    for (int id = 115; id <= 120; ++id)
        headings << LoadResString(id);
    m_sendModel->Bind(&m_sendErrorLog.Records(), headings);
    ui->flxSend->setColumnWidth(0, DescriptionWidth);
    ui->flxSend->setColumnWidth(1, ToWidth);
    QCoreApplication::processEvents();

    progress.SetMaximum(count);
    const QMetaObject::Connection handled =
        connect(m_mails.get(), &Mails::MailsSend, this, [&](int index) {
            m_mailsHandled = index;
            progress.SetPosition(index);
        });
    const QMetaObject::Connection failed =
        connect(m_mails.get(), &Mails::SendErr, this,
                [this](const QString& description, const QString& to, const FromAddressRef& from,
                       const QString& subject, const QString& attachments, const QString& body) {
                    m_sendErrorLog.Add(description, to, from, subject, attachments, body);
                    m_sendModel->RowsAppended();
                    // The reason is what the user came to read.
                    modForms::WidenColumnToFit(ui->flxSend, 0, m_sendModel->rowCount() - 1);
                });

    // The window paints and Cancel is seen at the run's yields.
    const Mails::ScopedYieldHook yield(*m_mails, [] { QCoreApplication::processEvents(); });
    const QDateTime start = QDateTime::currentDateTime();
    MailSender run(*m_mails);
    run.SetSenderText(ui->cboComposeFrom->currentText());
    run.Send();
    const QDateTime end = QDateTime::currentDateTime();
    QCoreApplication::processEvents();
    disconnect(handled);
    disconnect(failed);
    others.MakeModalForm(nullptr, false);
    progress.Finish();
    activateWindow();

    const QString summary = SendSummary::Text(m_mailsHandled, start.secsTo(end));
    const int errors = m_sendErrorLog.Count();
    if (errors == 0) {
        Dialogs::Message(this, summary, QMessageBox::Ok, Dialogs::Icon::Information);
        return;
    }
    const QString lost = LoadResString(157)
                             .replace(QLatin1String("#ERRCOUNT#"), QString::number(errors))
                             .replace(QLatin1String("#COUNT#"), QString::number(m_mailsHandled));
    // Saving an error report is not part of the program yet, so it is not
    // offered.
    Dialogs::Message(this, summary + QStringLiteral("\n\n") + lost, QMessageBox::Ok,
                     Dialogs::Icon::Information);
}

bool frmMain::AcceptSendChecks()
{
    const QList<SendFinding> findings = SendChecks::Check(*m_mails);
    if (findings.isEmpty())
        return true;
    return Dialogs::Message(this, SendChecks::Describe(findings), QMessageBox::Yes | QMessageBox::No,
                            Dialogs::Icon::Warning, {}, QMessageBox::No) == QMessageBox::Yes;
}
