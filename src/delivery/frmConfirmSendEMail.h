#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class frmConfirmSendEMail;
}

// The last question before a send run: how many mails will go.
class frmConfirmSendEMail : public QDialog
{
    Q_OBJECT

public:
    // Shows the question modally over the owner; true for Send E-mails.
    // The sender's address is taken but not shown.
    static bool SendEMails(QWidget* owner, qint32 mailCount, const QString& fromEmail);

    ~frmConfirmSendEMail() override;

private:
    frmConfirmSendEMail(QWidget* owner, qint32 mailCount);

    std::unique_ptr<Ui::frmConfirmSendEMail> ui;
};
