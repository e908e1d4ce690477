#pragma once

#include "TestFiles.h"
#include "WidgetTestMain.h"
#include "base/Texts.h"
#include "recipients/RecipientImport.h"
#include "recipients/RecipientLists.h"
#include "senders/FromAddresses.h"
#include "shell/frmMain.h"
#include "store/DataStore.h"
#include "store/FilesSystem.h"
#include "store/MailingDraft.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTabBar>
#include <memory>

// A main window over a store seeded by the test: the lists and senders are
// written to the version data folder first, as an earlier run would have.
namespace TestSupport {

// A CSV list of the given file; its rows are read with a heading line.
inline std::shared_ptr<RecipientList> CsvList(const QString& name, const QString& path)
{
    auto list = std::make_shared<RecipientList>();
    list->SetListName(name);
    list->SetDataType(RecipientList::Excel);
    list->SetExcelFilename(path);
    list->SetCatalogCommandType(RecipientList::CmdTable);
    list->SetCatalogTableOrView(QFileInfo(path).completeBaseName());
    list->SetIsListValid(true);
    return list;
}

// Replaces whatever the store held with these lists and senders.
inline void SeedStore(RecipientLists& lists, FromAddresses& senders)
{
    QDir(FilesSystem::VersionDataFolder()).removeRecursively();
    DataStore store(lists, senders, FilesSystem::VersionDataFolder());
    QVERIFY(store.Load());
    QVERIFY(store.Save());
}

// A store with one list of `rows` people named prefix1..prefixN, addressed
// lowercase-prefix-n@example.org, and one sender, Ada.
inline void SeedNumberedList(const char* prefix, int rows)
{
    const QString file = QDir::homePath() + QStringLiteral("/%1.csv").arg(QLatin1String(prefix));
    QByteArray csv = "Name,Email\r\n";
    const QByteArray name(prefix), lower = name.toLower();
    for (int i = 1; i <= rows; ++i)
        csv +=
            name + QByteArray::number(i) + ',' + lower + QByteArray::number(i) + "@example.org\r\n";
    PutFile(file, csv);
    RecipientLists lists;
    lists.Add(CsvList(QStringLiteral("Numbered"), file));
    FromAddresses senders;
    senders.Add(QStringLiteral("Ada"), QStringLiteral("ada@example.org"), QString());
    SeedStore(lists, senders);
}

// What the store files hold now, as a new run would load them.
struct Stored
{
    RecipientLists lists;
    FromAddresses senders;
    Stored()
    {
        DataStore store(lists, senders, FilesSystem::VersionDataFolder());
        store.Load();
    }
};

// A fresh window for each test: the program-wide objects start empty, as at
// start-up, and so does the Compose step unless the last window's is kept.
enum class Draft { Drop, Keep };
inline std::unique_ptr<frmMain> OpenMainWindow(Draft draft = Draft::Drop)
{
    if (draft == Draft::Drop)
        QFile::remove(FilesSystem::VersionDataFolder() + MailingDraft::FileName());
    RecipientImport::ImportedRecipients() = Recordset();
    FromAddressBook() = FromAddresses();
    auto window = std::make_unique<frmMain>();
    window->setGeometry(0, 0, 1000, 700);
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get()))
        qWarning("the main window did not become active");
    QCoreApplication::processEvents();
    return window;
}

template <typename T = QWidget> T* Find(QWidget* window, const char* name)
{
    T* child = window->findChild<T*>(QLatin1String(name));
    if (!child)
        qWarning("no %s", name);
    return child;
}

// The base of tests that drive one main window at a time.
class MainWindowTest : public QObject
{
protected:
    std::unique_ptr<frmMain> m_window;
    template <typename T = QWidget> T* Get(const char* name) { return Find<T>(m_window.get(), name); }
    void Click(const char* name) { QTest::mouseClick(Get<QAbstractButton>(name), Qt::LeftButton); }

    // For cleanup(): closes the window with nothing left to ask about, and
    // checks every queued answer was taken.
    void CloseWindow()
    {
        ctlBalloonTip::CloseBalloon();
        if (m_window)
            Get<QPlainTextEdit>("txtComposeTextBody")->clear();
        m_window.reset();
        VerifyAllAnswersTaken();
    }
};

// The texts of a combo box's entries, in order.
inline QStringList Entries(const QComboBox& box)
{
    QStringList entries;
    for (int i = 0; i < box.count(); ++i)
        entries << box.itemText(i);
    return entries;
}

// Clicks a step's tab as the user would and lets the step rules run.
inline void ClickTab(frmMain& window, int index)
{
    QTabBar* tabs = Find<QTabBar>(&window, "tabMain");
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
    QCoreApplication::processEvents();
}

// Fills the Compose step's boxes (-1: nothing chosen).
inline void FillCompose(QWidget& window, int sender, int to, const QString& subject,
                        const QString& body)
{
    Find<QComboBox>(&window, "cboComposeFrom")->setCurrentIndex(sender);
    Find<QComboBox>(&window, "cboComposeTo")->setCurrentIndex(to);
    Find<QLineEdit>(&window, "txtComposeSubject")->setText(subject);
    Find<QPlainTextEdit>(&window, "txtComposeTextBody")->setPlainText(body);
}

} // namespace TestSupport
