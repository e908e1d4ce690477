#include "shell/frmMain.h"

#include "base/AppInfo.h"
#include "base/Texts.h"
#include "controls/Callback.h"
#include "controls/Dialogs.h"
#include "controls/Icons.h"
#include "controls/RecordsetTableModel.h"
#include "controls/WaitCursor.h"
#include "controls/ctlBalloonTip.h"
#include "controls/modForms.h"
#include "merge/Mails.h"
#include "recipients/RecipientImport.h"
#include "senders/FromAddresses.h"
#include "smtpservice/frmSMTPServiceManager.h"
#include "store/DataStore.h"
#include "store/FilesSystem.h"
#include "ui_frmMain.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QShortcut>
#include <QTimer>

namespace {

// The smallest size the window may be given, in pixels (8295 by 7815 twips).
constexpr QSize MinimumSize(553, 521);

constexpr int StepCount = 4;

} // namespace

frmMain::frmMain(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::frmMain>())
{
    // The lists, the send error log and the store, in this order; the store
    // fills the lists and the sender book once.
    m_store = std::make_unique<DataStore>(
        m_rcptLsts, FromAddressBook(), FilesSystem::VersionDataFolder(),
        [this](const AppError& problem) {
            Dialogs::Message(isVisible() ? this : nullptr, problem.Description(), QMessageBox::Ok,
                             Dialogs::Icon::Critical);
        });
    FilesSystem::SetProblemHandler([](const QString& text, const QString&) {
        Dialogs::Message(nullptr, text, QMessageBox::Ok, Dialogs::Icon::Critical);
    });
    m_store->Load();
    m_callback = new Callback(this);

    ui->setupUi(this);
    // uic cannot give a member the name of its class; the controls carry
    // their own names.
    ui->wizRecipients->setObjectName(QStringLiteral("ctlWizRecipients"));
    ui->wizCompose->setObjectName(QStringLiteral("ctlWizCompose"));
    ui->barMainSteps->setObjectName(QStringLiteral("ctlMainSteps"));
    m_balloon = new ctlBalloonTip(this);
    m_recipientsModel = new RecordsetTableModel(this);
    ui->flxRcptList->setModel(m_recipientsModel);
    // 2500 twips a column.
    ui->flxRcptList->horizontalHeader()->setDefaultSectionSize(167);
    ui->flxRcptList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    ui->wizRecipients->SetRecipientLists(&m_rcptLsts);
    ui->wizRecipients->PopulateList();

    auto* progress = new QLabel(this);
    progress->setObjectName(QStringLiteral("sbMainProgress"));
    auto* recipients = new QLabel(this);
    recipients->setObjectName(QStringLiteral("sbMainRecipients"));
    ui->sbMain->addWidget(progress, 1);
    ui->sbMain->addPermanentWidget(recipients);

    LoadCaptions();
    ConnectSteps();
    ConnectCompose();
    ConnectPreview();
    ConnectSend();
    ConnectHelp();
    modForms::ApplyFonts(this);
    for (QTableView* grid : {ui->flxRcptList, ui->flxSend})
        grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);

    setMinimumSize(MinimumSize);
    const QRect workArea = modForms::GetWorkArea();
    if (workArea.isValid())
        setGeometry(workArea);
    RestoreDraft();
    ShowSelectedStep();
    UpdateStatusbar();
}

frmMain::~frmMain()
{
    // A change still waiting for the typing to pause.
    if (m_draftTimer->isActive())
        SaveDraft();
    // The store writes the files once more as it goes.
    m_store.reset();
    FilesSystem::SetProblemHandler({});
}

