#include "platform/providers/guarded/GuardedReader.h"

#include "base/AppError.h"
#include "platform/providers/guarded/ReaderProtocol.h"
#include "platform/providers/sql/AccessReader.h"
#include "platform/providers/sql/OdbcSource.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <vector>

#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace GuardedReader {

namespace {

using ReaderProtocol::Operation;
using ReaderProtocol::Reply;
using ReaderProtocol::Request;

Limits& StoredLimits()
{
    static Limits limits = Limits::Default();
    return limits;
}

QString& StoredProgram()
{
    static QString program;
    return program;
}

// How a failure of the helper is worded for each kind of source.
struct Wording
{
    QString Source;
    long Number;
    QString Subject;    // "The Access file could not be read"
    QString Reader;     // "the reader"
    QString Advice;     // ends the description
    QString Cancelled;
};

Wording WordingFor(const QString& connectionString)
{
    switch (ConnectionString::Parse(connectionString).kind) {
    case ConnectionString::Kind::Access:
        return {QStringLiteral("Access"), AccessReader::ErrDamaged, QStringLiteral("The Access file could not be read"),
                QStringLiteral("the reader"),
                QStringLiteral("; the file may be damaged. Repair it in Access and try again."),
                QStringLiteral("Reading the Access file was cancelled.")};
    case ConnectionString::Kind::SqlServer:
        return {QStringLiteral("SQL Server"), OdbcSource::ErrConnect,
                QStringLiteral("The SQL Server database could not be read"), QStringLiteral("the driver"),
                QStringLiteral("."), QStringLiteral("Reading the SQL Server database was cancelled.")};
    default:
        return {QStringLiteral("ODBC"), OdbcSource::ErrConnect, QStringLiteral("The data source could not be read"),
                QStringLiteral("the ODBC driver"), QStringLiteral("."),
                QStringLiteral("Reading the data source was cancelled.")};
    }
}

QString Duration(int seconds)
{
    if (seconds >= 120 && seconds % 60 == 0)
        return QStringLiteral("%1 minutes").arg(seconds / 60);
    return seconds == 1 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(seconds);
}

// One request in one helper process.
class HelperRun
{
public:
    HelperRun(const Request& request, const Limits& limits, int wallSeconds)
        : m_request(request), m_wording(WordingFor(request.connectionString)), m_limits(limits),
          m_wallSeconds(wallSeconds)
    {
#if defined(__SANITIZE_ADDRESS__)
        // The address sanitizer reserves terabytes of address space up front.
        m_limits.AddressSpaceBytes = 0;
#endif
    }

    Reply Run();
    void Cancel()
    {
        m_cancelled = true;
        EndGroup();
    }

private:
    [[noreturn]] void Fail(const QString& reason) const
    {
        throw AppError(m_wording.Number, m_wording.Source,
                       m_wording.Subject + QStringLiteral(": ") + m_wording.Reader + u' ' + reason + m_wording.Advice);
    }
    // Raises when the helper did not end by sending a reply.
    void FailForExit() const;
    void Start();
    // The helper leads a process group of its own, so whatever it may have
    // started ends with it. Until the group is made, the helper alone.
    void EndGroup() const
    {
        if (m_pid > 0 && ::kill(-m_pid, SIGKILL) != 0 && m_process.state() != QProcess::NotRunning)
            ::kill(m_pid, SIGKILL);
    }

    void TakeOutput();

    const Request m_request;
    const Wording m_wording;
    Limits m_limits;
    const int m_wallSeconds;
    QProcess m_process;
    pid_t m_pid = 0;
    bool m_cancelled = false;
    bool m_timedOut = false;
    bool m_silent = false;
    // The reply, read as it comes into one buffer of the frame's size, so
    // that a large record set is neither held twice nor copied.
    QByteArray m_frame;
    qsizetype m_filled = 0;
    bool m_garbled = false;
};

std::vector<HelperRun*>& Running()
{
    static std::vector<HelperRun*> running;
    return running;
}

void HelperRun::Start()
{
    m_process.setProgram(Program());
    // libmdb and some drivers chatter on standard error, some without end.
    m_process.setStandardErrorFile(QProcess::nullDevice());
    const pid_t parent = ::getpid();
    const Limits limits = m_limits;
    // Runs in the child between fork and exec: only async-signal-safe calls.
    m_process.setChildProcessModifier([parent, limits] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) // the program ended before the line above
            ::_exit(ReaderProtocol::ExitOrphaned);
        const rlimit noCore = {0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        if (limits.AddressSpaceBytes > 0) {
            const rlimit space = {rlim_t(limits.AddressSpaceBytes), rlim_t(limits.AddressSpaceBytes)};
            ::setrlimit(RLIMIT_AS, &space);
        }
        if (limits.ProcessorSeconds > 0) {
            // SIGXCPU at the soft limit, SIGKILL a second later.
            const rlimit cpu = {rlim_t(limits.ProcessorSeconds), rlim_t(limits.ProcessorSeconds) + 1};
            ::setrlimit(RLIMIT_CPU, &cpu);
        }
    });
    m_process.start(QIODevice::ReadWrite);
    m_pid = pid_t(m_process.processId());
    if (m_pid > 0)
        ::setpgid(m_pid, m_pid); // either side may get there first
}

