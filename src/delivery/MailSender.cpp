#include "delivery/MailSender.h"

#include "delivery/MailConfiguration.h"
#include "merge/Mails.h"
#include "platform/mail/OutgoingMessage.h"
#include "platform/mail/PickupTransport.h"
#include "platform/mail/SmtpTransport.h"
#include "base/AppError.h"
#include "base/AppInfo.h"

#include <optional>

namespace {

const QString Source = QStringLiteral("MailSender");

OutgoingMessage MessageOf(const Mail& mail, const QString& mailer)
{
    OutgoingMessage message;
    message.mailer = mailer;
    message.to = mail.To();
    if (const FromAddressRef& from = mail.From()) {
        message.from = from->GetFullEMailAddress();
        message.replyTo = from->ReplyEMailAddress();
    }
    message.subject = mail.Subject();
    message.body = mail.TextBody();
    message.attachments = ExistingAttachments(mail.Attachments());
    return message;
}

} // namespace

MailSender::MailSender(Mails& mails)
    : m_mails(mails), m_pickupProgram(PickupTransport::DefaultProgram()),
      m_pickupArguments(PickupTransport::DefaultArguments())
{
}

void MailSender::SetPickupProgram(const QString& program, const QStringList& arguments)
{
    m_pickupProgram = program;
    m_pickupArguments = arguments;
}

QString MailSender::MailerHeaderValue()
{
    return QStringLiteral("%1 %2.%3.%4 (%5)")
        .arg(AppInfo::ProductName())
        .arg(AppInfo::Major)
        .arg(AppInfo::Minor)
        .arg(AppInfo::Revision)
        .arg(AppInfo::HomePage());
}

QString MailSender::OneLine(QString description)
{
    // A lone CR or LF would break the log's one-line rows just the same.
    description.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    description.replace(u'\r', u' ').replace(u'\n', u' ');
    return description;
}

std::unique_ptr<MailTransport> MailSender::CreateTransport(const MailDeliverySettings& settings,
                                                           const QString& pickupProgram,
                                                           const QStringList& pickupArguments)
{
    if (settings.sendUsing == MailDeliverySettings::Pickup)
        return std::make_unique<PickupTransport>(pickupProgram, pickupArguments,
                                                 settings.smtpConnectionTimeout);
    if (settings.sendUsing != MailDeliverySettings::Port)
        throw AppError(MailError::InvalidArgument, Source,
                       QStringLiteral("The sending method %1 is not known").arg(settings.sendUsing));
    SmtpSettings smtp;
    smtp.server = settings.smtpServer;
    // The setting is a 16-bit signed number; read as unsigned it reaches
    // every port, where ports above 32767 would otherwise be negative.
    smtp.port = static_cast<quint16>(settings.smtpServerPort);
    smtp.connectionTimeout = settings.smtpConnectionTimeout;
    smtp.authenticate = settings.smtpAuthenticate == 1;
    smtp.userName = settings.sendUserName;
    smtp.password = settings.sendPassword;
    return std::make_unique<SmtpTransport>(std::move(smtp));
}

void MailSender::Send()
{
    // Nothing to send: no settings read, no connection, no event.
    if (m_mails.Count() == 0)
        return;

    // One configuration and one transport per run; the transport keeps its
    // connection from mail to mail and only opens another after a failure.
    const MailConfiguration configuration(m_senderText, m_configurationFolder);
    std::unique_ptr<MailTransport> transport;
    std::optional<AppError> transportProblem;
    try {
        transport = CreateTransport(configuration.CdoConfiguration(), m_pickupProgram, m_pickupArguments);
    } catch (const AppError& error) {
        // Every mail fails with it, as each would with such settings.
        transportProblem = error;
    }
    const QString mailer = MailerHeaderValue();

    // By position, not by iterator: the event handlers run in between and
    // may change the collection.
    for (int index = 1; index <= m_mails.Count(); ++index) {
        if (!m_mails.KeepSending())
            break;
        // A copy, so a handler that edits or removes the mail cannot pull
        // it away while its error is reported.
        const Mail mail = m_mails.Item(index);

        QString failure;
        bool failed = false;
        try {
            if (transportProblem)
                throw *transportProblem;
            transport->Send(MessageOf(mail, mailer));
        } catch (const AppError& error) {
            failed = true;
            failure = error.Description();
        } catch (const std::exception& error) {
            failed = true;
            failure = QString::fromLocal8Bit(error.what());
        }

        if (failed) {
            if (failure.isEmpty())
                failure = QStringLiteral("The e-mail could not be sent");
            Q_EMIT m_mails.SendErr(OneLine(failure), mail.To(), mail.From(), mail.Subject(),
                                   mail.Attachments(), mail.TextBody());
            m_mails.Yield();
        }
        Q_EMIT m_mails.MailsSend(index);
        if (index % 10 == 0)
            m_mails.Yield();
    }
}