void frmMain::LoadCaptions()
{
    setWindowTitle(QStringLiteral("%1 %2.%3")
                       .arg(AppInfo::ProductName())
                       .arg(AppInfo::Major)
                       .arg(AppInfo::Minor));
    Icons::SetIcon(this, QStringLiteral("ICO_EMAIL"), false);

    const char* stepIcons[] = {"ICO_STEP1", "ICO_STEP2", "ICO_STEP3", "ICO_STEP4"};
    for (int i = 0; i < StepCount; ++i)
        ui->tabMain->addTab(Icons::Load(QLatin1String(stepIcons[i])), LoadResString(100 + i));

    const struct
    {
        QAction* action;
        int textId;
    } entries[] = {{ui->mnuFileOpenText, 204},   {ui->mnuFileSaveText, 206},
                   {ui->mnuFileSaveTextAs, 207}, {ui->mnuFileSaveErrorReportAs, 205},
                   {ui->mnuFileExit, 201},       {ui->mnuToolsSMTPServiceManager, 212},
                   {ui->mnuHelpHelp, 208},       {ui->mnuHelpAboutCorvanta, 209}};
    for (const auto& entry : entries)
        entry.action->setText(Texts::ReplaceAppTokens(LoadResString(entry.textId)));
    ui->mnuFile->setTitle(LoadResString(200));
    ui->mnuTools->setTitle(LoadResString(211));
    ui->mnuHelp->setTitle(LoadResString(208));
    // The text-file commands belong to the Compose step.
    for (QAction* entry : {ui->mnuFileOpenText, ui->mnuFileSaveText, ui->mnuFileSaveTextAs})
        entry->setEnabled(false);

    ui->cmdComposeAttach->setText(LoadResString(104));
    ui->cmdComposeFrom->setText(LoadResString(105));
    ui->lblComposeSubject->setText(LoadResString(106));
    ui->lblComposeTo->setText(LoadResString(107));
    m_tips.StartTip(this);
    m_tips.SetToolTip(ui->cmdComposeFrom, LoadResString(121));
    m_tips.SetToolTip(ui->cboComposeFrom, LoadResString(122));
    m_tips.SetToolTip(ui->cboComposeTo, LoadResString(123));
    m_tips.SetToolTip(ui->cmdComposeAttach, LoadResString(124));
    m_tips.SetToolTip(ui->lvwComposeAttach, LoadResString(125));
    ui->cmdComposeAttachPath->setText(LoadResString(4850));
    m_tips.SetToolTip(ui->cmdComposeAttachPath, LoadResString(4851));
    ui->txtComposeAttachPath->setPlaceholderText(LoadResString(4852));
}

void frmMain::ConnectSteps()
{
    m_callback->ConnectTabClick(this, &frmMain::TabClick);
    connect(ui->tabMain, &QTabBar::currentChanged, this, [this](int index) {
        if (m_settingTab == 0 && index >= 0)
            m_callback->RaiseTabClick(index);
    });
    // A click on the tab already selected runs its entry checks again.
    connect(ui->tabMain, &QTabBar::tabBarClicked, this, [this](int index) {
        if (index >= 0 && index == ui->tabMain->currentIndex())
            m_callback->RaiseTabClick(index);
    });
    connect(ui->barMainSteps, &ctlMainSteps::NextClick, this, [this] { SelectNextTab(1); });
    connect(ui->barMainSteps, &ctlMainSteps::PreviousClick, this, [this] { SelectNextTab(-1); });
    // X11 turns Shift+Tab into Backtab and keeps Shift, so Ctrl+Shift+Tab
    // arrives as Ctrl+Shift+Backtab; other systems send Tab. Both are taken,
    // by one shortcut, so that the two can never be ambiguous.
    for (const auto& [keys, delta] :
         {std::pair{QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::Key_Tab)}, 1},
          std::pair{QList<QKeySequence>{QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
                                        QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)},
                    -1}}) {
        auto* shortcut = new QShortcut(this);
        shortcut->setKeys(keys);
        const auto step = [this, delta = delta] {
            // In the two message bodies the key is the text box's own.
            QWidget* focus = QApplication::focusWidget();
            if (auto* body = qobject_cast<QPlainTextEdit*>(focus);
                body && body->objectName().endsWith(QLatin1String("TextBody"))) {
                if (delta > 0 && !body->isReadOnly())
                    body->insertPlainText(QStringLiteral("\t"));
                return;
            }
            SelectNextTab(delta);
        };
        connect(shortcut, &QShortcut::activated, this, step);
        connect(shortcut, &QShortcut::activatedAmbiguously, this, step);
    }

    connect(ui->mnuFileExit, &QAction::triggered, this, &QWidget::close);
    connect(ui->mnuToolsSMTPServiceManager, &QAction::triggered, this,
            [this] { frmSMTPServiceManager::Manage(this); });

    connect(ui->wizRecipients, &ctlWizRecipients::DeleteRecipientList, this,
            &frmMain::DeleteRecipientList);
    connect(ui->wizRecipients, &ctlWizRecipients::EditRecipientList, this,
            &frmMain::EditRecipientList);
    connect(ui->wizRecipients, &ctlWizRecipients::NewRecipientList, this,
            &frmMain::NewRecipientList);
    connect(ui->wizRecipients, &ctlWizRecipients::ImportRecipientList, this,
            &frmMain::ImportRecipientList);
    connect(ui->wizRecipients, &ctlWizRecipients::FilterRecipients, this,
            &frmMain::FilterRecipients);
}

void frmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // The first activation selects step 1.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && !m_activated) {
        m_activated = true;
        m_callback->RaiseTabClick(0);
    }
}

void frmMain::ShowStartHints()
{
    if (m_rcptLsts.Count() == 0)
        ui->wizRecipients->MsgNewRecipientList();
}

void frmMain::SelectTab(int index)
{
    ++m_settingTab;
    ui->tabMain->setCurrentIndex(index);
    --m_settingTab;
}

void frmMain::SelectNextTab(int delta)
{
    const int index = ui->tabMain->currentIndex() + delta;
    if (index >= 0 && index < StepCount)
        ui->tabMain->setCurrentIndex(index);
}

void frmMain::ShowBalloon(QWidget* target, int textId, int x, int y)
{
    const QString text = LoadResString(textId);
    m_balloon->ShowBalloonTip(target, Texts::BalloonTitle(text), Texts::BalloonBody(text),
                              ctlBalloonTip::IconInfo, x, y);
}

void frmMain::RefuseTab(int requested)
{
    Q_UNUSED(requested);
    SelectTab(m_currentStep - 1);
    // Point at the tab the user may go to next.
    const int next = m_currentStep; // 0-based index of the step after the current one
    const QRect tab = ui->tabMain->tabRect(next);
    const QString text =
        LoadResString(160).replace(QLatin1String("#TAB#"), ui->tabMain->tabText(next));
    m_balloon->ShowBalloonTip(ui->tabMain, Texts::BalloonTitle(text), Texts::BalloonBody(text),
                              ctlBalloonTip::IconInfo, tab.center().x(), tab.bottom());
}

bool frmMain::RecipientsComplete() const
{
    const Recordset& imported = RecipientImport::ImportedRecipients();
    return imported.State() == Recordset::StateOpen && !(imported.AtBOF() && imported.AtEOF());
}

bool frmMain::ComposeComplete() const
{
    return ui->cboComposeTo->currentIndex() >= 0 && ui->cboComposeFrom->currentIndex() >= 0 &&
           !ui->txtComposeSubject->text().isEmpty() &&
           !ui->txtComposeTextBody->document()->isEmpty();
}

