// Saving and loading the store at sizes beyond what a user keeps, to show
// that saving after every change costs nothing noticeable.
// Build in Release; run build-dir/bench/store_bench.

#include "recipients/RecipientLists.h"
#include "senders/FromAddresses.h"
#include "store/DataStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void Fill(RecipientLists& lists, FromAddresses& senders, int listCount, int filtersPerList, int senderCount)
{
    for (int i = 0; i < listCount; ++i) {
        auto list = std::make_shared<RecipientList>();
        list->SetListName(QStringLiteral("List %1").arg(i));
        list->SetDataType(RecipientList::SQLServer);
        list->SetSQLServerName(QStringLiteral("db%1.example.com").arg(i));
        list->SetSQLDataBase(QStringLiteral("Sales"));
        list->SetUsername(QStringLiteral("user%1").arg(i));
        list->SetPassword(QStringLiteral("password %1").arg(i));
        list->SetCatalogCommandText(QStringLiteral("SELECT * FROM Customers WHERE Region = %1").arg(i));
        for (int j = 0; j < filtersPerList; ++j) {
            Filter f;
            f.SetData(QStringLiteral("Column%1").arg(j));
            f.SetComparisonOperator(j % 6);
            f.SetLogicalOperator(j % 2);
            f.SetValue(QStringLiteral("value %1").arg(j));
            list->Filters().Add(f);
        }
        lists.Add(std::move(list));
    }
    for (int i = 0; i < senderCount; ++i)
        senders.Add(QStringLiteral("Sender %1").arg(i), QStringLiteral("s%1@example.com").arg(i), QString());
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Run(int listCount, int filtersPerList, int senderCount)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("1.3"));
    constexpr int rounds = 7;
    std::vector<double> saves;
    std::vector<double> loads;
    {
        RecipientLists lists;
        FromAddresses senders;
        DataStore store(lists, senders, folder);
        store.Load();
        Fill(lists, senders, listCount, filtersPerList, senderCount);
        for (int r = 0; r < rounds; ++r) {
            QElapsedTimer timer;
            timer.start();
            store.Save();
            saves.push_back(timer.nsecsElapsed() / 1e6);
        }
    }
    for (int r = 0; r < rounds; ++r) {
        RecipientLists lists;
        FromAddresses senders;
        DataStore store(lists, senders, folder);
        QElapsedTimer timer;
        timer.start();
        store.Load();
        loads.push_back(timer.nsecsElapsed() / 1e6);
        store.Save(); // keeps the destructor's save out of the next round's figures
    }
    std::printf("%6d lists x %2d filters, %4d senders: save %8.2f ms, load %8.2f ms (median of %d)\n",
                listCount, filtersPerList, senderCount, Median(saves), Median(loads), rounds);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    Run(10, 3, 5);
    Run(100, 5, 20);
    Run(1000, 5, 100);
    Run(10000, 5, 1000);
    return 0;
}
