#include "MainWindowSetup.h"
#include "SmtpScriptServer.h"
#include "SmtpTestServer.h"
#include "delivery/MailConfiguration.h"
#include "delivery/SendClock.h"
#include "merge/Mails.h"
#include "platform/providers/sheets/Workbook.h"
#include "platform/sysinfo/SystemVersions.h"
#include "store/FilesSystem.h"

#include <QLabel>
#include <QRegularExpression>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTextDocumentFragment>
#include <csignal>
#include <sys/resource.h>

using namespace TestSupport;

class TestSendStep : public MainWindowTest
{
    Q_OBJECT

    static constexpr int Recipients = 25;
    inline static const QString Refused = QStringLiteral("r7@example.org");
    std::unique_ptr<SmtpTestServer> m_server;

    bool SaveOffered()
    {
        Q_EMIT Get<QMenu>("mnuFile")->aboutToShow();
        return Get<QAction>("mnuFileSaveErrorReportAs")->isEnabled();
    }

    // Presses Send with these answers queued (0: none); the confirmation,
    // unless not asked for, is answered with the button named.
    void Send(std::initializer_list<int> answers, const char* confirmation = "cmdSendEMails")
    {
        for (const int answer : answers)
            if (answer)
                Dialogs::QueueAnswer(answer);
        if (confirmation)
            WhenModal([confirmation](QWidget* dialog) {
                QTest::mouseClick(Find<QPushButton>(dialog, confirmation), Qt::LeftButton);
            });
        QTest::mouseClick(Find<QPushButton>(Get("ctlWizSend"), "cmdSendEMails"), Qt::LeftButton);
    }
    static void CancelTheRun()
    {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->objectName() == QLatin1String("frmSendingEMails"))
                QTest::mouseClick(Find<QPushButton>(window, "cmdCancel"), Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase() { SeedNumberedList("R", Recipients); }

    void init()
    {
        SmtpTestServer::Options options;
        options.reject = QStringList{Refused};
        m_server = std::make_unique<SmtpTestServer>(options);
        QVERIFY2(m_server->Start(), qPrintable(m_server->Error()));
        MailConfiguration settings;
        settings.SetSMPTAuthenticate(MailConfiguration::NoLogin);
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
    // mail handled is received or reported. The summary of a run with
    // failures offers the report, and Save Mail Errors As is offered while
    // the Send step shows failures.
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
        bool refused = false;
        connect(m_window->mobjMails(), &Mails::MailsSend, this, [&](int index) {
            if (index != 10)
                return;
            refused = !m_window->close() && !m_window->MergeForPreview();
            if (cancel)
                CancelTheRun();
        });
        // The run goes on until the summary, answered No.
        Send({answer, sent ? int(QMessageBox::No) : 0},
             answer == QMessageBox::No ? nullptr : confirm ? "cmdSendEMails" : "cmdCancel");
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
            QCOMPARE(asked.last().buttons, QMessageBox::Yes | QMessageBox::No);
            QVERIFY(asked.last().text.startsWith(
                QStringLiteral("%1 e-mails were send in ").arg(handled)));
            QVERIFY(asked.last().text.endsWith(
                QStringLiteral("\n%1 of %2 e-mails did not reach the destination\n\n%3")
                    .arg(failed)
                    .arg(handled)
                    .arg(LoadResString(158))));
        }
        if (missing) { // the first five, how many in all, and how many more
            QCOMPARE(asked[0].defaultButton, QMessageBox::No);
            QCOMPARE(asked[0].text.count(QLatin1String("/gone")), qMin(missing, 5));
            QCOMPARE(asked[0].text.contains(QLatin1String(": 7")) &&
                         asked[0].text.contains(QLatin1String(" 2 ")),
                     missing == 7);
        }
        QCOMPARE(SaveOffered(), sent);
        ClickTab(*m_window, 1);
        QVERIFY(!SaveOffered());
    }

