#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One property of a vCard (2.1, 3.0 or 4.0), already unfolded and decoded.
struct VCardProperty
{
    QString Name;           // upper case, group prefix ("item1.") removed
    QStringList Types;      // lower case: TYPE values and the bare 2.1 types
    int Pref = 0;           // PREF=n, 1 for a "pref" type; 0 when not preferred
    QString Value;          // text after decoding, escapes still in place
};

// A parsed vCard. Values are kept with their backslash escapes so that
// structured values (N, ADR, ORG) can still be split at the right ";".
class VCard
{
public:
    QList<VCardProperty> Properties;

    // Every property of that name (upper case), in file order.
    QList<VCardProperty> All(const QString& name) const;
    // The unescaped text of the first property of that name; empty if none.
    QString Text(const QString& name) const;

    // Splits a structured value at unescaped ";" and unescapes each part.
    static QStringList Components(const QString& value);
    // Undoes \n, \N, \, \; and \\.
    static QString Unescape(const QString& value);

    // Every complete card of a document. Text outside cards and lines that
    // cannot be read are skipped; a card cut off before its END is dropped
    // and reported through truncated. Binary values (photos, keys) are left
    // out. Bytes that are not UTF-8 are read as Windows-1252 unless the
    // property names its own charset.
    static QList<VCard> ParseAll(const QByteArray& document, bool* truncated = nullptr);
};
