// The main window's side of the Compose step: the sender and To boxes,
// inserting markers, attachments and the message text file.
#include "base/Texts.h"
#include "controls/Dialogs.h"
#include "controls/ctlBalloonTip.h"
#include "controls/modForms.h"
#include "senders/FromAddresses.h"
#include "senders/frmFormatFromEMail.h"
#include "shell/frmMain.h"
#include "store/FilesSystem.h"
#include "store/MailingDraft.h"
#include "store/DataStore.h"
#include "ui_frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

namespace {

QString DocumentsFolder()
{
    return FilesSystem().GetSpecialFolder(FilesSystem::CSIDL_PERSONAL);
}

QString PlainTextFilter()
{
    return LoadResString(173) + QStringLiteral(" (*.txt)");
}

// "E-Mail Message", or with the smallest number from 1 on that names no
// file in the folder yet.
QString ProposedMessageName(const QString& folder)
{
    const QString stem = LoadResString(175);
    const QDir dir(folder);
    if (!dir.exists(stem + QStringLiteral(".txt")))
        return stem;
    for (int n = 1;; ++n) {
        const QString name = stem + QString::number(n);
        if (!dir.exists(name + QStringLiteral(".txt")))
            return name;
    }
}

} // namespace

void frmMain::ConnectCompose()
{
    const FromAddresses& book = FromAddressBook();
    for (const FromAddress& sender : book)
        ui->cboComposeFrom->addItem(sender.GetPreviewEMailAddress());
    ui->cboComposeFrom->setCurrentIndex(-1);

    connect(ui->cboComposeFrom, &DropDownList::EmptyDropDown, this, [this] {
        QApplication::beep();
        ShowBalloon(ui->cmdComposeFrom, 108);
    });
    connect(ui->cmdComposeFrom, &QPushButton::clicked, this, [this] {
        if (frmFormatFromEMail::FormatEMail(this, ui->cboComposeFrom, FromAddressBook()))
            SaveStore();
        ui->cboComposeFrom->setFocus();
    });
    connect(ui->wizCompose, &ctlWizCompose::InsertField, this, &frmMain::InsertField);
    connect(ui->cmdComposeAttach, &QPushButton::clicked, this,
            [this] { AttachFiles(ui->lvwComposeAttach); });
    connect(ui->lvwComposeAttach, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { ShowAttachmentMenu(ui->lvwComposeAttach, position); });
    connect(ui->txtComposeTextBody, &QPlainTextEdit::textChanged, this,
            [this] { m_messageChanged = true; });
    connect(ui->mnuFileOpenText, &QAction::triggered, this, &frmMain::mnuFileOpenText_Click);
    connect(ui->mnuFileSaveText, &QAction::triggered, this, &frmMain::mnuFileSaveText_Click);
    connect(ui->mnuFileSaveTextAs, &QAction::triggered, this, &frmMain::mnuFileSaveTextAs_Click);

    for (QObject* watched : std::initializer_list<QObject*>{
             ui->txtComposeSubject, ui->txtComposeTextBody, ui->lblComposeTo, ui->lblComposeSubject,
             ui->lvwComposeAttach})
        watched->installEventFilter(this);

    // Every change is kept, a second after the typing pauses and at close.
    m_draftTimer = new QTimer(this);
    m_draftTimer->setSingleShot(true);
    m_draftTimer->setInterval(1000);
    connect(m_draftTimer, &QTimer::timeout, this, &frmMain::SaveDraft);
    const auto changed = [this] { m_draftTimer->start(); };
    connect(ui->cboComposeFrom, &QComboBox::currentIndexChanged, this, changed);
    connect(ui->cboComposeTo, &QComboBox::currentIndexChanged, this, changed);
    connect(ui->txtComposeSubject, &QLineEdit::textChanged, this, changed);
    connect(ui->txtComposeTextBody, &QPlainTextEdit::textChanged, this, changed);
    connect(ui->lvwComposeAttach->model(), &QAbstractItemModel::rowsInserted, this, changed);
    connect(ui->lvwComposeAttach->model(), &QAbstractItemModel::rowsRemoved, this, changed);
}

void frmMain::RestoreDraft()
{
    const LoadedDraft loaded = MailingDraft::Load(m_store->Folder());
    m_draftUntouchable = loaded.leaveFile;
    if (loaded.problem)
        Dialogs::Message(nullptr, *loaded.problem, QMessageBox::Ok, Dialogs::Icon::Critical);
    const MailingDraft& draft = loaded.draft;
    ui->cboComposeFrom->setCurrentIndex(ui->cboComposeFrom->findText(draft.sender));
    m_draftToColumn = draft.toColumn;
    ui->txtComposeSubject->setText(draft.subject);
    ui->txtComposeTextBody->setPlainText(draft.body);
    for (const QString& path : draft.attachments)
        AddAttachment(ui->lvwComposeAttach, path);
    m_messageChanged = draft.bodyChanged;
    m_messageFile = draft.textFile;
    m_draftTimer->stop();
}

