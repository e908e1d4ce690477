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
#include "delivery/MailConfiguration.h"
#include "delivery/MailSecrets.h"
#include "delivery/MailSender.h"
#include "delivery/SendChecks.h"
#include "delivery/SendJournal.h"
#include "delivery/SendSummary.h"
#include "delivery/TextReport.h"
#include "delivery/frmConfirmSendEMail.h"
#include "delivery/frmMailCfg.h"
#include "delivery/frmSendTestEMail.h"
#include "delivery/frmSendingEMails.h"
#include "delivery/frmTextExport.h"
#include "merge/Mails.h"
#include "platform/sysinfo/SystemVersions.h"
#include "recipients/RecipientImport.h"
#include "senders/FromAddresses.h"
#include "shell/frmMain.h"
#include "store/FilesSystem.h"
#include "ui_frmMain.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
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

// "1,382", "7 Dec", "14:02": numbers and times as the questions show them.
QString Number(qsizetype n)
{
    return QLocale(QLocale::English).toString(static_cast<qlonglong>(n));
}

using Texts::Filled;

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
    connect(ui->wizSend, &ctlWizSend::TestEMail, this, &frmMain::ShowTestEMail);
    // The report needs failures to report, and belongs to the Send step.
    ui->mnuFileSaveErrorReportAs->setEnabled(false);
    connect(ui->mnuFile, &QMenu::aboutToShow, this, [this] {
        ui->mnuFileSaveErrorReportAs->setEnabled(m_currentStep == StepSend &&
                                                 m_sendErrorLog.Count() > 0);
    });
    connect(ui->mnuFileSaveErrorReportAs, &QAction::triggered, this,
            &frmMain::mnuFileSaveErrorReportAs_Click);
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
    if (!EnsureSignedIn() || !AcceptSendChecks())
        return;
    // What became of this mailing before decides what goes now.
    std::unique_ptr<SendJournal> journal;
    std::vector<int> positions;
    try {
        journal = std::make_unique<SendJournal>(QDir(FilesSystem::VersionDataFolder()).filePath(QStringLiteral("journals")),
                                                SendJournal::Digest(*m_mails, MailingContext()), m_mails->Count());
    } catch (const AppError& error) {
        Dialogs::Message(this, Filled(4609, {{"#REASON#", error.Description()}}), QMessageBox::Ok,
                         Dialogs::Icon::Warning);
    }
    if (journal && !ChooseMailsToSend(*journal, positions))
        return;
    const int count = positions.empty() ? m_mails->Count() : static_cast<int>(positions.size());
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
    MailSender run(*m_mails);
    QHash<int, int> rowOf; // mail position -> its row in the grid
    const QMetaObject::Connection handled =
        connect(m_mails.get(), &Mails::MailsSend, this, [&](int index) {
            m_mailsHandled = index;
            progress.SetPosition(index);
        });
    const QMetaObject::Connection failed =
        connect(m_mails.get(), &Mails::SendErr, this,
                [this, &run, &rowOf](const QString& description, const QString& to, const FromAddressRef& from,
                                     const QString& subject, const QString& attachments, const QString& body) {
                    rowOf.insert(run.CurrentPosition(), m_sendErrorLog.Count());
                    m_sendErrorLog.Add(description, to, from, subject, attachments, body);
                    m_sendModel->RowsAppended();
                    // The reason is what the user came to read.
                    modForms::WidenColumnToFit(ui->flxSend, 0, m_sendModel->rowCount() - 1);
                });

    // The window paints and Cancel is seen at the run's yields.
    const Mails::ScopedYieldHook yield(*m_mails, [] { QCoreApplication::processEvents(); });
    const QDateTime start = QDateTime::currentDateTime();
    run.SetSenderText(ui->cboComposeFrom->currentText());
    run.SetPositions(positions);
    run.SetJournal(journal.get());
    run.SetClock(m_sendClock);
    run.SetWatcher({[&progress](qint64 left, int waiting) { progress.ShowWaiting(left, waiting); },
                    [&](const QHash<int, QString>& outcomes) {
                        // A mail that went on a retry leaves the grid; one
                        // refused again reads as it was refused last.
                        QHash<int, QString> rows;
                        for (auto it = outcomes.cbegin(); it != outcomes.cend(); ++it)
                            if (rowOf.contains(it.key()))
                                rows.insert(rowOf.value(it.key()),
                                            it.value().isEmpty() ? QString() : MailSender::OneLine(it.value()));
                        const std::vector<int> moved = m_sendErrorLog.Revise(rows);
                        for (auto it = rowOf.begin(); it != rowOf.end();)
                            if (const int now = moved.at(static_cast<std::size_t>(it.value())); now < 0)
                                it = rowOf.erase(it);
                            else
                                (it++).value() = now;
                        m_sendModel->Bind(&m_sendErrorLog.Records(), headings);
                        ui->flxSend->setColumnWidth(1, ToWidth);
                        modForms::WidenColumnToFit(ui->flxSend, 0, m_sendModel->rowCount() - 1);
                    }});
    run.Send();
    const QDateTime end = QDateTime::currentDateTime();
    QCoreApplication::processEvents();
    disconnect(handled);
    disconnect(failed);
    others.MakeModalForm(nullptr, false);
    progress.Finish();
    activateWindow();

    QString summary = SendSummary::Text(m_mailsHandled, start.secsTo(end));
    if (run.DayLimitReached()) {
        const QDateTime next = run.NextAllowance();
        summary += QStringLiteral("\n\n") +
                   Filled(4608, {{"#LIMIT#", Number(MailConfiguration(QString()).SMTPMaxPerDay())},
                                 {"#LEFT#", Number(journal ? journal->Count(SendJournal::State::NotSent) : 0)},
                                 {"#DATE#", QLocale(QLocale::English).toString(next, QStringLiteral("d MMM"))},
                                 {"#TIME#", next.toString(QStringLiteral("HH:mm"))}});
    }
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

