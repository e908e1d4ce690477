#include "delivery/SendJournal.h"

#include "base/AppError.h"
#include "merge/Mails.h"
#include "store/StoreFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString Source = QStringLiteral("SendJournal");
constexpr char Magic[4] = {'C', 'V', 'S', 'J'};
constexpr quint16 Version = 1;
constexpr int HeadSize = 48;
constexpr int RecordHead = 8;
constexpr int RecordExtra = RecordHead + 4;
constexpr qsizetype WriteAt = 16 * 1024; // outcomes wait at most this long for a write

quint32 Fnv1a(const char* data, qsizetype size)
{
    quint32 h = 2166136261u;
    for (qsizetype i = 0; i < size; ++i) {
        h ^= static_cast<unsigned char>(data[i]);
        h *= 16777619u;
    }
    return h;
}

void AddText(QCryptographicHash& hash, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    const quint32 size = qToLittleEndian(static_cast<quint32>(bytes.size()));
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(&size), sizeof size));
    hash.addData(bytes);
}

[[noreturn]] void Fail(const QString& what, const QString& path, int error)
{
    throw AppError(StoreFile::FileAccessError, Source,
                   QStringLiteral("The send journal %1 %2: %3").arg(what, path, QString::fromLocal8Bit(strerror(error))));
}

bool WriteAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

// Syncs the file off the caller's thread: a sync takes milliseconds on a
// real disk, many times what a mail costs on a fast server.
struct SendJournal::Syncer
{
    explicit Syncer(int fd) : thread([this, fd] { Run(fd); }) {}
    ~Syncer()
    {
        {
            std::lock_guard lock(mutex);
            quit = true;
        }
        wake.notify_one();
        thread.join();
    }
    void Request()
    {
        {
            std::lock_guard lock(mutex);
            wanted = true;
        }
        wake.notify_one();
    }
    void Run(int fd)
    {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return wanted || quit; });
            if (quit)
                return;
            wanted = false;
            lock.unlock();
            ::fdatasync(fd);
            lock.lock();
        }
    }

    std::mutex mutex;
    std::condition_variable wake;
    bool wanted = false;
    bool quit = false;
    int sinceSync = 0;
    QElapsedTimer lastSync;
    std::thread thread; // last: starts once the rest is made
};

QByteArray SendJournal::Digest(const Mails& mails, const QByteArray& context)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(context);
    for (const Mail& mail : mails) {
        const FromAddressRef& from = mail.From();
        AddText(hash, from ? from->GetFullEMailAddress() + u'\n' + from->ReplyEMailAddress() : QString());
        AddText(hash, mail.To());
        AddText(hash, mail.Subject());
        AddText(hash, mail.TextBody());
        AddText(hash, mail.Attachments());
    }
    return hash.result();
}

SendJournal::SendJournal(const QString& folder, const QByteArray& digest, int mailCount)
    : m_digest(digest), m_states(static_cast<std::size_t>(std::max(mailCount, 0)), State::NotSent)
{
    if (!QDir().mkpath(folder))
        Fail(QStringLiteral("folder cannot be made:"), folder, EACCES);
    m_path = QDir(folder).filePath(QString::fromLatin1(digest.toHex().left(32)) + QStringLiteral(".sjl"));
    if (!Load())
        Create();
    m_syncer = std::make_unique<Syncer>(m_fd);
    m_syncer->lastSync.start();
}

