#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The mailing being composed, kept in "dsmailing.dat" in the data folder so
// that closing the program does not lose it: sender, To column, subject,
// body and attachments, with the body's text-file state.
//
// The file is a store file (StoreFile) of plain properties, written
// atomically and owner-only like the others; no other store file refers to
// it. A file that is not a draft is kept aside and read as an empty draft.
struct LoadedDraft;

struct MailingDraft
{
    QString sender;      // the sender as the Compose step lists it
    QString toColumn;    // the To column's label
    QString subject;
    QString body;
    QStringList attachments; // full paths
    bool bodyChanged = false; // changed since last opened or saved as text
    QString textFile;         // the text file the body came from or went to

    bool operator==(const MailingDraft&) const = default;

    static QString FileName();

    // folder ends in "/". A missing file gives an empty draft.
    static LoadedDraft Load(const QString& folder);

    // Throws AppError 75 when it cannot be written; the old file stays.
    void Save(const QString& folder) const;
};

struct LoadedDraft
{
    MailingDraft draft;
    // Why the file was not used, when it was there but damaged or
    // unreadable; it says where a damaged file was kept.
    std::optional<QString> problem;
    // The file could be neither read nor copied: saving over it would
    // lose what it holds, so it is left alone.
    bool leaveFile = false;
};
