#include "delivery/MailSender.h"

#include "delivery/MailConfiguration.h"
#include "merge/Mails.h"
#include "platform/mail/OutgoingMessage.h"
#include "platform/mail/PickupTransport.h"
#include "platform/mail/SmtpTransport.h"
#include "base/AppError.h"
#include "base/AppInfo.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHash>

#include <algorithm>
#include <exception>
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
    smtp.connections = std::clamp<int>(settings.smtpMaxConnections, 1, MaxConnections);
    smtp.implicitTls =
        settings.smtpEncryption == MailConfiguration::TlsFromStart || smtp.port == 465;
    smtp.caFile = settings.smtpCAFile;
    smtp.trustedCertificates = settings.smtpTrustedCertificates.split(u'\n', Qt::SkipEmptyParts);
    return std::make_unique<SmtpTransport>(std::move(smtp));
}

void MailSender::Send()
{
    m_refusedCertificate.reset();
    // Nothing to send: no settings read, no connection, no event.
    if (m_mails.Count() == 0)
        return;
    if (!QCoreApplication::instance())
        throw AppError(MailError::SendFailed, Source, QStringLiteral("Mails are sent within a running program"));

    // One configuration and one transport per run; the transport keeps its
    // connections from mail to mail.
    const MailConfiguration configuration(m_senderText, m_configurationFolder);
    std::unique_ptr<MailTransport> transport;
    try {
        transport = CreateTransport(configuration.CdoConfiguration(), m_pickupProgram, m_pickupArguments);
    } catch (const AppError& error) {
        FailEveryMail(error.Description());
        return;
    }
    const QString mailer = MailerHeaderValue();

    // Over one connection the events come as when mails went one by one,
    // the stop seen at a yield included; that costs a round trip in ten.
    const bool oneByOne = configuration.CdoConfiguration().smtpMaxConnections <= 1;
    int next = 1;            // position of the next mail to hand out
    int ended = 0;           // the running number
    quint64 lastId = 0;
    QHash<quint64, Mail> inFlight; // copies, so a handler that edits or removes a mail cannot pull it away

    // By position, not by iterator: the event handlers run in between and
    // may change the collection.
    const auto nextMail = [&]() -> std::optional<MailJob> {
        if (!m_mails.KeepSending() || next > m_mails.Count())
            return std::nullopt;
        const int position = next++;
        MailJob job;
        job.id = ++lastId;
        const Mail& mail = inFlight.insert(job.id, m_mails.Item(position)).value();
        job.message = MessageOf(mail, mailer);
        job.answerBeforeNext = oneByOne && position % 10 == 0;
        return job;
    };
    // A handler that throws ends the run, as it did when the run was a
    // plain loop; the exception must not cross the event loop.
    std::exception_ptr handlerFailure;
    QObject::connect(transport.get(), &MailTransport::MailEnded, transport.get(),
                     [&](quint64 id, const QString& failure) {
                         const Mail mail = inFlight.take(id);
                         if (handlerFailure)
                             return;
                         try {
                             ++ended;
                             if (!failure.isEmpty()) {
                                 Q_EMIT m_mails.SendErr(OneLine(failure), mail.To(), mail.From(), mail.Subject(),
                                                        mail.Attachments(), mail.TextBody());
                                 m_mails.Yield();
                             }
                             Q_EMIT m_mails.MailsSend(ended);
                             if (ended % 10 == 0)
                                 m_mails.Yield();
                         } catch (...) {
                             handlerFailure = std::current_exception();
                             transport->Stop();
                         }
                     });
    // Queued: the stop may come from inside the run's own events.
    QObject::connect(&m_mails, &Mails::KeepSendingCleared, transport.get(), &MailTransport::Stop,
                     Qt::QueuedConnection);

    QEventLoop loop;
    bool finished = false;
    QObject::connect(transport.get(), &MailTransport::Finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    transport->Start(nextMail);
    if (!finished)
        loop.exec();
    m_refusedCertificate = transport->RefusedCertificate();
    if (handlerFailure)
        std::rethrow_exception(handlerFailure);
}

void MailSender::FailEveryMail(const QString& description)
{
    for (int index = 1; index <= m_mails.Count(); ++index) {
        if (!m_mails.KeepSending())
            break;
        const Mail mail = m_mails.Item(index);
        Q_EMIT m_mails.SendErr(OneLine(description.isEmpty() ? QStringLiteral("The e-mail could not be sent")
                                                             : description),
                               mail.To(), mail.From(), mail.Subject(), mail.Attachments(), mail.TextBody());
        m_mails.Yield();
        Q_EMIT m_mails.MailsSend(index);
        if (index % 10 == 0)
            m_mails.Yield();
    }
}
