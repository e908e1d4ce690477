#include "MainWindowSetup.h"
#include "SmtpScriptServer.h"
#include "SmtpTestServer.h"
#include "delivery/MailConfiguration.h"
#include "delivery/SendClock.h"
#include "merge/Mails.h"
#include "store/FilesSystem.h"

#include <QLabel>
#include <QRegularExpression>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTextDocumentFragment>

using namespace TestSupport;

class TestSendStep : public MainWindowTest
{
    Q_OBJECT

    static constexpr int Recipients = 25;
    inline static const QString Refused = QStringLiteral("r7@example.org");
    std::unique_ptr<SmtpTestServer> m_server;

private Q_SLOTS:
    void initTestCase() { SeedNumberedList("R", Recipients); }

    void init()
    {
        SmtpTestServer::Options options;
        options.reject = QStringList{Refused};
        m_server = std::make_unique<SmtpTestServer>(options);
        QVERIFY2(m_server->Start(), qPrintable(m_server->Error()));
        MailConfiguration settings;
        settings.SetSMTPServer(QStringLiteral("127.0.0.1"));
        settings.SetSMTPServerPort(qint16(m_server->Port()));
        settings.SetSMTPConnectionTimeout(30);
        settings.SetSMTPMaxConnections(4);
        settings.Save();

        // Each run starts as a mailing never sent.
        QDir(FilesSystem::VersionDataFolder() + QStringLiteral("/journals")).removeRecursively();
        m_window = OpenMainWindow();
        m_window->ImportRecipientList(1);
        ClickTab(*m_window, 1);
        FillCompose(*m_window, 0, 1, QString::fromUtf8("Hi «Name»"),
                    QString::fromUtf8("Dear «Name»"));
        ClickTab(*m_window, 2);
        ClickTab(*m_window, 3);
        QCOMPARE(m_window->CurrentStep(), 4);
    }

    void cleanup()
    {
        CloseWindow();
        m_server.reset();
    }

