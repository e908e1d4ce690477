// The list wizard's pages that read a source when they are shown: the
// first-row page on a 1,000,000-row text file (both previews read and the
// grid painted) and the catalog page on an Access file (the tables listed
// through the reader helper). Five runs each; the best and the worst.
#include "platform/providers/guarded/GuardedReader.h"
#include "recipients/RecipientImport.h"
#include "recipients/RecipientList.h"
#include "recipients/ctlNewRcptLstPages.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

void Report(const char* what, const std::function<void()>& run)
{
    QList<qint64> times;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer clock;
        clock.start();
        run();
        QApplication::processEvents();
        times << clock.elapsed();
    }
    std::sort(times.begin(), times.end());
    std::printf("%-58s best %5lld ms, worst %5lld ms\n", what, times.first(), times.last());
}

void Show(QWidget& page)
{
    page.resize(640, 400);
    page.show();
    page.repaint();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    GuardedReader::SetProgram(QStringLiteral(CORVANTA_READER_PROGRAM));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("people.csv"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray text = "FirstName,LastName,Email,City\n";
        for (int i = 1; i <= 1000000; ++i) {
            const QByteArray n = QByteArray::number(i);
            text += "First" + n + ",Last" + n + ",person" + n + "@example.org,City " +
                    QByteArray::number(i % 977) + '\n';
            if (text.size() > (1 << 20)) {
                file.write(text);
                text.clear();
            }
        }
        file.write(text);
        std::printf("text file: 1,000,000 rows, %lld MB\n", file.size() >> 20);
    }
    RecipientList list;
    list.SetDataType(RecipientList::Excel);
    list.SetExcelFilename(path);
    list.SetCatalogCommandType(RecipientList::CmdTable);
    list.SetCatalogTableOrView(QStringLiteral("people"));

    ctlNewRcptLstExcelFirstRow firstRow;
    Show(firstRow);
    Report("first-row page shown (two previews)", [&] {
        firstRow.SetControlValues(list);
        firstRow.repaint();
    });
    Report("for comparison: the whole file read once",
           [&] { RecipientImport::GetRecordset(list); });

    // The same listing path (the reader helper, a catalog of 200 tables) on
    // a database that can be written here: SQLite through ODBC.
    {
        const QString db = dir.filePath(QStringLiteral("tables.db"));
        {
            QSqlDatabase sqlite =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("bench"));
            sqlite.setDatabaseName(db);
            sqlite.open();
            for (int i = 1; i <= 200; ++i)
                QSqlQuery(sqlite).exec(
                    QStringLiteral("CREATE TABLE members%1 (name TEXT, email TEXT)").arg(i));
            sqlite.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("bench"));
        RecipientList odbc;
        odbc.SetDataType(RecipientList::Advanced);
        odbc.SetAdvancedConnectionString(QStringLiteral("Driver={SQLite3};Database=") + db + u';');
        ctlNewRcptLstCatalog catalog;
        Show(catalog);
        int listed = 0;
        Report("catalog page shown (200 tables, SQLite through ODBC)", [&] {
            catalog.SetControlValues(odbc);
            catalog.repaint();
            listed = catalog.findChild<QListWidget*>(QStringLiteral("lstCatalogs"))->count();
        });
        std::printf("tables listed: %d\n", listed);
    }

    if (argc > 1) {
        RecipientList access;
        access.SetDataType(RecipientList::Access);
        access.SetAccessFileName(QString::fromLocal8Bit(argv[1]));
        ctlNewRcptLstCatalog catalog;
        Show(catalog);
        int listed = 0;
        Report("catalog page shown (tables of the Access file)", [&] {
            catalog.SetControlValues(access);
            catalog.repaint();
            listed = catalog.findChild<QListWidget*>(QStringLiteral("lstCatalogs"))->count();
        });
        std::printf("tables listed: %d\n", listed);
    }
    return 0;
}
