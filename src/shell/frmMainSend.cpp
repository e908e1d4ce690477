// The main window's side of the Send step: the send command, its progress
// window and error grid, the summary, and saving the error report.
#include "base/BusyGuard.h"
#include "base/Texts.h"
#include "controls/Dialogs.h"
#include "controls/FormHandler.h"
#include "controls/RecordsetTableModel.h"
#include "controls/WaitCursor.h"
#include "controls/modForms.h"
#include "delivery/ExcelReport.h"
#include "delivery/MailSender.h"
#include "delivery/SendSummary.h"
#include "delivery/TextReport.h"
#include "delivery/frmConfirmSendEMail.h"
#include "delivery/frmSendingEMails.h"
#include "delivery/frmTextExport.h"
#include "merge/Mails.h"
#include "platform/sysinfo/SystemVersions.h"
#include "senders/FromAddresses.h"
#include "shell/frmMain.h"
#include "store/FilesSystem.h"
#include "ui_frmMain.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QScopeGuard>
#include <QSet>
#include <unistd.h>

namespace {

// Widths of the error grid's columns, from 1250, 4000 and 2500 twips.
constexpr int DescriptionWidth = 83;
constexpr int ToWidth = 267;
constexpr int OtherWidth = 167;

// The endings the text format is saved under.
const QStringList TextSuffixes = {QStringLiteral("txt"), QStringLiteral("csv"),
                                  QStringLiteral("tab"), QStringLiteral("asc")};

QString WorkbookFilter()
{
    return LoadResString(167) + QStringLiteral(" (*.xlsx)");
}

QString TextFilter()
{
    return LoadResString(172) + QStringLiteral(" (*.txt *.csv *.tab *.asc)");
}

// "Error Report 2004-03-07 09.05.00" with the ending of the first format
// offered: the time has dots in it, so the dialog would add none.
QString ProposedReportName(bool workbook)
{
    return LoadResString(168) + u' ' +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")) +
           (workbook ? QStringLiteral(".xlsx") : QStringLiteral(".txt"));
}

// A file that is there but cannot be replaced: a folder in its place, or a
// folder that takes no new files.
bool CannotReplace(const QString& path)
{
    const QFileInfo target(path);
    return (target.exists() && !target.isFile()) ||
           ::access(QFile::encodeName(target.absolutePath()).constData(), W_OK) != 0;
}

} // namespace

void frmMain::ConnectSend()
{
    ui->wizSend->setObjectName(QStringLiteral("ctlWizSend"));
    m_sendModel = new RecordsetTableModel(this);
    ui->flxSend->setModel(m_sendModel);
    ui->flxSend->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui->flxSend->horizontalHeader()->setDefaultSectionSize(OtherWidth);
    connect(ui->wizSend, &ctlWizSend::SendMails, this, &frmMain::SendMails);
    // The report needs failures to report, and belongs to the Send step.
    ui->mnuFileSaveErrorReportAs->setEnabled(false);
    connect(ui->mnuFile, &QMenu::aboutToShow, this, [this] {
        ui->mnuFileSaveErrorReportAs->setEnabled(m_currentStep == StepSend &&
                                                 m_sendErrorLog.Count() > 0);
    });
    connect(ui->mnuFileSaveErrorReportAs, &QAction::triggered, this,
            &frmMain::mnuFileSaveErrorReportAs_Click);
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
    if (!AcceptUnreadableAttachments())
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
    const QString question =
        summary + QStringLiteral("\n\n") + lost + QStringLiteral("\n\n") + LoadResString(158);
    if (Dialogs::Message(this, question, QMessageBox::Yes | QMessageBox::No,
                         Dialogs::Icon::Information) == QMessageBox::Yes)
        mnuFileSaveErrorReportAs_Click();
}

void frmMain::SetStatusText(const QString& text)
{
    auto* panel = findChild<QLabel*>(QStringLiteral("sbMainProgress"));
    panel->setText(text);
    panel->repaint();
}

