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

QMetaObject::Connection SendErrorLog::Listen(Mails& mails)
{
    return connect(&mails, &Mails::SendErr, this, &SendErrorLog::Add);
}
