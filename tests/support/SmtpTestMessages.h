#pragma once

#include "platform/mail/OutgoingMessage.h"

#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

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

// Writes `bytes` to `path`; returns the path.
QString WriteFile(const QString& path, const QByteArray& bytes);

// What differs between the mail and what Python's email package read from
// it (InspectMessage); empty when the reader sees exactly what was sent.
QStringList Differences(const SampleMail& sent, const QJsonObject& read);

} // namespace TestSupport
