#include "TestMain.h"
#include "controls/ctlLink.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QVBoxLayout>

namespace {

struct Page
{
    QWidget window;
    ctlLink* link;
    QLabel* txtLink;

    Page()
    {
        window.resize(300, 120);
        link = new ctlLink(&window);
        link->setGeometry(20, 20, 200, 24);
        txtLink = link->findChild<QLabel*>(QStringLiteral("txtLink"));
        window.show();
    }
};

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startsAsABlueLinkThatCannotBeEdited()
    {
        Page page;
        QVERIFY(QTest::qWaitForWindowExposed(&page.window));
        QCOMPARE(page.link->objectName(), QStringLiteral("ctlLink"));
        QVERIFY(page.txtLink);
        QCOMPARE(page.link->Text(), QStringLiteral("link link"));
        QCOMPARE(page.txtLink->text(), QStringLiteral("link link"));
        QCOMPARE(page.txtLink->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QCOMPARE(page.txtLink->frameShape(), QFrame::NoFrame);
        QVERIFY(!page.link->IsUnderlined());
        QVERIFY(!page.txtLink->font().underline());
        QVERIFY(page.link->findChildren<QLineEdit*>().isEmpty());
        QVERIFY(!(page.txtLink->textInteractionFlags() & Qt::TextEditable));

        // Typing at it changes nothing.
        page.link->setFocus();
        QTest::keyClicks(page.link, QStringLiteral("xyz"));
        QCOMPARE(page.link->Text(), QStringLiteral("link link"));

        page.link->SetText(QStringLiteral("https://corvanta.example/"));
        QCOMPARE(page.link->Text(), QStringLiteral("https://corvanta.example/"));
        // A text that looks like markup is shown as typed.
        page.link->SetText(QStringLiteral("<b>info</b>"));
        QCOMPARE(page.txtLink->textFormat(), Qt::PlainText);
    }

    void underlinedWhileThePointerIsOverIt()
    {
        Page page;
        QVERIFY(QTest::qWaitForWindowExposed(&page.window));
        QTest::mouseMove(&page.window, QPoint(5, 100));
        QVERIFY(!page.link->IsUnderlined());
        QTest::mouseMove(page.link, QPoint(10, 10));
        QTRY_VERIFY(page.link->IsUnderlined());
        QVERIFY(page.txtLink->font().underline());
        QTest::mouseMove(page.link, QPoint(150, 5));
        QVERIFY(page.link->IsUnderlined());
        // Out of its rectangle, below and to the right.
        QTest::mouseMove(&page.window, QPoint(100, 80));
        QTRY_VERIFY(!page.link->IsUnderlined());
        QVERIFY(!page.txtLink->font().underline());
        QTest::mouseMove(page.link, QPoint(10, 10));
        QTRY_VERIFY(page.link->IsUnderlined());
        QTest::mouseMove(&page.window, QPoint(250, 30));
        QTRY_VERIFY(!page.link->IsUnderlined());
    }

    void aClickRaisesClickOnceAndDropsTheUnderline()
    {
        Page page;
        QVERIFY(QTest::qWaitForWindowExposed(&page.window));
        QSignalSpy clicks(page.link, &ctlLink::Click);
        QTest::mouseMove(page.link, QPoint(10, 10));
        QTRY_VERIFY(page.link->IsUnderlined());
        QTest::mouseClick(page.link, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(clicks.size(), 1);
        QVERIFY(!page.link->IsUnderlined());
        QVERIFY(!page.txtLink->font().underline());
        // Moving over it again underlines again.
        QTest::mouseMove(page.link, QPoint(12, 10));
        QTRY_VERIFY(page.link->IsUnderlined());
    }

    void onlyALeftClickThatEndsOnTheLinkCounts()
    {
        Page page;
        QVERIFY(QTest::qWaitForWindowExposed(&page.window));
        QSignalSpy clicks(page.link, &ctlLink::Click);
        QTest::mouseClick(page.link, Qt::RightButton, {}, QPoint(10, 10));
        QCOMPARE(clicks.size(), 0);

        // Pressed on the link, let go outside it.
        QTest::mousePress(page.link, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseRelease(page.link, Qt::LeftButton, {}, QPoint(10, 60));
        QCOMPARE(clicks.size(), 0);
        QVERIFY(!page.link->IsUnderlined());

        // Pressed elsewhere, let go on the link.
        QTest::mouseRelease(page.link, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(clicks.size(), 0);

        // The whole control is the link, not just the letters.
        QTest::mouseClick(page.link, Qt::LeftButton, {}, QPoint(195, 20));
        QCOMPARE(clicks.size(), 1);
    }

    void keyboardUsersCanFollowIt()
    {
        Page page;
        QVERIFY(QTest::qWaitForWindowExposed(&page.window));
        QSignalSpy clicks(page.link, &ctlLink::Click);
        QTest::keyClick(page.link, Qt::Key_Space);
        QTest::keyClick(page.link, Qt::Key_Return);
        QCOMPARE(clicks.size(), 2);
    }

    void aNewFontKeepsTheUnderlineAsItIs()
    {
        Page page;
        QVERIFY(QTest::qWaitForWindowExposed(&page.window));
        QTest::mouseMove(page.link, QPoint(10, 10));
        QTRY_VERIFY(page.link->IsUnderlined());
        QFont font(QStringLiteral("DejaVu Sans"), 14);
        page.link->setFont(font);
        QVERIFY(page.txtLink->font().underline());
        QCOMPARE(page.txtLink->font().pointSize(), 14);
        QTest::mouseMove(&page.window, QPoint(100, 100));
        QTRY_VERIFY(!page.txtLink->font().underline());
        QCOMPARE(page.txtLink->font().pointSize(), 14);
    }

    void backColourAndIcons()
    {
        Page page;
        QVERIFY(QTest::qWaitForWindowExposed(&page.window));
        page.link->SetBackColor(Qt::white);
        QCOMPARE(page.link->BackColor(), QColor(Qt::white));
        QVERIFY(page.link->autoFillBackground());

        auto* icon = page.link->findChild<QLabel*>(QStringLiteral("imgLinkIcon"));
        QVERIFY(icon);
        QVERIFY(!icon->isVisible());
        QVERIFY(page.link->SetIconName(QStringLiteral("ICO_NEXT"), ctlLink::IconSide::AfterText));
        QCOMPARE(page.link->IconName(), QStringLiteral("ICO_NEXT"));
        page.link->adjustSize();
        QVERIFY(icon->isVisible());
        QCOMPARE(icon->pixmap().deviceIndependentSize().toSize(), QSize(16, 16));
        QVERIFY(icon->geometry().left() >= page.txtLink->geometry().right());

        QVERIFY(page.link->SetIconName(QStringLiteral("ICO_PREVIOUS"),
                                       ctlLink::IconSide::BeforeText));
        page.link->adjustSize();
        QVERIFY(icon->geometry().right() <= page.txtLink->geometry().left());

        QVERIFY(!page.link->SetIconName(QStringLiteral("ICO_NO_SUCH_ICON")));
        QCOMPARE(page.link->IconName(), QStringLiteral("ICO_PREVIOUS"));
        QVERIFY(page.link->SetIconName(QString()));
        QVERIFY(!icon->isVisible());

        // The icon takes no clicks away from the link.
        QVERIFY(page.link->SetIconName(QStringLiteral("ICO_NEXT")));
        QSignalSpy clicks(page.link, &ctlLink::Click);
        QTest::mouseClick(page.link, Qt::LeftButton, {}, icon->geometry().center());
        QCOMPARE(clicks.size(), 1);
    }
};

CORVANTA_TEST_MAIN(TestLink)
#include "tst_Link.moc"