SendJournal::~SendJournal()
{
    Close();
    m_syncer.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SendJournal::Load()
{
    QFile file(m_path);
    if (!file.exists())
        return false;
    if (!file.open(QIODevice::ReadOnly))
        Fail(QStringLiteral("cannot be read:"), m_path, EACCES);
    const QByteArray bytes = file.readAll();
    file.close();

    // Cut while it was made: nothing can have been noted in it yet.
    if (bytes.size() < HeadSize && QByteArrayView(Magic, 4).startsWith(bytes.left(4)))
        return false;
    const auto foreign = [&] {
        m_keptAside = StoreFile::KeepAside(m_path);
        return false;
    };
    if (bytes.size() < HeadSize || std::memcmp(bytes.constData(), Magic, 4) != 0 ||
        qFromLittleEndian<quint16>(bytes.constData() + 4) != Version ||
        qFromLittleEndian<quint32>(bytes.constData() + 8) != m_states.size() ||
        bytes.mid(16, 32) != m_digest)
        return foreign();

    qsizetype at = HeadSize;
    while (at < bytes.size()) {
        const char* p = bytes.constData() + at;
        const qsizetype left = bytes.size() - at;
        if (left < RecordExtra)
            break; // cut while written
        const quint16 textSize = qFromLittleEndian<quint16>(p + 6);
        if (left < RecordExtra + textSize)
            break;
        const quint32 sum = qFromLittleEndian<quint32>(p + RecordHead + textSize);
        if (sum != Fnv1a(p, RecordHead + textSize)) {
            // A power cut may leave zeros where the last records were to go.
            if (std::all_of(p, bytes.constData() + bytes.size(), [](char c) { return c == 0; }))
                break;
            return foreign();
        }
        const quint32 position = qFromLittleEndian<quint32>(p);
        const quint8 kind = static_cast<quint8>(p[4]);
        if (kind < RunStart || kind > Unknown || (kind != RunStart && (position < 1 || position > m_states.size())))
            return foreign();
        Apply(static_cast<Kind>(kind), static_cast<int>(position), QByteArray(p + RecordHead, textSize));
        at += RecordExtra + textSize;
    }

    m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_CLOEXEC);
    if (m_fd < 0)
        Fail(QStringLiteral("cannot be opened:"), m_path, errno);
    // Whatever was cut goes, so that new records follow whole ones.
    if (::ftruncate(m_fd, at) != 0 || ::lseek(m_fd, at, SEEK_SET) != at)
        Fail(QStringLiteral("cannot be written:"), m_path, errno);
    return true;
}

void SendJournal::Create()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (m_fd < 0)
        Fail(QStringLiteral("cannot be made:"), m_path, errno);
    QByteArray head(HeadSize, '\0');
    std::memcpy(head.data(), Magic, 4);
    qToLittleEndian<quint16>(Version, head.data() + 4);
    qToLittleEndian<quint32>(static_cast<quint32>(m_states.size()), head.data() + 8);
    std::memcpy(head.data() + 16, m_digest.constData(), std::min<qsizetype>(32, m_digest.size()));
    if (!WriteAll(m_fd, head.constData(), head.size()) || ::fdatasync(m_fd) != 0)
        Fail(QStringLiteral("cannot be written:"), m_path, errno);
    std::fill(m_states.begin(), m_states.end(), State::NotSent);
    m_lastRun = QDateTime();
    m_runs.clear();
}

void SendJournal::Apply(Kind kind, int position, const QByteArray& text)
{
    if (kind == RunStart) {
        if (text.size() == 8) {
            m_lastRun = QDateTime::fromMSecsSinceEpoch(qFromLittleEndian<qint64>(text.constData()));
            m_runs.emplace_back(m_lastRun, 0);
        }
        return;
    }
    if (kind == Handed && !m_runs.empty())
        ++m_runs.back().second;
    State& state = m_states[static_cast<std::size_t>(position - 1)];
    switch (kind) {
    case Handed:
    case Unknown:
        state = State::Unknown;
        break;
    case Sent:
        state = State::Sent;
        break;
    case Failed:
        state = text.startsWith("not sent") ? State::NotSent : State::Failed;
        break;
    case Temporary:
        state = State::Temporary;
        break;
    default:
        break;
    }
}

int SendJournal::Count(State state) const
{
    return static_cast<int>(std::count(m_states.begin(), m_states.end(), state));
}

int SendJournal::HandedSince(const QDateTime& since, QDateTime* firstRun) const
{
    int handed = 0;
    for (const auto& [start, count] : m_runs)
        if (start >= since && count > 0) {
            if (handed == 0 && firstRun)
                *firstRun = start;
            handed += count;
        }
    return handed;
}

