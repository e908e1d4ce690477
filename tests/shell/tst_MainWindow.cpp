#include "MainWindowSetup.h"
#include "recipients/ctlWizRecipients.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>

using namespace TestSupport;

namespace {

enum
{
    PeopleList = 1,
    FilteredList = 2,
    UnnamedList = 3,
    GoneList = 4
};

QString DataFile(const char* name)
{
    return QDir::homePath() + QStringLiteral("/data/") + QLatin1String(name);
}

QString Balloon(int textId, const char* target)
{
    return LoadResString(textId) + u'@' + QLatin1String(target);
}

} // namespace

class TestMainWindow : public MainWindowTest
{
    Q_OBJECT

    void Import(int position)
    {
        Get<QListWidget>("lstRecipients")->setCurrentRow(position - 1);
        Click("cmdImport");
    }

    // Recipients imported and the Compose step shown, filled as asked.
    void Compose(int sender, int to, const QString& subject, const QString& body)
    {
        Import(PeopleList);
        ClickTab(*m_window, 1);
        QCOMPARE(m_window->CurrentStep(), 2);
        FillCompose(*m_window, sender, to, subject, body);
    }

private Q_SLOTS:
    // Every test starts from the same store.
    void init()
    {
        PutFile(DataFile("people.csv"), "FirstName,Email,City\r\nAda,ada@example.org,London\r\n"
                                        "Bo,bo@example.org,Oslo\r\nCy,cy@example.org,Rome\r\n");
        PutFile(DataFile("unnamed.csv"), "Name, ,\r\nAda,x,y\r\n");
        RecipientLists lists;
        lists.Add(CsvList(QStringLiteral("People"), DataFile("people.csv")));
        auto filtered = CsvList(QStringLiteral("Filtered"), DataFile("people.csv"));
        Filter city;
        city.SetData(QStringLiteral("City"));
        city.SetValue(QStringLiteral("Oslo"));
        filtered->Filters().Add(city);
        lists.Add(filtered);
        lists.Add(CsvList(QStringLiteral("Unnamed"), DataFile("unnamed.csv")));
        lists.Add(CsvList(QStringLiteral("Gone"), DataFile("missing.csv")));
        FromAddresses senders;
        senders.Add(QStringLiteral("Ada"), QStringLiteral("ada@example.org"), QString());
        SeedStore(lists, senders);
        m_window = OpenMainWindow();
        QCOMPARE(m_window->RcptLsts().Count(), 4);
    }

    void cleanup() { CloseWindow(); }

    // One step forward at a time, with the earlier steps complete; the
    // text-file commands only on the Compose step, however it was reached.
    void stepChanges_data()
    {
        QTest::addColumn<QString>("missing"); // left out of Compose; "import": not even that;
                                              // "closed": the records after Compose
        QTest::addColumn<int>("click");
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("balloon");
        const QString oneTab =
            LoadResString(160).replace(QLatin1String("#TAB#"), LoadResString(101));
        QTest::newRow("two ahead")
            << "import" << 2 << 1
            << Texts::BalloonTitle(oneTab) + u'|' + Texts::BalloonBody(oneTab) + "@tabMain";
        QTest::newRow("compose, nothing imported") << "import" << 1 << 1 << Balloon(403, "cmdImport");
        QTest::newRow("no sender") << "sender" << 2 << 2 << Balloon(109, "cboComposeFrom");
        QTest::newRow("no To column") << "to" << 2 << 2 << Balloon(110, "cboComposeTo");
        QTest::newRow("no subject") << "subject" << 2 << 2 << Balloon(111, "txtComposeSubject");
        QTest::newRow("no body") << "body" << 2 << 2 << Balloon(112, "txtComposeTextBody");
        QTest::newRow("complete") << "" << 2 << 3 << "";
        QTest::newRow("back to the start") << "sender to subject body" << 0 << 1 << "";
        QTest::newRow("shown tab, records gone") << "closed" << 1 << 1 << Balloon(403, "cmdImport");
    }
    void stepChanges()
    {
        QFETCH(QString, missing);
        QFETCH(int, click);
        QFETCH(int, step);
        const QStringList gaps = missing.split(u' ');
        if (!gaps.contains(QStringLiteral("import")))
            Compose(gaps.contains(QStringLiteral("sender")) ? -1 : 0,
                    gaps.contains(QStringLiteral("to")) ? -1 : 1,
                    gaps.contains(QStringLiteral("subject")) ? QString() : QStringLiteral("S"),
                    gaps.contains(QStringLiteral("body")) ? QString() : QStringLiteral("B"));
        if (gaps.contains(QStringLiteral("closed")))
            RecipientImport::ImportedRecipients().Close();
        ctlBalloonTip::CloseBalloon();
        ClickTab(*m_window, click);
        QCOMPARE(m_window->CurrentStep(), step);
        QCOMPARE(Get<QTabBar>("tabMain")->currentIndex(), step - 1);
        QCOMPARE(Get<QStackedWidget>("stkSteps")->currentIndex(), step - 1);
        QTEST(BalloonShown(), "balloon");
        for (const char* entry : {"mnuFileOpenText", "mnuFileSaveText", "mnuFileSaveTextAs"})
            QCOMPARE(Get<QAction>(entry)->isEnabled(), step == 2);
    }

