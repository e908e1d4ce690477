#include "MainWindowSetup.h"
#include "SmtpTestServer.h"
#include "WizardScript.h"
#include "delivery/MailConfiguration.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>

using namespace TestSupport;

// The whole road through the windows, to a real server, read back by Python.
class TestMailingEndToEnd : public QObject
{
    Q_OBJECT

    struct Person
    {
        QString first, last, email, ip;
    };
    QList<Person> m_people;

    static std::shared_ptr<RecipientList> Workbook()
    {
        auto list = CsvList(QStringLiteral("Mock people"),
                            TestData(QStringLiteral("xlsx/mockaroo-MOCK_DATA-10rows.xlsx")));
        list->SetCatalogTableOrView(QStringLiteral("data"));
        return list;
    }
    // Fills in the sender entry dialog and confirms it.
    static void EnterSender(QWidget* entry, const QString& name, const QString& address)
    {
        Find<QLineEdit>(entry, "txtName")->setText(name);
        Find<QLineEdit>(entry, "txtEmail")->setText(address);
        QTest::mouseClick(Find<QPushButton>(entry, "cmdOK"), Qt::LeftButton);
    }

private Q_SLOTS:
    void initTestCase()
    {
        Recordset rows = RecipientImport::GetRecordset(*Workbook());
        for (int i = 0; i < rows.RecordCount(); ++i)
            m_people.append({rows.ValueAt(i, 1).toString(), rows.ValueAt(i, 2).toString(),
                             rows.ValueAt(i, 3).toString(), rows.ValueAt(i, 5).toString()});
        QCOMPARE(m_people.size(), 10);
        // A first start: no lists, no senders.
        QDir(FilesSystem::VersionDataFolder()).removeRecursively();
    }

