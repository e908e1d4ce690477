#include "store/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Some file systems cannot sync (EINVAL); there is nothing more to do there.
bool Synced(int result)
{
    return result == 0 || errno == EINVAL;
}

} // namespace

AtomicFile::AtomicFile(const QString& path) : m_file(path)
{
}

bool AtomicFile::Fail(const QString& why)
{
    m_error = why.isEmpty() ? QStringLiteral("unknown error") : why;
    m_state = State::Failed;
    m_file.cancelWriting();
    return false;
}

bool AtomicFile::Open(std::optional<QFileDevice::Permissions> permissions)
{
    if (m_state != State::Closed)
        return m_state == State::Failed ? false : Fail(QStringLiteral("opened twice"));
    // Unbuffered, so that every write reaches the file system and its count
    // can be checked here rather than at commit.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return Fail(m_file.errorString());
    m_state = State::Writing;
    if (permissions && !m_file.setPermissions(*permissions))
        return Fail(m_file.errorString());
    return true;
}

bool AtomicFile::Write(QByteArrayView bytes)
{
    if (m_state != State::Writing)
        return m_state == State::Failed ? false : Fail(QStringLiteral("not open for writing"));
    const char* at = bytes.data();
    qint64 left = bytes.size();
    while (left > 0) {
        // A short count comes without an error; the next call says why.
        const qint64 written = m_file.write(at, left);
        if (written <= 0)
            return Fail(m_file.errorString());
        at += written;
        left -= written;
    }
    if (m_file.error() != QFileDevice::NoError)
        return Fail(m_file.errorString());
    return true;
}

bool AtomicFile::Sync()
{
    if (m_state == State::Synced)
        return true;
    if (m_state != State::Writing)
        return m_state == State::Failed ? false : Fail(QStringLiteral("not open for writing"));
    if (!m_file.flush() || m_file.error() != QFileDevice::NoError)
        return Fail(m_file.errorString());
    if (!Synced(::fsync(m_file.handle())))
        return Fail(QString::fromLocal8Bit(std::strerror(errno)));
    m_state = State::Synced;
    return true;
}

bool AtomicFile::Commit()
{
    if (!Sync())
        return false;
    if (!m_file.commit()) {
        m_error = m_file.errorString();
        m_state = State::Failed;
        return false;
    }
    m_state = State::Committed;
    return true;
}

bool AtomicFile::Replace(const QString& path, QByteArrayView contents,
                         std::optional<QFileDevice::Permissions> permissions, QString* error)
{
    AtomicFile file(path);
    if (!file.Open(permissions) || !file.Write(contents) || !file.Commit()) {
        if (error)
            *error = file.ErrorString();
        return false;
    }
    return SyncFolder(QFileInfo(path).absolutePath(), error);
}

bool AtomicFile::SyncFolder(const QString& folder, QString* error)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool ok = fd >= 0 && Synced(::fsync(fd));
    const int why = errno;
    if (fd >= 0)
        ::close(fd);
    if (!ok && error)
        *error = QString::fromLocal8Bit(std::strerror(why));
    return ok;
}