void frmMain::SaveDraft()
{
    m_draftTimer->stop();
    if (m_draftUntouchable)
        return;
    MailingDraft draft;
    draft.sender = ui->cboComposeFrom->currentText();
    // Until an import offers it, the kept column stays kept.
    draft.toColumn = ui->cboComposeTo->currentIndex() >= 0 ? ui->cboComposeTo->currentText()
                                                          : m_draftToColumn;
    draft.subject = ui->txtComposeSubject->text();
    draft.body = ui->txtComposeTextBody->toPlainText();
    draft.attachments = AttachmentKeys(ui->lvwComposeAttach).split(u';', Qt::SkipEmptyParts);
    draft.bodyChanged = m_messageChanged;
    draft.textFile = m_messageFile;
    try {
        draft.Save(m_store->Folder());
        m_draftProblemShown = false;
    } catch (const AppError& e) {
        // Once until a save succeeds again, not at every pause in the typing.
        if (!m_draftProblemShown) {
            m_draftProblemShown = true;
            Dialogs::Message(isVisible() ? this : nullptr, e.Description(), QMessageBox::Ok,
                             Dialogs::Icon::Critical);
        }
    }
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::FocusOut:
        if (watched == ui->txtComposeSubject)
            m_composeLastFucus = QStringLiteral("Subject");
        else if (watched == ui->txtComposeTextBody)
            m_composeLastFucus = QStringLiteral("Body");
        else
            StorePreviewEdit(watched);
        break;
    case QEvent::MouseButtonRelease:
        // A click on a label puts the focus into its field.
        if (watched == ui->lblComposeTo)
            ui->cboComposeTo->setFocus();
        else if (watched == ui->lblComposeSubject)
            ui->txtComposeSubject->setFocus();
        else if (watched == ui->lblPreviewTo && ui->lblPreviewTo->isEnabled())
            ui->txtPreviewTo->setFocus();
        else if (watched == ui->lblPreviewSubject && ui->lblPreviewSubject->isEnabled())
            ui->txtPreviewSubject->setFocus();
        break;
    case QEvent::KeyPress:
        if (auto* list = qobject_cast<QTreeWidget*>(watched)) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Delete || key == Qt::Key_Backspace) {
                if (RemoveSelectedAttachment(list) && list == ui->lvwPreviewAttach)
                    PreviewAttachmentsChanged();
                return true;
            }
        }
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::RefillComposeLists(const QStringList& labels)
{
    ui->cboComposeTo->clear();
    ui->cboComposeTo->addItems(labels);
    // No To column is chosen for the user, except the one kept from the
    // last run, by the first import after the start.
    ui->cboComposeTo->setCurrentIndex(m_draftToColumn.isEmpty() ? -1
                                                                 : labels.indexOf(m_draftToColumn));
    m_draftToColumn.clear();
}

void frmMain::InsertField(const QString& marker)
{
    if (m_composeLastFucus == QLatin1String("Subject")) {
        ui->txtComposeSubject->insert(marker);
        ui->txtComposeSubject->setFocus();
    } else {
        ui->txtComposeTextBody->insertPlainText(marker);
        ui->txtComposeTextBody->setFocus();
    }
}

bool frmMain::AttachFiles(QTreeWidget* list)
{
    const QStringList paths =
        Dialogs::OpenFileNames(this, LoadResString(161), DocumentsFolder() + u'/',
                               LoadResString(162) + QStringLiteral(" (*)"));
    const int before = list->topLevelItemCount();
    // A mail keeps its attachments as one text of paths joined by ";": a
    // path holding one would be split in two when the mail is sent.
    QStringList refused;
    for (const QString& path : paths) {
        const QFileInfo file(path);
        if (!file.isFile())
            continue;
        if (file.absoluteFilePath().contains(u';'))
            refused << file.absoluteFilePath();
        else
            AddAttachment(list, file.absoluteFilePath());
    }
    if (!refused.isEmpty())
        Dialogs::Message(this,
                         Texts::MessageBoxText(LoadResString(190), 2)
                             .replace(QLatin1String("#FILES#"), refused.join(u'\n')),
                         QMessageBox::Ok, Dialogs::Icon::Warning);
    return list->topLevelItemCount() != before;
}

void frmMain::AddAttachment(QTreeWidget* list, const QString& path)
{
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->data(0, Qt::UserRole).toString() == path)
            return;
    auto* item = new QTreeWidgetItem(list, {QFileInfo(path).fileName()});
    item->setData(0, Qt::UserRole, path);
    modForms::AddFileIcon(path, item);
}

