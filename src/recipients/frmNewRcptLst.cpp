#include "recipients/frmNewRcptLst.h"

#include "base/AppError.h"
#include "base/Texts.h"
#include "controls/WaitCursor.h"
#include "controls/ctlBalloonTip.h"
#include "controls/modForms.h"
#include "platform/http/HttpGet.h"
#include "platform/providers/guarded/GuardedReader.h"
#include "recipients/RecipientList.h"
#include "recipients/ctlNewRcptLstPages.h"
#include "ui_frmNewRcptLst.h"

#include <QPointer>
#include <optional>

frmNewRcptLst::frmNewRcptLst(QWidget* owner, std::shared_ptr<RecipientList> list)
    : QDialog(owner), ui(std::make_unique<Ui::frmNewRcptLst>()), m_list(std::move(list))
{
    ui->setupUi(this);
    m_balloon = new ctlBalloonTip(this);
    setWindowTitle(LoadResString(1200));
    ui->cmdPrevious->setText(LoadResString(1));
    ui->cmdNext->setText(LoadResString(0));
    ui->cmdFinish->setText(LoadResString(3));
    ui->cmdCancel->setText(LoadResString(4));
    connect(ui->cmdNext, &QPushButton::clicked, this, &frmNewRcptLst::cmdNext_Click);
    connect(ui->cmdPrevious, &QPushButton::clicked, this, &frmNewRcptLst::cmdPrevious_Click);
    connect(ui->cmdFinish, &QPushButton::clicked, this, &frmNewRcptLst::cmdFinish_Click);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &frmNewRcptLst::reject);
    for (int page = PageName; page <= PageExcelFirstRow; ++page)
        PageControl(page)->SetAttempt([this](const std::function<void()>& work) { Attempt(work); });
    modForms::ApplyFonts(this);
    modForms::InstallHelpKey(this);
    GoTo(PageName);
}

frmNewRcptLst::~frmNewRcptLst() = default;

bool frmNewRcptLst::ShowWizard(QWidget* owner)
{
    const std::shared_ptr<RecipientList> list = EditedRecipientList();
    if (!list)
        return false;
    // Only Finish makes a list valid.
    list->SetIsListValid(false);
    frmNewRcptLst wizard(owner, list);
    wizard.exec();
    return list->IsListValid();
}

int frmNewRcptLst::SourcePage(qint32 dataType)
{
    switch (dataType) {
    case RecipientList::SQLServer:
        return PageSQL;
    case RecipientList::Access:
        return PageAccess;
    case RecipientList::XML:
        return PageXml;
    case RecipientList::Excel:
        return PageExcel;
    case RecipientList::Advanced:
        return PageAdvanced;
    case RecipientList::Outlook:
        return PageOutlookProfile;
    default:
        return PageSourceType;
    }
}

int frmNewRcptLst::NextPage(int page, qint32 dataType)
{
    switch (page) {
    case PageName:
        return PageSourceType;
    case PageSourceType:
        return SourcePage(dataType);
    case PageSQL:
    case PageAccess:
    case PageExcel:
    case PageAdvanced:
        return PageCatalog;
    case PageCatalog:
        return dataType == RecipientList::Excel ? PageExcelFirstRow : PageFinish;
    case PageOutlookProfile:
        return PageOutlookCatalog;
    default:
        return PageFinish; // XML, the Outlook folder and the first-row page
    }
}

int frmNewRcptLst::PreviousPage(int page, qint32 dataType)
{
    switch (page) {
    case PageName:
    case PageSourceType:
        return PageName;
    case PageCatalog:
        // Only the four sources with a catalog come here.
        return SourcePage(dataType);
    case PageFinish:
        switch (dataType) {
        case RecipientList::XML:
            return PageXml;
        case RecipientList::Excel:
            return PageExcelFirstRow;
        case RecipientList::Outlook:
            return PageOutlookCatalog;
        default:
            return PageCatalog;
        }
    case PageOutlookCatalog:
        return PageOutlookProfile;
    case PageExcelFirstRow:
        return PageCatalog;
    default:
        return PageSourceType; // the source pages and the Outlook profile
    }
}

ctlNewRcptLstPage* frmNewRcptLst::PageControl(int page) const
{
    return static_cast<ctlNewRcptLstPage*>(ui->fraPages->widget(page - 1));
}

void frmNewRcptLst::SetButtons()
{
    ui->cmdPrevious->setEnabled(m_page != PageName);
    ui->cmdNext->setEnabled(m_page != PageFinish);
    ui->cmdFinish->setEnabled(m_page == PageFinish);
    // On the catalog page Enter belongs to the list, not to Next.
    ui->cmdNext->setDefault(m_page != PageCatalog && m_page != PageFinish);
    ui->cmdFinish->setDefault(m_page == PageFinish);
}

