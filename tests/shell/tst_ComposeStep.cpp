#include "MainWindowSetup.h"

#include <QListWidget>
#include <QTreeWidget>

using namespace TestSupport;

class TestComposeStep : public MainWindowTest
{
    Q_OBJECT

    static QString Documents()
    {
        return FilesSystem().GetSpecialFolder(FilesSystem::CSIDL_PERSONAL);
    }
    QPlainTextEdit* Body() { return Get<QPlainTextEdit>("txtComposeTextBody"); }
    QString AttachmentKeys()
    {
        QStringList keys;
        auto* list = Get<QTreeWidget>("lvwComposeAttach");
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            keys << list->topLevelItem(i)->data(0, Qt::UserRole).toString();
        return keys.join(u';');
    }
    void Trigger(const char* entry)
    {
        Get<QAction>(entry)->setEnabled(true);
        Get<QAction>(entry)->trigger();
    }

private Q_SLOTS:
    static void SeedPeople(bool withSender)
    {
        const QString csv = QDir::homePath() + QStringLiteral("/people.csv");
        PutFile(csv, "Name,,Email\r\nAda,x,ada@example.org\r\n");
        RecipientLists lists;
        lists.Add(CsvList(QStringLiteral("People"), csv));
        FromAddresses senders;
        if (withSender)
            senders.Add(QStringLiteral("Bo"), QStringLiteral("bo@example.org"), QString());
        SeedStore(lists, senders);
    }

    void initTestCase()
    {
        SeedPeople(false);
        QDir().mkpath(Documents());
    }

    void init()
    {
        m_window = OpenMainWindow();
        m_window->ImportRecipientList(1);
        ClickTab(*m_window, 1);
        QCOMPARE(m_window->CurrentStep(), 2);
    }

    void cleanup() { CloseWindow(); }

    // The marker goes into the box that was left last, the body by default;
    // with no field chosen, a balloon says so.
    void insertField_data()
    {
        QTest::addColumn<QString>("leave");
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("marker"); // what the box left gets
        QTest::newRow("no box left yet") << "" << 0 << QString::fromUtf8("«Name»");
        QTest::newRow("subject left last")
            << "txtComposeSubject" << 2 << QString::fromUtf8("«Email»");
        QTest::newRow("unnamed column")
            << "txtComposeTextBody" << 1 << QString::fromUtf8("««[Column 2]»»");
        QTest::newRow("attachment path left last")
            << "txtComposeAttachPath" << 0 << QString::fromUtf8("«Name»");
        QTest::newRow("no field chosen") << "" << -1 << "";
    }
    void insertField()
    {
        QFETCH(QString, leave);
        QFETCH(int, entry);
        QFETCH(QString, marker);
        const char* boxes[] = {"txtComposeSubject", "txtComposeTextBody", "txtComposeAttachPath"};
        const auto text = [this](const char* box) {
            QObject* edit = Get(box);
            return edit->property(edit->inherits("QLineEdit") ? "text" : "plainText").toString();
        };
        for (const char* box : boxes)
            Get(box)->setProperty(box == boxes[1] ? "plainText" : "text", QStringLiteral("x"));
        Body()->moveCursor(QTextCursor::End);
        if (!leave.isEmpty()) {
            m_window->findChild<QWidget*>(leave)->setFocus();
            Get<QListWidget>("lstFields")->setFocus();
        }
        Get<QListWidget>("lstFields")->setCurrentRow(entry);
        Click("cmdInsertField");
        for (const char* box : boxes)
            QCOMPARE(text(box),
                     (leave.isEmpty() ? box == boxes[1] : leave == box) ? "x" + marker : "x");
        QCOMPARE(BalloonShown(), entry < 0 ? LoadResString(601) + "@lstFields" : QString());
    }

    void refusalsSayWhatIsMissing()
    {
        // The sender book is empty: its box says where to add one.
        Get<QComboBox>("cboComposeFrom")->showPopup();
        QCOMPARE(BalloonShown(), LoadResString(108) + QStringLiteral("@cmdComposeFrom"));

        Trigger("mnuFileSaveText");
        QCOMPARE(BalloonShown(), LoadResString(176) + u'|' + LoadResString(177) +
                                     QStringLiteral("@txtComposeTextBody"));
    }

