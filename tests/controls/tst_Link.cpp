#include "WidgetTestMain.h"
#include "controls/ctlLink.h"

#include <QLabel>
#include <QSignalSpy>

namespace {

struct Page
{
    QWidget window;
    ctlLink* link = new ctlLink(&window);
    QLabel* txtLink = link->findChild<QLabel*>(QStringLiteral("txtLink"));
    QSignalSpy clicks{link, &ctlLink::Click};

    Page()
    {
        window.resize(300, 120);
        link->setGeometry(20, 20, 200, 24);
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
        QVERIFY(page.txtLink);
        QCOMPARE(page.link->Text(), QStringLiteral("link link"));
        QCOMPARE(page.txtLink->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QCOMPARE(page.txtLink->frameShape(), QFrame::NoFrame);
        QVERIFY(!page.txtLink->font().underline());
        page.link->setFocus();
        QTest::keyClicks(page.link, QStringLiteral("xyz"));
        QCOMPARE(page.link->Text(), QStringLiteral("link link"));
        page.link->SetText(QStringLiteral("<b>info</b>"));
        QCOMPARE(page.txtLink->text(), QStringLiteral("<b>info</b>"));
        QCOMPARE(page.txtLink->textFormat(), Qt::PlainText);
    }

    void underlinedOnlyWhileThePointerIsOverIt()
    {
        Page page;
        QVERIFY(QTest::qWaitForWindowExposed(&page.window));
        QTest::mouseMove(&page.window, QPoint(5, 100));
        QVERIFY(!page.link->IsUnderlined());
        for (const QPoint outside : {QPoint(100, 80), QPoint(250, 30), QPoint(5, 5)}) {
            QTest::mouseMove(page.link, QPoint(10, 10));
            QTRY_VERIFY(page.txtLink->font().underline());
            QTest::mouseMove(&page.window, outside);
            QTRY_VERIFY(!page.txtLink->font().underline());
        }
        // A new font for the control keeps the underline as it is.
        QTest::mouseMove(page.link, QPoint(10, 10));
        QTRY_VERIFY(page.link->IsUnderlined());
        page.link->setFont(QFont(QStringLiteral("DejaVu Sans"), 14));
        QVERIFY(page.txtLink->font().underline());
        QCOMPARE(page.txtLink->font().pointSize(), 14);
    }

    void aLeftClickOnItRaisesClickAndDropsTheUnderline()
    {
        Page page;
        QVERIFY(QTest::qWaitForWindowExposed(&page.window));
        QTest::mouseMove(page.link, QPoint(10, 10));
        QTRY_VERIFY(page.link->IsUnderlined());
        QTest::mouseClick(page.link, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(page.clicks.size(), 1);
        QVERIFY(!page.txtLink->font().underline());
        QTest::mouseMove(page.link, QPoint(12, 10));
        QTRY_VERIFY(page.link->IsUnderlined());

        QTest::mouseClick(page.link, Qt::RightButton, {}, QPoint(10, 10));
        // Pressed on the link, let go outside it; and the other way round.
        QTest::mousePress(page.link, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseRelease(page.link, Qt::LeftButton, {}, QPoint(10, 60));
        QVERIFY(!page.link->IsUnderlined());
        QTest::mouseRelease(page.link, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(page.clicks.size(), 1);

        // The whole control is the link, and the keyboard can follow it.
        QTest::mouseClick(page.link, Qt::LeftButton, {}, QPoint(195, 20));
        QTest::keyClick(page.link, Qt::Key_Space);
        QTest::keyClick(page.link, Qt::Key_Return);
        QCOMPARE(page.clicks.size(), 4);
    }

    void backColourAndIconBesideTheText()
    {
        Page page;
        page.link->SetBackColor(Qt::white);
        QCOMPARE(page.link->BackColor(), QColor(Qt::white));
        QVERIFY(page.link->autoFillBackground());

        auto* icon = page.link->findChild<QLabel*>(QStringLiteral("imgLinkIcon"));
        QVERIFY(!icon->isVisible());
        QVERIFY(page.link->SetIconName(QStringLiteral("ICO_NEXT"), ctlLink::IconSide::AfterText));
        page.link->adjustSize();
        QVERIFY(icon->isVisible());
        QCOMPARE(icon->pixmap().deviceIndependentSize().toSize(), QSize(16, 16));
        QVERIFY(icon->geometry().left() >= page.txtLink->geometry().right());
        QVERIFY(page.link->SetIconName(QStringLiteral("ICO_PREVIOUS")));
        page.link->adjustSize();
        QVERIFY(icon->geometry().right() <= page.txtLink->geometry().left());

        QVERIFY(!page.link->SetIconName(QStringLiteral("ICO_NO_SUCH_ICON")));
        QCOMPARE(page.link->IconName(), QStringLiteral("ICO_PREVIOUS"));
        // The icon takes no clicks away from the link.
        QTest::mouseClick(page.link, Qt::LeftButton, {}, icon->geometry().center());
        QCOMPARE(page.clicks.size(), 1);
        QVERIFY(page.link->SetIconName(QString()));
        QVERIFY(!icon->isVisible());
    }
};

CORVANTA_TEST_MAIN(TestLink)
#include "tst_Link.moc"
