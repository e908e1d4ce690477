#pragma once

#include "base/AppError.h"

// Errors of the desktop contacts reader. The numbers are those the contacts
// driver used for the same failures, so callers that switch on them keep
// working; the descriptions are ours.
namespace ContactsError {

enum : long {
    BadConnection = 3001,  // the connection string or source is not one we read
    FolderNotFound = 3011, // no contact folder or address book of that name
    FileNotFound = 3024,   // the address book file is missing or unreadable
    NoProfile = 3044,      // no mail profile of that name, or its folder is gone
    UnknownFormat = 3274,  // an address book layout this program does not know
    Damaged = 3343,        // the file is not a database, or it is broken
};

inline const QString Source = QStringLiteral("Contacts");

[[noreturn]] inline void Raise(long number, const QString& description)
{
    throw AppError(number, Source, description);
}

} // namespace ContactsError