    // Set to sign in with a provider, but the sign-in is gone (withdrawn
    // in an earlier run): the user is asked to sign in before anything goes
    // out; No, or mail setup left without signing in, sends nothing.
    void askedToSignInFirst_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("No") << int(QMessageBox::No);
        QTest::newRow("Yes, then mail setup cancelled") << int(QMessageBox::Yes);
    }
    void askedToSignInFirst()
    {
        QFETCH(int, answer);
        MailConfiguration settings;
        settings.SetSMPTAuthenticate(2);
        settings.SetSMTPUsername(QStringLiteral("ann@example.org"));
        settings.SetSMTPOAuthClientID(QStringLiteral("cid"));
        settings.Save();
        QString opened;
        if (answer == QMessageBox::Yes)
            WhenModal([&opened](QWidget* dialog) {
                opened = dialog->objectName();
                QTest::mouseClick(Find<QPushButton>(dialog, "cmdCancel"), Qt::LeftButton);
            });
        Send({answer}, nullptr);
        const auto asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 1);
        QVERIFY2(asked[0].text.contains(QStringLiteral("ann@example.org")), qPrintable(asked[0].text));
        QCOMPARE(opened, answer == QMessageBox::Yes ? QStringLiteral("frmMailCfg") : QString());
        QCOMPARE(m_window->MailsHandled(), 0);
        QCOMPARE(m_server->MessageCount(), 0);
    }

    // Save Mail Errors As, from the summary or the menu: the format follows
    // the name's ending, else the filter chosen, in the layout chosen (of
    // the Other box only its first character); Cancel in the format dialog
    // asks for the file again; a file that cannot be replaced is refused
    // before anything is written, and a write that fails is told and leaves
    // the old file as it was.
    void savesTheReport_data()
    {
        QTest::addColumn<bool>("workbookWriter");
        QTest::addColumn<QVariantList>("names");  // answers to the save dialog
        QTest::addColumn<QStringList>("formats"); // per format dialog, the buttons clicked
        QTest::addColumn<QString>("target");      // the file that holds "old" before
        QTest::addColumn<QString>("written");     // what it starts with after; "" unchanged
        // The text shown after the save dialog; 4400 when written under a
        // file size limit.
        QTest::addColumn<int>("told");
        const QString text(QChar(0xFEFF)); // the byte-order mark
        const QVariant textFilter =
            QStringList{"r", LoadResString(172) + " (*.txt *.csv *.tab *.asc)"};
        QTest::newRow("workbook from the summary")
            << true << QVariantList{"r.xlsx"} << QStringList() << "r.xlsx"
            << "PK" << 0;
        QTest::newRow("text, after Cancel in the format dialog")
            << true << QVariantList{"r.csv", "r.csv"}
            << QStringList{"cmdCancel", "rdoDelimiterSemicolon rdoQuoteSingle cmdOK"} << "r.csv"
            << text + "'Description';'To'" << 0;
        QTest::newRow("text filter, no ending")
            << true << QVariantList{textFilter} << QStringList{"cmdOK"} << "r.txt"
            << text + "\"Description\",\"To\"" << 0;
        QTest::newRow("Other takes the first character")
            << true << QVariantList{"r.csv"}
            << QStringList{"rdoDelimiterOther txtTextDelimiter=|x cmdOK"} << "r.csv"
            << text + "\"Description\"|\"To\"" << 0;
        QTest::newRow("no workbook writer")
            << false << QVariantList{"r.txt"} << QStringList{"rdoDelimiterTab rdoQuoteNone cmdOK"}
            << "r.txt" << text + "Description\tTo\t" << 0;
        QTest::newRow("cancelled")
            << true << QVariantList{""} << QStringList() << "r.xlsx" << QString() << 0;
        QTest::newRow("a folder in its place") << true << QVariantList{"folder.xlsx", ""}
                                               << QStringList() << "r.xlsx" << QString() << 113;
        QTest::newRow("workbook, write fails")
            << true << QVariantList{"r.xlsx"} << QStringList() << "r.xlsx" << QString() << 4400;
        QTest::newRow("text, write fails") << true << QVariantList{"r.txt"} << QStringList{"cmdOK"}
                                           << "r.txt" << QString() << 4400;
    }
    void savesTheReport()
    {
        QFETCH(bool, workbookWriter);
        QFETCH(QVariantList, names);
        QFETCH(QStringList, formats);
        QFETCH(QString, target);
        QFETCH(QString, written);
        QFETCH(int, told);
        const bool limited = told == 4400;
        SystemVersions versions;
        versions.ExcelVersion = workbookWriter ? 12 : 0;
        SetSystemVersions(versions);
        const QString folder = QDir::homePath() + QStringLiteral("/reports/");
        QDir(folder).removeRecursively();
        QDir().mkpath(folder + "folder.xlsx");
        PutFile(folder + target, "old");

        const bool fromSummary = QTest::currentDataTag() == QByteArray("workbook from the summary");
        if (!fromSummary)
            Send({QMessageBox::No});
        else
            Dialogs::QueueAnswer(QMessageBox::Yes);
        for (const QVariant& name : names) {
            QStringList answer = name.toStringList();
            answer[0] = answer[0].isEmpty() ? QString() : folder + answer[0];
            Dialogs::QueueAnswer(answer);
        }
        if (told)
            Dialogs::QueueAnswer(QMessageBox::Ok);
        // Each format dialog in turn has its buttons clicked.
        std::function<void(int)> choose = [&](int at) {
            if (at < formats.size())
                WhenShown("frmTextExport", [&, at](QWidget* dialog) {
                    for (const QString& step : formats[at].split(u' ')) // "box=text" types
                        if (step.contains(u'='))
                            Find<QLineEdit>(dialog, qPrintable(step.section(u'=', 0, 0)))
                                ->setText(step.section(u'=', 1));
                        else
                            Find<QAbstractButton>(dialog, qPrintable(step))->click();
                    choose(at + 1);
                });
        };
        choose(0);
        if (fromSummary) {
            Send({});
        } else {
            Dialogs::TakeAsked();
            QVERIFY(SaveOffered());
            rlimit before{};
            getrlimit(RLIMIT_FSIZE, &before);
            rlimit limit = before;
            limit.rlim_cur = 32;
            std::signal(SIGXFSZ, SIG_IGN);
            if (limited)
                setrlimit(RLIMIT_FSIZE, &limit);
            Get<QAction>("mnuFileSaveErrorReportAs")->trigger();
            setrlimit(RLIMIT_FSIZE, &before);
        }

        int shown = 0;
        int saveDialogs = 0;
        for (const auto& question : Dialogs::TakeAsked()) {
            if (question.kind == Dialogs::Asked::Kind::SaveFile) {
                ++saveDialogs;
                QCOMPARE(question.filter.contains("*.xlsx"), workbookWriter);
            }
            for (int id : {113, 4400})
                if (question.text.startsWith(LoadResString(id).section(u'|', 0, 0)))
                    shown = id;
        }
        QCOMPARE(saveDialogs, names.size());
        QCOMPARE(shown, told);
        QCOMPARE(Get<QLabel>("sbMainProgress")->text(), QString());
        // Nothing left beside the file.
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 2);
        const QByteArray bytes = ReadBytes(folder + target);
        QVERIFY2(bytes.startsWith(written.isEmpty() ? "old" : written.toUtf8()),
                 bytes.left(40).constData());
        if (written == QLatin1String("PK")) {
            Recordset back = Workbook::ReadSheet(folder + target, QStringLiteral("Report"), true);
            QCOMPARE(back.RecordCount(), 1);
            QCOMPARE(back.Value(1).toString(), Refused);
        } else if (!written.isEmpty()) {
            QVERIFY(bytes.contains(Refused.toUtf8()));
        }
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
        Send({QMessageBox::Ok});
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
        const QMetaObject::Connection stop =
            connect(m_window->mobjMails(), &Mails::MailsSend, this, [&](int index) {
                if (cancelFirst && index == 10)
                    CancelTheRun();
            });
        Send({QMessageBox::Ok});
        disconnect(stop);
        const int first = m_server->MessageCount();
        const int handled = m_window->MailsHandled();
        const QSet<QString> before = m_server->FirstRecipients();
        Dialogs::TakeAsked();
        if (edit)
            m_window->mobjMails()->Item(25).SetTextBody(QStringLiteral("changed in Preview"));

        if (answer == QMessageBox::Cancel)
            Send({answer}, nullptr);
        else
            Send({answer, QMessageBox::Ok});
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