std::vector<int> SendJournal::Positions(State state) const
{
    std::vector<int> positions;
    for (std::size_t i = 0; i < m_states.size(); ++i)
        if (m_states[i] == state)
            positions.push_back(static_cast<int>(i + 1));
    return positions;
}

void SendJournal::Restart()
{
    m_pending.clear();
    m_syncer.reset();
    Create();
    m_syncer = std::make_unique<Syncer>(m_fd);
    m_syncer->lastSync.start();
}

void SendJournal::StartRun(const QDateTime& when)
{
    QByteArray stamp(8, '\0');
    qToLittleEndian<qint64>(when.toMSecsSinceEpoch(), stamp.data());
    m_pendingRun = stamp;
}

void SendJournal::Handing(int position)
{
    Append(Handed, position);
    Write();
    if (++m_syncer->sinceSync >= SyncRecords || m_syncer->lastSync.hasExpired(SyncMs)) {
        m_syncer->sinceSync = 0;
        m_syncer->lastSync.restart();
        m_syncer->Request();
    }
}

QByteArray SendJournal::ListContext(const QStringList& listDefinition, const QString& filter)
{
    return (QStringList(listDefinition) << filter).join(QChar(0)).toUtf8();
}

SendJournal::State SendJournal::StateOfFailure(const QString& failure)
{
    if (failure.isEmpty())
        return State::Sent;
    if (failure.startsWith(QLatin1String("delivery unknown")))
        return State::Unknown;
    if (failure.startsWith(QLatin1String("temporary:")))
        return State::Temporary;
    if (failure.startsWith(QLatin1String("not sent")))
        return State::NotSent;
    return State::Failed;
}

void SendJournal::Ended(int position, const QString& failure)
{
    switch (StateOfFailure(failure)) {
    case State::Sent:
        Append(Sent, position);
        break;
    case State::Unknown:
        Append(Unknown, position);
        break;
    case State::Temporary:
        Append(Temporary, position, failure.toUtf8().left(1000));
        break;
    default:
        Append(Failed, position, failure.toUtf8().left(1000));
        break;
    }
    if (m_pending.size() >= WriteAt)
        Write();
}

void SendJournal::Append(Kind kind, int position, const QByteArray& text)
{
    if (kind != RunStart && !m_pendingRun.isEmpty()) {
        // A run is noted with its first mail: one that ended none left no trace.
        const QByteArray stamp = std::exchange(m_pendingRun, QByteArray());
        Append(RunStart, 0, stamp);
    }
    const qsizetype at = m_pending.size();
    m_pending.resize(at + RecordExtra + text.size());
    char* p = m_pending.data() + at;
    qToLittleEndian<quint32>(static_cast<quint32>(position), p);
    p[4] = static_cast<char>(kind);
    p[5] = 0;
    qToLittleEndian<quint16>(static_cast<quint16>(text.size()), p + 6);
    std::memcpy(p + RecordHead, text.constData(), static_cast<size_t>(text.size()));
    qToLittleEndian<quint32>(Fnv1a(p, RecordHead + text.size()), p + RecordHead + text.size());
    Apply(kind, position, text);
}

void SendJournal::Write()
{
    if (m_pending.isEmpty())
        return;
    if (!WriteAll(m_fd, m_pending.constData(), m_pending.size()) && m_error.isEmpty())
        m_error = QStringLiteral("The send journal %1 cannot be written: %2")
                      .arg(m_path, QString::fromLocal8Bit(strerror(errno)));
    m_pending.clear();
}

void SendJournal::Close()
{
    if (m_fd < 0)
        return;
    Write();
    if (::fdatasync(m_fd) != 0 && m_error.isEmpty())
        m_error = QStringLiteral("The send journal %1 cannot be synced: %2")
                      .arg(m_path, QString::fromLocal8Bit(strerror(errno)));
}
