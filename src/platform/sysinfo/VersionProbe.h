#pragma once

#include "platform/sysinfo/SystemVersions.h"

#include <QList>
#include <QString>

// How the version record is read: each component yields a version text, and
// the texts are turned into numbers by one set of rules, so the rules can be
// checked on crafted texts.
namespace VersionProbe {

// What this machine reports for each component; an empty text means the
// component was not found.
struct Texts
{
    QString os;             // running kernel release, "6.1.0-18-amd64"
    QString workbookClass;  // "<name>.<kind>.<major>" of the workbook writer
    QString dataLayer;      // SQL layer version when the ODBC driver manager and the SQLite driver work
    bool contactsReader = false;
    bool worksheetReader = false;
    QString mailClass;      // "<name>.<kind>.<major>" of the mail library
    QString networkVersion; // "6.4.2"
};

// Splits at "." and takes each part's leading number (sign and digits, as a
// plain numeric reading would), made positive and rounded.
QList<qint32> Parts(const QString& text);

SystemVersions FromTexts(const Texts& texts);

Texts ReadThisMachine();

// What ReadThisMachine asks of the components the program really uses: the
// unixODBC driver manager gives an environment, Qt's SQLite driver loads,
// and a workbook written with libxlsxwriter in this process reads back
// through the program's own .xlsx reader.
bool OdbcManagerWorks();
bool SqliteDriverLoads();
bool WorkbookWriterWorks();

} // namespace VersionProbe