bool frmMain::EnsureSignedIn()
{
    // A sign-in the provider withdrew is asked for again before a run, not
    // found out in the middle of one.
    for (;;) {
        const MailConfiguration settings{QString()};
        const MailDeliverySettings& delivery = settings.CdoConfiguration();
        if (delivery.sendUsing != MailDeliverySettings::Port || delivery.smtpAuthenticate != 2)
            return true;
        OAuthGrant grant;
        if (MailSecrets::ReadGrant(delivery.smtpServer, delivery.sendUserName, grant).outcome ==
            SecretStore::Outcome::Done)
            return true;
        const QString text = Filled(5175, {{"#PROVIDER#", LoadResString(5152 + settings.SMTPOAuthProvider())},
                                           {"#ACCOUNT#", delivery.sendUserName}});
        if (Dialogs::Message(this, text, QMessageBox::Yes | QMessageBox::No, Dialogs::Icon::Question) !=
                QMessageBox::Yes ||
            !frmMailCfg::Edit(this))
            return false;
    }
}

bool frmMain::AcceptSendChecks()
{
    const QList<SendFinding> findings = SendChecks::Check(*m_mails);
    if (findings.isEmpty())
        return true;
    return Dialogs::Message(this, SendChecks::Describe(findings), QMessageBox::Yes | QMessageBox::No,
                            Dialogs::Icon::Warning, {}, QMessageBox::No) == QMessageBox::Yes;
}

QByteArray frmMain::MailingContext() const
{
    // The merged mails hold what the rows gave them; the list and its filter
    // say which rows those were.
    const int current = m_rcptLsts.CurrentIndex();
    return SendJournal::ListContext(current >= 1 && current <= m_rcptLsts.Count()
                                        ? m_rcptLsts.Item(current).Definition()
                                        : QStringList(),
                                    RecipientImport::ImportedRecipients().Filter());
}

bool frmMain::ChooseMailsToSend(SendJournal& journal, std::vector<int>& positions)
{
    using State = SendJournal::State;
    const int sent = journal.Count(State::Sent);
    const int failed = journal.Count(State::Failed);
    const std::vector<int> unknown = journal.Positions(State::Unknown);
    if (sent == 0 && failed == 0 && unknown.empty())
        return true; // never sent, or stopped before any mail went
    const QLocale english(QLocale::English);
    const QDateTime last = journal.LastRun();
    const QList<std::pair<const char*, QString>> values{
        {"#SENT#", Number(sent)},
        {"#COUNT#", Number(journal.MailCount())},
        {"#FAILED#", Number(failed)},
        {"#UNKNOWN#", Number(static_cast<qsizetype>(unknown.size()))},
        {"#DATE#", english.toString(last, QStringLiteral("d MMM"))},
        {"#TIME#", last.toString(QStringLiteral("HH:mm"))}};
    const auto sendAll = [&] {
        journal.Restart();
        positions.clear();
        return true;
    };
    const QMessageBox::StandardButtons three = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;

    // Mails never sent first, with those refused for now.
    std::vector<int> rest;
    for (int i = 1; i <= journal.MailCount(); ++i)
        if (journal.StateOf(i) == State::NotSent || journal.StateOf(i) == State::Temporary)
            rest.push_back(i);
    if (rest.empty() && failed == 0) {
        if (Dialogs::Message(this, Filled(4606, values), QMessageBox::Yes | QMessageBox::No,
                             Dialogs::Icon::Question, {}, QMessageBox::No) != QMessageBox::Yes)
            return false;
        return sendAll();
    }
    QString text;
    if (!rest.empty()) {
        auto restValues = values;
        restValues.append({"#REST#", Number(static_cast<qsizetype>(rest.size()))});
        text = Filled(4600, restValues);
        if (failed > 0)
            text += QStringLiteral("\n\n") + Filled(4603, values);
    } else {
        text = Filled(4604, values);
    }
    if (!unknown.empty()) {
        // Named, so the user can ask them before sending all again.
        constexpr std::size_t Listed = 5;
        QStringList names;
        for (std::size_t i = 0; i < std::min(Listed, unknown.size()); ++i)
            names << m_mails->Item(unknown[i]).To();
        if (unknown.size() > Listed)
            names << Filled(4610, {{"#COUNT#", Number(static_cast<qsizetype>(unknown.size() - Listed))}});
        text += QStringLiteral("\n\n") + Filled(4602, values) + u'\n' + names.join(u'\n');
    }
    text += QStringLiteral("\n\n") + Filled(rest.empty() ? 4605 : 4601, values);
    switch (Dialogs::Message(this, text, three, Dialogs::Icon::Question, {}, QMessageBox::Yes)) {
    case QMessageBox::Yes:
        positions = rest.empty() ? journal.Positions(State::Failed) : rest;
        return true;
    case QMessageBox::No:
        return sendAll();
    default:
        return false;
    }
}
