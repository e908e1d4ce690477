#pragma once

#include <QDialog>
#include <functional>
#include <memory>

class AppError;
class ctlBalloonTip;
class RecipientList;
class ctlNewRcptLstPage;

namespace Ui {
class frmNewRcptLst;
}

// The New Recipient List wizard, working on EditedRecipientList(). Every
// page that touches a source proves it before Next goes on; while a trial
// waits on a source (a server, a web address, the reader helper) the window
// stays alive, shows that it is trying, and Cancel ends the attempt.
class frmNewRcptLst : public QDialog
{
    Q_OBJECT

public:
    enum Page : int
    {
        PageName = 1,
        PageSourceType,
        PageSQL,
        PageAccess,
        PageXml,
        PageExcel,
        PageAdvanced,
        PageCatalog,
        PageFinish,
        PageOutlookProfile,
        PageOutlookCatalog,
        PageExcelFirstRow,
    };

    // Shows the wizard modally over the owner; true when it ended with
    // Finish (the list is then valid).
    static bool ShowWizard(QWidget* owner);

    // Where Next and Previous lead from a page, for a source type.
    static int NextPage(int page, qint32 dataType);
    // The page that asks for a source of this kind.
    static int SourcePage(qint32 dataType);
    static int PreviousPage(int page, qint32 dataType);

    ~frmNewRcptLst() override;

    int CurrentPage() const { return m_page; }

    // During a trial: ends the attempt, then the window.
    void reject() override;

private:
    frmNewRcptLst(QWidget* owner, std::shared_ptr<RecipientList> list);

    ctlNewRcptLstPage* PageControl(int page) const;
    void GoTo(int page);
    void SetButtons();
    void Attempt(const std::function<void()>& work);
    void ShowRefusal(const AppError& error);
    void FocusPage();
    void cmdNext_Click();
    void cmdPrevious_Click();
    void cmdFinish_Click();

    std::unique_ptr<Ui::frmNewRcptLst> ui;
    std::shared_ptr<RecipientList> m_list;
    ctlBalloonTip* m_balloon;
    int m_page = PageName;
    bool m_trying = false;
    bool m_cancelled = false;
};
