// Reading through the reader helper process against reading in this process:
// the largest Access table of the shared test files, and a 100,000-row table
// of a SQLite database through the SQLite ODBC driver. Prints the median of
// several imports each way and what the helper adds (goal: under 10% plus
// 30 ms).
//
//   build/bench/bench_reader_helper [testdata folder]

#include "ImportRows.h"
#include "base/AppError.h"
#include "platform/providers/Dispatch.h"
#include "platform/providers/guarded/GuardedReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <sys/resource.h>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <vector>

using ProviderDispatch::Where;

namespace {

struct Timing
{
    double wallMs = 0; // median
    double cpuMs = 0;  // median processor time of this process and the helpers
};

double CpuMs()
{
    rusage self = {};
    rusage children = {};
    ::getrusage(RUSAGE_SELF, &self);
    ::getrusage(RUSAGE_CHILDREN, &children);
    const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; };
    return ms(self.ru_utime) + ms(self.ru_stime) + ms(children.ru_utime) + ms(children.ru_stime);
}

Timing Measure(int runs, const std::function<void()>& read)
{
    std::vector<double> walls;
    std::vector<double> cpus;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        const double cpu = CpuMs();
        timer.start();
        read();
        walls.push_back(double(timer.nsecsElapsed()) / 1e6);
        cpus.push_back(CpuMs() - cpu);
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    return {walls[walls.size() / 2], cpus[cpus.size() / 2]};
}

void Compare(const char* what, const QString& connection, const QString& source, int runs)
{
    // One read each way first: files and drivers come into the page cache.
    const Recordset rs = ProviderDispatch::Open(connection, source, Where::ThisProcess);
    ProviderDispatch::Open(connection, source, Where::HelperProcess);
    const Timing here = Measure(runs, [&] { ProviderDispatch::Open(connection, source, Where::ThisProcess); });
    const Timing helper = Measure(runs, [&] { ProviderDispatch::Open(connection, source, Where::HelperProcess); });
    const double added = helper.wallMs - here.wallMs;
    const double allowed = here.wallMs * 0.10 + 30.0;
    std::printf("%s, %d rows\n", what, rs.RecordCount());
    std::printf("  in-process %8.1f ms (processor %8.1f ms)\n", here.wallMs, here.cpuMs);
    std::printf("  helper     %8.1f ms (processor %8.1f ms)\n", helper.wallMs, helper.cpuMs);
    std::printf("  added      %8.1f ms (%.1f%%); goal under %.1f ms: %s\n", added,
                here.wallMs > 0 ? 100.0 * added / here.wallMs : 0.0, allowed, added < allowed ? "met" : "missed");

    // Where the added time goes: the persisted form both ways, and a helper
    // that only starts and answers.
    QByteArray bytes;
    const Timing persist = Measure(runs, [&] { bytes = rs.Persist(); });
    const Timing load = Measure(runs, [&] { Recordset::FromPersisted(bytes); });
    const Timing start = Measure(runs, [&] {
        try {
            ProviderDispatch::Open(QStringLiteral("Driver={No Such Driver};"), QStringLiteral("[x]"));
        } catch (const AppError&) {
        }
    });
    std::printf("  of which: persisting %.1f ms, reading back %.1f ms (%.1f MB); a helper that only answers %.1f ms\n",
                persist.wallMs, load.wallMs, double(bytes.size()) / 1e6, start.wallMs);
}

QString MakeSqliteTable(const QString& path, int rows)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
        db.setDatabaseName(path);
        if (!db.open())
            qFatal("cannot make %s", qPrintable(path));
        QSqlQuery q(db);
        q.exec(QStringLiteral("CREATE TABLE people (Id INTEGER, FirstName VARCHAR(50), LastName VARCHAR(50), "
                              "EMail VARCHAR(100), City VARCHAR(50), Company VARCHAR(50), Age INTEGER, "
                              "Balance DOUBLE, Joined TIMESTAMP, Note VARCHAR(200))"));
        db.transaction();
        q.prepare(QStringLiteral("INSERT INTO people VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        using namespace ImportRows;
        for (int i = 0; i < rows; ++i) {
            const QString first = QString::fromUtf8(kFirst[size_t(i) % Count(kFirst)]);
            const QString last = QString::fromUtf8(kLast[size_t(i / 7) % Count(kLast)]);
            q.addBindValue(i + 1);
            q.addBindValue(first);
            q.addBindValue(last);
            q.addBindValue(QStringLiteral("%1.%2.%3@example.com").arg(first.toLower(), last.toLower()).arg(i));
            q.addBindValue(QString::fromUtf8(kCities[size_t(i) % Count(kCities)]));
            q.addBindValue(QString::fromUtf8(kCompanies[size_t(i) % Count(kCompanies)]));
            q.addBindValue(18 + i % 60);
            q.addBindValue(double(i % 100000) / 100.0);
            q.addBindValue(QStringLiteral("2020-%1-%2 10:%3:00")
                               .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                               .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                               .arg(i % 60, 2, 10, QLatin1Char('0')));
            q.addBindValue(QString::fromUtf8(kNotes[size_t(i) % Count(kNotes)]));
            if (!q.exec())
                qFatal("cannot insert");
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    return QStringLiteral("Driver={SQLite3};Database=%1;").arg(path);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    GuardedReader::SetProgram(QStringLiteral(CORVANTA_READER_PROGRAM));
    const QString testdata = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(CORVANTA_TESTDATA);

    // The largest table of the sound Access files.
    QString largestConnection;
    QString largestTable;
    int largestRows = -1;
    for (const QFileInfo& file : QDir(testdata + QStringLiteral("/mdb")).entryInfoList(QDir::Files)) {
        if (file.fileName().contains(QLatin1String("-mutated-")))
            continue;
        const QString connection =
            QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=%1;Mode=Read").arg(file.absoluteFilePath());
        try {
            for (const QString& table : ProviderDispatch::TableNames(connection, Where::ThisProcess)) {
                const int rows =
                    ProviderDispatch::Open(connection, u'[' + table + u']', Where::ThisProcess).RecordCount();
                if (rows > largestRows) {
                    largestRows = rows;
                    largestConnection = connection;
                    largestTable = u'[' + table + u']';
                }
            }
        } catch (const AppError&) {
        }
    }
    Compare("Access, largest test table", largestConnection, largestTable, 21);

    QTemporaryDir dir;
    const QString sqlite = MakeSqliteTable(dir.filePath(QStringLiteral("people.db")), 100000);
    Compare("ODBC (SQLite), 100,000 rows", sqlite, QStringLiteral("[people]"), 7);
    return 0;
}
