#pragma once

#include "platform/mail/MailTransport.h"
#include "platform/mail/OutgoingMessage.h"

#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTest>

namespace TestSupport {

// A mail with what it should look like to a reader afterwards.
struct SampleMail
{
    OutgoingMessage message;
    QList<QPair<QString, QString>> from, to, replyTo; // (display name, address)
};

// Exercises the encoding paths at once: non-ASCII display names and
// subject, a name holding "=?", lines starting with ".", lines longer than
// 998 characters, and binary, text and empty attachments with non-ASCII
// names. The attachment files are written into `folder`.
SampleMail RichMail(const QString& folder);

// A small mail from one address to `to`.
OutgoingMessage SmallMail(const QString& to, const QString& subject = QStringLiteral("Hello"));
// A SmallMail to each of `recipients`.
QList<OutgoingMessage> SmallMails(const QStringList& recipients);

// SmallMail with the sender and recipient a reader should see.
SampleMail SmallSample(const QString& to);

// Writes `bytes` to `path`; returns the path.
QString WriteFile(const QString& path, const QByteArray& bytes);

// What differs between the mail and what Python's email package read from
// it (InspectMessage); empty when the reader sees exactly what was sent.
QStringList Differences(const SampleMail& sent, const QJsonObject& read);

// Whether `text` is `pattern`, in which "*" stands for any text.
bool Matches(const QString& text, const QString& pattern);

// One run of the transport over the messages, waited for with the events
// running: each message's failure in the order given, "" when it went.
// A message without an outcome after `waitMs` shows as "(no outcome)".
QStringList SendAll(MailTransport& transport, const QList<OutgoingMessage>& messages, int waitMs = 120000);

// The one message's failure, or "" when it went.
QString SendError(MailTransport& transport, const OutgoingMessage& message);

} // namespace TestSupport

// Fails the test, listing the differences, unless the reader saw what was sent.
#define CORVANTA_VERIFY_READS_AS_SENT(sent, read)                                                  \
    do {                                                                                           \
        const QStringList differences_ = TestSupport::Differences(sent, read);                     \
        QVERIFY2(differences_.isEmpty(), qPrintable(differences_.join(u'\n')));                    \
    } while (false)