bool frmMain::CheckComposeEntry()
{
    if (!RecipientsComplete()) {
        SelectTab(StepRecipients - 1);
        ui->wizRecipients->MsgImportRecipientList();
        return false;
    }
    const struct
    {
        bool missing;
        QWidget* control;
        int textId;
    } checks[] = {{ui->cboComposeFrom->currentIndex() < 0, ui->cboComposeFrom, 109},
                  {ui->cboComposeTo->currentIndex() < 0, ui->cboComposeTo, 110},
                  {ui->txtComposeSubject->text().isEmpty(), ui->txtComposeSubject, 111},
                  {ui->txtComposeTextBody->document()->isEmpty(), ui->txtComposeTextBody, 112}};
    for (const auto& check : checks) {
        if (check.missing) {
            SelectTab(StepCompose - 1);
            ShowBalloon(check.control, check.textId);
            return false;
        }
    }
    return true;
}

void frmMain::TabClick(int index)
{
    // The tabs are disabled while a merge, send or import runs.
    if (m_busy)
        return;
    // A tab takes no focus, so the preview box being edited has not stored
    // its text into its mail yet.
    StorePreviewEdit(QApplication::focusWidget());
    WaitCursor wait;
    wait.SetPointer(WaitCursor::Hourglass);
    for (QAction* entry : {ui->mnuFileOpenText, ui->mnuFileSaveText, ui->mnuFileSaveTextAs})
        entry->setEnabled(false);
    Recordset& imported = RecipientImport::ImportedRecipients();
    try {
        imported.MoveFirst();
    } catch (const AppError&) {
        // Nothing imported yet.
    }

    const int step = index + 1;
    if (step > m_currentStep + 1) {
        RefuseTab(index);
    } else {
        // The mails changed while unlocked are merged again on the way
        // back to Preview, whichever step the user leaves from.
        if (m_previewUnlocked && m_currentStep >= StepPreview && step <= StepCompose) {
            const QString text = Texts::MessageBoxText(LoadResString(159), 2);
            if (Dialogs::Message(this, text, QMessageBox::Yes | QMessageBox::No,
                                 Dialogs::Icon::Question) != QMessageBox::Yes) {
                SelectTab(m_currentStep - 1);
                ShowSelectedStep();
                return;
            }
            m_previewUnlocked = false;
        }
        switch (step) {
        case StepSend:
            CheckComposeEntry();
            break;
        case StepPreview:
            if (CheckComposeEntry() && m_currentStep <= StepCompose)
                EnterPreview();
            break;
        case StepCompose:
            if (RecipientsComplete()) {
                ui->wizCompose->UpdateFieldsMenu(imported);
                ui->cboComposeFrom->setFocus();
            } else {
                SelectTab(StepRecipients - 1);
                ui->wizRecipients->MsgImportRecipientList();
            }
            break;
        default:
            RefreshRecipientLists();
            break;
        }
    }
    ShowSelectedStep();
}

void frmMain::ShowSelectedStep()
{
    const int index = qMax(0, ui->tabMain->currentIndex());
    ui->stkSteps->setCurrentIndex(index);
    m_currentStep = index + 1;
    ui->barMainSteps->UpdateSteps(m_currentStep, StepCount);
    // The text-file commands follow the step shown, however it was reached.
    for (QAction* entry : {ui->mnuFileOpenText, ui->mnuFileSaveText, ui->mnuFileSaveTextAs})
        entry->setEnabled(m_currentStep == StepCompose);
}

void frmMain::UpdateStatusbar()
{
    const Recordset& imported = RecipientImport::ImportedRecipients();
    QString count = QStringLiteral("N/A");
    if (imported.State() == Recordset::StateOpen)
        count = QString::number(imported.AtBOF() && imported.AtEOF() ? 0 : imported.RecordCount());
    findChild<QLabel*>(QStringLiteral("sbMainRecipients"))
        ->setText(LoadResString(171) + QStringLiteral(": ") + count);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // A run that ends with the program would leave mails unreported and
    // the windows it disabled half-done; its own Cancel stops it.
    if (m_busy || !AskToSaveMessage(180, 179, 1)) {
        event->ignore();
        return;
    }
    SaveDraft();
    event->accept();
}