void HelperRun::TakeOutput()
{
    while (m_process.bytesAvailable() > 0) {
        if (m_garbled) {
            m_process.readAll();
            return;
        }
        if (m_frame.isEmpty()) {
            if (m_process.bytesAvailable() < Reply::HeaderSize)
                return;
            const QByteArray header = m_process.read(Reply::HeaderSize);
            if (Reply::IsProgress(header.constData()))
                continue; // its arrival was all it had to say
            const qint64 size = Reply::FrameSize(header.constData());
            // No reply can be larger than the helper's memory.
            const qint64 most = m_limits.AddressSpaceBytes > 0
                                    ? m_limits.AddressSpaceBytes
                                    : qint64(::sysconf(_SC_PHYS_PAGES)) * qint64(::sysconf(_SC_PAGESIZE));
            if (size < 0 || size > most) {
                m_garbled = true;
                continue;
            }
            m_frame = QByteArray(qsizetype(size), Qt::Uninitialized);
            // Large blocks get huge pages: first touching small ones costs
            // more than the copy.
            const auto page = quintptr(2) << 20;
            const quintptr from = (quintptr(m_frame.data()) + page - 1) & ~(page - 1);
            const quintptr to = (quintptr(m_frame.data()) + quintptr(size)) & ~(page - 1);
            if (to > from)
                ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
            std::memcpy(m_frame.data(), header.constData(), size_t(Reply::HeaderSize));
            m_filled = Reply::HeaderSize;
            continue;
        }
        const qint64 wanted = m_frame.size() - m_filled;
        if (wanted == 0) {
            m_garbled = true; // more than the frame
            continue;
        }
        const qint64 got = m_process.read(m_frame.data() + m_filled, std::min(wanted, m_process.bytesAvailable()));
        if (got <= 0)
            return;
        m_filled += qsizetype(got);
    }
}

Reply HelperRun::Run()
{
    QEventLoop loop;
    QObject::connect(&m_process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer idle;
    idle.setSingleShot(true);
    QObject::connect(&idle, &QTimer::timeout, &loop, [this] {
        m_silent = true;
        EndGroup();
    });
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &loop, [this, &idle] {
        if (idle.isActive())
            idle.start();
        TakeOutput();
    });
    QObject::connect(&m_process, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });
    QTimer wall;
    wall.setSingleShot(true);
    QObject::connect(&wall, &QTimer::timeout, &loop, [this] {
        m_timedOut = true;
        EndGroup();
    });

    Start();
    if (m_process.state() != QProcess::NotRunning) {
        m_process.write(ReaderProtocol::EncodeRequest(m_request));
        m_process.closeWriteChannel();
        if (m_wallSeconds > 0)
            wall.start(std::chrono::seconds(m_wallSeconds));
        if (m_limits.IdleSeconds > 0)
            idle.start(std::chrono::seconds(m_limits.IdleSeconds));
        Running().push_back(this);
        loop.exec();
        std::erase(Running(), this);
    }
    // Anything the helper left in its group goes too. The helper itself is
    // reaped by now, so its number is never signalled alone again.
    if (m_pid > 0)
        ::kill(-m_pid, SIGKILL);

    if (m_cancelled)
        throw AppError(ErrCancelled, m_wording.Source, m_wording.Cancelled);
    if (m_process.error() == QProcess::FailedToStart)
        throw AppError(ErrNoHelper, m_wording.Source,
                       m_wording.Subject + QStringLiteral(": the reader program %1 cannot be started (%2).")
                                               .arg(m_process.program(), m_process.errorString()));
    if (m_timedOut)
        Fail(QStringLiteral("did not finish within %1").arg(Duration(m_wallSeconds)));
    if (m_silent)
        Fail(QStringLiteral("made no progress for %1").arg(Duration(m_limits.IdleSeconds)));
    FailForExit();
    TakeOutput();
    std::optional<Reply> reply;
    if (!m_garbled && m_filled == m_frame.size())
        reply = Reply::Decode(std::move(m_frame));
    if (!reply)
        Fail(QStringLiteral("sent back an answer that cannot be read"));
    if (reply->kind == Reply::Kind::Error)
        reply->RaiseError();
    return std::move(*reply);
}

