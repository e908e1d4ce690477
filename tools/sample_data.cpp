// Fills the data folder of the running user (set XDG_DATA_HOME to keep it
// apart) with a sample recipient list, a sender and mail settings for a
// local server, for trying the program:
//   corvanta-sample-data <people.csv> <smtp port>
#include "delivery/MailConfiguration.h"
#include "recipients/RecipientLists.h"
#include "senders/FromAddresses.h"
#include "store/DataStore.h"
#include "store/FilesSystem.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QFileInfo people(args.value(1));
    const int port = args.value(2).toInt();
    if (!people.isFile() || port <= 0 || port > 65535) {
        std::fprintf(stderr, "usage: corvanta-sample-data <people.csv> <smtp port>\n");
        return 2;
    }
    RecipientLists lists;
    FromAddresses senders;
    DataStore store(lists, senders, FilesSystem::VersionDataFolder());
    store.Load();
    if (lists.Count() == 0) {
        auto list = std::make_shared<RecipientList>();
        list->SetListName(QStringLiteral("Sample people"));
        list->SetDataType(RecipientList::Excel);
        list->SetExcelFilename(people.absoluteFilePath());
        list->SetCatalogCommandType(RecipientList::CmdTable);
        list->SetCatalogTableOrView(people.completeBaseName());
        list->SetIsListValid(true);
        lists.Add(list);
    }
    if (senders.Count() == 0)
        senders.Add(QStringLiteral("Corvanta Demo"), QStringLiteral("demo@example.org"), QString());
    if (!store.Save())
        return 1;
    MailConfiguration settings;
    settings.SetSendUsingMethod(MailDeliverySettings::Port);
    settings.SetSMTPServer(QStringLiteral("127.0.0.1"));
    settings.SetSMTPServerPort(qint16(quint16(port)));
    settings.SetSMTPConnectionTimeout(30);
    settings.Save();
    std::printf("%s\n", qPrintable(FilesSystem::VersionDataFolder()));
    return 0;
}
