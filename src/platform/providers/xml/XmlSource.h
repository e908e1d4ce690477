#pragma once

#include "platform/recordset/Recordset.h"

#include <QDateTime>
#include <QString>

// An XML recipient source: an http or https address, a file: URL or a path,
// whose document must be a record set in the XML persistence format.
class XmlSource
{
public:
    // Raised with the HTTP status as its number and the status text as its
    // description when a server answers with anything but 200.
    static inline const QString HttpSource = QStringLiteral("Microsoft XML version 2.0");
    static constexpr long ErrFileNotFound = 53;
    static constexpr long ErrAddress = 5;

    // The address actually requested over HTTP: the URL, "?" (or "&" when it
    // already holds a "?") and "timestamptoavoidcache=" with the local time as
    // yyyyMMddHHmmss, so that no cache answers in the server's place.
    static QString RequestAddress(const QString& url, const QDateTime& now);

    // Fetches and reads the document. Files are read as they stand, without
    // the time stamp. Errors are AppError: the HTTP status, a transport
    // failure (HttpGet), a missing file, or a document that is not a record
    // set (XmlRecordsetReader).
    static Recordset Open(const QString& url, const QString& username, const QString& password,
                          int timeoutMs = 60000);
};
