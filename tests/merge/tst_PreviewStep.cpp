#include "MainWindowSetup.h"
#include "merge/Mails.h"
#include "merge/ctlWizPreview.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

using namespace TestSupport;

class TestPreviewStep : public MainWindowTest
{
    Q_OBJECT

    static constexpr int Rows = 40000; // more than a 16-bit position can reach
    ctlWizPreview* Panel() { return Get<ctlWizPreview>("ctlWizPreview"); }

private Q_SLOTS:
    void initTestCase() { SeedNumberedList("P", Rows); }

    // Imported and composed, ready to enter the Preview step.
    void init()
    {
        m_window = OpenMainWindow();
        m_window->ImportRecipientList(1);
        ClickTab(*m_window, 1);
        FillCompose(*m_window, 0, 1, QString::fromUtf8("Hi «Name»"),
                    QString::fromUtf8("Dear «Name»"));
    }

    void cleanup() { CloseWindow(); }

    // A merge stopped or failed half-way, on entry or at a confirmed Lock,
    // leaves no part of the list to preview or send.
    void anUnfinishedMergeEndsOnCompose_data()
    {
        QTest::addColumn<bool>("atLock");
        QTest::addColumn<bool>("fails"); // the record set, rather than Cancel
        for (bool atLock : {false, true}) {
            QTest::addRow("%s, cancelled", atLock ? "Lock" : "entry") << atLock << false;
            QTest::addRow("%s, record set fails", atLock ? "Lock" : "entry") << atLock << true;
        }
    }
    void anUnfinishedMergeEndsOnCompose()
    {
        QFETCH(bool, atLock);
        QFETCH(bool, fails);
        if (atLock) {
            ClickTab(*m_window, 2);
            Click("cmdUnlock");
            Dialogs::QueueAnswer(QMessageBox::Yes);
        }
        if (fails)
            Dialogs::QueueAnswer(QMessageBox::Ok);
        bool refused = false;
        // At the merge's first yield: neither window closes and no merge
        // starts over the one running.
        WhenShown(QStringLiteral("frmMergingPreview"), [&](QWidget* progress) {
            QTimer::singleShot(0, progress, [&, progress] {
                const Mails* running = m_window->mobjMails();
                refused = !progress->close() && !m_window->close() &&
                          !m_window->MergeForPreview() && m_window->mobjMails() == running;
                if (fails)
                    RecipientImport::ImportedRecipients().Close();
                else
                    QTest::mouseClick(Find<QPushButton>(progress, "cmdCancel"), Qt::LeftButton);
            });
        });
        atLock ? Click("cmdLock") : ClickTab(*m_window, 2);
        QVERIFY(refused);
        QCOMPARE(m_window->CurrentStep(), 2);
        QCOMPARE(Get<QTabBar>("tabMain")->currentIndex(), 1);
        QVERIFY(!m_window->mobjMails());
        QVERIFY(Get<QAction>("mnuFileSaveText")->isEnabled());
        QVERIFY(m_window->isEnabled() && Get<QTabBar>("tabMain")->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
        const auto asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), int(atLock) + int(fails));
        QVERIFY(!fails || asked.last().icon == Dialogs::Icon::Critical);
    }

    // The moves stop at both ends without a Move; positions go past 16 bits.
    // Changes to single mails while unlocked: kept while moving, gone after
    // a confirmed Lock, and asked about whenever going back would merge
    // them away, also by way of Send.
    void movesAndUnlockedChanges()
    {
        auto* subject = Get<QLineEdit>("txtPreviewSubject");
        ClickTab(*m_window, 2);
        QCOMPARE(m_window->CurrentStep(), 3);
        QCOMPARE(Panel()->MailCount(), Rows);
        QCOMPARE(Panel()->CurrentMail(), 1);
        QSignalSpy moved(Panel(), &ctlWizPreview::Move);
        Click("cmdMovePrevious");
        QCOMPARE(moved.count(), 0);
        Click("cmdMoveLast");
        QCOMPARE(Get<QLineEdit>("txtPreviewTo")->text(),
                 QStringLiteral("p%1@example.org").arg(Rows));
        Click("cmdMoveNext");
        QCOMPARE(moved.count(), 1);
        Click("cmdMovePrevious");
        QCOMPARE(Panel()->CurrentMail(), Rows - 1);
        QCOMPARE(subject->text(), QStringLiteral("Hi P%1").arg(Rows - 1));
        QCOMPARE(Find<QLabel>(Panel(), "lblCount")->text(),
                 QStringLiteral("%1 of %2").arg(Rows - 1).arg(Rows));

        Click("cmdMoveFirst");
        QVERIFY(subject->isReadOnly());
        Click("cmdUnlock");
        QVERIFY(!subject->isReadOnly());
        Click("cmdMoveNext");
        Click("cmdMoveNext");
        subject->setFocus();
        subject->setText(QStringLiteral("Changed"));
        Click("cmdMoveNext");
        Click("cmdMovePrevious");
        QCOMPARE(subject->text(), QStringLiteral("Changed"));

        // The sender of one mail, without touching the book or the others.
        WhenModal([](QWidget* entry) {
            Find<QLineEdit>(entry, "txtEmail")->setText(QStringLiteral("other@example.org"));
            QTest::mouseClick(Find<QPushButton>(entry, "cmdOK"), Qt::LeftButton);
        });
        Click("cmdPreviewFrom");
        QCOMPARE(m_window->mobjMails()->Item(3).From()->EMailAddress(),
                 QStringLiteral("other@example.org"));
        QCOMPARE(m_window->mobjMails()->Item(4).From()->EMailAddress(),
                 QStringLiteral("ada@example.org"));
        QCOMPARE(FromAddressBook().Item(1).EMailAddress(), QStringLiteral("ada@example.org"));

        Dialogs::QueueAnswer(QMessageBox::No);
        ClickTab(*m_window, 1);
        QCOMPARE(m_window->CurrentStep(), 3);
        Dialogs::QueueAnswer(QMessageBox::No);
        Click("cmdLock");
        QCOMPARE(subject->text(), QStringLiteral("Changed"));
        Dialogs::QueueAnswer(QMessageBox::Yes);
        Click("cmdLock");
        QCOMPARE(Panel()->CurrentMail(), 1);
        QCOMPARE(m_window->mobjMails()->Item(3).Subject(), QStringLiteral("Hi P3"));
        QVERIFY(subject->isReadOnly());

        Click("cmdUnlock");
        ClickTab(*m_window, 3);
        for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
            Dialogs::QueueAnswer(answer);
            ClickTab(*m_window, 1);
            QCOMPARE(m_window->CurrentStep(), answer == QMessageBox::No ? 4 : 2);
        }
        const auto asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 5);
        for (int i : {0, 3, 4})
            QCOMPARE(asked[i].text, Texts::MessageBoxText(LoadResString(159), 2));
        QCOMPARE(asked[1].text, Texts::MessageBoxText(LoadResString(114), 2));
    }
};

CORVANTA_TEST_MAIN(TestPreviewStep)
#include "tst_PreviewStep.moc"