void HelperRun::FailForExit() const
{
    if (m_process.exitStatus() == QProcess::CrashExit) {
        const int signal = m_process.exitCode();
        if (signal == SIGXCPU)
            Fail(QStringLiteral("used more than %1 of processor time").arg(Duration(m_limits.ProcessorSeconds)));
        Fail(QStringLiteral("stopped unexpectedly (%1)").arg(QString::fromLocal8Bit(::strsignal(signal))));
    }
    if (m_process.exitCode() == ReaderProtocol::ExitOutOfMemory)
        Fail(QStringLiteral("ran out of memory"));
    if (m_process.exitCode() != 0)
        Fail(QStringLiteral("stopped unexpectedly (exit status %1)").arg(m_process.exitCode()));
}

Reply Ask(const Request& request, Reply::Kind expected, int wallSeconds = 0)
{
    Limits limits = CurrentLimits();
    const ConnectionString parsed = ConnectionString::Parse(request.connectionString);
    if (parsed.kind == ConnectionString::Kind::Access)
        limits = limits.ForFile(QFileInfo(parsed.file).size());
    HelperRun run(request, limits, wallSeconds > 0 ? std::min(wallSeconds, limits.WallSeconds) : limits.WallSeconds);
    Reply reply = run.Run();
    if (reply.kind != expected)
        throw AppError(ErrNoHelper, WordingFor(request.connectionString).Source,
                       QStringLiteral("The reader program %1 answered a different question.").arg(Program()));
    return reply;
}

} // namespace

Limits Limits::Default()
{
    constexpr qint64 kLeast = qint64(2) << 30;
    const qint64 memory = qint64(::sysconf(_SC_PHYS_PAGES)) * qint64(::sysconf(_SC_PAGESIZE));
    Limits limits;
    limits.AddressSpaceBytes = std::max(kLeast, memory / 2);
    return limits;
}

Limits Limits::ForFile(qint64 bytes) const
{
    Limits scaled = *this;
    bytes = std::max<qint64>(bytes, 0);
    if (AddressSpaceBytes > 0 && bytes <= (AddressSpaceBytes - kBaseAddressSpace) / kAddressSpacePerByte)
        scaled.AddressSpaceBytes = std::min(AddressSpaceBytes, kBaseAddressSpace + kAddressSpacePerByte * bytes);
    const qint64 seconds = kBaseProcessorSeconds + kProcessorSecondsPerMB * (bytes >> 20);
    if (ProcessorSeconds > 0)
        scaled.ProcessorSeconds = int(std::min<qint64>(ProcessorSeconds, seconds));
    scaled.IdleSeconds = IdleSeconds > 0 ? std::min(IdleSeconds, kIdleSeconds) : kIdleSeconds;
    return scaled;
}

void SetLimits(const Limits& limits)
{
    StoredLimits() = limits;
}

Limits CurrentLimits()
{
    return StoredLimits();
}

void SetProgram(const QString& path)
{
    StoredProgram() = path;
}

QString Program()
{
    if (!StoredProgram().isEmpty())
        return StoredProgram();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/corvanta-reader");
}

bool Guards(ConnectionString::Kind kind)
{
    return kind == ConnectionString::Kind::Access || kind == ConnectionString::Kind::Odbc
           || kind == ConnectionString::Kind::SqlServer;
}

Recordset Open(const QString& connectionString, const QString& source)
{
    return Ask({Operation::Open, connectionString, source}, Reply::Kind::Recordset).TakeRecordset();
}

QStringList TableNames(const QString& connectionString)
{
    return Ask({Operation::TableNames, connectionString, QString()}, Reply::Kind::Names).TakeNames();
}

void TestConnection(const QString& connectionString)
{
    // A connection test waits no longer than the driver's login time-out,
    // with room for starting the helper and loading the driver.
    const int wall = ConnectionString::Parse(connectionString).kind == ConnectionString::Kind::Access
                         ? 0
                         : OdbcSource::DefaultLoginSeconds + 30;
    Ask({Operation::TestConnection, connectionString, QString()}, Reply::Kind::Done, wall);
}

QStringList Databases(const QString& connectionString)
{
    return Ask({Operation::Databases, connectionString, QString()}, Reply::Kind::Names).TakeNames();
}

void CancelRunning()
{
    for (HelperRun* run : Running())
        run->Cancel();
}

} // namespace GuardedReader