void frmMain::mnuFileSaveErrorReportAs_Click()
{
    const Recordset& log = m_sendErrorLog.Records();
    const int rows = log.RecordCount();
    const bool offerWorkbook =
        rows <= ExcelReport::MaxRows && GetSystemVersions().ExcelVersion >= 8;
    const QString filters =
        offerWorkbook ? WorkbookFilter() + QStringLiteral(";;") + TextFilter() : TextFilter();
    const QString folder = FilesSystem().GetSpecialFolder(FilesSystem::CSIDL_PERSONAL) + u'/';
    const auto clearStatus = qScopeGuard([this] { SetStatusText({}); });
    // Asked again, the dialog offers the name chosen last.
    QString proposal = folder + ProposedReportName(offerWorkbook);
    for (;;) {
        QString chosenFilter;
        const QString path =
            Dialogs::SaveFileName(this, LoadResString(166), proposal, filters, {}, &chosenFilter);
        if (path.isEmpty())
            return;
        proposal = path;
        SetStatusText(LoadResString(169));
        if (CannotReplace(path)) {
            Dialogs::Message(this, Texts::MessageBoxText(LoadResString(113), 2), QMessageBox::Ok,
                             Dialogs::Icon::Critical);
            continue;
        }
        // The name's ending decides; a name without a known one takes the
        // format of the filter chosen.
        const QString suffix = QFileInfo(path).suffix().toLower();
        const bool workbook = offerWorkbook && !TextSuffixes.contains(suffix) &&
                              (suffix == QLatin1String("xlsx") || chosenFilter == WorkbookFilter());
        ReportResult result;
        if (workbook) {
            WaitCursor wait;
            wait.SetPointer(WaitCursor::Hourglass);
            result = ExcelReport::Write(log, path);
        } else {
            QStringList names;
            for (int i = 0; i < log.FieldCount(); ++i)
                names << log.FieldName(i);
            QList<QStringList> sample;
            for (int row = 0; row < std::min(rows, frmTextExport::SampleRowCount); ++row) {
                sample.append(QStringList());
                for (int i = 0; i < log.FieldCount(); ++i)
                    sample.last() << log.ValueAt(row, i).toString();
            }
            const TextReport::Format format = frmTextExport::ShowFormatDialog(this, names, sample);
            if (format.Delimiter.isEmpty() && format.Qualifier.isEmpty())
                continue;
            WaitCursor wait;
            wait.SetPointer(WaitCursor::Hourglass);
            result = TextReport::Write(log, path, format);
        }
        if (!result.ok)
            Dialogs::Message(this,
                             Texts::MessageBoxText(LoadResString(4400), 2)
                                 .replace(QLatin1String("#FILE#"), path)
                                 .replace(QLatin1String("#REASON#"), result.error),
                             QMessageBox::Ok, Dialogs::Icon::Critical);
        else if (result.cutCells > 0)
            Dialogs::Message(
                this,
                Texts::MessageBoxText(LoadResString(4401), 2)
                    .replace(QLatin1String("#COUNT#"), QString::number(result.cutCells)),
                QMessageBox::Ok, Dialogs::Icon::Information);
        return;
    }
}

bool frmMain::AcceptUnreadableAttachments()
{
    // Mails share their attachment text unless changed one by one, so a
    // million mails cost a few distinct texts and fewer paths.
    QSet<QString> checked;
    QStringList unreadable;
    QString last;
    for (const Mail& mail : *m_mails) {
        const QString& attachments = mail.Attachments();
        if (attachments.isEmpty() ||
            (attachments.constData() == last.constData() && attachments.size() == last.size()))
            continue;
        last = attachments;
        for (const QString& path : attachments.split(u';', Qt::SkipEmptyParts)) {
            if (checked.contains(path))
                continue;
            checked.insert(path);
            // Opened, not only looked at: permissions are not the only way
            // a file can refuse to be read.
            QFile file(path);
            if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
                unreadable << path;
        }
    }
    if (unreadable.isEmpty())
        return true;

    constexpr int Listed = 5;
    QStringList shown = unreadable.mid(0, Listed);
    if (unreadable.size() > Listed)
        shown << LoadResString(192).replace(QLatin1String("#COUNT#"),
                                            QString::number(unreadable.size() - Listed));
    const QString text = Texts::MessageBoxText(LoadResString(191), 2)
                             .replace(QLatin1String("#COUNT#"), QString::number(unreadable.size()))
                             .replace(QLatin1String("#FILES#"), shown.join(u'\n'));
    return Dialogs::Message(this, text, QMessageBox::Yes | QMessageBox::No, Dialogs::Icon::Warning,
                            {}, QMessageBox::No) == QMessageBox::Yes;
}
