#pragma once

#include "merge/Mail.h"
#include "platform/mail/ServerCertificate.h"

#include <QDateTime>
#include <QDialog>
#include <QString>
#include <memory>
#include <optional>

class ctlBalloonTip;
class Mails;
class QLineEdit;

namespace Ui {
class frmSendTestEMail;
}

// The test e-mail wizard: a short fixed message to up to three of the
// user's own addresses, sent through the same send run as a mailing, then
// the errors or the question whether the mails arrived, and a verdict.
//
// Pages: 0 addresses, 1 errors, 2 success (did they arrive?), 3 settings
// correct, 4 settings not correct. While it sends the window paints and
// Cancel (or closing it) stops the run at once. A certificate the server
// showed and the run did not trust can be looked at and trusted from the
// errors page; trusting it saves the settings and sends again.
class frmSendTestEMail : public QDialog
{
    Q_OBJECT

public:
    // sender: the Compose step's chosen sender; without one nothing is sent
    // and each address is listed with what to do. senderText: the sender
    // box's text. folder: where the mail settings are; empty: the
    // version data folder.
    frmSendTestEMail(QWidget* owner, FromAddressRef sender, const QString& senderText,
                     const QString& folder = QString());
    ~frmSendTestEMail() override;

    int Page() const { return m_page; }

    // The test message's subject for one moment, the clock read once.
    static QString TestSubject(const QDateTime& now);

public Q_SLOTS:
    void reject() override;

private:
    void ShowPage(int page);
    void cmdNext_Click();
    void cmdPrevious_Click();
    void cmdTrustCertificate_Click();
    // Sends to the addresses given; returns false when the run was cancelled.
    bool SendTest();
    void AddError(const QString& description, const QString& to);
    void ShowBalloon(QLineEdit* target, int textId);

    std::unique_ptr<Ui::frmSendTestEMail> ui;
    ctlBalloonTip* m_balloon;
    FromAddressRef m_sender;
    QString m_senderText;
    QString m_folder;
    std::unique_ptr<Mails> m_mails;
    std::optional<ServerCertificate> m_refusedCertificate;
    int m_page = 0;
    bool m_sending = false;
};
