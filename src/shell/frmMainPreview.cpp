// The main window's side of the Preview step: merging under the progress
// window, showing one mail, and changing single mails while unlocked.
#include "base/BusyGuard.h"
#include "base/Texts.h"
#include "controls/Dialogs.h"
#include "controls/FormHandler.h"
#include "controls/WaitCursor.h"
#include "merge/Mails.h"
#include "merge/MergeFields.h"
#include "merge/frmMergingPreview.h"
#include "recipients/RecipientImport.h"
#include "senders/FromAddresses.h"
#include "senders/frmFormatFromEMailAdd.h"
#include "shell/frmMain.h"
#include "ui_frmMain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>

namespace {

// How often a merge lets the window paint and Cancel be clicked. The merge
// offers a yield every 10th record; a million records do not need a
// hundred thousand repaints.
constexpr qint64 MergeYieldMs = 20;

} // namespace

void frmMain::ConnectPreview()
{
    ui->wizPreview->setObjectName(QStringLiteral("ctlWizPreview"));
    ui->cmdPreviewFrom->setText(LoadResString(105));
    ui->lblPreviewTo->setText(LoadResString(107));
    ui->lblPreviewSubject->setText(LoadResString(106));
    ui->cmdPreviewAttach->setText(LoadResString(104));
    m_tips.SetToolTip(ui->cmdPreviewFrom, LoadResString(126));
    m_tips.SetToolTip(ui->txtPreviewFrom, LoadResString(127));
    m_tips.SetToolTip(ui->txtPreviewTo, LoadResString(128));
    m_tips.SetToolTip(ui->cmdPreviewAttach, LoadResString(129));
    m_tips.SetToolTip(ui->lvwPreviewAttach, LoadResString(130));

    connect(ui->wizPreview, &ctlWizPreview::Move, this, &frmMain::Move);
    connect(ui->wizPreview, &ctlWizPreview::UnlockMails, this, &frmMain::UnlockMails);
    connect(ui->wizPreview, &ctlWizPreview::LockMails, this, [this] {
        if (!m_busy && !LockMails())
            MergeFailed();
    });
    connect(ui->cmdPreviewFrom, &QPushButton::clicked, this, &frmMain::cmdPreviewFrom_Click);
    connect(ui->cmdPreviewAttach, &QPushButton::clicked, this, [this] {
        if (AttachFiles(ui->lvwPreviewAttach))
            PreviewAttachmentsChanged();
    });
    connect(ui->lvwPreviewAttach, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { ShowAttachmentMenu(ui->lvwPreviewAttach, position); });
    for (QObject* watched : std::initializer_list<QObject*>{
             ui->txtPreviewTo, ui->txtPreviewSubject, ui->txtPreviewTextBody, ui->lblPreviewTo,
             ui->lblPreviewSubject, ui->lvwPreviewAttach})
        watched->installEventFilter(this);
    SetPreviewEditable(false);
}

void frmMain::EnterPreview()
{
    auto* status = findChild<QLabel*>(QStringLiteral("sbMainProgress"));
    status->setText(LoadResString(170));
    const bool merged = LockMails();
    if (!merged)
        SelectTab(StepCompose - 1);
    ui->wizPreview->Reset();
    ui->wizPreview->SetMailCount(m_mails ? m_mails->Count() : 0);
    ui->wizPreview->MoveFirst();
    status->clear();
    try {
        RecipientImport::ImportedRecipients().MoveFirst();
    } catch (const AppError&) {
    }
}

bool frmMain::MergeForPreview()
{
    // The mails are replaced here: not while a send or another merge runs
    // in them.
    BusyGuard busy(m_busy);
    if (!busy.Entered())
        return false;
    m_mails = std::make_unique<Mails>();
    // Set before the window can first be clicked, so that an early Cancel
    // is not lost.
    m_mails->SetKeepMerging(true);
    frmMergingPreview progress(this);
    connect(&progress, &ProgressForm::Stop, this, &frmMain::StopMergingPreview);
    FormHandler others;
    progress.show();
    others.MakeModalForm(&progress, true);
    progress.repaint();
    QCoreApplication::processEvents();

    Recordset& recipients = RecipientImport::ImportedRecipients();
    progress.SetMaximum(recipients.RecordCount());
    connect(m_mails.get(), &Mails::MailsMerged, &progress, &ProgressForm::SetPosition);
    QElapsedTimer sinceYield;
    const Mails::ScopedYieldHook yield(*m_mails, [&sinceYield] {
        if (!sinceYield.isValid() || sinceYield.elapsed() >= MergeYieldMs) {
            QCoreApplication::processEvents();
            sinceYield.start();
        }
    });

    const int sender = ui->cboComposeFrom->currentIndex() + 1;
    FromAddressRef from;
    if (sender >= 1 && sender <= FromAddressBook().Count())
        from = std::make_shared<const FromAddress>(FromAddressBook().Item(sender));
    bool merged = false;
    try {
        merged = m_mails->Merge(
            recipients, MergeFields::MarkerForEntry(ui->cboComposeTo->currentText()), from,
            ui->txtComposeSubject->text(), ui->txtComposeTextBody->toPlainText(),
            AttachmentKeys(ui->lvwComposeAttach));
    } catch (const AppError& error) {
        // The mails merged so far stay; the user is told why the rest are not.
        others.MakeModalForm(nullptr, false);
        progress.Finish();
        activateWindow();
        Dialogs::Message(this, error.Description(), QMessageBox::Ok, Dialogs::Icon::Critical);
        return false;
    }
    QCoreApplication::processEvents();
    others.MakeModalForm(nullptr, false);
    progress.Finish();
    activateWindow();
    return merged;
}

