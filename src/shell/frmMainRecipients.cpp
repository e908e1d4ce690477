// The main window's side of the Recipients step: the list handlers and the
// import procedure.
#include "base/BusyGuard.h"
#include "controls/RecordsetTableModel.h"
#include "controls/WaitCursor.h"
#include "filters/frmFilter.h"
#include "recipients/RecipientImport.h"
#include "recipients/frmNewRcptLst.h"
#include "shell/frmMain.h"
#include "store/DataStore.h"
#include "ui_frmMain.h"

#include <QCoreApplication>

namespace {

// Keeps the window from taking any command while a source is read: the
// read may wait with events running (a web address, a guarded reader).
class BusyWindow
{
public:
    explicit BusyWindow(QWidget* window) : m_window(window) { m_window->setEnabled(false); }
    ~BusyWindow() { m_window->setEnabled(true); }
    BusyWindow(const BusyWindow&) = delete;
    BusyWindow& operator=(const BusyWindow&) = delete;

private:
    QWidget* m_window;
};

} // namespace

void frmMain::SaveStore()
{
    m_store->Save();
}

void frmMain::RefreshRecipientLists()
{
    ui->wizRecipients->PopulateList();
    if (m_rcptLsts.CurrentIndex() >= 1)
        ui->wizRecipients->SetSelectedRecipientList(m_rcptLsts.CurrentIndex());
    ui->barMainSteps->UpdateSteps(m_currentStep, ui->tabMain->count());
}

void frmMain::DeleteRecipientList(int position)
{
    if (position >= 1 && position <= m_rcptLsts.Count()) {
        m_rcptLsts.Remove(position);
        SaveStore();
    }
    // The imported rows stay, but no list is current any more.
    m_rcptLsts.SetCurrentIndex(0);
    RefreshRecipientLists();
}

void frmMain::NewRecipientList()
{
    WaitCursor wait;
    auto list = std::make_shared<RecipientList>();
    SetEditedRecipientList(list);
    const bool finished = frmNewRcptLst::ShowWizard(this);
    wait.SetPointer(WaitCursor::Hourglass);
    if (finished) {
        m_rcptLsts.Add(list);
        m_rcptLsts.SetCurrentIndex(m_rcptLsts.Count());
        SaveStore();
        ImportRecipientList(m_rcptLsts.CurrentIndex());
    }
    SetEditedRecipientList(nullptr);
    RefreshRecipientLists();
}

void frmMain::EditRecipientList(int position)
{
    const std::shared_ptr<RecipientList> list = m_rcptLsts.ItemPtr(position);
    const RecipientList before = *list;
    SetEditedRecipientList(list);
    // The current list stays the one the grid holds until the edit is
    // finished and imported.
    if (frmNewRcptLst::ShowWizard(this)) {
        // A changed source makes the saved filter rows meaningless.
        list->SetFilters(Filters());
        m_rcptLsts.SetCurrentIndex(position);
        SaveStore();
        ImportRecipientList(position);
    } else {
        // Everything but the filter rows goes back as it was.
        const Filters filters = list->Filters();
        *list = before;
        list->SetFilters(filters);
    }
    SetEditedRecipientList(nullptr);
    RefreshRecipientLists();
    // The list the user chose stays selected, whichever is current.
    ui->wizRecipients->SetSelectedRecipientList(position);
}

void frmMain::FilterRecipients()
{
    const int current = m_rcptLsts.CurrentIndex();
    if (current < 1)
        return;
    if (frmFilter::ShowFilter(this, RecipientImport::ImportedRecipients(),
                              m_rcptLsts.ItemPtr(current)->Filters())) {
        SaveStore();
        m_recipientsModel->Bind(
            &RecipientImport::ImportedRecipients(),
            RecipientImport::ColumnLabels(RecipientImport::ImportedRecipients()));
        UpdateStatusbar();
    }
}

void frmMain::ImportRecipientList(int position)
{
    BusyGuard busy(m_busy);
    if (!busy.Entered())
        return;
    WaitCursor wait;
    wait.SetPointer(WaitCursor::Hourglass);
    Recordset& imported = RecipientImport::ImportedRecipients();
    RecipientImport::Outcome outcome;
    {
        // Disabled before any event can run.
        BusyWindow disabled(this);
        m_recipientsModel->Unbind();
        QCoreApplication::processEvents();
        outcome = RecipientImport::Import(m_rcptLsts, position, imported);
    }
    if (!outcome.Succeeded()) {
        ui->wizRecipients->MsgImportError(outcome.Error->Description());
        // Nothing of the last import may stay on offer.
        RefillComposeLists({});
        UpdateStatusbar();
        ui->wizCompose->UpdateFieldsMenu(imported);
        return;
    }
    m_recipientsModel->Bind(&imported, outcome.Labels);
    QCoreApplication::processEvents();
    RefillComposeLists(outcome.Labels);
    ui->wizCompose->UpdateFieldsMenu(imported);
    UpdateStatusbar();
    if (outcome.HasSavedFilters)
        ui->wizRecipients->MsgLastsavedWithFilters();
}
