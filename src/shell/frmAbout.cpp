#include "shell/frmAbout.h"

#include "base/AppInfo.h"
#include "base/Texts.h"
#include "controls/Images.h"
#include "controls/modForms.h"
#include "shell/frmSysInfo.h"
#include "ui_frmAbout.h"

#include <QDesktopServices>
#include <QUrl>

frmAbout::frmAbout(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::frmAbout>())
{
    ui->setupUi(this);
    setWindowTitle(LoadResString(3300) + u' ' + AppInfo::ProductName());
    QPixmap picture;
    QString error;
    if (Images::LoadPictureTransparent(picture, QStringLiteral("IMG_SPLASH"), error, false))
        ui->imgSplash->setPixmap(picture);
    ui->lblTitle->setText(
        AppInfo::ProductName() + u' ' + LoadResString(3301).toLower() +
        QStringLiteral(" %1.%2.%3").arg(AppInfo::Major).arg(AppInfo::Minor).arg(AppInfo::Revision));
    ui->lblDescription->setText(AppInfo::Description());
    ui->lblCopyright->setText(AppInfo::Copyright());
    ui->lnkHomePage->SetText(AppInfo::HomePage());
    ui->lnkEMail->SetText(AppInfo::InfoMail());
    for (ctlLink* link : {ui->lnkHomePage, ui->lnkEMail})
        link->SetBackColor(Qt::white);
    connect(ui->lnkHomePage, &ctlLink::Click, this,
            [] { QDesktopServices::openUrl(QUrl(AppInfo::HomePage())); });
    connect(ui->lnkEMail, &ctlLink::Click, this, [] {
        QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + AppInfo::InfoMail()));
    });
    ui->cmdOK->setText(LoadResString(2));
    ui->cmdSysInfo->setText(LoadResString(3302));
    connect(ui->cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);
    modForms::ApplyFonts(this);
    setFixedSize(sizeHint());
    // Return closes the box; the links are reached with Tab.
    ui->cmdOK->setFocus();
}

frmAbout::~frmAbout() = default;

void frmAbout::StartSysInfo()
{
    frmSysInfo info(this);
    info.exec();
}