    // Ctrl+Tab and Ctrl+Shift+Tab change the step, except in the message
    // body. X11 sends the latter to the focus as Backtab with Ctrl and Shift.
    void ctrlTabMovesExceptInTheBody()
    {
        Compose(0, 1, QStringLiteral("S"), QStringLiteral("B"));
        const auto press = [this](const char* focus, Qt::Key key, Qt::KeyboardModifiers modifiers) {
            Get(focus)->setFocus();
            QTest::keyClick(Get(focus), key, modifiers);
            QCoreApplication::processEvents();
            return m_window->CurrentStep();
        };
        const auto back = Qt::ControlModifier | Qt::ShiftModifier;
        for (Qt::Key backtab : {Qt::Key_Backtab, Qt::Key_Tab}) {
            QCOMPARE(press("txtComposeTextBody", Qt::Key_Tab, Qt::ControlModifier), 2);
            QCOMPARE(press("txtComposeTextBody", backtab, back), 2);
            QCOMPARE(press("txtComposeSubject", Qt::Key_Tab, Qt::ControlModifier), 3);
            QCOMPARE(press("txtPreviewTo", backtab, back), 2);
        }
        QCOMPARE(Get<QPlainTextEdit>("txtComposeTextBody")->toPlainText().count(u'\t'), 2);
    }

