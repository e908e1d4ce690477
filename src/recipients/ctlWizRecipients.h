#pragma once

#include "controls/ToolTip.h"

#include <QWidget>
#include <memory>

namespace Ui {
class ctlWizRecipients;
}
class ctlBalloonTip;
class RecipientLists;

// The Recipients step: the saved lists and the buttons that act on them. It
// keeps no model of its own: it reads the main window's lists and tells the
// window what the user asked for; positions are 1-based.
class ctlWizRecipients : public QWidget
{
    Q_OBJECT

public:
    explicit ctlWizRecipients(QWidget* parent = nullptr);
    ~ctlWizRecipients() override;

    // The lists shown; must outlive the control.
    void SetRecipientLists(RecipientLists* lists) { m_lists = lists; }

    // Refills the list box from the lists, in order.
    void PopulateList();
    // The selected entry's 1-based position, 0 when none.
    int SelectedRecipientList() const;
    void SetSelectedRecipientList(int position);

    // The Filter Recipients button's action: refused with the import hint
    // until a list is imported.
    void cmdFilterRecipients_Click();

    void MsgNewRecipientList();
    void MsgSelectRecipientList();
    void MsgImportRecipientList();
    void MsgImportError(const QString& description);
    void MsgLastsavedWithFilters();

Q_SIGNALS:
    void DeleteRecipientList(int position);
    void EditRecipientList(int position);
    void NewRecipientList();
    void ImportRecipientList(int position);
    // The imported list's filter dialog is asked for; the list's entry is
    // selected.
    void FilterRecipients();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The selection for the buttons that need one, after the hints; 0 when
    // the action must not go on.
    int CheckedSelection();
    void ShowMessage(QWidget* target, int textId, int icon, int x = 0, int y = 0);

    std::unique_ptr<Ui::ctlWizRecipients> ui;
    ctlBalloonTip* m_balloon = nullptr;
    ToolTip m_tips;
    RecipientLists* m_lists = nullptr;
};
