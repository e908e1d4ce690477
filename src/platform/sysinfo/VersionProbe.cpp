#include "platform/sysinfo/VersionProbe.h"

#include "base/AppError.h"
#include "platform/providers/sheets/XlsxReader.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QUuid>
#include <QtGlobal>

#include <cmath>
#include <sys/utsname.h>

#include <gmime/gmime.h>
#include <sql.h>
#include <sqlext.h>
#include <xlsxwriter.h>

namespace VersionProbe {

namespace {

qint32 leadingNumber(const QString& part)
{
    static const QRegularExpression number(
        QStringLiteral("^\\s*[-+]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][-+]?\\d+)?"));
    const auto match = number.match(part);
    if (!match.hasMatch())
        return 0;
    const double value = std::fabs(match.captured(0).trimmed().toDouble());
    if (!(value < 2147483647.5))
        return 0; // out of range counts as a failed probe
    return qint32(std::lround(value));
}

} // namespace

QList<qint32> Parts(const QString& text)
{
    QList<qint32> numbers;
    if (text.isEmpty())
        return numbers;
    const QStringList parts = text.split(u'.');
    for (const QString& part : parts)
        numbers << leadingNumber(part);
    return numbers;
}

SystemVersions FromTexts(const Texts& texts)
{
    SystemVersions v;
    const auto os = Parts(texts.os);
    if (os.size() >= 2) {
        v.OSMajor = os[0];
        v.OSMinor = os[1];
    }
    const auto workbook = Parts(texts.workbookClass);
    if (workbook.size() == 3)
        v.ExcelVersion = workbook[2];
    const auto data = Parts(texts.dataLayer);
    if (!data.isEmpty()) {
        v.ADOMajor = data[0];
        if (data.size() >= 2)
            v.ADOMinor = data[1];
    }
    if (texts.contactsReader)
        v.OutlookISAM = 9;
    if (texts.worksheetReader)
        v.ExcelISAM = 8;
    const auto mail = Parts(texts.mailClass);
    if (mail.size() == 3)
        v.CDOVersion = mail[2];
    const auto network = Parts(texts.networkVersion);
    if (network.size() >= 3) {
        v.IEMajor = network[0];
        v.IEMinor = network[1];
    }
    return v;
}

bool OdbcManagerWorks()
{
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return false;
    const bool works = SQL_SUCCEEDED(
        SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return works;
}

bool SqliteDriverLoads()
{
    // Listed is not loaded: only adding a connection loads the plugin.
    const QString name = QStringLiteral("corvanta-probe-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool loads = false;
    {
        const QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        loads = db.isValid();
    }
    QSqlDatabase::removeDatabase(name);
    return loads;
}

bool WorkbookWriterWorks()
{
    const QTemporaryDir dir;
    if (!dir.isValid())
        return false;
    const QString path = dir.filePath(QStringLiteral("probe.xlsx"));
    lxw_workbook* book = workbook_new(QFile::encodeName(path).constData());
    if (!book)
        return false;
    lxw_worksheet* sheet = workbook_add_worksheet(book, "Probe");
    if (sheet) {
        worksheet_write_string(sheet, 0, 0, "Corvanta", nullptr);
        worksheet_write_number(sheet, 0, 1, 12, nullptr);
    }
    if (workbook_close(book) != LXW_NO_ERROR || !sheet)
        return false;
    try {
        XlsxReader reader(path);
        if (reader.SheetNames() != QStringList{QStringLiteral("Probe")})
            return false;
        const Recordset read = reader.ReadSheet(QStringLiteral("Probe"), false);
        return read.RecordCount() == 1 && read.FieldCount() == 2 &&
               read.ValueAt(0, 0).toString() == QLatin1String("Corvanta") && read.ValueAt(0, 1).toDouble() == 12;
    } catch (const AppError&) {
        return false;
    }
}

Texts ReadThisMachine()
{
    Texts t;
    struct utsname name{};
    if (uname(&name) == 0)
        t.os = QString::fromLocal8Bit(name.release);

    // The error report workbook is written in this process by libxlsxwriter;
    // it stands for the spreadsheet application of version 12 once a
    // workbook written here has been read back.
    if (WorkbookWriterWorks())
        t.workbookClass = QStringLiteral("Corvanta.Workbook.12");

    const bool sqlite = SqliteDriverLoads();
    if (sqlite && OdbcManagerWorks())
        t.dataLayer = QString::fromLatin1(qVersion());

    // Address books are SQLite files; worksheets are read by the program's
    // own readers, always built in.
    t.contactsReader = sqlite;
    t.worksheetReader = true;

    t.mailClass = QStringLiteral("GMime.Message.%1").arg(gmime_major_version);
    t.networkVersion = QString::fromLatin1(qVersion());
    return t;
}

} // namespace VersionProbe
