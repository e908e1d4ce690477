#pragma once

#include "merge/Mail.h"
#include "platform/recordset/Recordset.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <vector>

class Mails;

// The failed mails of the last send run, one row each, in failure order:
// six text fields (type 200, attributes -1) named by texts 115 to 120.
//
//   Description  4000    the failure, on one line
//   To           4000    the mail's To
//   From         4000    the sender's preview form
//   Subject      4000
//   Attachments  4000    the attachment list as the mail had it
//   Body        64000
//
// Texts longer than the defined size are kept whole, so no failure is lost
// to a long body. Records() is the clone the grid shows and the error report
// reads; Reset() starts an empty log for a new run.
class SendErrorLog : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 TextSize = 4000;
    static constexpr qint64 BodySize = 64000;

    explicit SendErrorLog(QObject* parent = nullptr);

    Recordset& Records() { return m_records; }
    const Recordset& Records() const { return m_records; }
    int Count() const { return m_records.RecordCount(); }

    // A new, empty log; the old rows are dropped.
    void Reset();

    // One row for a failed mail; the arguments are those of Mails::SendErr.
    void Add(const QString& ErrDescription, const QString& MailTo, const FromAddressRef& MailFrom,
             const QString& MailSubject, const QString& MailAttatchments, const QString& MailBody);

    // Rows after a retry: row (0-based) -> its new description, or a null
    // text to drop the row (the mail went after all). Returns where each old
    // row is now, -1 for a dropped one. The grid must be bound again.
    std::vector<int> Revise(const QHash<int, QString>& rows);

    // Every SendErr of the mails becomes a row, while both live.
    QMetaObject::Connection Listen(Mails& mails);

Q_SIGNALS:
    // After each row, with the number of rows; the window shows the row
    // and lets events run here.
    void RowAdded(int count);

private:
    static Recordset Create();

    Recordset m_records;
};
