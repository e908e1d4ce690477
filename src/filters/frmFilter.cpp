#include "filters/frmFilter.h"

#include "base/Texts.h"
#include "ui_frmFilter.h"

frmFilter::frmFilter(QWidget* owner) : QDialog(owner), ui(std::make_unique<Ui::frmFilter>())
{
    ui->setupUi(this);
    setWindowTitle(LoadResString(500));
    ui->cmdCancel->setText(LoadResString(4));
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

frmFilter::~frmFilter() = default;

bool frmFilter::ShowFilter(QWidget* owner)
{
    frmFilter dialog(owner);
    return dialog.exec() == QDialog::Accepted;
}
