#include "platform/sysinfo/VersionProbe.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QtGlobal>

#include <cmath>
#include <sys/utsname.h>

#include <freexl.h>
#include <gmime/gmime.h>
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

Texts ReadThisMachine()
{
    Texts t;
    struct utsname name{};
    if (uname(&name) == 0)
        t.os = QString::fromLocal8Bit(name.release);

    // The error report workbook is written by libxlsxwriter; it stands for
    // the spreadsheet application of version 12.
    if (lxw_version() != nullptr)
        t.workbookClass = QStringLiteral("Corvanta.Workbook.12");

    const QStringList drivers = QSqlDatabase::drivers();
    if (drivers.contains(QStringLiteral("QSQLITE")) && drivers.contains(QStringLiteral("QODBC")))
        t.dataLayer = QString::fromLatin1(qVersion());

    // Address books are SQLite files; worksheets are read by FreeXL and the
    // built-in .xlsx reader.
    t.contactsReader = drivers.contains(QStringLiteral("QSQLITE"));
    t.worksheetReader = freexl_version() != nullptr;

    t.mailClass = QStringLiteral("GMime.Message.%1").arg(gmime_major_version);
    t.networkVersion = QString::fromLatin1(qVersion());
    return t;
}

} // namespace VersionProbe