bool frmMain::RemoveSelectedAttachment(QTreeWidget* list)
{
    const auto selected = list->selectedItems();
    if (selected.isEmpty())
        return false;
    delete selected.first();
    return true;
}

QString frmMain::AttachmentKeys(const QTreeWidget* list)
{
    QStringList keys;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        keys << list->topLevelItem(i)->data(0, Qt::UserRole).toString();
    return keys.join(u';');
}

void frmMain::ShowAttachmentMenu(QTreeWidget* list, const QPoint& position)
{
    // Help is offered when the click is not on a selected file: about the
    // files (1) or about the empty list (2).
    QTreeWidgetItem* item = list->itemAt(position);
    if (!item || !item->isSelected()) {
        ShowWhatsThisMenu(AttachmentHelpTag(list, list->topLevelItemCount() > 0 ? 1 : 2),
                          list->viewport()->mapToGlobal(position));
        return;
    }
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("mnuFileListContext"));
    QAction* clear = menu.addAction(LoadResString(202));
    clear->setObjectName(QStringLiteral("mnuFileListContextSub"));
    connect(clear, &QAction::triggered, this, [this, list] {
        if (RemoveSelectedAttachment(list) && list == ui->lvwPreviewAttach)
            PreviewAttachmentsChanged();
    });
    QAction* help = menu.addAction(LoadResString(203));
    help->setObjectName(QStringLiteral("mnuFileListContextWhatsThis"));
    help->setData(AttachmentHelpTag(list, 1));
    connect(help, &QAction::triggered, this, [this, help] {
        mnuWhatsThisHelp->actions().constFirst()->setData(help->data());
        mnuWhatsThisHelpWhatsThis_Click();
    });
    menu.exec(list->viewport()->mapToGlobal(position));
}

void frmMain::SetMessageText(const QString& text)
{
    ui->txtComposeTextBody->setPlainText(text);
    m_messageChanged = false;
}

bool frmMain::AskToSaveMessage(int questionWithoutFile, int questionWithFile, int lineBreaks)
{
    if (ui->txtComposeTextBody->document()->isEmpty() || !m_messageChanged)
        return true;
    const bool hasFile = !m_messageFile.isEmpty();
    const QString text = hasFile
                             ? Texts::MessageBoxText(LoadResString(questionWithFile), lineBreaks)
                             : LoadResString(questionWithoutFile);
    switch (Dialogs::Message(this, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                             Dialogs::Icon::Question)) {
    case QMessageBox::Yes:
        // A save that did not happen must not cost the message.
        return hasFile ? mnuFileSaveText_Click() : mnuFileSaveTextAs_Click();
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

void frmMain::mnuFileOpenText_Click()
{
    if (!AskToSaveMessage(182, 181, 1))
        return;
    const QString path = Dialogs::OpenFileName(this, LoadResString(178), DocumentsFolder() + u'/',
                                               PlainTextFilter());
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return;
    bool complete = false;
    const QString text = FilesSystem().ReadTextFile(path, &complete);
    if (!complete)
        return;
    SetMessageText(text);
    m_messageFile = path;
}

bool frmMain::mnuFileSaveText_Click()
{
    if (ui->txtComposeTextBody->document()->isEmpty()) {
        m_balloon->ShowBalloonTip(ui->txtComposeTextBody, LoadResString(176), LoadResString(177),
                                  ctlBalloonTip::IconInfo);
        return false;
    }
    if (m_messageFile.isEmpty())
        return mnuFileSaveTextAs_Click();
    if (!FilesSystem().WriteTextFile(m_messageFile, ui->txtComposeTextBody->toPlainText()))
        return false;
    m_messageChanged = false;
    return true;
}

bool frmMain::mnuFileSaveTextAs_Click()
{
    const QString folder = DocumentsFolder();
    for (;;) {
        // ".txt" when no suffix is typed: Open Text lists only those files.
        const QString path = Dialogs::SaveFileName(this, LoadResString(174),
                                                   folder + u'/' + ProposedMessageName(folder),
                                                   PlainTextFilter(), QStringLiteral("txt"));
        if (path.isEmpty())
            return false;
        // The file is replaced in one step, so the old one stays whole until
        // the new one is written; one that cannot be replaced is refused
        // before anything is touched.
        const QFileInfo target(path);
        if (target.exists() &&
            (!target.isFile() || !QFileInfo(target.absolutePath()).isWritable())) {
            Dialogs::Message(this, Texts::MessageBoxText(LoadResString(113), 2), QMessageBox::Ok,
                             Dialogs::Icon::Critical);
            continue;
        }
        if (!FilesSystem().WriteTextFile(path, ui->txtComposeTextBody->toPlainText()))
            return false;
        m_messageFile = path;
        m_messageChanged = false;
        return true;
    }
}
