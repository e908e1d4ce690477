#pragma once

#include "controls/ToolTip.h"
#include "delivery/SendErrorLog.h"
#include "recipients/RecipientLists.h"

#include <QMainWindow>
#include <memory>
#include <vector>

namespace Ui {
class frmMain;
}
class Callback;
class ctlBalloonTip;
class DataStore;
class Mails;
class SendClock;
class SendJournal;
class RecordsetTableModel;
class QMenu;
class QTimer;
class QTreeWidget;

// The program's main window: the four steps on a tab strip, the menus and
// the status bar. It owns the saved lists, the send error log and the store
// (made in that order, the store loaded once), and writes the store after
// every change to lists, filters or senders, so nothing entered is lost to
// a crash.
//
// Steps change only through TabClick, which a click on a tab, a step-bar
// link or Ctrl+Tab reaches through the Callback relay: a step may be entered
// when the earlier ones are complete, one step forward at a time.
class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    RecipientLists& RcptLsts() { return m_rcptLsts; }
    SendErrorLog& SendErrors() { return m_sendErrorLog; }
    // The clock send runs wait on (retries, pace); none: the wall's.
    void SetSendClock(const SendClock* clock) { m_sendClock = clock; }
    // 1 to 4: the step whose frame is shown.
    int CurrentStep() const { return m_currentStep; }

    // The step-change rules for a clicked tab (0-based).
    void TabClick(int index);

    // Second status bar panel: the number of imported recipients.
    void UpdateStatusbar();

    bool RecipientsComplete() const;
    bool ComposeComplete() const;

    // Start-up's last step: the hint to create a list when there is none.
    void ShowStartHints();

    // The import procedure for the list at a 1-based position; returns at
    // once while a merge, send or import runs.
    void ImportRecipientList(int position);

    // The mails of the last merge; null before the first.
    Mails* mobjMails() const { return m_mails.get(); }
    // Merges one mail per visible recipient under the progress window;
    // false when cancelled, when there was nothing to merge, or when the
    // record set failed (reported), and at once while a merge, send or
    // import runs.
    bool MergeForPreview();
    void StopMergingPreview();

    // The send command: the attachments checked, confirmation, the run
    // under its progress window, the failures in the grid as they come, and
    // the summary. Returns at once while a merge, send or import runs.
    void SendMails();
    void ShowTestEMail();
    void StopMails();
    // Mails handled in the current or last run.
    qint32 MailsHandled() const { return m_mailsHandled; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The four steps, numbered as the step bar shows them; a step's tab is
    // its number less one.
    enum Step
    {
        StepRecipients = 1,
        StepCompose = 2,
        StepPreview = 3,
        StepSend = 4
    };

    // Building the window.
    void LoadCaptions();
    void ConnectSteps();
    void ConnectCompose();

    // Help: the Help menu, the about box and the What's This menus.
    void ConnectHelp();
    void ShowWhatsThisMenu(const QString& tag, const QPoint& globalPosition);
    void mnuWhatsThisHelpWhatsThis_Click();
    static QString AttachmentHelpTag(const QTreeWidget* list, int state);

    // Step changes.
    void SelectTab(int index); // without running the rules
    void ShowSelectedStep();
    void RefuseTab(int requested);
    bool CheckComposeEntry(); // balloons at the first missing item
    void SelectNextTab(int delta);
    void ShowBalloon(QWidget* target, int textId, int x = 0, int y = 0);

    // Recipients step.
    void DeleteRecipientList(int position);
    void NewRecipientList();
    void EditRecipientList(int position);
    void FilterRecipients();
    void RefreshRecipientLists();
    void SaveStore();

    // Compose step.
    void InsertField(const QString& marker);
    // The attachment lists of the Compose and Preview steps.
    bool AttachFiles(QTreeWidget* list);
    void AddAttachment(QTreeWidget* list, const QString& path);
    bool RemoveSelectedAttachment(QTreeWidget* list);
    void ShowAttachmentMenu(QTreeWidget* list, const QPoint& position);
    static QString AttachmentKeys(const QTreeWidget* list);
    void RefillComposeLists(const QStringList& labels);
    void SetMessageText(const QString& text);
    bool AskToSaveMessage(int questionWithoutFile, int questionWithFile, int lineBreaks);
    void mnuFileOpenText_Click();
    bool mnuFileSaveText_Click();
    bool mnuFileSaveTextAs_Click();
    // The composed mailing kept between runs of the program.
    void RestoreDraft();
    void SaveDraft();

    // Preview step.
    void ConnectPreview();
    void EnterPreview();
    bool LockMails();
    void MergeFailed();
    void UnlockMails();
    void SetPreviewEditable(bool editable);
    void Move(qint32 index);
    void StorePreviewEdit(QObject* box);
    void cmdPreviewFrom_Click();
    void PreviewAttachmentsChanged();

    // Send step.
    void ConnectSend();
    // Which mails a Send sends when this mailing was sent before (empty:
    // all); false when the user sends nothing.
    bool ChooseMailsToSend(SendJournal& journal, std::vector<int>& positions);
    QByteArray MailingContext() const;
    // The checks before sending; true to send.
    bool EnsureSignedIn();
    bool AcceptSendChecks();
    // Save Mail Errors As: the log as a workbook or as delimited text.
    void mnuFileSaveErrorReportAs_Click();
    void SetStatusText(const QString& text);

    std::unique_ptr<Ui::frmMain> ui;
    RecipientLists m_rcptLsts;
    std::unique_ptr<Mails> m_mails;
    SendErrorLog m_sendErrorLog;
    std::unique_ptr<DataStore> m_store;
    Callback* m_callback = nullptr;
    int m_currentStep = 1;
    bool m_previewUnlocked = false;
    bool m_activated = false;
    // While a merge, send or import runs: their events may run anything, so
    // none of them starts again and the window does not close.
    bool m_busy = false;
    int m_settingTab = 0; // > 0 while the program itself selects a tab
    RecordsetTableModel* m_recipientsModel = nullptr;
    RecordsetTableModel* m_sendModel = nullptr;
    qint32 m_mailsHandled = 0;
    const SendClock* m_sendClock = nullptr;
    ctlBalloonTip* m_balloon = nullptr;
    QMenu* mnuWhatsThisHelp = nullptr; // its one entry's data is the help tag
    ToolTip m_tips;

    // Compose state.
    QString m_composeLastFucus; // "Subject", "Body" or "AttachPath": the box left last
    QString m_messageFile;
    bool m_messageChanged = false;
    // Saves the draft once the typing has paused.
    QTimer* m_draftTimer = nullptr;
    // The kept To column, chosen by the first import that has it.
    QString m_draftToColumn;
    bool m_draftUntouchable = false; // its file could not be read nor kept aside
    bool m_draftProblemShown = false;
};
