// Figures for the record set on this machine: building a 1,000,000 x 10
// table, filtering it with two clauses, cloning it, and persisting and
// loading 100,000 rows. Build in Release.

#include "MemoryProbe.h"
#include "RecipientTable.h"
#include "platform/recordset/Recordset.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <cstdio>

using MemoryProbe::StatusKb;

namespace {

const char* const kCountries[] = {"Denmark", "Germany", "France", "Spain", "Italy", "Norway", "Sweden", "Poland"};
const char* const kCities[] = {"Aarhus", "Berlin", "Lyon", "Sevilla", "Torino", "Bergen", "Malmo", "Gdansk", "Odense"};

// Ten columns as an imported recipient list would have them: six text, two
// integers, a number and a date.
Recordset NewTable()
{
    return OpenRecipientTable(QStringLiteral("Country"), 4000);
}

// Fills one row's values; returns the UTF-16 bytes of its text.
qint64 MakeRow(int i, QVariantList& row)
{
    const QString first = QStringLiteral("First%1").arg(i % 5000);
    const QString last = QStringLiteral("Last%1").arg(i);
    const QString email = QStringLiteral("user%1@example.org").arg(i);
    const QString city = QString::fromLatin1(kCities[i % 9]);
    const QString country = QString::fromLatin1(kCountries[i % 8]);
    const QString note = i % 4 == 0 ? QString() : QStringLiteral("note %1").arg(i % 1000);
    row[0] = i;
    row[1] = first;
    row[2] = last;
    row[3] = email;
    row[4] = city;
    row[5] = country;
    row[6] = 18 + i % 70;
    row[7] = (i % 100000) / 100.0;
    // UTC only to keep making the value cheap; the column keeps the naive date and time.
    row[8] = QDateTime(QDate(2000, 1, 1).addDays(i % 9000), QTime(i % 24, i % 60), Qt::UTC);
    row[9] = i % 10 == 0 ? QVariant() : QVariant(note);
    return 2 * qint64(first.size() + last.size() + email.size() + city.size() + country.size()
                      + (i % 10 == 0 ? 0 : note.size()));
}

double Seconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

} // namespace

int main()
{
    const int rows = 1000000;
    const int columns = 10;
    QVariantList row(columns);

    // Making the values alone, to tell it apart from storing them.
    QElapsedTimer timer;
    timer.start();
    qint64 textBytes = 0;
    for (int i = 0; i < rows; ++i)
        textBytes += MakeRow(i, row);
    const double making = Seconds(timer);

    const qint64 rssBefore = StatusKb("VmRSS");
    const qint64 hwmBefore = StatusKb("VmHWM");
    const qint64 hugeBefore = MemoryProbe::HugePagesKb();
    timer.restart();
    Recordset rs = NewTable();
    for (int i = 0; i < rows; ++i) {
        MakeRow(i, row);
        rs.AppendRow(row);
    }
    const double building = Seconds(timer);
    const qint64 hwmAfter = StatusKb("VmHWM");
    const qint64 peakKb = hwmAfter - rssBefore;
    const double cells = double(rows) * columns;
    const double peakPerCell = (double(peakKb) * 1024 - double(textBytes)) / cells;
    const double heldPerCell = (double(rs.StorageBytes()) - double(textBytes)) / cells;

    std::printf("Record set, %d rows x %d columns (6 text, 2 integer, 1 currency, 1 date)\n", rows, columns);
    std::printf("  build:          %.3f s (of which %.3f s making the values)\n", building, making);
    std::printf("  text held:      %.1f MB (UTF-16)\n", double(textBytes) / 1048576.0);
    std::printf("  peak memory:    %.1f MB above the start (VmHWM %lld kB before, %lld kB after)\n", double(peakKb) / 1024.0,
                static_cast<long long>(hwmBefore), static_cast<long long>(hwmAfter));
    std::printf("  bytes per cell: %.1f beyond the text at peak, %.1f held by the table\n", peakPerCell, heldPerCell);
    std::printf("  in huge pages:  %.1f MB (transparent huge pages: %s)\n",
                double(MemoryProbe::HugePagesKb() - hugeBefore) / 1024,
                MemoryProbe::HugePageMode().constData());

    const QString criteria = QStringLiteral("[Country] = 'denmark' AND [Age] > '40' ");
    timer.restart();
    rs.SetFilter(criteria);
    const double filtering = Seconds(timer);
    std::printf("  filter:         %.3f s for %s-> %d rows\n", filtering, qPrintable(criteria), rs.RecordCount());

    const QString contains = QStringLiteral("[EMail] LIKE '*99@*' OR [City] = 'Bergen'");
    timer.restart();
    rs.SetFilter(contains);
    std::printf("  filter:         %.3f s for %s -> %d rows\n", Seconds(timer), qPrintable(contains), rs.RecordCount());

    timer.restart();
    Recordset clone = rs.Clone();
    const double cloning = Seconds(timer);
    std::printf("  clone:          %.6f s (%d rows seen by the clone)\n", cloning, clone.RecordCount());
    clone.Close();
    rs.Close();

    const int persistedRows = 100000;
    Recordset small = NewTable();
    for (int i = 0; i < persistedRows; ++i) {
        MakeRow(i, row);
        small.AppendRow(row);
    }
    timer.restart();
    const QByteArray bytes = small.Persist();
    const double persisting = Seconds(timer);
    timer.restart();
    const Recordset loaded = Recordset::FromPersisted(bytes);
    const double loading = Seconds(timer);
    std::printf("Persistence, %d rows x %d columns, %.1f MB\n", persistedRows, columns, double(bytes.size()) / 1048576.0);
    std::printf("  persist:        %.3f s\n", persisting);
    std::printf("  load:           %.3f s (%d rows)\n", loading, loaded.RecordCount());
    return 0;
}