void frmMain::StopMergingPreview()
{
    if (m_mails)
        m_mails->SetKeepMerging(false);
}

bool frmMain::LockMails()
{
    WaitCursor wait;
    wait.SetPointer(WaitCursor::Hourglass);
    auto* status = findChild<QLabel*>(QStringLiteral("sbMainProgress"));
    status->setText(LoadResString(165));
    m_previewUnlocked = false;
    SetPreviewEditable(false);
    if (ui->wizPreview->CurrentMail() >= 1)
        Move(ui->wizPreview->CurrentMail());

    ui->tabMain->setEnabled(false);
    const bool merged = MergeForPreview();
    ui->tabMain->setEnabled(true);
    // A part of the list must never be shown or sent as if it were all.
    if (!merged)
        m_mails.reset();

    ui->wizPreview->SetMailCount(m_mails ? m_mails->Count() : 0);
    ui->wizPreview->MoveFirst();
    status->clear();
    try {
        RecipientImport::ImportedRecipients().MoveFirst();
    } catch (const AppError&) {
    }
    QCoreApplication::processEvents();
    return merged;
}

void frmMain::MergeFailed()
{
    // Straight back: the recipients that failed must not send the user
    // further, to the import.
    SelectTab(StepCompose - 1);
    ShowSelectedStep();
}

void frmMain::UnlockMails()
{
    m_previewUnlocked = true;
    SetPreviewEditable(true);
    if (ui->wizPreview->CurrentMail() > 0)
        Move(ui->wizPreview->CurrentMail());
}

void frmMain::SetPreviewEditable(bool editable)
{
    const QPalette::ColorRole background = editable ? QPalette::Base : QPalette::Button;
    for (QWidget* box : std::initializer_list<QWidget*>{
             ui->txtPreviewTo, ui->txtPreviewSubject, ui->txtPreviewTextBody, ui->txtPreviewFrom}) {
        if (box != ui->txtPreviewFrom)
            box->setProperty("readOnly", !editable);
        QPalette palette = box->palette();
        palette.setColor(QPalette::Base, QApplication::palette().color(background));
        box->setPalette(palette);
    }
    for (QWidget* control : std::initializer_list<QWidget*>{
             ui->cmdPreviewFrom, ui->cmdPreviewAttach, ui->lvwPreviewAttach, ui->lblPreviewTo,
             ui->lblPreviewSubject})
        control->setEnabled(editable);
}

void frmMain::Move(qint32 index)
{
    ui->lvwPreviewAttach->clear();
    if (!m_mails || m_mails->Count() == 0 || index < 1 || index > m_mails->Count()) {
        ui->txtPreviewFrom->clear();
        ui->txtPreviewTo->clear();
        ui->txtPreviewSubject->clear();
        ui->txtPreviewTextBody->clear();
        return;
    }
    const Mail& mail = m_mails->Item(index);
    ui->txtPreviewFrom->setText(mail.From() ? mail.From()->GetPreviewEMailAddress() : QString());
    ui->txtPreviewTo->setText(mail.To());
    ui->txtPreviewSubject->setText(mail.Subject());
    for (const QString& path : mail.Attachments().split(u';', Qt::SkipEmptyParts))
        AddAttachment(ui->lvwPreviewAttach, path);
    ui->txtPreviewTextBody->setPlainText(mail.TextBody());
}

void frmMain::StorePreviewEdit(QObject* box)
{
    const int current = ui->wizPreview->CurrentMail();
    if (!m_previewUnlocked || !m_mails || current < 1 || current > m_mails->Count())
        return;
    Mail& mail = m_mails->Item(current);
    // Only a real change gives a mail texts of its own.
    if (box == ui->txtPreviewTo && ui->txtPreviewTo->text() != mail.To())
        mail.SetTo(ui->txtPreviewTo->text());
    else if (box == ui->txtPreviewSubject && ui->txtPreviewSubject->text() != mail.Subject())
        mail.SetSubject(ui->txtPreviewSubject->text());
    else if (box == ui->txtPreviewTextBody &&
             ui->txtPreviewTextBody->toPlainText() != mail.TextBody())
        mail.SetTextBody(ui->txtPreviewTextBody->toPlainText());
}

void frmMain::cmdPreviewFrom_Click()
{
    const int current = ui->wizPreview->CurrentMail();
    if (!m_mails || current < 1 || current > m_mails->Count())
        return;
    Mail& mail = m_mails->Item(current);
    // A copy: the sender book and the other mails keep theirs.
    FromAddress sender = mail.From() ? *mail.From() : FromAddress();
    if (frmFormatFromEMailAdd::Edit(this, sender))
        mail.SetFrom(std::make_shared<const FromAddress>(sender));
    Move(current);
}

void frmMain::PreviewAttachmentsChanged()
{
    const int current = ui->wizPreview->CurrentMail();
    if (m_mails && current >= 1 && current <= m_mails->Count())
        m_mails->Item(current).SetAttachments(AttachmentKeys(ui->lvwPreviewAttach));
}
