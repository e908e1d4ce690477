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

    void showsItsTextAsTypedWithTheIconBesideIt()
    {
        Page page;
        page.link->SetText(QStringLiteral("<b>info</b>"));
        QCOMPARE(page.txtLink->textFormat(), Qt::PlainText);
        page.link->setFocus();
        QTest::keyClicks(page.link, QStringLiteral("xyz")); // not editable, and no click
        QCOMPARE(page.link->Text(), QStringLiteral("<b>info</b>"));
        QCOMPARE(page.clicks.size(), 0);
        auto* icon = page.link->findChild<QLabel*>(QStringLiteral("imgLinkIcon"));
        QVERIFY(page.link->SetIconName(QStringLiteral("ICO_PREVIOUS")));
        page.link->adjustSize();
        QVERIFY(icon->isVisible());
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
