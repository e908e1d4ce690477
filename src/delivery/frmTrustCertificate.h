#pragma once

#include "platform/mail/ServerCertificate.h"

#include <QDialog>
#include <memory>

namespace Ui {
class frmTrustCertificate;
}

// Shows a mail server's certificate that failed verification and asks
// whether to trust exactly that one for that host.
class frmTrustCertificate : public QDialog
{
    Q_OBJECT

public:
    // Shows the question modally over the owner; true for Trust.
    static bool Ask(QWidget* owner, const ServerCertificate& certificate);

    // The fingerprint as people compare it: hex pairs joined by ":", two lines.
    static QString Readable(const QString& sha256);

    ~frmTrustCertificate() override;

private:
    frmTrustCertificate(QWidget* owner, const ServerCertificate& certificate);

    std::unique_ptr<Ui::frmTrustCertificate> ui;
};