    void attachments()
    {
        const QString folder = QDir::homePath() + QStringLiteral("/attach/");
        PutFile(folder + QStringLiteral("a.pdf"), "a");
        PutFile(folder + QStringLiteral("b c.txt"), "b");
        PutFile(folder + QStringLiteral("d;e.txt"), "d"); // would be split in two
        Dialogs::QueueAnswer(QStringList{folder + "a.pdf", folder + "b c.txt", folder + "gone.txt",
                                         folder + "d;e.txt"});
        Dialogs::QueueAnswer(QMessageBox::Ok);
        Dialogs::QueueAnswer(QStringList{folder + "a.pdf"});
        Click("cmdComposeAttach");
        Click("cmdComposeAttach");
        const auto asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 3);
        QCOMPARE(asked[0].directory, Documents() + u'/');
        QVERIFY(asked[1].text.contains(folder + "d;e.txt"));

        auto* list = Get<QTreeWidget>("lvwComposeAttach");
        QCOMPARE(AttachmentKeys(), folder + "a.pdf;" + folder + "b c.txt");
        QCOMPARE(list->topLevelItem(1)->text(0), QStringLiteral("b c.txt"));

        // A typed path may name a file per recipient; it must be whole and
        // hold no ";". Return adds it as the button does.
        auto* typed = Get<QLineEdit>("txtComposeAttachPath");
        const QString marked = QString::fromUtf8("/in/«Name» ««[Column 2]»».pdf");
        for (const auto& [path, refusal] : {std::pair<QString, int>{"in/x.pdf", 4853},
                                            {"/in/a;b.pdf", 190},
                                            {" /in/./" + marked.mid(4) + " ", 0}}) {
            typed->setText(path);
            if (refusal != 0) {
                Dialogs::QueueAnswer(QMessageBox::Ok);
                Click("cmdComposeAttachPath");
                QCOMPARE(Dialogs::TakeAsked().value(0).text,
                         Texts::MessageBoxText(LoadResString(refusal), 2)
                             .replace(QLatin1String("#FILES#"), path));
            } else {
                QTest::keyClick(typed, Qt::Key_Return);
            }
        }
        QCOMPARE(AttachmentKeys(), folder + "a.pdf;" + folder + "b c.txt;" + marked);
        QCOMPARE(list->topLevelItem(2)->text(0), marked.mid(4));
        QCOMPARE(typed->text(), QString());
        for (const Qt::Key key : {Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_Delete}) {
            list->setCurrentItem(list->topLevelItem(0));
            QTest::keyClick(list, key);
        }
        QCOMPARE(list->topLevelItemCount(), 0);
    }

    void textFiles()
    {
        // Save As proposes the first free name in the folder it opens in,
        // and asks again for a file that cannot be replaced (a folder). A
        // name without a suffix gets ".txt"; one with its own keeps it.
        PutFile(Documents() + QStringLiteral("/E-Mail Message.txt"), "older");
        const QString taken = QDir::homePath() + QStringLiteral("/taken.md");
        QDir().mkpath(taken + QStringLiteral("/inside"));
        Body()->setPlainText(QStringLiteral("Dear «Name»,\nhello"));
        const QString saved = Documents() + QStringLiteral("/news");
        for (const QVariant& answer : {QVariant(taken), QVariant(QMessageBox::Ok), QVariant(saved)})
            Dialogs::QueueAnswer(answer);
        Trigger("mnuFileSaveTextAs");
        auto asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 3);
        QCOMPARE(asked[0].directory, Documents() + QStringLiteral("/E-Mail Message1"));
        QCOMPARE(asked[1].text, Texts::MessageBoxText(LoadResString(113), 2));
        QCOMPARE(asked[2].kind, Dialogs::Asked::Kind::SaveFile);
        QVERIFY(QFileInfo(taken + QStringLiteral("/inside")).isDir());
        QCOMPARE(FilesSystem().ReadTextFile(saved + ".txt"), Body()->toPlainText());

        // Opening another file asks first about a changed message; Cancel
        // keeps it, No opens the file in its place.
        PutFile(Documents() + QStringLiteral("/other.txt"), "Other «Email»");
        Get<QLineEdit>("txtComposeSubject")->setText(QStringLiteral("Kept"));
        Body()->appendPlainText(QStringLiteral("more"));
        Dialogs::QueueAnswer(QMessageBox::Cancel);
        Trigger("mnuFileOpenText");
        QVERIFY(Body()->toPlainText().endsWith(QLatin1String("more")));
        Dialogs::QueueAnswer(QMessageBox::No);
        Dialogs::QueueAnswer(Documents() + QStringLiteral("/other.txt"));
        Trigger("mnuFileOpenText");
        asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 3);
        QCOMPARE(asked[0].text, Texts::MessageBoxText(LoadResString(181), 1));
        QCOMPARE(Body()->toPlainText(), QString::fromUtf8("Other «Email»"));
        QCOMPARE(Get<QLineEdit>("txtComposeSubject")->text(), QStringLiteral("Kept"));

        // Save Text writes to the file it came from.
        Body()->appendPlainText(QStringLiteral("!"));
        Trigger("mnuFileSaveText");
        QCOMPARE(FilesSystem().ReadTextFile(Documents() + QStringLiteral("/other.txt")),
                 Body()->toPlainText());
    }

    // A save that does not happen keeps the window open.
    void closing_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QVariantList>("answers");
        QTest::addColumn<bool>("closed");
        QTest::newRow("empty body") << "" << QVariantList{} << true;
        QTest::newRow("no") << "x" << QVariantList{QMessageBox::No} << true;
        QTest::newRow("cancel") << "x" << QVariantList{QMessageBox::Cancel} << false;
        QTest::newRow("yes, cancel") << "x" << QVariantList{QMessageBox::Yes, QString()} << false;
    }
    void closing()
    {
        QFETCH(QString, body);
        QFETCH(QVariantList, answers);
        Body()->setPlainText(QStringLiteral("x"));
        Body()->setPlainText(body);
        for (const QVariant& answer : answers)
            Dialogs::QueueAnswer(answer);
        QTEST(m_window->close(), "closed");
        const auto asked = Dialogs::TakeAsked();
        if (!asked.isEmpty())
            QCOMPARE(asked[0].text, LoadResString(180));
    }

    // The Compose step comes back when the program starts again; a damaged
    // file gives an empty step and is kept aside.
    void keptBetweenRuns_data()
    {
        QTest::addColumn<QByteArray>("damage");
        QTest::newRow("restarted") << QByteArray();
        QTest::newRow("damaged") << QByteArray("not a mailing");
    }
    void keptBetweenRuns()
    {
        QFETCH(QByteArray, damage);
        m_window.reset();
        SeedPeople(true);
        m_window = OpenMainWindow();
        m_window->ImportRecipientList(1);
        const QString attachment = QDir::homePath() + QStringLiteral("/attach/a.pdf");
        PutFile(attachment, "a");
        FillCompose(*m_window, 0, 2, QString::fromUtf8("Hi «Name»"), QStringLiteral("Body"));
        Dialogs::QueueAnswer(QStringList{attachment});
        Click("cmdComposeAttach");
        Get<QLineEdit>("txtComposeAttachPath")->setText(QString::fromUtf8("/in/«Name».pdf"));
        Click("cmdComposeAttachPath");
        m_window.reset(); // no close question: the draft is kept anyway

        const QString file = FilesSystem::VersionDataFolder() + MailingDraft::FileName();
        if (!damage.isEmpty()) {
            PutFile(file, damage);
            Dialogs::QueueAnswer(QMessageBox::Ok);
        }
        m_window = OpenMainWindow(Draft::Keep);
        m_window->ImportRecipientList(1);
        const auto asked = Dialogs::TakeAsked();
        const bool restored = damage.isEmpty();
        QCOMPARE(asked.size(), restored ? 1 : 2); // the attach dialog, the damage
        QCOMPARE(Get<QComboBox>("cboComposeFrom")->currentIndex(), restored ? 0 : -1);
        QCOMPARE(Get<QComboBox>("cboComposeTo")->currentText(), restored ? "Email" : "");
        QCOMPARE(Get<QLineEdit>("txtComposeSubject")->text(),
                 restored ? QString::fromUtf8("Hi «Name»") : QString());
        QCOMPARE(Body()->toPlainText(), restored ? "Body" : "");
        QCOMPARE(AttachmentKeys(),
                 restored ? attachment + QString::fromUtf8(";/in/«Name».pdf") : "");
        const QStringList kept =
            QDir(FilesSystem::VersionDataFolder()).entryList({MailingDraft::FileName() + ".*.bak"});
        QCOMPARE(kept.size(), restored ? 0 : 1);
        if (!restored)
            QVERIFY(asked[1].text.contains(kept[0]));
        m_window.reset();
        SeedPeople(false);
        m_window = OpenMainWindow();
    }
};

CORVANTA_TEST_MAIN(TestComposeStep)
#include "tst_ComposeStep.moc"
