#include "delivery/SendErrorLog.h"

#include "merge/Mails.h"
#include "base/Texts.h"

SendErrorLog::SendErrorLog(QObject* parent) : QObject(parent), m_records(Create())
{
}

Recordset SendErrorLog::Create()
{
    Recordset log;
    for (int id = 115; id <= 119; ++id)
        log.AppendField(LoadResString(id), AdoType::VarChar, TextSize, -1);
    log.AppendField(LoadResString(120), AdoType::VarChar, BodySize, -1);
    log.Open();
    // The window works on a clone, as it always has; the rows are shared.
    return log.Clone();
}

void SendErrorLog::Reset()
{
    m_records = Create();
}

void SendErrorLog::Add(const QString& ErrDescription, const QString& MailTo, const FromAddressRef& MailFrom,
                       const QString& MailSubject, const QString& MailAttatchments, const QString& MailBody)
{
    m_records.AddNew();
    m_records.SetValue(0, ErrDescription);
    m_records.SetValue(1, MailTo);
    m_records.SetValue(2, MailFrom ? MailFrom->GetPreviewEMailAddress() : QString());
    m_records.SetValue(3, MailSubject);
    m_records.SetValue(4, MailAttatchments);
    m_records.SetValue(5, MailBody);
    m_records.Update();
    Q_EMIT RowAdded(Count());
}

std::vector<int> SendErrorLog::Revise(const QHash<int, QString>& rows)
{
    Recordset revised = Create();
    std::vector<int> moved;
    const int count = Count();
    const int fields = m_records.FieldCount();
    for (int row = 0; row < count; ++row) {
        const auto change = rows.constFind(row);
        if (change != rows.cend() && change->isNull()) {
            moved.push_back(-1);
            continue;
        }
        moved.push_back(revised.RecordCount());
        revised.AddNew();
        for (int field = 0; field < fields; ++field)
            revised.SetValue(field, field == 0 && change != rows.cend() ? QVariant(*change)
                                                                        : m_records.ValueAt(row, field));
        revised.Update();
    }
    m_records = std::move(revised);
    return moved;
}

QMetaObject::Connection SendErrorLog::Listen(Mails& mails)
{
    return connect(&mails, &Mails::SendErr, this, &SendErrorLog::Add);
}
