#include "merge/frmMergingPreview.h"

#include "base/Texts.h"
#include "controls/modForms.h"
#include "ui_frmMergingPreview.h"

frmMergingPreview::frmMergingPreview(QWidget* owner)
    : ProgressForm(owner), ui(std::make_unique<Ui::frmMergingPreview>())
{
    ui->setupUi(this);
    setWindowTitle(LoadResString(900));
    ui->lblMerging->setText(LoadResString(901));
    Attach(ui->prgMergeCount, ui->lblCount, ui->cmdCancel, 902);
    modForms::ApplyFonts(this);
}

frmMergingPreview::~frmMergingPreview() = default;
