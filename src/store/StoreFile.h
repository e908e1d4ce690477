#pragma once

#include "base/AppError.h"
#include "store/PropertyBag.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// One store file on disk: a property bag's contents wrapped as a single
// byte-array value.
//
// Envelope, all little-endian, from the start of the file:
//   2 bytes  type code 0x2011 (array of bytes)
//   2 bytes  dimension count, 1
//   4 bytes  element count N, unsigned
//   4 bytes  lower bound, 0
//   N bytes  PropertyBag::Contents()
// The record's own length decides: bytes after it are left over from a
// longer file that earlier versions wrote over without truncating it, and
// are ignored.
namespace StoreFile {

inline constexpr quint16 ByteArrayType = 0x2011;
inline constexpr int HeaderSize = 12;

QByteArray Wrap(const QByteArray& bagContents);
// The bag's bytes; AppError 321 (PropertyBag::InvalidFormat) when the data
// does not start with one such record, or the record ends early.
QByteArray Unwrap(const QByteArray& fileContents);

struct ReadResult
{
    enum class Status {
        Missing,    // no file: an empty bag
        Empty,      // a file of no bytes: an empty bag
        Read,       // the bag as stored
        Damaged,    // bytes that are not a bag: an empty bag, `problem` says why
        Unreadable, // the file is there but cannot be read: an empty bag
    };
    Status status = Status::Missing;
    PropertyBag bag;
    QString problem;
};

// Reads a store file. Never throws; damage and access failures are told by
// the status.
ReadResult Read(const QString& path);

// Writes the bag atomically (AtomicFile) with owner-only permissions, since
// store files hold passwords. AppError 75 when it cannot be written in full;
// the old file then stays as it was.
void Write(const QString& path, const PropertyBag& bag);

// Writes several files as one step as far as the file system allows: every
// new content is written and synced to its temporary file first, and only
// when all are complete do they replace their targets, in the given order;
// then their folders are synced. When one cannot be prepared, the rest are
// not tried and none is replaced. Returns the problems (AppError 75), empty
// when all were written.
QList<AppError> WriteAll(const QList<QPair<QString, PropertyBag>>& files);

// Copies the file beside itself as "<name>.<yyyyMMdd-HHmmss>.bak" (a number
// is added when that name is taken), owner-only. Returns the copy's path;
// AppError 75 when no copy could be made.
QString KeepAside(const QString& path);

// The AppError number for file access failures.
inline constexpr long FileAccessError = 75;

} // namespace StoreFile

// The mail settings file "mlcfg.dat": seven plain properties in the store
// envelope. The mail configuration owns the meaning and the defaults; this
// is the file's shape.
namespace MailSettingsFile {

inline constexpr const char* FileName = "mlcfg.dat";

inline const QString SendUsingMethod = QStringLiteral("SendUsingMethod");             // 32-bit
inline const QString SMTPServer = QStringLiteral("SMTPServer");                       // text
inline const QString SMTPConnectionTimeout = QStringLiteral("SMTPConnectionTimeout"); // 16-bit
inline const QString SMPTAuthenticate = QStringLiteral("SMPTAuthenticate");           // 32-bit
inline const QString SMTPUsername = QStringLiteral("SMTPUsername");                   // text
// Text, in clear; empty while the keyring holds the password.
inline const QString SMTPPassword = QStringLiteral("SMTPPassword");
inline const QString SMTPServerPort = QStringLiteral("SMTPServerPort");               // 16-bit
inline const QString SMTPMaxConnections = QStringLiteral("SMTPMaxConnections");       // 16-bit, added later
// Added later still; files without them load with the defaults below.
inline const QString SMTPEncryption = QStringLiteral("SMTPEncryption");               // 32-bit
inline const QString SMTPCAFile = QStringLiteral("SMTPCAFile");                       // text
inline const QString SMTPTrustedCertificates = QStringLiteral("SMTPTrustedCertificates"); // text
inline const QString SMTPRetryTemporary = QStringLiteral("SMTPRetryTemporary");       // 16-bit
inline const QString SMTPMaxPerMinute = QStringLiteral("SMTPMaxPerMinute");           // 32-bit
inline const QString SMTPMaxPerDay = QStringLiteral("SMTPMaxPerDay");                 // 32-bit
// The sign-in with a provider, added after those; the same holds.
inline const QString SMTPOAuthProvider = QStringLiteral("SMTPOAuthProvider");         // 32-bit
inline const QString SMTPOAuthTenant = QStringLiteral("SMTPOAuthTenant");             // text
inline const QString SMTPOAuthClientID = QStringLiteral("SMTPOAuthClientID");         // text
inline const QString SMTPOAuthClientSecret = QStringLiteral("SMTPOAuthClientSecret"); // text
inline const QString SMTPOAuthAuthorizeURL = QStringLiteral("SMTPOAuthAuthorizeURL"); // text
inline const QString SMTPOAuthTokenURL = QStringLiteral("SMTPOAuthTokenURL");         // text
inline const QString SMTPOAuthDeviceURL = QStringLiteral("SMTPOAuthDeviceURL");       // text
inline const QString SMTPOAuthScope = QStringLiteral("SMTPOAuthScope");               // text

struct Values
{
    qint32 SendUsingMethod = 2;
    QString SMTPServer;
    qint16 SMTPConnectionTimeout = 1200;
    qint32 SMPTAuthenticate = 0;
    QString SMTPUsername;
    QString SMTPPassword;
    qint16 SMTPServerPort = 25;
    qint16 SMTPMaxConnections = 4;
    qint32 SMTPEncryption = 0;
    QString SMTPCAFile;
    QString SMTPTrustedCertificates;
    qint16 SMTPRetryTemporary = 1;
    qint32 SMTPMaxPerMinute = 0;
    qint32 SMTPMaxPerDay = 0;
    qint32 SMTPOAuthProvider = 0;
    QString SMTPOAuthTenant;
    QString SMTPOAuthClientID;
    QString SMTPOAuthClientSecret;
    QString SMTPOAuthAuthorizeURL;
    QString SMTPOAuthTokenURL;
    QString SMTPOAuthDeviceURL;
    QString SMTPOAuthScope;
};

// The stored values, for reading each with its default (ReadInt32 and so
// on). A missing, empty, damaged or unreadable file gives an empty bag.
PropertyBag Read(const QString& path);

// Writes the values in their order and with their widths. A file that
// holds bytes which are not settings is first kept aside
// (StoreFile::KeepAside). AppError 75 when the file cannot be written or
// kept aside; the old file then stays as it was.
void Write(const QString& path, const Values& values);

} // namespace MailSettingsFile