    // Buttons that act on a list say what is missing first.
    void listButtonsNeedAList_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("emptyBook");
        QTest::addColumn<QString>("balloon");
        for (const char* button : {"cmdDelete", "cmdEdit", "cmdImport"}) {
            QTest::addRow("%s, no lists", button) << button << true << Balloon(401, "cmdNew");
            QTest::addRow("%s, none selected", button)
                << button << false << Balloon(402, "lstRecipients");
        }
        QTest::newRow("filter before an import")
            << "cmdFilterRecipients" << false << Balloon(403, "cmdImport");
    }
    void listButtonsNeedAList()
    {
        QFETCH(QString, button);
        QFETCH(bool, emptyBook);
        QFETCH(QString, balloon);
        if (emptyBook) {
            while (m_window->RcptLsts().Count() > 0)
                m_window->RcptLsts().Remove(1);
            Get<ctlWizRecipients>("ctlWizRecipients")->PopulateList();
        }
        Get<QListWidget>("lstRecipients")->setCurrentRow(-1);
        Get<QListWidget>("lstRecipients")->clearSelection();
        Click(qPrintable(button));
        QCOMPARE(BalloonShown(), balloon);
        QCOMPARE(m_window->RcptLsts().CurrentIndex(), 0);
    }

    // An import replaces the last one whole; a failed one leaves nothing.
    void importShowsTheRowsAndTheirColumns_data()
    {
        QTest::addColumn<int>("list");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("balloon");
        const QStringList people{"FirstName", "Email", "City"};
        QTest::newRow("plain") << int(PeopleList) << people << 3 << "";
        QTest::newRow("saved with filters: all rows, and a hint")
            << int(FilteredList) << people << 3 << Balloon(404, "cmdFilterRecipients");
        QTest::newRow("unnamed columns")
            << int(UnnamedList) << QStringList{"Name", "[Column 2]", "[Column 3]"} << 1 << "";
        QTest::newRow("source gone")
            << int(GoneList) << QStringList() << 0 << Balloon(5, "cmdImport");
    }
    void importShowsTheRowsAndTheirColumns()
    {
        QFETCH(int, list);
        QFETCH(QStringList, columns);
        QFETCH(int, rows);
        Import(PeopleList);
        Import(list);
        const bool failed = list == GoneList;
        const QString shown = BalloonShown(); // a failure's balloon: "title|reason@target"
        QTEST(failed ? shown.section(u'|', 0, 0) + shown.mid(shown.lastIndexOf(u'@')) : shown,
              "balloon");
        QAbstractItemModel* grid = Get<QTableView>("flxRcptList")->model();
        QCOMPARE(grid->rowCount(), rows);
        QStringList headings;
        for (int i = 0; i < grid->columnCount(); ++i)
            headings << grid->headerData(i, Qt::Horizontal).toString();
        QCOMPARE(headings, columns);
        QCOMPARE(Entries(*Get<QComboBox>("cboComposeTo")), columns);
        QCOMPARE(Get<QComboBox>("cboComposeTo")->currentIndex(), -1);
        QCOMPARE(Get<QListWidget>("lstFields")->count(), int(columns.size()));
        QCOMPARE(Get<QLabel>("sbMainRecipients")->text(),
                 QStringLiteral("Recipients: ") + (failed ? "N/A" : QString::number(rows)));
        QCOMPARE(m_window->RcptLsts().CurrentIndex(), failed ? 0 : list);
        QCOMPARE(RecipientImport::ImportedRecipients().State() == Recordset::StateOpen, !failed);
        QVERIFY(m_window->isEnabled());
    }

    // Filter Recipients restores the list's rows; OK narrows the grid and the
    // count and stores the new rows at once, Cancel changes nothing.
    void filterNarrowsTheGridAndIsStored_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("storedOperator");
        QTest::newRow("OK, City not equal to Oslo") << "cmdOK" << 2 << 5;
        QTest::newRow("Cancel") << "cmdCancel" << 3 << 0;
    }
    void filterNarrowsTheGridAndIsStored()
    {
        QFETCH(QString, button);
        QFETCH(int, rows);
        Import(FilteredList);
        WhenModal([&](QWidget* dialog) {
            auto* operators = Find<QComboBox>(dialog, "cboOperator_0");
            operators->setCurrentIndex(operators->findText(LoadResString(511)));
            QTest::mouseClick(Find<QPushButton>(dialog, qPrintable(button)), Qt::LeftButton);
        });
        Click("cmdFilterRecipients");
        QCOMPARE(Get<QTableView>("flxRcptList")->model()->rowCount(), rows);
        QCOMPARE(Get<QLabel>("sbMainRecipients")->text(), QStringLiteral("Recipients: %1").arg(rows));
        const Filters stored = Stored().lists.Item(FilteredList).Filters();
        QCOMPARE(stored.Count(), 1);
        QCOMPARE(stored.Item(1).Data(), QStringLiteral("City"));
        QTEST(stored.Item(1).ComparisonOperator(), "storedOperator");
    }

    // Every change to the lists is in the store at once, before any exit.
    void listChangesAreStoredAtOnce()
    {
        // New, finished: added, imported at once and selected.
        WhenModal([](QWidget* wizard) {
            auto list = EditedRecipientList();
            *list = *CsvList(QStringLiteral("Fresh"), DataFile("people.csv"));
            wizard->close();
        });
        Click("cmdNew");
        QCOMPARE(m_window->RcptLsts().Count(), 5);
        QCOMPARE(m_window->RcptLsts().CurrentIndex(), 5);
        QCOMPARE(Get<QListWidget>("lstRecipients")->currentRow(), 4);
        QCOMPARE(Get<QTableView>("flxRcptList")->model()->rowCount(), 3);
        QCOMPARE(Stored().lists.Item(5).ListName(), QStringLiteral("Fresh"));
        QVERIFY(!EditedRecipientList());

        // Edit, cancelled: the old values come back, filters kept.
        Get<QListWidget>("lstRecipients")->setCurrentRow(FilteredList - 1);
        WhenModal([](QWidget* wizard) {
            EditedRecipientList()->SetListName(QStringLiteral("Renamed"));
            EditedRecipientList()->SetExcelFilename(QStringLiteral("/elsewhere.csv"));
            wizard->close();
        });
        Click("cmdEdit");
        QCOMPARE(m_window->RcptLsts().Item(FilteredList).ListName(), QStringLiteral("Filtered"));
        QCOMPARE(m_window->RcptLsts().Item(FilteredList).ExcelFilename(), DataFile("people.csv"));
        QCOMPARE(m_window->RcptLsts().Item(FilteredList).Filters().Count(), 1);
        QCOMPARE(m_window->RcptLsts().CurrentIndex(), 5); // still the one imported

        // Edit, finished: saved filters dropped, imported again.
        WhenModal([](QWidget* wizard) {
            EditedRecipientList()->SetListName(QStringLiteral("Renamed"));
            EditedRecipientList()->SetIsListValid(true);
            wizard->close();
        });
        Click("cmdEdit");
        QCOMPARE(Stored().lists.Item(FilteredList).ListName(), QStringLiteral("Renamed"));
        QCOMPARE(Stored().lists.Item(FilteredList).Filters().Count(), 0);
        QCOMPARE(m_window->RcptLsts().CurrentIndex(), FilteredList);
        QCOMPARE(BalloonShown(), QString());

        // Delete: gone from the store; the rows stay, but no list is current.
        Get<QListWidget>("lstRecipients")->setCurrentRow(FilteredList - 1);
        Click("cmdDelete");
        QCOMPARE(Stored().lists.Count(), 4);
        QCOMPARE(m_window->RcptLsts().CurrentIndex(), 0);
        QCOMPARE(Get<QTableView>("flxRcptList")->model()->rowCount(), 3);
        Click("cmdFilterRecipients");
        QCOMPARE(BalloonShown(), Balloon(403, "cmdImport"));
    }

    // A source that answers slowly is waited for with events running; the
    // window takes no command meanwhile, from the first event on, and does
    // not close.
    void importWaitsWithTheWindowDisabled()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QByteArray body =
            ReadBytes(TestData(QStringLiteral("adoxml/msdocs-northwind-shippers.xml")));
        connect(&server, &QTcpServer::newConnection, [&] {
            QTcpSocket* client = server.nextPendingConnection();
            QTimer::singleShot(300, client, [client, body] {
                client->write("HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nConnection: close\r\n"
                              "Content-Length: " +
                              QByteArray::number(body.size()) + "\r\n\r\n" + body);
                client->disconnectFromHost();
            });
        });
        auto xml = std::make_shared<RecipientList>();
        xml->SetListName(QStringLiteral("Web"));
        xml->SetDataType(RecipientList::XML);
        xml->SetXMLUrlUri(
            QStringLiteral("http://127.0.0.1:%1/shippers.xml").arg(server.serverPort()));
        m_window->RcptLsts().Add(xml);
        QList<bool> enabledOrClosed;
        QTimer::singleShot(0, [&] { enabledOrClosed << m_window->isEnabled(); });
        QTimer::singleShot(100, [&] {
            enabledOrClosed << m_window->isEnabled() << m_window->close();
            m_window->ImportRecipientList(PeopleList); // returns at once
        });
        m_window->ImportRecipientList(m_window->RcptLsts().Count());
        QCOMPARE(enabledOrClosed, QList<bool>({false, false, false}));
        QCOMPARE(m_window->RcptLsts().CurrentIndex(), m_window->RcptLsts().Count());
        QVERIFY(m_window->isEnabled());
        QCOMPARE(BalloonShown(), QString());
        QCOMPARE(Get<QTableView>("flxRcptList")->model()->rowCount(), 3);
    }

    void storeProblemsAreShown()
    {
        m_window.reset();
        WriteBytes(FilesSystem::VersionDataFolder() + QStringLiteral("dsfrmaddrs.dat"),
                   "not a store file");
        Dialogs::QueueAnswer(QMessageBox::Ok);
        m_window = OpenMainWindow();
        const auto asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 1);
        QVERIFY(asked[0].text.contains(QLatin1String("dsfrmaddrs.dat")));
        QCOMPARE(m_window->RcptLsts().Count(), 4);
    }
};

CORVANTA_TEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
