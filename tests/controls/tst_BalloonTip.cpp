#include "TestMain.h"
#include "controls/ctlBalloonTip.h"
#include "platform/sysinfo/SystemVersions.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>

namespace {

const QString Prefix = QStringLiteral("[DBNETLIB][ConnectionOpen (Connect()).]");

void setOs(int major, int minor)
{
    SystemVersions versions;
    versions.OSMajor = major;
    versions.OSMinor = minor;
    SetSystemVersions(versions);
}

void flushDeletes()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A small window with a button, a line edit and a text edit at known places.
struct Form
{
    QWidget window;
    ctlBalloonTip* balloon;
    QPushButton* button;
    QLineEdit* edit;
    QLineEdit* other;
    QTextEdit* body;

    Form()
    {
        window.setObjectName(QStringLiteral("frmTest"));
        window.resize(400, 300);
        window.move(40, 40);
        balloon = new ctlBalloonTip(&window);
        button = new QPushButton(QStringLiteral("&Next >"), &window);
        button->setObjectName(QStringLiteral("cmdNext"));
        button->setGeometry(50, 60, 90, 28);
        edit = new QLineEdit(&window);
        edit->setObjectName(QStringLiteral("txtSubject"));
        edit->setGeometry(50, 120, 200, 24);
        other = new QLineEdit(&window);
        other->setObjectName(QStringLiteral("txtOther"));
        other->setGeometry(50, 160, 200, 24);
        body = new QTextEdit(&window);
        body->setObjectName(QStringLiteral("txtBody"));
        body->setGeometry(50, 200, 200, 80);
    }

    bool showActive()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }
};

} // namespace

