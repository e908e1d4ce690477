#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmNewRcptLst;
}

// The New Recipient List wizard, working on EditedRecipientList(). Until its
// pages are built it shows an empty frame whose only way out is Cancel.
class frmNewRcptLst : public QDialog
{
    Q_OBJECT

public:
    // Shows the wizard modally over the owner; true when it ended with
    // Finish (the list is then valid).
    static bool ShowWizard(QWidget* owner);

    ~frmNewRcptLst() override;

private:
    explicit frmNewRcptLst(QWidget* owner);

    std::unique_ptr<Ui::frmNewRcptLst> ui;
};
