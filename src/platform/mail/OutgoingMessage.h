#pragma once

#include <QString>
#include <QStringList>

// Error numbers of the mail layer, carried by the AppError it throws.
namespace MailError {
inline constexpr long InvalidArgument = 5;   // an address, server name or port that cannot be used
inline constexpr long FileAccess = 75;       // an attachment or temporary file that cannot be read or written
inline constexpr long SendFailed = 1000;     // the server or the mail program refused or failed
} // namespace MailError

// One mail as the send loop hands it over. Every text is taken as it is;
// the builder encodes what needs encoding.
struct OutgoingMessage
{
    QString from;            // "Name" <address>, or a bare address
    QString to;              // one or more addresses separated by "," or ";"
    QString replyTo;         // empty: no Reply-To header
    QString subject;
    QString body;            // plain text
    QStringList attachments; // file paths, attached in this order under their file names
    QString mailer;          // X-Mailer value; empty: no such header
};

// The pieces of a ";"-separated attachment list that name an existing path,
// in order. Empty pieces and missing files are left out without a word, the
// way the send loop wants them.
QStringList ExistingAttachments(const QString& attachments);
