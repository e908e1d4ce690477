#pragma once

#include <QList>
#include <QPair>
#include <QString>

// A connection string read back into what it asks for, so that opening a
// source can dispatch on it.
//
// The strings the recipient lists build put their values in without any
// quoting, so a password may hold ";" or "=". Those exact layouts are
// therefore matched first, as whole texts; anything else is read item by item
// (OLE DB and ODBC syntax: "key=value" separated by ";", values optionally in
// double or single quotes or, ODBC style, in braces).
//
// Entry point: ConnectionString::Parse(text).
class ConnectionString
{
public:
    enum class Kind {
        Empty,     // nothing but blanks
        SqlServer, // "Provider=SQLOLEDB..."
        Access,    // Jet (or ACE) with a Data Source
        Excel,     // Jet with "Excel 8.0" extended properties
        Outlook,   // Jet with the "Outlook 9.0" item
        Odbc,      // any other string: handed to the ODBC driver manager as it is
    };

    static ConnectionString Parse(const QString& text);

    // "key=value" items in order, keys and unquoted values trimmed, quotes
    // and braces removed. Items without "=" are kept with an empty value
    // (the Outlook string has one).
    using Items = QList<QPair<QString, QString>>;
    static Items SplitItems(const QString& text);
    // Value of the first item of that key (matched without regard to case).
    static QString ItemValue(const Items& items, const QString& key, bool* found = nullptr);

    Kind kind = Kind::Empty;
    QString text;              // the string as given
    QString provider;          // as written, empty for ODBC

    // SQL Server
    QString server;            // Data Source
    QString database;          // Initial Catalog
    bool integratedSecurity = false;

    // Access and Excel: the file; Excel: whether the first row holds headings
    QString file;
    bool firstRowHasNames = true;

    // Outlook
    QString mapiLevel;
    int tableType = 0;
    QString profile;

    // Credentials (SQL Server login, Access and Excel authentication,
    // Outlook PWD)
    QString user;
    QString password;
    bool hasCredentials = false;
};
