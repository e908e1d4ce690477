#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class Mails;
class MailTransport;
struct MailDeliverySettings;

// The send run of a Mails collection: every mail, in order, handed to the
// mail system with the settings of one MailConfiguration made for the run.
//
// The run raises the collection's own events: SendErr for a mail that could
// not be sent (the description on one line), then MailsSend(i) for every
// mail handled, failed or not. A failure never ends the run, whether the
// server refused the mail or the message could not even be built (an
// attachment that exists but cannot be read). Attachment paths that do not
// exist are left out without a word.
//
// Liveness: KeepSending is read once per mail, before it is built; the
// collection's yield hook runs after each failure and after every 10th
// mail, which is where a cancel button clears KeepSending. Send never sets
// KeepSending itself; the caller sets it true right before the run.
class MailSender
{
public:
    explicit MailSender(Mails& mails);

    // The sender box's text at the start of the run, for the run's
    // configuration.
    void SetSenderText(const QString& text) { m_senderText = text; }
    // The folder that holds the mail settings; empty: the version data folder.
    void SetConfigurationFolder(const QString& folder) { m_configurationFolder = folder; }
    // The sendmail-compatible program that pickup mode hands messages to;
    // by default /usr/sbin/sendmail -t -i.
    void SetPickupProgram(const QString& program, const QStringList& arguments);

    void Send();

    // "Corvanta 1.3.479 (home page)": product, version and home page.
    static QString MailerHeaderValue();

    // The description as the log keeps it: line breaks become blanks.
    static QString OneLine(QString description);

    // The transport the settings ask for. Throws AppError for a sending
    // method that is neither pickup nor network.
    static std::unique_ptr<MailTransport> CreateTransport(const MailDeliverySettings& settings,
                                                          const QString& pickupProgram,
                                                          const QStringList& pickupArguments);

private:
    Mails& m_mails;
    QString m_senderText;
    QString m_configurationFolder;
    QString m_pickupProgram;
    QStringList m_pickupArguments;
};
