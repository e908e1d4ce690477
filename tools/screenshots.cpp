// Walks the program's windows offscreen, with a sample list and senders in a
// data folder of its own, and writes a picture of each to the folder given.
#include "controls/Dialogs.h"
#include "controls/FrameKeepingStyle.h"
#include "delivery/MailConfiguration.h"
#include "delivery/frmSendingEMails.h"
#include "delivery/frmTextExport.h"
#include "merge/frmMergingPreview.h"
#include "recipients/RecipientLists.h"
#include "senders/FromAddresses.h"
#include "shell/frmMain.h"
#include "store/DataStore.h"
#include "store/FilesSystem.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <cstdio>
#include <functional>

namespace {

QString g_folder;

void Save(QWidget* window, const char* name)
{
    QApplication::processEvents();
    const QString path = g_folder + u'/' + QLatin1String(name) + QStringLiteral(".png");
    if (!window->grab().save(path))
        std::fprintf(stderr, "could not write %s\n", qPrintable(path));
    else
        std::printf("%s\n", qPrintable(path));
}

// Grabs the modal dialog that `open` brings up, then closes it.
void SaveModal(const char* name, const std::function<void()>& open)
{
    QTimer::singleShot(200, [name] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            Save(dialog, name);
            dialog->close();
        }
    });
    open();
}

void SeedStore()
{
    RecipientLists lists;
    auto people = std::make_shared<RecipientList>();
    people->SetListName(QStringLiteral("Sample people (CSV)"));
    people->SetDataType(RecipientList::Excel);
    people->SetExcelFilename(QStringLiteral(CORVANTA_SAMPLES "/people.csv"));
    people->SetCatalogCommandType(RecipientList::CmdTable);
    people->SetCatalogTableOrView(QStringLiteral("people"));
    people->SetIsListValid(true);
    lists.Add(people);
    auto club = std::make_shared<RecipientList>(*people);
    club->SetListName(QStringLiteral("Club members"));
    lists.Add(club);
    FromAddresses senders;
    senders.Add(QStringLiteral("Corvanta Newsletter"), QStringLiteral("news@example.org"),
                QStringLiteral("replies@example.org"));
    senders.Add(QString(), QStringLiteral("office@example.org"), QString());
    DataStore store(lists, senders, FilesSystem::VersionDataFolder());
    store.Load();
    store.Save();
    // A port nothing listens on.
    MailConfiguration settings;
    settings.SetSMTPServer(QStringLiteral("127.0.0.1"));
    settings.SetSMTPServerPort(9);
    settings.Save();
}

template <typename T> T* Child(QWidget* window, const char* name)
{
    return window->findChild<T*>(QLatin1String(name));
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: corvanta-screenshots <folder>\n");
        return 2;
    }
    // A data folder of our own: the user's is never touched.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toLocal8Bit());
    qputenv("HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    FrameKeepingStyle::Install(); // as the program does
    // Questions are answered with their safe default instead of waiting.
    Dialogs::SetScripted(true);
    g_folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(g_folder);
    SeedStore();

    frmMain main;
    main.setGeometry(0, 0, 1000, 640);
    main.show();
    main.TabClick(0);
    main.ImportRecipientList(1);
    Save(&main, "recipients");

    Child<QTabBar>(&main, "tabMain")->setCurrentIndex(1);
    QApplication::processEvents();
    Child<QComboBox>(&main, "cboComposeFrom")->setCurrentIndex(0);
    Child<QComboBox>(&main, "cboComposeTo")->setCurrentIndex(2);
    Child<QLineEdit>(&main, "txtComposeSubject")->setText(QStringLiteral("News for «City»"));
    Child<QPlainTextEdit>(&main, "txtComposeTextBody")
        ->setPlainText(
            QStringLiteral("Dear «FirstName» «LastName»,\n\nour autumn meeting in «City» is on "
                           "14 November. Everyone at «Company» is welcome.\n\nKind regards,\n"
                           "The Corvanta team"));
    auto* attachments = Child<QTreeWidget>(&main, "lvwComposeAttach");
    auto* item = new QTreeWidgetItem(attachments, {QStringLiteral("Programme.pdf")});
    item->setData(0, Qt::UserRole, QStringLiteral("/tmp/Programme.pdf"));
    Save(&main, "compose");

    // The Preview step after the merge, unlocked on its second mail.
    Child<QTabBar>(&main, "tabMain")->setCurrentIndex(2);
    QApplication::processEvents();
    Child<QPushButton>(&main, "cmdUnlock")->click();
    Child<QToolButton>(&main, "cmdMoveNext")->click();
    Save(&main, "preview");

    // The Send step after a run to a server that is not there: every mail
    // fails, and the grid shows why.
    Child<QTabBar>(&main, "tabMain")->setCurrentIndex(3);
    QApplication::processEvents();
    QTimer::singleShot(200, [] {
        QWidget* confirm = QApplication::activeModalWidget();
        Save(confirm, "confirm");
        Child<QPushButton>(confirm, "cmdSendEMails")->click();
    });
    Child<QPushButton>(Child<QWidget>(&main, "ctlWizSend"), "cmdSendEMails")->click();
    Save(&main, "send");

    // The text format of the error report, over the run's failures.
    const Recordset& failures = main.SendErrors().Records();
    QStringList fields;
    QList<QStringList> rows(qMin(failures.RecordCount(), 100));
    for (int i = 0; i < failures.FieldCount(); ++i) {
        fields << failures.FieldName(i);
        for (qsizetype row = 0; row < rows.size(); ++row)
            rows[row] << failures.ValueAt(int(row), i).toString();
    }
    SaveModal("text-format", [&] { frmTextExport::ShowFormatDialog(&main, fields, rows); });

    // The two progress windows, part way.
    for (ProgressForm* progress : std::initializer_list<ProgressForm*>{
             new frmMergingPreview(&main), new frmSendingEMails(&main)}) {
        progress->SetMaximum(2500);
        QThread::msleep(50); // a running count is drawn every few hundredths of a second
        progress->SetPosition(1000);
        progress->show();
        Save(progress,
             progress->objectName() == QLatin1String("frmMergingPreview") ? "merging" : "sending");
        progress->Finish();
    }

    // The book, and the entry dialog opened from it for its first sender.
    QTimer::singleShot(200, [] {
        QWidget* book = QApplication::activeModalWidget();
        Child<QTreeWidget>(book, "lvwFromAddresses")
            ->setCurrentItem(Child<QTreeWidget>(book, "lvwFromAddresses")->topLevelItem(0));
        SaveModal("sender-entry", [book] { Child<QPushButton>(book, "cmdEdit")->click(); });
        Save(book, "sender-book");
        book->close();
    });
    Child<QPushButton>(&main, "cmdComposeFrom")->click();
    return 0;
}
