#include "delivery/SendChecks.h"

#include "merge/Mails.h"
#include "platform/mail/MailAddress.h"
#include "base/AppError.h"
#include "base/Texts.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <array>

namespace {

class Collector
{
public:
    void Note(SendFinding::Kind kind, qint64 row, const QString& value)
    {
        SendFinding& f = m_findings[kind];
        f.kind = kind;
        if (++f.count <= SendChecks::MaxExamples)
            f.examples << LoadResString(4708)
                                  .replace(QLatin1String("#ROW#"), QString::number(row))
                                  .replace(QLatin1String("#VALUE#"), value);
    }
    QList<SendFinding> Findings() const
    {
        QList<SendFinding> found;
        for (const SendFinding& f : m_findings)
            if (f.count)
                found << f;
        return found;
    }

private:
    std::array<SendFinding, SendFinding::BadSender + 1> m_findings{};
};

// The addresses of a To text, or none when it cannot be read or one is not
// an internet address.
bool ReadRecipients(const QString& to, QList<MailAddress>& addresses)
{
    try {
        addresses = MailAddresses::ParseList(to, QStringLiteral("To"));
    } catch (const AppError&) {
        return false;
    }
    for (const MailAddress& a : addresses)
        if (!MailAddresses::IsInternetAddress(a.address))
            return false;
    return true;
}

bool IsAddress(const QString& text)
{
    QList<MailAddress> addresses;
    return ReadRecipients(text, addresses) && addresses.size() == 1;
}

} // namespace

namespace SendChecks {

QList<SendFinding> Check(const Mails& mails)
{
    Collector found;
    // Addresses compare without case: mail systems treat them so.
    QSet<QString> seen;
    seen.reserve(mails.Count());
    QList<MailAddress> addresses;
    qint64 row = 0;
    for (const Mail& mail : mails) {
        ++row;
        const QString to = mail.To();
        if (!ReadRecipients(to, addresses)) {
            found.Note(SendFinding::NotAnAddress, row, to);
            continue;
        }
        for (const MailAddress& a : addresses) {
            const QString key = a.address.toLower();
            if (seen.contains(key)) {
                found.Note(SendFinding::SameRecipient, row, a.address);
                break;
            }
            seen.insert(key);
        }
    }

    const std::vector<Mails::EmptyValue>& empty = mails.EmptyValues();
    for (size_t i = 0; i < empty.size();) {
        // One finding per mail, naming every empty column.
        const int mail = empty[i].mail;
        QStringList columns;
        for (; i < empty.size() && empty[i].mail == mail; ++i)
            columns << mails.ColumnLabels().value(empty[i].column);
        found.Note(SendFinding::EmptyMarker, mail, columns.join(QStringLiteral(", ")));
    }

    // Mails share their attachment and sender objects unless changed one by
    // one, so each distinct text is looked at once.
    QSet<QString> checkedFiles;
    QString lastAttachments;
    const FromAddress* lastSender = nullptr;
    row = 0;
    for (const Mail& mail : mails) {
        ++row;
        const QString& attachments = mail.Attachments();
        if (!attachments.isEmpty() && !(attachments.constData() == lastAttachments.constData() &&
                                        attachments.size() == lastAttachments.size())) {
            lastAttachments = attachments;
            for (const QString& path : attachments.split(u';', Qt::SkipEmptyParts)) {
                if (checkedFiles.contains(path))
                    continue;
                checkedFiles.insert(path);
                // Opened, not only looked at: permissions are not the only
                // way a file can refuse to be read.
                QFile file(path);
                if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
                    found.Note(SendFinding::MissingAttachment, row, path);
            }
        }
        const FromAddress* sender = mail.From().get();
        if (sender && sender != lastSender) {
            lastSender = sender;
            if (!IsAddress(sender->EMailAddress()))
                found.Note(SendFinding::BadSender, row, sender->EMailAddress());
            else if (!sender->ReplyEMailAddress().isEmpty() &&
                     !IsAddress(sender->ReplyEMailAddress()))
                found.Note(SendFinding::BadSender, row, sender->ReplyEMailAddress());
        }
    }
    return found.Findings();
}

} // namespace SendChecks

namespace SendChecks {

QString Describe(const QList<SendFinding>& findings)
{
    QStringList parts{LoadResString(4700)};
    for (const SendFinding& f : findings) {
        QString part = LoadResString(4701 + f.kind).replace(QLatin1String("#COUNT#"),
                                                            QString::number(f.count));
        for (const QString& example : f.examples)
            part += QStringLiteral("\n    ") + example;
        if (f.count > f.examples.size())
            part += QStringLiteral("\n    ") +
                    LoadResString(192).replace(QLatin1String("#COUNT#"),
                                               QString::number(f.count - f.examples.size()));
        parts << part;
    }
    parts << LoadResString(4706);
    return parts.join(QStringLiteral("\n\n"));
}

} // namespace SendChecks
