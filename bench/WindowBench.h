#pragma once

#include "recipients/RecipientLists.h"
#include "senders/FromAddresses.h"
#include "store/DataStore.h"
#include "store/FilesSystem.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QWidget>
#include <cstdio>

// What the benchmarks that drive the real windows share: a large recipient
// file, a store that names it, and a clock.
namespace WindowBench {

// Ten columns of plain recipients; with refuseEvery n, every n-th address
// starts with "refused-", which the test server refuses.
inline bool WriteRecipients(const QString& path, int rows, int refuseEvery = 0)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block = "Id,FirstName,LastName,EMail,City,Company,Age,Balance,Joined,Note\r\n";
    for (int i = 1; i <= rows; ++i) {
        block += QByteArray::number(i) + ",Anna" + QByteArray::number(i % 977) + ",Berg" +
                 QByteArray::number(i % 1999) +
                 (refuseEvery > 0 && i % refuseEvery == 0 ? ",refused-anna" : ",anna") +
                 QByteArray::number(i) + "@example.org,Oslo " + QByteArray::number(i % 50) +
                 ",Nordvik AB," + QByteArray::number(20 + i % 60) + "," +
                 QByteArray::number(i % 10000) + ".25,2021-03-" + QByteArray::number(10 + i % 19) +
                 ",A short note about this recipient\r\n";
        if (block.size() > (1 << 20)) {
            file.write(block);
            block.clear();
        }
    }
    return file.write(block) == block.size() && file.flush();
}

// Writes the store of the running user (keep XDG_DATA_HOME apart): one
// list of the CSV file and one sender.
inline void SeedStore(const QString& csv)
{
    RecipientLists lists;
    auto list = std::make_shared<RecipientList>();
    list->SetListName(QStringLiteral("Large"));
    list->SetDataType(RecipientList::Excel);
    list->SetExcelFilename(csv);
    list->SetCatalogCommandType(RecipientList::CmdTable);
    list->SetCatalogTableOrView(QFileInfo(csv).completeBaseName());
    lists.Add(list);
    FromAddresses senders;
    senders.Add(QStringLiteral("Bench"), QStringLiteral("bench@example.org"), QString());
    DataStore store(lists, senders, FilesSystem::VersionDataFolder());
    store.Load();
    store.Save();
}

// A private home with a recipient file of --rows rows (default a million),
// named by the store; the windows run offscreen. Make it before the
// application object, and Prepare() after.
// Shows a window at the size the figures are taken at, painted once.
inline void ShowAtBenchSize(QWidget& window)
{
    window.setGeometry(0, 0, 1200, 800);
    window.show();
    QCoreApplication::processEvents();
}

class Run
{
public:
    Run(int argc, char* argv[])
    {
        for (int i = 1; i + 1 < argc; ++i)
            if (qstrcmp(argv[i], "--rows") == 0)
                m_rows = QByteArray(argv[i + 1]).toInt();
            else if (qstrcmp(argv[i], "--refuse-every") == 0)
                m_refuseEvery = QByteArray(argv[i + 1]).toInt();
        qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
        qputenv("HOME", m_home.path().toLocal8Bit());
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }

    bool Prepare()
    {
        const QString csv = m_home.path() + QStringLiteral("/recipients.csv");
        if (!WriteRecipients(csv, m_rows, m_refuseEvery)) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(csv));
            return false;
        }
        SeedStore(csv);
        return true;
    }

private:
    QTemporaryDir m_home;
    int m_rows = 1000000;
    int m_refuseEvery = 0;
};

inline double Ms(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace WindowBench
