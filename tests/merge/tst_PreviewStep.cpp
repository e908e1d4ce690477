#include "MainWindowSetup.h"
#include "merge/Mails.h"
#include "merge/ctlWizPreview.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

using namespace TestSupport;

namespace {

constexpr int Rows = 40000; // more than a 16-bit position can reach

} // namespace

class TestPreviewStep : public MainWindowTest
{
    Q_OBJECT

    ctlWizPreview* Panel() { return Get<ctlWizPreview>("ctlWizPreview"); }
    QString Subject() { return Get<QLineEdit>("txtPreviewSubject")->text(); }
    void Click(const char* name) { QTest::mouseClick(Get<QAbstractButton>(name), Qt::LeftButton); }

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

    void aStoppedMergeGoesBackToCompose()
    {
        bool closedEarly = true;
        // At the merge's first yield.
        WhenShown(QStringLiteral("frmMergingPreview"), [&](QWidget* progress) {
            QTimer::singleShot(0, progress, [&, progress] {
                progress->close(); // refused while the merge runs
                closedEarly = !progress->isVisible();
                QTest::mouseClick(Find<QPushButton>(progress, "cmdCancel"), Qt::LeftButton);
            });
        });
        ClickTab(*m_window, 2);
        QVERIFY(!closedEarly);
        QCOMPARE(m_window->CurrentStep(), 2);
        QVERIFY(m_window->mobjMails()->Count() > 0);
        QVERIFY(m_window->mobjMails()->Count() < Rows);
        QVERIFY(m_window->isEnabled());
        QVERIFY(Get<QTabBar>("tabMain")->isEnabled());
    }

    void aFailingRecordSetIsReported()
    {
        WhenShown(QStringLiteral("frmMergingPreview"), [](QWidget* progress) {
            QTimer::singleShot(0, progress, [] { RecipientImport::ImportedRecipients().Close(); });
        });
        Dialogs::QueueAnswer(QMessageBox::Ok);
        ClickTab(*m_window, 2);
        const auto asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].icon, Dialogs::Icon::Critical);
        QCOMPARE(m_window->CurrentStep(), 2);
        QVERIFY(m_window->isEnabled());
        QVERIFY(!QApplication::overrideCursor());
    }

    // The moves stop at both ends without a Move; positions go past 16 bits.
    void moves()
    {
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
        QCOMPARE(Subject(), QStringLiteral("Hi P%1").arg(Rows - 1));
        QCOMPARE(Find<QLabel>(Panel(), "lblCount")->text(),
                 QStringLiteral("%1 of %2").arg(Rows - 1).arg(Rows));
    }

    // Changes to single mails while unlocked: kept while moving, gone after
    // a confirmed Lock, and asked about when leaving the step.
    void unlockedChanges()
    {
        ClickTab(*m_window, 2);
        auto* subject = Get<QLineEdit>("txtPreviewSubject");
        QVERIFY(subject->isReadOnly());
        Click("cmdUnlock");
        QVERIFY(!subject->isReadOnly());
        Click("cmdMoveNext");
        Click("cmdMoveNext");
        subject->setFocus();
        subject->setText(QStringLiteral("Changed"));
        Click("cmdMoveNext");
        Click("cmdMovePrevious");
        QCOMPARE(Subject(), QStringLiteral("Changed"));

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
        QCOMPARE(Subject(), QStringLiteral("Changed"));
        Dialogs::QueueAnswer(QMessageBox::Yes);
        Click("cmdLock");
        QCOMPARE(Panel()->CurrentMail(), 1);
        QCOMPARE(m_window->mobjMails()->Item(3).Subject(), QStringLiteral("Hi P3"));
        QVERIFY(subject->isReadOnly());
        const auto asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 3);
        QCOMPARE(asked[0].text, Texts::MessageBoxText(LoadResString(159), 2));
        QCOMPARE(asked[1].text, Texts::MessageBoxText(LoadResString(114), 2));
    }
};

CORVANTA_TEST_MAIN(TestPreviewStep)
#include "tst_PreviewStep.moc"
