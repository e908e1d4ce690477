#pragma once

#include <QByteArrayView>
#include <QFileDevice>
#include <QSaveFile>
#include <QString>

#include <optional>

// Replaces a file's contents in one step. The new bytes go to a temporary
// file beside the target; every byte is checked as it is written, then the
// file is synced to disk, and only then does it take the target's place.
// Any failure drops the temporary file and leaves the target as it was.
//
// QSaveFile alone is not enough: a short write (a full disk, a file size
// limit) sets no error, and its commit() then renames the short file over
// the good one. Here nothing is committed that was not written in full.
class AtomicFile
{
public:
    explicit AtomicFile(const QString& path);
    // An uncommitted file is dropped.
    ~AtomicFile() = default;

    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Opens the temporary file; the permissions, when given, are set before
    // any byte is in it.
    bool Open(std::optional<QFileDevice::Permissions> permissions = std::nullopt);
    // Writes every byte or fails. After any failure every later call fails.
    bool Write(QByteArrayView bytes);
    // Syncs what was written to disk, so that Commit() has only to rename.
    bool Sync();
    // Syncs when not yet done, then puts the file in the target's place.
    bool Commit();

    // Why the last step failed.
    const QString& ErrorString() const { return m_error; }
    QString FileName() const { return m_file.fileName(); }

    // The whole file in one step: open, write, commit, sync the folder.
    static bool Replace(const QString& path, QByteArrayView contents,
                        std::optional<QFileDevice::Permissions> permissions, QString* error);

    // Syncs a folder, so that renames in it survive a crash.
    static bool SyncFolder(const QString& folder, QString* error);

private:
    enum class State { Closed, Writing, Synced, Committed, Failed };

    bool Fail(const QString& why);

    QSaveFile m_file;
    State m_state = State::Closed;
    QString m_error;
};
