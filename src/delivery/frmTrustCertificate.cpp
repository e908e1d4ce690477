#include "delivery/frmTrustCertificate.h"

#include "base/Texts.h"
#include "controls/modForms.h"
#include "ui_frmTrustCertificate.h"

#include <QFontDatabase>
#include <QLayout>
#include <QLocale>

frmTrustCertificate::frmTrustCertificate(QWidget* owner, const ServerCertificate& certificate)
    : QDialog(owner), ui(std::make_unique<Ui::frmTrustCertificate>())
{
    ui->setupUi(this);
    setWindowTitle(LoadResString(4301));
    ui->lblHeader->setText(LoadResString(4302));
    ui->lblMessage->setText(LoadResString(4303).replace(QLatin1String("#HOST#"), certificate.host));
    ui->lblSubject->setText(LoadResString(4304));
    ui->lblIssuer->setText(LoadResString(4305));
    ui->lblValidity->setText(LoadResString(4306));
    ui->lblFingerprint->setText(LoadResString(4308));
    ui->lblSubjectText->setText(certificate.subject);
    ui->lblIssuerText->setText(certificate.issuer);
    const QLocale locale;
    ui->lblValidityText->setText(
        LoadResString(4307)
            .replace(QLatin1String("#FROM#"), locale.toString(certificate.validFrom.toLocalTime(), QLocale::ShortFormat))
            .replace(QLatin1String("#TO#"), locale.toString(certificate.validTo.toLocalTime(), QLocale::ShortFormat)));
    ui->lblFingerprintText->setText(Readable(certificate.sha256));
    ui->cmdTrust->setText(LoadResString(4309));
    ui->cmdCancel->setText(LoadResString(4));
    connect(ui->cmdTrust, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    modForms::ApplyFonts(this);
    // Set after the interface font: the digits are compared column by column.
    ui->lblFingerprintText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // Wrapped names need their height for the width they get.
    layout()->setSizeConstraint(QLayout::SetMinimumSize);
    adjustSize();
}

frmTrustCertificate::~frmTrustCertificate() = default;

bool frmTrustCertificate::Ask(QWidget* owner, const ServerCertificate& certificate)
{
    frmTrustCertificate dialog(owner, certificate);
    return dialog.exec() == QDialog::Accepted;
}

QString frmTrustCertificate::Readable(const QString& sha256)
{
    QStringList pairs;
    for (qsizetype i = 0; i < sha256.size(); i += 2)
        pairs << sha256.mid(i, 2).toUpper();
    const qsizetype half = (pairs.size() + 1) / 2;
    return pairs.mid(0, half).join(u':') + (pairs.size() > half ? u'\n' + pairs.mid(half).join(u':') : QString());
}