void frmNewRcptLst::Attempt(const std::function<void()>& work)
{
    if (m_trying) {
        work();
        return;
    }
    // Only Cancel stays usable while a source is tried; events keep running.
    const QPointer<QWidget> focus = focusWidget();
    m_trying = true;
    ui->fraPages->setEnabled(false);
    ui->cmdPrevious->setEnabled(false);
    ui->cmdNext->setEnabled(false);
    ui->cmdFinish->setEnabled(false);
    ui->lblTrying->setText(LoadResString(4000));
    ui->lblTrying->repaint();
    struct Done
    {
        frmNewRcptLst* form;
        QPointer<QWidget> focus;
        ~Done()
        {
            form->m_trying = false;
            form->ui->fraPages->setEnabled(true);
            form->ui->lblTrying->clear();
            form->SetButtons();
            if (focus)
                focus->setFocus();
        }
    } done{this, focus};
    WaitCursor wait;
    wait.SetPointer(WaitCursor::Hourglass);
    work();
    // Cancelled meanwhile: the window goes, whoever asked for the work.
    if (m_cancelled)
        QDialog::reject();
}

void frmNewRcptLst::reject()
{
    if (m_trying) {
        // The waiting call raises its cancel error; the caller then closes.
        m_cancelled = true;
        GuardedReader::CancelRunning();
        HttpGet::CancelRunning();
        return;
    }
    QDialog::reject();
}

void frmNewRcptLst::GoTo(int page)
{
    ctlNewRcptLstPage* leaving = PageControl(m_page);
    if (page != m_page)
        leaving->Leave();
    m_page = page;
    ui->fraPages->setCurrentIndex(page - 1);
    SetButtons();
    std::optional<AppError> failed;
    Attempt([&] {
        try {
            PageControl(page)->SetControlValues(*m_list);
        } catch (const AppError& error) {
            failed = error;
        }
    });
    if (m_cancelled)
        return;
    FocusPage();
    if (failed)
        m_balloon->ShowBalloonTip(ui->cmdNext, LoadResString(5), failed->Description(),
                                  ctlBalloonTip::IconError);
}

void frmNewRcptLst::FocusPage()
{
    ctlNewRcptLstPage* page = PageControl(m_page);
    for (QWidget* next = page->nextInFocusChain(); next && next != page;
         next = next->nextInFocusChain()) {
        if (!page->isAncestorOf(next))
            break;
        if (next->isEnabled() && (next->focusPolicy() & Qt::TabFocus)) {
            next->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    page->setFocus();
}

void frmNewRcptLst::ShowRefusal(const AppError& error)
{
    if (error.Number() == ctlNewRcptLstPage::ErrField ||
        error.Number() == ctlNewRcptLstPage::ErrSecondField) {
        m_balloon->ShowBalloonTip(PageControl(m_page)->Anchor(error.Number()),
                                  Texts::BalloonTitle(error.Description()),
                                  Texts::BalloonBody(error.Description()), ctlBalloonTip::IconInfo);
        return;
    }
    // A failed connection on the pages that connect; a failed read elsewhere.
    const bool connecting = m_page >= PageSQL && m_page <= PageAdvanced;
    m_balloon->ShowBalloonTip(ui->cmdNext, LoadResString(connecting ? 6 : 5), error.Description(),
                              ctlBalloonTip::IconError);
}

void frmNewRcptLst::cmdNext_Click()
{
    if (m_trying || m_page == PageFinish)
        return;
    ctlBalloonTip::CloseBalloon();
    ctlNewRcptLstPage* page = PageControl(m_page);
    page->GetControlValues(*m_list);
    std::optional<AppError> refused;
    Attempt([&] {
        try {
            page->Validate(*m_list);
        } catch (const AppError& error) {
            refused = error;
        }
    });
    if (m_cancelled)
        return;
    if (refused)
        return ShowRefusal(*refused);
    GoTo(NextPage(m_page, m_list->DataType()));
}

void frmNewRcptLst::cmdPrevious_Click()
{
    if (m_trying || m_page == PageName)
        return;
    ctlBalloonTip::CloseBalloon();
    // What was typed on the page being left is dropped.
    GoTo(PreviousPage(m_page, m_list->DataType()));
}

void frmNewRcptLst::cmdFinish_Click()
{
    if (m_trying || m_page != PageFinish)
        return;
    m_list->SetIsListValid(true);
    accept();
}
