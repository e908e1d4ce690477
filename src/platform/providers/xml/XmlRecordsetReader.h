#pragma once

#include "platform/recordset/Recordset.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

// Reads a record set saved in the XML persistence format: the row schema
// (s:ElementType with its s:AttributeType columns, rs:name for names that
// are not XML names, dt:type / rs:dbtype for the types) and the rows of
// rs:data, where pending changes count as done: rs:insert rows are rows,
// rs:update rows carry their changes over the rs:original values, rs:delete
// rows are gone. Columns of a nested (child) record set and hidden columns
// are left out. UTF-8 and UTF-16 documents are read alike, from the device as
// it streams; no document tree is built.
//
// Anything else fails with AppError(ErrNotRecordset, Source, a description
// that says what was wrong).
class XmlRecordsetReader
{
public:
    static constexpr long ErrNotRecordset = -2147467259; // "unspecified error", as the cursor engine raised it
    static inline const QString Source = QStringLiteral("XML record set");
    // A schema that declares more is refused rather than read without bound.
    static constexpr int kMaxColumns = 16384;

    static Recordset Read(QIODevice& device);
    static Recordset Read(const QByteArray& document);

    // The record set type code for a dt:type and rs:dbtype pair.
    static int AdoTypeOf(const QString& dtType, const QString& dbType, bool fixedLength, bool isLong);
};
