#include "delivery/SendChecks.h"

#include "merge/Mails.h"
#include "platform/mail/MailAddress.h"
#include "base/AppError.h"
#include "base/Texts.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
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
    // Most To values are one bare ASCII address: no need for the full reader.
    const bool bare = std::all_of(to.cbegin(), to.cend(), [](QChar c) {
        const char16_t u = c.unicode();
        return u > 0x20 && u < 0x7f && u != '<' && u != ',' && u != ';' && u != '"' && u != '(';
    });
    if (bare && !to.isEmpty()) {
        addresses = {MailAddress{QString(), to}};
        return MailAddresses::IsInternetAddress(to);
    }
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

// A hash that folds case, as the addresses are compared.
size_t CaseFreeHash(const QString& address)
{
    size_t h = 1469598103934665603ull;
    for (const QChar c : address) {
        const char16_t u = c.unicode();
        const char16_t folded = u < 0x80 ? (u >= 'A' && u <= 'Z' ? u + 32 : u) : c.toLower().unicode();
        h = (h ^ folded) * 1099511628211ull;
    }
    return h;
}

QString AddressAt(const Mails& mails, qint64 row, int index)
{
    QList<MailAddress> addresses;
    ReadRecipients(mails.Item(int(row)).To(), addresses);
    return addresses.value(index).address;
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
    // Repeated addresses are found by sorting hashes, not by keeping a
    // million strings: equal hashes are then compared whole.
    struct Seen
    {
        size_t hash;
        qint64 row;
        int index; // among the mail's addresses
    };
    std::vector<Seen> seen;
    seen.reserve(size_t(mails.Count()));
    QList<MailAddress> addresses;
    qint64 row = 0;
    for (const Mail& mail : mails) {
        ++row;
        const QString to = mail.To();
        if (!ReadRecipients(to, addresses)) {
            found.Note(SendFinding::NotAnAddress, row, to);
            continue;
        }
        for (int i = 0; i < addresses.size(); ++i)
            seen.push_back({CaseFreeHash(addresses[i].address), row, i});
    }
    std::sort(seen.begin(), seen.end(), [](const Seen& a, const Seen& b) {
        return a.hash != b.hash ? a.hash < b.hash : a.row < b.row;
    });
    std::vector<qint64> repeatedRows;
    for (size_t first = 0; first < seen.size();) {
        size_t end = first + 1;
        while (end < seen.size() && seen[end].hash == seen[first].hash)
            ++end;
        if (end - first > 1) {
            QStringList group;
            for (size_t k = first; k < end; ++k) {
                const QString address = AddressAt(mails, seen[k].row, seen[k].index).toLower();
                if (group.contains(address))
                    repeatedRows.push_back(seen[k].row);
                else
                    group << address;
            }
        }
        first = end;
    }
    std::sort(repeatedRows.begin(), repeatedRows.end());
    repeatedRows.erase(std::unique(repeatedRows.begin(), repeatedRows.end()), repeatedRows.end());
    for (const qint64 r : repeatedRows)
        found.Note(SendFinding::SameRecipient, r, mails.Item(int(r)).To());

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
