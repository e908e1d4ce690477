#include "MainWindowSetup.h"
#include "senders/frmFormatFromEMail.h"
#include "senders/frmFormatFromEMailAdd.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

using namespace TestSupport;

namespace {

// Fills the entry dialog and presses OK; returns whether it closed.
bool EnterSender(QWidget* dialog, const QString& name, const QString& eMail, const QString& reply)
{
    Find<QLineEdit>(dialog, "txtName")->setText(name);
    Find<QLineEdit>(dialog, "txtEmail")->setText(eMail);
    Find<QLineEdit>(dialog, "txtReplyEMail")->setText(reply);
    QTest::mouseClick(Find<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
    return !dialog->isVisible();
}

} // namespace

class TestSenderBook : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void entryDialogTrimsAndChecksTheAddress_data()
    {
        QTest::addColumn<QString>("eMail");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("valid, with blanks around") << "  bo@example.org " << true;
        QTest::newRow("empty") << "" << false;
    }
    void entryDialogTrimsAndChecksTheAddress()
    {
        QFETCH(QString, eMail);
        QFETCH(bool, accepted);
        FromAddresses book;
        bool closed = false;
        QString balloon;
        WhenModal([&](QWidget* dialog) {
            closed = EnterSender(dialog, QStringLiteral(" Bo "), eMail, QStringLiteral(" r@x.y "));
            balloon = BalloonShown();
            dialog->close();
        });
        QCOMPARE(frmFormatFromEMailAdd::Add(nullptr, book), accepted);
        QCOMPARE(closed, accepted);
        QCOMPARE(book.Count(), accepted ? 1 : 0);
        if (accepted)
            QCOMPARE(book.Item(1),
                     FromAddress(QStringLiteral("Bo"), eMail.trimmed(), QStringLiteral("r@x.y")));
        else
            QCOMPARE(balloon, LoadResString(701) + QStringLiteral("@txtEmail"));
    }

    void finishRefillsTheSenderBox()
    {
        FromAddresses book;
        book.Add(QStringLiteral("Ada"), QStringLiteral("ada@example.org"), QString());
        QComboBox box;
        box.addItem(book.Item(1).GetPreviewEMailAddress());
        box.setCurrentIndex(0);
        // Add a second sender, edit the first, then finish on the new one.
        WhenModal([](QWidget* dialog) {
            WhenModal(
                [](QWidget* entry) { EnterSender(entry, QString(), "cy@example.org", QString()); },
                dialog);
            QTest::mouseClick(Find<QPushButton>(dialog, "cmdAdd"), Qt::LeftButton);
            auto* list = Find<QTreeWidget>(dialog, "lvwFromAddresses");
            QCOMPARE(list->currentItem(), list->topLevelItem(1));
            list->setCurrentItem(list->topLevelItem(0));
            WhenModal(
                [](QWidget* entry) { EnterSender(entry, "Ada L", "ada@example.org", "r@x.y"); },
                dialog);
            QTest::mouseClick(Find<QPushButton>(dialog, "cmdEdit"), Qt::LeftButton);
            list->setCurrentItem(list->topLevelItem(1));
            QTest::mouseClick(Find<QPushButton>(dialog, "cmdFinish"), Qt::LeftButton);
        });
        QVERIFY(frmFormatFromEMail::FormatEMail(nullptr, &box, book));
        QCOMPARE(Entries(box), (QStringList{"Ada L (ada@example.org) (r@x.y)",
                                            "cy@example.org (cy@example.org)"}));
        QCOMPARE(box.currentIndex(), 1);
    }

    // Closing the book with its window button leaves the box alone, unless
    // the book changed: then the box must not keep naming a sender that is
    // no longer at its position.
    void closingKeepsTheBoxTrue_data()
    {
        QTest::addColumn<int>("remove"); // 1-based row removed before closing; 0 none
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("selected");
        QTest::newRow("nothing changed") << 0 << QStringList{"a", "stale entry", "c"} << 1;
        QTest::newRow("the shown sender removed")
            << 2 << QStringList{"a@x.y (a@x.y)", "c@x.y (c@x.y)"} << -1;
        QTest::newRow("another sender removed")
            << 1 << QStringList{"b@x.y (b@x.y)", "c@x.y (c@x.y)"} << 0;
    }
    void closingKeepsTheBoxTrue()
    {
        QFETCH(int, remove);
        FromAddresses book;
        for (const char* address : {"a@x.y", "b@x.y", "c@x.y"})
            book.Add(QString(), QLatin1String(address), QString());
        QComboBox box;
        box.addItems({QStringLiteral("a"), QStringLiteral("stale entry"), QStringLiteral("c")});
        box.setCurrentIndex(1);
        WhenModal([remove](QWidget* dialog) {
            auto* list = Find<QTreeWidget>(dialog, "lvwFromAddresses");
            if (remove > 0) {
                list->setCurrentItem(list->topLevelItem(remove - 1));
                QTest::mouseClick(Find<QPushButton>(dialog, "cmdRemove"), Qt::LeftButton);
            }
            dialog->close();
        });
        frmFormatFromEMail::FormatEMail(nullptr, &box, book);
        QTEST(Entries(box), "entries");
        QTEST(box.currentIndex(), "selected");
    }

    // The main window writes the book as soon as the dialog closes.
    void theBookIsStoredAtOnce()
    {
        auto window = OpenMainWindow();
        WhenModal([](QWidget* dialog) {
            WhenModal([](QWidget* entry) { EnterSender(entry, "Bo", "bo@example.org", QString()); },
                      dialog);
            QTest::mouseClick(Find<QPushButton>(dialog, "cmdAdd"), Qt::LeftButton);
            QTest::mouseClick(Find<QPushButton>(dialog, "cmdFinish"), Qt::LeftButton);
        });
        QTest::mouseClick(Find<QPushButton>(window.get(), "cmdComposeFrom"), Qt::LeftButton);
        QCOMPARE(Stored().senders.Count(), 1);
        QCOMPARE(Stored().senders.Item(1).EMailAddress(), QStringLiteral("bo@example.org"));
        QCOMPARE(Find<QComboBox>(window.get(), "cboComposeFrom")->currentText(),
                 QStringLiteral("Bo (bo@example.org)"));
    }
};

CORVANTA_TEST_MAIN(TestSenderBook)
#include "tst_SenderBook.moc"
