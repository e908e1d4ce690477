#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class Mails;

// What became of each mail of one mailing, kept in a file of the data
// folder so that a run stopped by Cancel, a crash or a kill can be resumed
// without sending a mail twice.
//
// A mailing is known by a digest of what makes it: the caller's context
// (the list's definition and filter) and every merged mail's sender, To,
// subject, body and attachments, in order, so Preview edits count. Its file
// is "<digest>.sjl" in the folder given; another mailing has another file.
//
// File: a 48-byte head ("CVSJ", version, mail count, digest), then records
// of 12 bytes plus a text: position (u32), kind (u8), 0, text length (u16),
// text, FNV-1a of all before it (u32). A mail costs 24 bytes when it is
// sent; a failure adds its reason.
//
// Handing(n) is called right before the server can have the whole of mail
// n (before the end of its data): the record, with the outcomes waiting
// behind it, goes to the kernel in one write, so a killed or crashed
// program never leaves a mail the server took out of the file. The file
// is synced to the disk in batches (at most every SyncRecords hand-overs
// or SyncMs, off the calling thread), and on Close. A mail handed over
// without an outcome is "delivery unknown".
//
// A cut last record (the program died while writing) is dropped. A file
// that is not a journal, belongs to another mailing, or holds a damaged
// record elsewhere is kept aside (StoreFile::KeepAside) and a new one
// started: it is never trusted.
class SendJournal
{
public:
    enum class State : quint8 { NotSent, Sent, Failed, Temporary, Unknown };
    static constexpr int SyncRecords = 512;
    static constexpr int SyncMs = 1000;

    // The digest of the mailing (32 bytes).
    static QByteArray Digest(const Mails& mails, const QByteArray& context);
    // The context of a mailing made from a list's rows: the list's
    // definition and the filter that chose the rows.
    static QByteArray ListContext(const QStringList& listDefinition, const QString& filter);

    // Opens or starts the journal of the mailing in `folder`. Throws
    // AppError when the folder or file cannot be used.
    SendJournal(const QString& folder, const QByteArray& digest, int mailCount);
    ~SendJournal();
    SendJournal(const SendJournal&) = delete;
    SendJournal& operator=(const SendJournal&) = delete;

    QString FileName() const { return m_path; }
    // The damaged or foreign file kept aside when this one was opened.
    QString KeptAside() const { return m_keptAside; }

    int MailCount() const { return static_cast<int>(m_states.size()); }
    // The state of the mail at a 1-based position.
    State StateOf(int position) const { return m_states.at(static_cast<std::size_t>(position - 1)); }
    int Count(State state) const;
    // Positions in that state, in order.
    std::vector<int> Positions(State state) const;
    // When the last run that handed a mail over started; invalid if none.
    QDateTime LastRun() const { return m_lastRun; }
    // Mails handed over by the runs that started at or after `since`, and
    // when the first of those runs started (for a day's allowance).
    int HandedSince(const QDateTime& since, QDateTime* firstRun = nullptr) const;

    // Forgets every mail: the next run sends the mailing whole again.
    void Restart();
    // Marks the start of a run.
    void StartRun(const QDateTime& when);
    void Handing(int position);
    // The mail ended; `failure` is empty when it was sent, otherwise its
    // description ("delivery unknown: ..." and "temporary: ..." as such).
    void Ended(int position, const QString& failure);
    // Writes what waits and syncs the file.
    void Close();
    // Whether every write so far went whole to the file.
    bool Healthy() const { return m_error.isEmpty(); }
    const QString& ErrorString() const { return m_error; }

    static State StateOfFailure(const QString& failure);

private:
    enum Kind : quint8 { RunStart = 1, Handed = 2, Sent = 3, Failed = 4, Temporary = 5, Unknown = 6 };
    bool Load();
    void Create();
    void Append(Kind kind, int position, const QByteArray& text = {});
    void Write();
    void Apply(Kind kind, int position, const QByteArray& text);

    QString m_path;
    QString m_keptAside;
    QByteArray m_digest;
    std::vector<State> m_states;
    QDateTime m_lastRun;
    std::vector<std::pair<QDateTime, int>> m_runs; // start, mails handed over
    QByteArray m_pendingRun; // the run's start, written with its first record
    int m_fd = -1;
    QByteArray m_pending;
    QString m_error;
    struct Syncer;
    std::unique_ptr<Syncer> m_syncer;
};