    void importComposePreviewSend()
    {
        const QString refused = m_people[3].email;
        SmtpTestServer::Options options;
        options.reject = QStringList{refused};
        SmtpTestServer server(options);
        QVERIFY2(server.Start(), qPrintable(server.Error()));
        MailConfiguration settings;
        settings.SetSMTPServer(QStringLiteral("127.0.0.1"));
        settings.SetSMTPServerPort(qint16(server.Port()));
        settings.Save();
        const QString attachment = QDir::homePath() + QString::fromUtf8("/Prüfbericht ü.pdf");
        QByteArray bytes;
        for (int i = 0; i < 70000; ++i)
            bytes += char(i * 7919 % 256);
        PutFile(attachment, bytes);
        // And each person a file of their own, named by their values.
        const QString own = QDir::homePath() + QStringLiteral("/invoices/%1 %2.bin");
        const auto ownBytes = [&](int person) {
            return bytes.mid(person * 997, 5000 + 331 * person);
        };
        for (int i = 0; i < m_people.size(); ++i)
            PutFile(own.arg(m_people[i].first, m_people[i].last), ownBytes(i));

        auto window = OpenMainWindow();
        QWidget* w = window.get();
        // The list made through the wizard is imported at once.
        WhenModal([](QWidget* wizard) {
            Run(wizard, {QStringLiteral("txtName=Mock people"), QStringLiteral("cmdNext"),
                         QStringLiteral("optSourceType3"), QStringLiteral("cmdNext"),
                         QStringLiteral("txtFilename=") +
                             TestData(QStringLiteral("xlsx/mockaroo-MOCK_DATA-10rows.xlsx")),
                         QStringLiteral("cmdNext"), QStringLiteral("lstCatalogs=data"),
                         QStringLiteral("cmdNext"), QStringLiteral("cmdNext"),
                         QStringLiteral("cmdFinish")});
        });
        QTest::mouseClick(Find<QPushButton>(w, "cmdNew"), Qt::LeftButton);
        QVERIFY(window->RcptLsts().Count() == 1 && window->RcptLsts().Item(1) == *Workbook());
        QCOMPARE(RecipientImport::ImportedRecipients().RecordCount(), 10);
        // Filtered to nine: the last person gets nothing.
        WhenModal([this](QWidget* filter) {
            auto* column = Find<QComboBox>(filter, "cboData_0");
            column->setCurrentIndex(column->findText(QStringLiteral("email")));
            Q_EMIT column->activated(column->currentIndex()); // as a choice in the list does
            auto* comparison = Find<QComboBox>(filter, "cboOperator_0");
            comparison->setCurrentIndex(comparison->findText(LoadResString(511)));
            Find<QLineEdit>(filter, "txtValue_0")->setText(m_people[9].email);
            QTest::mouseClick(Find<QPushButton>(filter, "cmdOK"), Qt::LeftButton);
        });
        QTest::mouseClick(Find<QPushButton>(w, "cmdFilterRecipients"), Qt::LeftButton);
        QCOMPARE(RecipientImport::ImportedRecipients().RecordCount(), 9);
        ClickTab(*window, 1);
        // The sender goes into the empty book.
        WhenModal([](QWidget* book) {
            WhenModal([](QWidget* entry) { EnterSender(entry, "Ada Lovelace", "ada@example.org"); },
                      book);
            QTest::mouseClick(Find<QPushButton>(book, "cmdAdd"), Qt::LeftButton);
            QTest::mouseClick(Find<QPushButton>(book, "cmdFinish"), Qt::LeftButton);
        });
        QTest::mouseClick(Find<QPushButton>(w, "cmdComposeFrom"), Qt::LeftButton);
        FillCompose(*window, 0, 3, QString::fromUtf8("Hello «first_name» «last_name»"),
                    QString::fromUtf8("Dear «first_name»,\nyour address is «ip_address».\n"));
        Dialogs::QueueAnswer(QStringList{attachment});
        QTest::mouseClick(Find<QPushButton>(w, "cmdComposeAttach"), Qt::LeftButton);
        Find<QLineEdit>(w, "txtComposeAttachPath")
            ->setText(own.arg(QString::fromUtf8("«first_name»"), QString::fromUtf8("«last_name»")));
        QTest::mouseClick(Find<QPushButton>(w, "cmdComposeAttachPath"), Qt::LeftButton);

        // The second mail gets its own subject and sender; Lock answered No.
        ClickTab(*window, 2);
        QCOMPARE(window->CurrentStep(), 3);
        QTest::mouseClick(Find<QPushButton>(w, "cmdUnlock"), Qt::LeftButton);
        QTest::mouseClick(Find<QToolButton>(w, "cmdMoveNext"), Qt::LeftButton);
        auto* shown = Find<QTreeWidget>(w, "lvwPreviewAttach");
        QCOMPARE(shown->topLevelItemCount(), 2);
        QCOMPARE(shown->topLevelItem(1)->data(0, Qt::UserRole).toString(),
                 own.arg(m_people[1].first, m_people[1].last));
        auto* subject = Find<QLineEdit>(w, "txtPreviewSubject");
        subject->setFocus();
        subject->setText(QString::fromUtf8("Changed for you, ") + m_people[1].first);
        WhenModal([](QWidget* entry) { EnterSender(entry, "Other Sender", "other@example.org"); });
        QTest::mouseClick(Find<QPushButton>(w, "cmdPreviewFrom"), Qt::LeftButton);
        Dialogs::QueueAnswer(QMessageBox::No);
        QTest::mouseClick(Find<QPushButton>(w, "cmdLock"), Qt::LeftButton);

        ClickTab(*window, 3);
        QCOMPARE(window->CurrentStep(), 4);
        Dialogs::QueueAnswer(QMessageBox::No); // no report of the refused mail
        WhenModal([](QWidget* confirm) {
            QTest::mouseClick(Find<QPushButton>(confirm, "cmdSendEMails"), Qt::LeftButton);
        });
        QTest::mouseClick(Find<QPushButton>(Find<QWidget>(w, "ctlWizSend"), "cmdSendEMails"),
                          Qt::LeftButton);

        QCOMPARE(server.MessageCount(), 8);
        const QString sha = QString::fromLatin1(
            QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        for (int n = 1; n <= 8; ++n) {
            const QJsonObject mail = server.Inspect(n);
            const QString to = mail.value("to")[0]["address"].toString();
            const auto person = std::find_if(m_people.begin(), m_people.end(),
                                             [&](const Person& p) { return p.email == to; });
            QVERIFY2(person != m_people.end() && to != refused && to != m_people[9].email,
                     qPrintable(to));
            const bool changed = person == m_people.begin() + 1;
            QStringList got{mail.value("subject").toString(),
                            mail.value("from")[0]["address"].toString(),
                            mail.value("body").toString()};
            for (const QJsonValue file : mail.value("attachments").toArray())
                got << file["filename"].toString() + u' ' + file["sha256"].toString();
            const QByteArray own = ownBytes(int(person - m_people.begin()));
            QCOMPARE(got,
                     QStringList(
                         {changed ? QString::fromUtf8("Changed for you, ") + person->first
                                  : QStringLiteral("Hello %1 %2").arg(person->first, person->last),
                          changed ? "other@example.org" : "ada@example.org",
                          QStringLiteral("Dear %1,\nyour address is %2.\n")
                              .arg(person->first, person->ip),
                          QString::fromUtf8("Prüfbericht ü.pdf ") + sha,
                          QStringLiteral("%1 %2.bin ").arg(person->first, person->last) +
                              QCryptographicHash::hash(own, QCryptographicHash::Sha256).toHex()}));
            QCOMPARE(mail.value("defects").toArray().size(), 0);
        }
        Find<QPlainTextEdit>(w, "txtComposeTextBody")->clear();
        VerifyAllAnswersTaken();
    }
};

CORVANTA_TEST_MAIN(TestMailingEndToEnd)
#include "tst_MailingEndToEnd.moc"
