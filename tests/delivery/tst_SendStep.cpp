#include "MainWindowSetup.h"
#include "SmtpTestServer.h"
#include "delivery/MailConfiguration.h"
#include "merge/Mails.h"

#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTextDocumentFragment>

using namespace TestSupport;

namespace {

constexpr int Recipients = 25;
const QString Refused = QStringLiteral("r7@example.org");

} // namespace

class TestSendStep : public MainWindowTest
{
    Q_OBJECT

    std::unique_ptr<SmtpTestServer> m_server;

    // Answers the confirmation, then the run goes on until the summary.
    void Send(bool confirm)
    {
        WhenModal([confirm](QWidget* dialog) {
            QTest::mouseClick(Find<QPushButton>(dialog, confirm ? "cmdSendEMails" : "cmdCancel"),
                              Qt::LeftButton);
        });
        QTest::mouseClick(Find<QPushButton>(Get("ctlWizSend"), "cmdSendEMails"), Qt::LeftButton);
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
        settings.SetSMTPServer(QStringLiteral("127.0.0.1"));
        settings.SetSMTPServerPort(qint16(m_server->Port()));
        settings.SetSMTPConnectionTimeout(30);
        settings.Save();

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

    void failuresGrowTheGridAndAreSummed()
    {
        Dialogs::QueueAnswer(QMessageBox::No);
        Send(true);
        auto* view = Get<QTableView>("flxSend");
        QAbstractItemModel* grid = view->model();
        QCOMPARE(grid->rowCount(), 1);
        QVERIFY(grid->index(0, 0).data().toString().contains(QLatin1String("550")));
        QCOMPARE(grid->index(0, 1).data().toString(), Refused);
        // The reason shows whole (up to half the screen), each cell's tip all its text.
        QCOMPARE(view->columnWidth(0),
                 std::min(view->sizeHintForIndex(grid->index(0, 0)).width() + 1,
                          view->screen()->availableGeometry().width() / 2));
        for (int i = 0; i < grid->columnCount(); ++i) {
            const QString tip = grid->index(0, i).data(Qt::ToolTipRole).toString();
            QCOMPARE(QTextDocumentFragment::fromHtml(tip).toPlainText().replace(u'\n', u' '),
                     grid->index(0, i).data().toString());
        }
        const auto asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(asked[0].text.startsWith(QStringLiteral("%1 e-mails were send in ").arg(Recipients)));
        QVERIFY(asked[0].text.endsWith(
            QStringLiteral("\n\n1 of %1 e-mails did not reach the destination\n\n").arg(Recipients) +
            LoadResString(158)));
    }

    void aRefusedConfirmationSendsNothing()
    {
        Send(false);
        QCOMPARE(m_server->MessageCount(), 0);
        QCOMPARE(m_window->MailsHandled(), 0);
    }

    // Every mail handled was either received or reported.
    void cancelStopsTheRun()
    {
        // As the tenth mail ends, as a user's click would come in between.
        connect(m_window->mobjMails(), &Mails::MailsSend, this, [](int index) {
            if (index != 10)
                return;
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->objectName() == QLatin1String("frmSendingEMails") &&
                    window->isVisible())
                    QTest::mouseClick(Find<QPushButton>(window, "cmdCancel"), Qt::LeftButton);
        });
        Dialogs::QueueAnswer(QMessageBox::No);
        Send(true);
        const int handled = m_window->MailsHandled();
        QVERIFY2(handled >= 10 && handled < Recipients, qPrintable(QString::number(handled)));
        const int failed = Get<QTableView>("flxSend")->model()->rowCount();
        QCOMPARE(m_server->MessageCount() + failed, handled);
        const auto asked = Dialogs::TakeAsked();
        QVERIFY(!asked.isEmpty());
        QVERIFY(
            asked.last().text.startsWith(QStringLiteral("%1 e-mails were send in ").arg(handled)));
    }
};

CORVANTA_TEST_MAIN(TestSendStep)
#include "tst_SendStep.moc"
