#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class Mails;

// What the checks before sending found in one kind of mistake: how many
// mails (or, for attachments, files) it concerns and the first few, each as
// "Row n: value" with the mail's 1-based row.
struct SendFinding
{
    enum Kind {
        NotAnAddress,      // a To value that is not an internet address
        SameRecipient,     // an address that an earlier mail goes to already
        EmptyMarker,       // a subject or body marker merged to nothing
        MissingAttachment, // an attached file that is gone or unreadable
        BadSender,         // the sender's or reply address is not an address
    };
    Kind kind;
    qint64 count = 0;
    QStringList examples;
};

// Reads the merged mails for mistakes that would reach the recipients or
// fail at the server; changes nothing. Findings come in the order of the
// kinds, one per kind found.
namespace SendChecks {

inline constexpr int MaxExamples = 5;

QList<SendFinding> Check(const Mails& mails);

// The findings as the question that asks whether to send anyway.
QString Describe(const QList<SendFinding>& findings);

} // namespace SendChecks
