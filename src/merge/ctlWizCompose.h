#pragma once

#include "controls/ToolTip.h"

#include <QWidget>
#include <memory>

namespace Ui {
class ctlWizCompose;
}
class ctlBalloonTip;
class Recordset;

// The Compose step's side panel: the imported columns, and Insert Field,
// which asks the main window to put a column's marker into the subject or
// the body.
class ctlWizCompose : public QWidget
{
    Q_OBJECT

public:
    explicit ctlWizCompose(QWidget* parent = nullptr);
    ~ctlWizCompose() override;

    // One entry per column of the record set, as the column lists show
    // them; empty when the record set is not open.
    void UpdateFieldsMenu(const Recordset& recipients);

Q_SIGNALS:
    // The marker of the chosen column («name» or ««[Column n]»»).
    void InsertField(const QString& marker);

private:
    void cmdInsertField_Click();

    std::unique_ptr<Ui::ctlWizCompose> ui;
    ctlBalloonTip* m_balloon = nullptr;
    ToolTip m_tips;
};