    // Before the confirmation every mail's attachments are looked at: the
    // first few that cannot be read are listed, with their number. While
    // the run goes on the window neither closes nor merges again; every
    // mail handled is received or reported, and nothing offers to save a
    // report, which cannot be saved yet.
    void aRun_data()
    {
        QTest::addColumn<int>("missing"); // attachments gone, one a mail from the first
        QTest::addColumn<int>("answer");  // to the question about them
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<bool>("cancel"); // as the tenth mail ends
        QTest::newRow("sent") << 0 << 0 << true << false;
        QTest::newRow("cancelled") << 0 << 0 << true << true;
        QTest::newRow("not confirmed") << 0 << 0 << false << false;
        QTest::newRow("one attachment gone, No") << 1 << int(QMessageBox::No) << true << false;
        QTest::newRow("seven gone, Yes") << 7 << int(QMessageBox::Yes) << true << false;
    }
    void aRun()
    {
        QFETCH(int, missing);
        QFETCH(int, answer);
        QFETCH(bool, confirm);
        QFETCH(bool, cancel);
        const QString there = QDir::homePath() + QStringLiteral("/there.txt");
        PutFile(there, "x");
        for (int i = 1; i <= Recipients; ++i)
            m_window->mobjMails()->Item(i).SetAttachments(
                (i <= missing ? QDir::homePath() + QStringLiteral("/gone%1.txt;").arg(i) : "") +
                there);
        const bool sent = confirm && answer != QMessageBox::No;
        for (int queued : {answer, sent ? int(QMessageBox::Ok) : 0}) // the summary's
            if (queued)
                Dialogs::QueueAnswer(queued);
        bool refused = false;
        connect(m_window->mobjMails(), &Mails::MailsSend, this, [&](int index) {
            if (index != 10)
                return;
            refused = !m_window->close() && !m_window->MergeForPreview();
            for (QWidget* window : QApplication::topLevelWidgets())
                if (cancel && window->objectName() == QLatin1String("frmSendingEMails"))
                    QTest::mouseClick(Find<QPushButton>(window, "cmdCancel"), Qt::LeftButton);
        });
        if (answer != QMessageBox::No) // the confirmation; the run goes on until the summary
            WhenModal([confirm](QWidget* dialog) {
                const char* button = confirm ? "cmdSendEMails" : "cmdCancel";
                QTest::mouseClick(Find<QPushButton>(dialog, button), Qt::LeftButton);
            });
        QTest::mouseClick(Find<QPushButton>(Get("ctlWizSend"), "cmdSendEMails"), Qt::LeftButton);
        QCOMPARE(refused, sent);
        const int handled = m_window->MailsHandled();
        QVERIFY2(cancel ? handled >= 10 && handled < Recipients : handled == sent * Recipients,
                 qPrintable(QString::number(handled)));
        auto* view = Get<QTableView>("flxSend");
        QAbstractItemModel* grid = view->model();
        const int failed = grid->rowCount(); // with Cancel, also the mails under way
        QCOMPARE(cancel ? failed >= 1 : failed == int(sent), true);
        QCOMPARE(m_server->MessageCount() + failed, handled);
        const auto asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), int(missing > 0) + int(sent));
        // The reason shows whole (up to half the screen), each cell's tip all its text.
        if (failed == 1)
            QCOMPARE(view->columnWidth(0),
                     std::min(view->sizeHintForIndex(grid->index(0, 0)).width() + 1,
                              view->screen()->availableGeometry().width() / 2));
        for (int row = 0; row < failed; ++row)
            for (int i = 0; i < grid->columnCount(); ++i) {
                const QString tip = grid->index(row, i).data(Qt::ToolTipRole).toString();
                QCOMPARE(QTextDocumentFragment::fromHtml(tip).toPlainText().replace(u'\n', u' '),
                         grid->index(row, i).data().toString());
            }
        if (sent) {
            QCOMPARE(grid->index(0, 1).data().toString(), Refused);
            QCOMPARE(asked.last().buttons, QMessageBox::Ok);
            QVERIFY(asked.last().text.startsWith(
                QStringLiteral("%1 e-mails were send in ").arg(handled)));
            QVERIFY(asked.last().text.endsWith(
                QStringLiteral("\n%1 of %2 e-mails did not reach the destination")
                    .arg(failed)
                    .arg(handled)));
        }
        if (missing) { // the first five, how many in all, and how many more
            QCOMPARE(asked[0].defaultButton, QMessageBox::No);
            QCOMPARE(asked[0].text.count(QLatin1String("/gone")), qMin(missing, 5));
            QCOMPARE(asked[0].text.contains(QLatin1String(": 7")) &&
                         asked[0].text.contains(QLatin1String(" 2 ")),
                     missing == 7);
        }
        Q_EMIT Get<QMenu>("mnuFile")->aboutToShow();
        QVERIFY(!Get<QAction>("mnuFileSaveErrorReportAs")->isEnabled());
    }

    // A mail refused for now reads "temporary" in the grid while the run
    // waits, and the progress window says for what; the retry sends it and
    // its row goes. One connection to a scripted server.
    void aTemporaryRefusalRetried()
    {
        const QStringList hello{"S: 220 ready", "C: EHLO *", "S: 250 test.invalid"};
        const QStringList sent{"C: MAIL FROM:*", "S: 250 Ok", "C: RCPT TO:*", "S: 250 Ok", "C: DATA",
                               "S: 354 go on", "MESSAGE", "S: 250 queued"};
        QStringList first = hello;
        first << "C: MAIL FROM:*" << "S: 250 Ok" << "C: RCPT TO:<r1@example.org>"
              << "S: 450 4.7.1 greylisted, try later" << "C: RSET" << "S: 250 Ok";
        for (int i = 2; i <= Recipients; ++i)
            first << sent;
        SmtpScriptServer server({first, hello + sent});
        QVERIFY(server.Start());
        MailConfiguration settings;
        settings.SetSMTPServerPort(qint16(server.Port()));
        settings.SetSMTPMaxConnections(1);
        settings.Save();
        const SendClock clock(600); // a minute in a tenth of a second
        m_window->SetSendClock(&clock);
        QStringList seen; // while the run waits: the window's words, the grid's first reason
        QTimer look;
        connect(&look, &QTimer::timeout, this, [&] {
            auto* wait = qobject_cast<QLabel*>(
                QApplication::activeWindow() ? QApplication::activeWindow()->findChild<QLabel*>("lblWait") : nullptr);
            if (wait && wait->isVisible() && seen.isEmpty())
                seen << wait->text() << Get<QTableView>("flxSend")->model()->index(0, 0).data().toString();
        });
        look.start(5);
        Dialogs::QueueAnswer(QMessageBox::Ok);
        WhenModal([](QWidget* dialog) { QTest::mouseClick(Find<QPushButton>(dialog, "cmdSendEMails"), Qt::LeftButton); });
        QTest::mouseClick(Find<QPushButton>(Get("ctlWizSend"), "cmdSendEMails"), Qt::LeftButton);
        QCOMPARE(seen.size(), 2);
        QVERIFY2(QRegularExpression("^waiting [01]:\\d\\d to retry 1 e-mails that the server refused for now$")
                     .match(seen[0])
                     .hasMatch(),
                 qPrintable(seen[0]));
        QCOMPARE(seen[1], QStringLiteral("temporary: 450 4.7.1 greylisted, try later"));
        QCOMPARE(Get<QTableView>("flxSend")->model()->rowCount(), 0);
        QCOMPARE(server.Messages().size(), Recipients);
        QCOMPARE(server.Problems(), QStringList());
    }

    // Send pressed again for a mailing sent before asks first: the rest
    // (the default), all again, or nothing; once only refused mails are
    // left, those. An edited mail makes another mailing, sent whole.
    void aMailingSentBefore_data()
    {
        QTest::addColumn<bool>("cancelFirst"); // the first run at its tenth mail
        QTest::addColumn<bool>("edit");        // a mail edited in Preview before the second
        QTest::addColumn<int>("answer");       // to the question; 0: none asked
        QTest::addColumn<QString>("asked");    // how it starts
        QTest::addColumn<int>("second");       // mails the second run hands over
        const int yes = QMessageBox::Yes, no = QMessageBox::No, cancel = QMessageBox::Cancel;
        const QString resume = QStringLiteral("of 25 e-mails of this mailing were sent on ");
        const QString refused = QStringLiteral("Every e-mail of this mailing was handled on ");
        QTest::newRow("the rest") << true << false << yes << resume << -1;
        QTest::newRow("all again") << true << false << no << resume << Recipients;
        QTest::newRow("nothing") << true << false << cancel << resume << 0;
        QTest::newRow("mailing changed") << true << true << 0 << QString() << Recipients;
        QTest::newRow("the refused one again") << false << false << yes << refused << 1;
        QTest::newRow("all again after all went") << false << false << no << refused << Recipients;
    }
    void aMailingSentBefore()
    {
        QFETCH(bool, cancelFirst);
        QFETCH(bool, edit);
        QFETCH(int, answer);
        QFETCH(QString, asked);
        QFETCH(int, second);
        const auto send = [&](std::initializer_list<int> answers, bool confirmed) {
            for (const int queued : answers)
                Dialogs::QueueAnswer(queued);
            if (confirmed)
                WhenModal([](QWidget* dialog) {
                    QTest::mouseClick(Find<QPushButton>(dialog, "cmdSendEMails"), Qt::LeftButton);
                });
            QTest::mouseClick(Find<QPushButton>(Get("ctlWizSend"), "cmdSendEMails"), Qt::LeftButton);
        };
        const QMetaObject::Connection stop =
            connect(m_window->mobjMails(), &Mails::MailsSend, this, [&](int index) {
                for (QWidget* window : QApplication::topLevelWidgets())
                    if (cancelFirst && index == 10 && window->objectName() == QLatin1String("frmSendingEMails"))
                        QTest::mouseClick(Find<QPushButton>(window, "cmdCancel"), Qt::LeftButton);
            });
        send({QMessageBox::Ok}, true);
        disconnect(stop);
        const int first = m_server->MessageCount();
        const int handled = m_window->MailsHandled();
        const QSet<QString> before = m_server->FirstRecipients();
        Dialogs::TakeAsked();
        if (edit)
            m_window->mobjMails()->Item(25).SetTextBody(QStringLiteral("changed in Preview"));

        if (answer == 0)
            send({QMessageBox::Ok}, true);
        else if (answer == QMessageBox::Cancel)
            send({answer}, false);
        else
            send({answer, QMessageBox::Ok}, true);
        const auto questions = Dialogs::TakeAsked();
        QCOMPARE(questions.size() > 0 && questions[0].text.contains(asked) && !asked.isEmpty(), answer != 0);
        if (answer != 0) { // when, as the user reads it
            QCOMPARE(questions[0].defaultButton, QMessageBox::Yes);
            QVERIFY(questions[0].text.contains(
                QLocale(QLocale::English).toString(QDate::currentDate(), QStringLiteral(" d MMM ")) + "at "));
        }
        if (second < 0) { // the rest: every mail not received, none twice
            // The refused one went in the first run, within its first ten.
            QCOMPARE(m_window->MailsHandled() + int(before.size()), Recipients - 1);
            QCOMPARE(m_server->FirstRecipients().size(), Recipients - 1);
            QCOMPARE(m_server->MessageCount(), Recipients - 1);
        } else {
            QCOMPARE(m_window->MailsHandled(), answer == QMessageBox::Cancel ? handled : second);
            QCOMPARE(m_server->MessageCount(), first + (second == 1 ? 0 : second == 0 ? 0 : Recipients - 1));
        }
    }

    // Test e-mail opens the wizard, which sends from the Compose step's sender.
    void testEMail()
    {
        WhenModal([](QWidget* wizard) {
            Find<QLineEdit>(wizard, "txtTestEMail0")->setText(QStringLiteral("me@example.org"));
            QTest::mouseClick(Find<QPushButton>(wizard, "cmdNext"), Qt::LeftButton);
            QTest::mouseClick(Find<QPushButton>(wizard, "cmdCancel"), Qt::LeftButton);
        });
        QTest::mouseClick(Find<QPushButton>(Get("ctlWizSend"), "cmdTestEMail"), Qt::LeftButton);
        QCOMPARE(m_server->MessageCount(), 1);
        QCOMPARE(m_server->Envelope(1).value(QStringLiteral("mail_from")).toString(), QStringLiteral("ada@example.org"));
    }
};

CORVANTA_TEST_MAIN(TestSendStep)
#include "tst_SendStep.moc"
