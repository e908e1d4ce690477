#pragma once

#include "merge/Mail.h"
#include "platform/memory/HugePageMemory.h"

#include <QLocale>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class Recordset;

// The merged mails of one merge, in record order and addressed from 1, with
// the merge itself.
//
// Merge walks the visible records of the recipients and makes one mail per
// record. For each record it starts from the three templates and walks the
// columns in field order; a column whose marker (MergeFields::Marker) occurs
// in To, Subject or body has its value fetched for that text and put in
// place of every occurrence. Later columns are looked for in the text as it
// is by then, so a value may bring in the marker of a later column, never of
// an earlier one. A value is only fetched when its marker is there.
//
// How it is done: MergePlan works the templates out once when it can prove
// that no value could change where markers are found; each mail then keeps
// only its record's values (Mail makes its texts when they are read). Other
// records are merged column by column as above. Both give the same texts.
//
// Liveness: KeepMerging is read once per record, before it is merged; after
// each record MailsMerged(i) is raised, and after every 10th record the yield
// hook runs, which is where a cancel button clears KeepMerging. Without a
// hook a yield does nothing: only a window that shows the run installs one
// (ScopedYieldHook), for as long as the frame it refers to lives. Errors of
// the record set are not caught; the mails merged until then stay.
//
// Values take their text form from MergeValueText in the user's locale, or
// in the locale given with SetLocale.
class Mails : public QObject
{
    Q_OBJECT

public:
    // A million mails take 40 MB in one piece.
    using MailVector = std::vector<Mail, HugePageAllocator<Mail>>;
    using const_iterator = MailVector::const_iterator;
    using iterator = MailVector::iterator;
    using YieldHook = std::function<void()>;

    explicit Mails(QObject* parent = nullptr);
    ~Mails() override;

    void Add(FromAddressRef from, const QString& to, const QString& subject,
             const QString& textBody, const QString& attachments);

    // The mail at a 1-based position; AppError 9 outside 1..Count. The
    // reference holds until the collection changes.
    const Mail& Item(int position) const;
    Mail& Item(int position);

    int Count() const { return static_cast<int>(m_mails.size()); }

    // Removes the mail at a 1-based position; AppError 9 outside 1..Count.
    void Remove(int position);

    // The mails in order.
    const_iterator begin() const { return m_mails.begin(); }
    const_iterator end() const { return m_mails.end(); }
    iterator begin() { return m_mails.begin(); }
    iterator end() { return m_mails.end(); }

    bool KeepMerging() const { return m_keepMerging; }
    void SetKeepMerging(bool keep) { m_keepMerging = keep; }

    bool KeepSending() const { return m_keepSending; }
    // Clearing it raises KeepSendingCleared, so a send run waiting on the
    // network stops at once.
    void SetKeepSending(bool keep);

    // Replaces the mails by one per visible record of the recipients.
    // Returns false, with no mails and no event, when the record set is not
    // open or has no visible record; false when KeepMerging was cleared (the
    // mails merged so far stay); true when every record was merged. The
    // record set's cursor is left past the last record merged.
    bool Merge(Recordset& recipients, const QString& toTemplate, const FromAddressRef& from,
               const QString& subjectTemplate, const QString& textBodyTemplate,
               const QString& attachments);

    // Installs what runs at the yield points for the life of this object,
    // then puts back the hook that was there before. A hook refers to the
    // frame that installs it, so it must never outlive that frame; hence no
    // other way to set one. Outliving the mails is harmless.
    class ScopedYieldHook
    {
    public:
        ScopedYieldHook(Mails& mails, YieldHook hook);
        ~ScopedYieldHook();
        ScopedYieldHook(const ScopedYieldHook&) = delete;
        ScopedYieldHook& operator=(const ScopedYieldHook&) = delete;

    private:
        QPointer<Mails> m_mails;
        YieldHook m_previous;
    };

    // Runs the yield hook once; nothing when none is installed.
    void Yield();

    // The locale for the text of numbers and dates; the user's own when none
    // is set.
    void SetLocale(const QLocale& locale);

    // How many field values the last merge read (for the merge figures): one
    // per column a record's mail takes, or, for a record merged column by
    // column, one per text that held the column's marker.
    qint64 ValuesFetched() const { return m_valuesFetched; }

    // Markers of the subject or body that the last merge filled with nothing
    // (or only blanks): the mail's 1-based position and the column's
    // 0-based place, in mail order. For the checks before sending.
    struct EmptyValue
    {
        int mail;
        int column;
    };
    const std::vector<EmptyValue>& EmptyValues() const { return m_emptyValues; }
    // The column labels of the last merge's records (MergeFields::ColumnLabel).
    const QStringList& ColumnLabels() const { return m_columnLabels; }

Q_SIGNALS:
    // After each mail handed to the mail system, failed or not (the send run).
    void MailsSend(int Index);
    // After each record merged, numbered from 1.
    void MailsMerged(int Index);
    // When KeepSending goes from true to false.
    void KeepSendingCleared();
    // When one mail could not be sent (the send run).
    void SendErr(const QString& ErrDescription, const QString& MailTo,
                 const FromAddressRef& MailFrom, const QString& MailSubject,
                 const QString& MailAttatchments, const QString& MailBody);

private:
    std::size_t CheckedIndex(int position) const;

    MailVector m_mails;
    bool m_keepMerging = false;
    bool m_keepSending = false;
    YieldHook m_yield;
    std::optional<QLocale> m_locale;
    qint64 m_valuesFetched = 0;
    std::vector<EmptyValue> m_emptyValues;
    QStringList m_columnLabels;
};