class TestBalloonTip : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        setOs(6, 1);
        Dialogs::TakeAsked();
    }

    void cleanup()
    {
        ctlBalloonTip::CloseBalloon();
        flushDeletes();
        QCOMPARE(Dialogs::QueuedAnswers(), 0);
    }

    void nonTextTargetIsPointedAtTopLeftPlusOffsets_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::newRow("corner") << 0 << 0;
        QTest::newRow("inside") << 7 << 9;
        QTest::newRow("below the button") << 0 << 45;
        QTest::newRow("left of the button") << -20 << 5;
    }

    void nonTextTargetIsPointedAtTopLeftPlusOffsets()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        Form form;
        QVERIFY(form.showActive());
        form.balloon->ShowBalloonTip(form.button, QStringLiteral("Title"), QStringLiteral("Body"),
                                     ctlBalloonTip::IconError, x, y);
        BalloonTipPopup* popup = ctlBalloonTip::CurrentBalloon();
        QVERIFY(popup);
        QVERIFY(popup->isVisible());
        QCOMPARE(popup->objectName(), QStringLiteral("ctlBalloonTipPopup"));
        QCOMPARE(popup->Target(), form.button);
        QCOMPARE(popup->TipPoint(), form.button->mapToGlobal(QPoint(x, y)));
        // The tail really ends there on screen.
        QCOMPARE(popup->mapToGlobal(popup->TailTip()), popup->TipPoint());
        QVERIFY(popup->TailAtTop());
    }

    void textBoxIsPointedAtItselfWhateverTheOffsets()
    {
        Form form;
        QVERIFY(form.showActive());
        const QRect editArea(form.edit->mapToGlobal(QPoint(0, 0)), form.edit->size());
        form.balloon->ShowBalloonTip(form.edit, QStringLiteral("T"), QStringLiteral("B"), 1, 300,
                                     300);
        BalloonTipPopup* popup = ctlBalloonTip::CurrentBalloon();
        QVERIFY(popup);
        QVERIFY(editArea.contains(popup->TipPoint()));
        QCOMPARE(popup->mapToGlobal(popup->TailTip()), popup->TipPoint());

        const QRect bodyArea(form.body->mapToGlobal(QPoint(0, 0)), form.body->size());
        form.balloon->ShowBalloonTip(form.body, QStringLiteral("T"), QStringLiteral("B"), 1, 300,
                                     300);
        QVERIFY(ctlBalloonTip::CurrentBalloon());
        QVERIFY(bodyArea.contains(ctlBalloonTip::CurrentBalloon()->TipPoint()));
    }

    void titleAndBodyAreShownExactlyAsGiven_data()
    {
        QTest::addColumn<int>("icon");
        QTest::addColumn<bool>("iconShown");
        QTest::newRow("none") << 0 << false;
        QTest::newRow("information") << 1 << true;
        QTest::newRow("warning") << 2 << true;
        QTest::newRow("error") << 3 << true;
        QTest::newRow("unknown") << 9 << false;
    }

    void titleAndBodyAreShownExactlyAsGiven()
    {
        QFETCH(int, icon);
        QFETCH(bool, iconShown);
        Form form;
        QVERIFY(form.showActive());
        // Markup in a provider's message must come out as typed.
        const QString title = QStringLiteral("A <b>From</b> e-mail address is required");
        const QString text = QStringLiteral("Please select a From e-mail address & <i>retry</i>");
        form.balloon->ShowBalloonTip(form.button, title, text, icon);
        BalloonTipPopup* popup = ctlBalloonTip::CurrentBalloon();
        QVERIFY(popup);
        QCOMPARE(popup->Title(), title);
        QCOMPARE(popup->Text(), text);
        QCOMPARE(popup->IconCode(), icon);
        auto* titleLabel = popup->findChild<QLabel*>(QStringLiteral("lblBalloonTitle"));
        auto* textLabel = popup->findChild<QLabel*>(QStringLiteral("lblBalloonText"));
        auto* iconLabel = popup->findChild<QLabel*>(QStringLiteral("lblBalloonIcon"));
        QVERIFY(titleLabel && textLabel && iconLabel);
        QCOMPARE(titleLabel->textFormat(), Qt::PlainText);
        QCOMPARE(textLabel->textFormat(), Qt::PlainText);
        QVERIFY(titleLabel->isVisible());
        QVERIFY(textLabel->isVisible());
        QCOMPARE(iconLabel->isVisible(), iconShown);
        // Both labels get all the room their wrapped text needs.
        QVERIFY(textLabel->height() >= textLabel->heightForWidth(textLabel->width()));
        QVERIFY(titleLabel->height() >= titleLabel->heightForWidth(titleLabel->width()));
    }

    void longTextWrapsInsteadOfWidening()
    {
        Form form;
        QVERIFY(form.showActive());
        const QString text = QString(QStringLiteral("word ")).repeated(200).trimmed();
        form.balloon->ShowBalloonTip(form.button, QStringLiteral("Title"), text, 1);
        BalloonTipPopup* popup = ctlBalloonTip::CurrentBalloon();
        QVERIFY(popup);
        QVERIFY(popup->width() < 400);
        auto* textLabel = popup->findChild<QLabel*>(QStringLiteral("lblBalloonText"));
        QVERIFY(textLabel->height() >= textLabel->heightForWidth(textLabel->width()));
    }

    void networkLibraryPrefixIsRemovedEverywhereInTheText()
    {
        QCOMPARE(ctlBalloonTip::CleanText(Prefix + QStringLiteral("SQL Server does not exist.") +
                                          Prefix),
                 QStringLiteral("SQL Server does not exist."));
        QCOMPARE(ctlBalloonTip::CleanText(QStringLiteral("a") + Prefix + Prefix +
                                          QStringLiteral("b")),
                 QStringLiteral("ab"));
        // Only the exact prefix goes.
        QCOMPARE(ctlBalloonTip::CleanText(QStringLiteral("[DBNETLIB] timeout")),
                 QStringLiteral("[DBNETLIB] timeout"));

        Form form;
        QVERIFY(form.showActive());
        form.balloon->ShowBalloonTip(form.button, QStringLiteral("Could not connect to data source"),
                                     Prefix + QStringLiteral("Access denied.") + Prefix, 3);
        QVERIFY(ctlBalloonTip::CurrentBalloon());
        QCOMPARE(ctlBalloonTip::CurrentBalloon()->Text(), QStringLiteral("Access denied."));
    }

    void systemFiveZeroUsesAMessageBoxAndFocusesTheTarget_data()
    {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("expected");
        QTest::newRow("information") << 1 << int(Dialogs::Icon::Information);
        QTest::newRow("warning") << 2 << int(Dialogs::Icon::Warning);
        QTest::newRow("error") << 3 << int(Dialogs::Icon::Critical);
        QTest::newRow("none") << 0 << int(Dialogs::Icon::None);
        QTest::newRow("unknown") << 4 << int(Dialogs::Icon::None);
    }

    void systemFiveZeroUsesAMessageBoxAndFocusesTheTarget()
    {
        QFETCH(int, icon);
        QFETCH(int, expected);
        setOs(5, 0);
        Form form;
        QVERIFY(form.showActive());
        form.other->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), form.other);

        form.balloon->ShowBalloonTip(form.edit, QStringLiteral("A Subject is required"),
                                     Prefix + QStringLiteral("Please type a Subject"), icon);
        QVERIFY(!ctlBalloonTip::CurrentBalloon());
        const QList<Dialogs::Asked> asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].kind, Dialogs::Asked::Kind::Message);
        QCOMPARE(asked[0].text, QStringLiteral("A Subject is required\n\nPlease type a Subject"));
        QCOMPARE(int(asked[0].icon), expected);
        QCOMPARE(asked[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QTRY_COMPARE(QApplication::focusWidget(), form.edit);
    }

    void otherSystemsGetTheBalloon_data()
    {
        QTest::addColumn<int>("major");
        QTest::addColumn<int>("minor");
        QTest::newRow("5.1") << 5 << 1;
        QTest::newRow("6.0") << 6 << 0;
        QTest::newRow("4.0") << 4 << 0;
    }

    void otherSystemsGetTheBalloon()
    {
        QFETCH(int, major);
        QFETCH(int, minor);
        setOs(major, minor);
        Form form;
        QVERIFY(form.showActive());
        form.balloon->ShowBalloonTip(form.edit, QStringLiteral("T"), QStringLiteral("B"), 1);
        QVERIFY(ctlBalloonTip::CurrentBalloon());
        QVERIFY(Dialogs::TakeAsked().isEmpty());
    }

    void withoutATargetTheMessageStillReachesTheUser()
    {
        ctlBalloonTip balloon;
        balloon.ShowBalloonTip(nullptr, QStringLiteral("T"), QStringLiteral("B"), 1);
        QVERIFY(!ctlBalloonTip::CurrentBalloon());
        const QList<Dialogs::Asked> asked = Dialogs::TakeAsked();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].text, QStringLiteral("T\n\nB"));
    }

    void balloonLeavesTheFocusWhereItWas()
    {
        Form form;
        QVERIFY(form.showActive());
        form.edit->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), form.edit);
        form.balloon->ShowBalloonTip(form.edit, QStringLiteral("T"), QStringLiteral("B"), 1);
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::focusWidget(), form.edit);
        QCOMPARE(QApplication::activeWindow(), &form.window);
        QVERIFY(ctlBalloonTip::CurrentBalloon()->isVisible());
    }

    void aKeyPressClosesItButNotTheOneBeingHandled()
    {
        Form form;
        QVERIFY(form.showActive());
        form.balloon->ShowBalloonTip(form.edit, QStringLiteral("T"), QStringLiteral("B"), 1);
        QPointer<BalloonTipPopup> popup = ctlBalloonTip::CurrentBalloon();
        // Before the event loop has turned, input still belongs to whatever
        // raised the balloon.
        QTest::keyClick(form.other, Qt::Key_A);
        QVERIFY(popup && popup->isVisible());
        QCoreApplication::processEvents();
        QTest::keyClick(form.other, Qt::Key_A);
        flushDeletes();
        QVERIFY(!popup);
        QVERIFY(!ctlBalloonTip::CurrentBalloon());
    }

    void aClickAnywhereClosesIt()
    {
        Form form;
        QVERIFY(form.showActive());
        form.balloon->ShowBalloonTip(form.button, QStringLiteral("T"), QStringLiteral("B"), 1);
        QPointer<BalloonTipPopup> popup = ctlBalloonTip::CurrentBalloon();
        QCoreApplication::processEvents();
        QVERIFY(popup && popup->isVisible());
        QTest::mouseClick(form.other, Qt::LeftButton);
        flushDeletes();
        QVERIFY(!popup);
    }

    void hidingOrDestroyingTheTargetClosesIt()
    {
        Form form;
        QVERIFY(form.showActive());
        form.balloon->ShowBalloonTip(form.button, QStringLiteral("T"), QStringLiteral("B"), 1);
        QPointer<BalloonTipPopup> popup = ctlBalloonTip::CurrentBalloon();
        form.button->hide();
        flushDeletes();
        QVERIFY(!popup);

        form.balloon->ShowBalloonTip(form.edit, QStringLiteral("T"), QStringLiteral("B"), 1);
        popup = ctlBalloonTip::CurrentBalloon();
        QVERIFY(popup && popup->isVisible());
        delete form.edit;
        form.edit = nullptr;
        flushDeletes();
        QVERIFY(!popup);
        QVERIFY(!ctlBalloonTip::CurrentBalloon());
    }

    void aNewBalloonReplacesTheOldOne()
    {
        Form form;
        QVERIFY(form.showActive());
        form.balloon->ShowBalloonTip(form.button, QStringLiteral("First"), QStringLiteral("B"), 1);
        QPointer<BalloonTipPopup> first = ctlBalloonTip::CurrentBalloon();
        form.balloon->ShowBalloonTip(form.edit, QStringLiteral("Second"), QStringLiteral("B"), 1);
        flushDeletes();
        QVERIFY(!first);
        QCOMPARE(ctlBalloonTip::CurrentBalloon()->Title(), QStringLiteral("Second"));
        QCOMPARE(form.window.findChildren<BalloonTipPopup*>().size(), 1);
    }

    void aHiddenTargetGetsItsBalloonOnceShown()
    {
        Form form;
        QVERIFY(form.showActive());
        form.edit->hide();
        form.balloon->ShowBalloonTip(form.edit, QStringLiteral("T"), QStringLiteral("B"), 1);
        QPointer<BalloonTipPopup> popup = ctlBalloonTip::CurrentBalloon();
        QVERIFY(popup && !popup->isVisible());
        // The caller shows the page with the control before returning.
        form.edit->show();
        QCoreApplication::processEvents();
        QVERIFY(popup && popup->isVisible());
        const QRect editArea(form.edit->mapToGlobal(QPoint(0, 0)), form.edit->size());
        QVERIFY(editArea.contains(popup->TipPoint()));

        // A control that stays hidden gets none.
        form.button->hide();
        form.balloon->ShowBalloonTip(form.button, QStringLiteral("T"), QStringLiteral("B"), 1);
        popup = ctlBalloonTip::CurrentBalloon();
        flushDeletes();
        QVERIFY(!popup);
        QVERIFY(!ctlBalloonTip::CurrentBalloon());
    }

    void staysOnScreenNearTheEdges()
    {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        Form form;
        form.window.resize(300, 200);
        form.window.move(area.right() - 300, area.bottom() - 200);
        QVERIFY(form.showActive());
        form.button->move(form.window.width() - form.button->width(),
                          form.window.height() - form.button->height());
        const QPoint offset(form.button->width() - 2, form.button->height() - 2);
        form.balloon->ShowBalloonTip(form.button, QStringLiteral("A rather long title line"),
                                     QStringLiteral("And a body text that needs some room"), 1,
                                     offset.x(), offset.y());
        BalloonTipPopup* popup = ctlBalloonTip::CurrentBalloon();
        QVERIFY(popup);
        QCOMPARE(popup->TipPoint(), form.button->mapToGlobal(offset));
        QVERIFY(area.contains(popup->TipPoint()));
        QVERIFY(!popup->TailAtTop());
        QVERIFY(area.contains(popup->frameGeometry()));
        QCOMPARE(popup->mapToGlobal(popup->TailTip()), popup->TipPoint());
    }

    void followsItsWindowWhenItMoves()
    {
        Form form;
        QVERIFY(form.showActive());
        form.balloon->ShowBalloonTip(form.button, QStringLiteral("T"), QStringLiteral("B"), 1);
        BalloonTipPopup* popup = ctlBalloonTip::CurrentBalloon();
        form.window.move(form.window.pos() + QPoint(30, 20));
        QTRY_COMPARE(popup->mapToGlobal(popup->TailTip()), form.button->mapToGlobal(QPoint(0, 0)));
    }
};

CORVANTA_TEST_MAIN(TestBalloonTip)
#include "tst_BalloonTip.moc"
