#include "recipients/frmNewRcptLst.h"

#include "base/Texts.h"
#include "recipients/RecipientList.h"
#include "ui_frmNewRcptLst.h"

frmNewRcptLst::frmNewRcptLst(QWidget* owner)
    : QDialog(owner), ui(std::make_unique<Ui::frmNewRcptLst>())
{
    ui->setupUi(this);
    setWindowTitle(LoadResString(2714));
    ui->cmdCancel->setText(LoadResString(4));
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

frmNewRcptLst::~frmNewRcptLst() = default;

bool frmNewRcptLst::ShowWizard(QWidget* owner)
{
    const std::shared_ptr<RecipientList> list = EditedRecipientList();
    if (!list)
        return false;
    // Only Finish makes a list valid.
    list->SetIsListValid(false);
    frmNewRcptLst wizard(owner);
    wizard.exec();
    return list->IsListValid();
}
