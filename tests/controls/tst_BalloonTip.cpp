#include "WidgetTestMain.h"
#include "controls/ctlBalloonTip.h"
#include "platform/sysinfo/SystemVersions.h"

#include <QLabel>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>

namespace {

const QString Prefix = QStringLiteral("[DBNETLIB][ConnectionOpen (Connect()).]");

void flushDeletes()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

BalloonTipPopup* current()
{
    return ctlBalloonTip::CurrentBalloon();
}

struct Form
{
    QDialog window;
    ctlBalloonTip* balloon = new ctlBalloonTip(&window);
    QPushButton* button = new QPushButton(QStringLiteral("&Next >"), &window);
    QLineEdit* edit = new QLineEdit(&window);
    QLineEdit* other = new QLineEdit(&window);
    QTextEdit* body = new QTextEdit(&window);

    Form()
    {
        window.setGeometry(40, 40, 400, 300);
        button->setGeometry(50, 60, 90, 28);
        edit->setGeometry(50, 120, 200, 24);
        other->setGeometry(50, 160, 200, 24);
        body->setGeometry(50, 200, 200, 80);
        window.show();
        window.activateWindow();
    }

    void show(QWidget* target, const QString& title = QStringLiteral("T"), int icon = 1, int x = 0,
              int y = 0, const QString& text = QStringLiteral("B"))
    {
        balloon->ShowBalloonTip(target, title, text, icon, x, y);
    }
};

QRect globalRect(QWidget* w)
{
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

} // namespace

class TestBalloonTip : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The kernel that once turned every balloon into a message box: each
    // case shows a balloon (a message box would fail, unanswered).
    void init() { SetSystemVersions({.OSMajor = 5}); }

    void cleanup()
    {
        ctlBalloonTip::CloseBalloon();
        flushDeletes();
    }

    void pointsAtANonTextTargetsTopLeftPlusOffsets()
    {
        Form form;
        QVERIFY(QTest::qWaitForWindowActive(&form.window));
        for (const QPoint offset : {QPoint(0, 0), QPoint(7, 45), QPoint(-20, 5)}) {
            form.show(form.button, QStringLiteral("T"), 3, offset.x(), offset.y());
            QVERIFY(current() && current()->isVisible());
            QCOMPARE(current()->TipPoint(), form.button->mapToGlobal(offset));
            QCOMPARE(current()->mapToGlobal(current()->TailTip()), current()->TipPoint());
            QVERIFY(current()->TailAtTop());
        }
        // A text box is pointed at itself; offsets do not apply to it.
        form.show(form.edit, QStringLiteral("T"), 1, 300, 300);
        QVERIFY(globalRect(form.edit).contains(current()->TipPoint()));
        QCOMPARE(current()->mapToGlobal(current()->TailTip()), current()->TipPoint());
    }

    // Markup and the network library's prefix in a provider's message must
    // not reach the user: the rest comes out as typed.
    void showsTitleAndTextAsTypedWithoutTheLibraryPrefix()
    {
        QCOMPARE(ctlBalloonTip::CleanText(QStringLiteral("a") + Prefix + Prefix +
                                          QStringLiteral("b")),
                 QStringLiteral("ab"));
        QCOMPARE(ctlBalloonTip::CleanText(QStringLiteral("[DBNETLIB] timeout")),
                 QStringLiteral("[DBNETLIB] timeout"));
        Form form;
        const QString title = QStringLiteral("A <b>From</b> e-mail address is required");
        const QString text = QStringLiteral("Please select & <i>retry</i>");
        form.show(form.button, title, 3, 0, 0, Prefix + text + Prefix);
        QCOMPARE(current()->Title(), title);
        QCOMPARE(current()->Text(), text);
        for (const char* name : {"lblBalloonTitle", "lblBalloonText"})
            QCOMPARE(current()->findChild<QLabel*>(QLatin1String(name))->textFormat(), Qt::PlainText);
    }

    void withoutATargetTheMessageGoesToAMessageBox_data()
    {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("expected");
        using I = Dialogs::Icon;
        QTest::newRow("error") << 3 << int(I::Critical);
        QTest::newRow("unknown") << 4 << int(I::None);
    }

    void withoutATargetTheMessageGoesToAMessageBox()
    {
        QFETCH(int, icon);
        QFETCH(int, expected);
        Dialogs::QueueAnswer(QMessageBox::Ok);
        ctlBalloonTip().ShowBalloonTip(nullptr, QStringLiteral("A Subject is required"),
                                       Prefix + QStringLiteral("Please type a Subject"), icon);
        QVERIFY(!current());
        const QList<Dialogs::Asked> asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].text, QStringLiteral("A Subject is required\n\nPlease type a Subject"));
        QCOMPARE(int(asked[0].icon), expected);
        QCOMPARE(asked[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void closesOnTheNextKeyOrClickButLeavesTheFocus()
    {
        Form form;
        QVERIFY(QTest::qWaitForWindowActive(&form.window));
        form.edit->setFocus();
        form.show(form.edit);
        QPointer<BalloonTipPopup> popup = current();
        // Input already under way belongs to whatever raised the balloon.
        QTest::keyClick(form.edit, Qt::Key_A);
        QVERIFY(popup && popup->isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::focusWidget(), form.edit);
        QCOMPARE(QApplication::activeWindow(), &form.window);
        QTest::keyClick(form.edit, Qt::Key_A);
        flushDeletes();
        QVERIFY(!popup);
        QVERIFY(!current());

        form.show(form.button);
        popup = current();
        QCoreApplication::processEvents();
        QTest::mouseClick(form.other, Qt::LeftButton);
        flushDeletes();
        QVERIFY(!popup);

        // Escape closes the balloon only, not the dialog with what was typed.
        form.show(form.edit);
        QCoreApplication::processEvents();
        QTest::keyClick(form.edit, Qt::Key_Escape);
        flushDeletes();
        QVERIFY(!current());
        QVERIFY(form.window.isVisible());
        QTest::keyClick(form.edit, Qt::Key_Escape);
        QVERIFY(!form.window.isVisible());
    }

    void closesWhenItsTargetGoesOrAnotherBalloonComes()
    {
        Form form;
        form.show(form.button);
        QPointer<BalloonTipPopup> popup = current();
        form.button->hide();
        flushDeletes();
        QVERIFY(!popup);
        // A hidden target gets its balloon only if shown before the event
        // loop turns (the caller shows the page with the control).
        form.show(form.button);
        popup = current();
        flushDeletes();
        QVERIFY(!popup);
        form.edit->hide();
        form.show(form.edit);
        popup = current();
        QVERIFY(popup && !popup->isVisible());
        form.edit->show();
        QCoreApplication::processEvents();
        QVERIFY(popup && popup->isVisible());
        QVERIFY(globalRect(form.edit).contains(popup->TipPoint()));

        delete form.edit;
        flushDeletes();
        QVERIFY(!popup);
        QVERIFY(!current());

        form.show(form.other, QStringLiteral("First"));
        popup = current();
        form.show(form.body, QStringLiteral("Second"));
        flushDeletes();
        QVERIFY(!popup);
        QCOMPARE(current()->Title(), QStringLiteral("Second"));
        QCOMPARE(form.window.findChildren<BalloonTipPopup*>().size(), 1);
    }
};

CORVANTA_TEST_MAIN(TestBalloonTip)
#include "tst_BalloonTip.moc"
