#include "platform/mail/PickupTransport.h"

#include "base/AppError.h"

#include <QDeadlineTimer>
#include <QProcess>

#include <vector>

namespace {

const QString ErrorSource = QStringLiteral("PickupTransport");
constexpr qint64 ChunkSize = 64 * 1024;

QString OneLine(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(u'\n', u' ').replace(u'\r', u' ');
    return text.trimmed();
}

} // namespace

PickupTransport::PickupTransport(QString program, QStringList arguments, int timeoutSeconds,
                                 qint64 memoryLimit)
    : m_program(std::move(program)), m_arguments(std::move(arguments)),
      m_timeoutSeconds(timeoutSeconds > 0 ? timeoutSeconds : 1200),
      m_builder(LineEnding::Lf, memoryLimit)
{
}

void PickupTransport::Begin(Source source)
{
    m_source = std::move(source);
    m_stopped = false;
    QMetaObject::invokeMethod(this, &PickupTransport::Next, Qt::QueuedConnection);
}

void PickupTransport::Next()
{
    std::optional<MailJob> job;
    if (!m_stopped)
        job = m_source();
    if (!job) {
        m_source = nullptr;
        Q_EMIT Finished();
        return;
    }
    QString failure;
    bool failed = true;
    try {
        // The mail program may take the mail as soon as it starts reading.
        Handing(job->id);
        Send(job->message);
        failed = false;
    } catch (const AppError& error) {
        failure = error.Description();
    } catch (const std::exception& error) {
        failure = QString::fromLocal8Bit(error.what());
    }
    if (failed && failure.isEmpty())
        failure = QStringLiteral("The mail program %1 did not take the e-mail").arg(m_program);
    Q_EMIT MailEnded(job->id, failure);
    // A turn of the event loop between mails, so windows stay alive.
    QMetaObject::invokeMethod(this, &PickupTransport::Next, Qt::QueuedConnection);
}

void PickupTransport::Send(const OutgoingMessage& message)
{
    PreparedMessage prepared = m_builder.Build(message);

    QProcess process;
    process.setProgram(m_program);
    process.setArguments(m_arguments);
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(QIODevice::ReadWrite);
    if (!process.waitForStarted())
        throw AppError(MailError::SendFailed, ErrorSource,
                       QStringLiteral("The mail program %1 could not be started: %2")
                           .arg(m_program, process.errorString()));

    const QDeadlineTimer deadline{std::chrono::seconds(m_timeoutSeconds)};
    const auto giveUp = [&] {
        process.kill();
        process.waitForFinished();
        throw AppError(MailError::SendFailed, ErrorSource,
                       QStringLiteral("The mail program %1 did not finish within %2 %3")
                           .arg(m_program)
                           .arg(m_timeoutSeconds)
                           .arg(m_timeoutSeconds == 1 ? QStringLiteral("second")
                                                      : QStringLiteral("seconds")));
    };

    // Fed in pieces, so a large message never sits in the pipe buffer whole.
    std::vector<char> buffer(ChunkSize);
    qint64 got;
    while ((got = prepared.Read(buffer.data(), ChunkSize)) > 0) {
        process.write(buffer.data(), got);
        while (process.bytesToWrite() > 4 * ChunkSize && process.state() == QProcess::Running) {
            if (deadline.hasExpired())
                giveUp();
            process.waitForBytesWritten(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 1000)));
        }
        if (process.state() != QProcess::Running)
            break; // it quit early; its exit code and message say why
    }
    if (got < 0) {
        process.kill();
        process.waitForFinished();
        throw AppError(MailError::FileAccess, ErrorSource,
                       QStringLiteral("The message could not be read back from its temporary file"));
    }
    while (process.bytesToWrite() > 0 && process.state() == QProcess::Running) {
        if (deadline.hasExpired())
            giveUp();
        process.waitForBytesWritten(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 1000)));
    }
    process.closeWriteChannel();
    while (process.state() != QProcess::NotRunning) {
        if (deadline.hasExpired())
            giveUp();
        process.waitForFinished(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 1000)));
    }

    const QString errorText = OneLine(QString::fromLocal8Bit(process.readAllStandardError()));
    if (process.exitStatus() == QProcess::CrashExit)
        throw AppError(MailError::SendFailed, ErrorSource,
                       errorText.isEmpty()
                           ? QStringLiteral("The mail program %1 stopped unexpectedly").arg(m_program)
                           : errorText);
    if (process.exitCode() != 0 || !errorText.isEmpty())
        throw AppError(MailError::SendFailed, ErrorSource,
                       errorText.isEmpty() ? QStringLiteral("The mail program %1 ended with exit code %2")
                                                 .arg(m_program)
                                                 .arg(process.exitCode())
                                           : errorText);
}
