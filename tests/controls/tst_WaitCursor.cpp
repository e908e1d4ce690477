#include "TestMain.h"
#include "controls/WaitCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace {

// The shape on top of the override stack, or -1 when there is none.
int shown()
{
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? int(cursor->shape()) : -1;
}

} // namespace

class TestWaitCursor : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup()
    {
        // Nothing may be left on the stack by a case.
        QCOMPARE(shown(), -1);
    }

    void holdsTheHourglassForItsLifetime()
    {
        {
            WaitCursor wait;
            QCOMPARE(shown(), -1);
            wait.SetPointer(WaitCursor::Hourglass);
            QCOMPARE(shown(), int(Qt::WaitCursor));
        }
        QCOMPARE(shown(), -1);
    }

    void nestedObjectsEndingInReverseOrder()
    {
        auto outer = std::make_unique<WaitCursor>();
        outer->SetPointer(11);
        auto inner = std::make_unique<WaitCursor>();
        inner->SetPointer(2);
        QCOMPARE(shown(), int(Qt::CrossCursor));
        inner.reset();
        QCOMPARE(shown(), int(Qt::WaitCursor));
        outer.reset();
        QCOMPARE(shown(), -1);
    }

    void nestedObjectsEndingInCreationOrder()
    {
        auto first = std::make_unique<WaitCursor>();
        first->SetPointer(11);
        auto second = std::make_unique<WaitCursor>();
        second->SetPointer(1);
        first.reset();
        // The newer object still wants its own pointer.
        QCOMPARE(shown(), int(Qt::ArrowCursor));
        second.reset();
        QCOMPARE(shown(), -1);
    }

    void threeObjectsEndingMiddleFirst()
    {
        WaitCursor a;
        a.SetPointer(11);
        {
            auto b = std::make_unique<WaitCursor>();
            b->SetPointer(2);
            WaitCursor c;
            c.SetPointer(3);
            b.reset();
            QCOMPARE(shown(), int(Qt::IBeamCursor));
        }
        QCOMPARE(shown(), int(Qt::WaitCursor));
        a.Restore();
        QCOMPARE(shown(), -1);
    }

    void anOverrideSetByOthersIsLeftAlone()
    {
        QGuiApplication::setOverrideCursor(QCursor(Qt::PointingHandCursor));
        {
            auto first = std::make_unique<WaitCursor>();
            first->SetPointer(11);
            WaitCursor second;
            second.SetPointer(11);
            first.reset();
            QCOMPARE(shown(), int(Qt::WaitCursor));
        }
        QCOMPARE(shown(), int(Qt::PointingHandCursor));
        QGuiApplication::restoreOverrideCursor();
    }

    void repeatedCallsAreCountedOnce()
    {
        WaitCursor wait;
        wait.SetPointer(11);
        wait.SetPointer(11);
        wait.SetPointer(2);
        QCOMPARE(shown(), int(Qt::CrossCursor));
        wait.Restore();
        QCOMPARE(shown(), -1);
        wait.Restore();
        QCOMPARE(shown(), -1);
        // Usable again after a restore.
        wait.SetPointer(11);
        QCOMPARE(shown(), int(Qt::WaitCursor));
        wait.SetPointer(WaitCursor::Default);
        QCOMPARE(shown(), -1);
    }

    void changingAnOlderObjectDoesNotHideTheNewerPointer()
    {
        WaitCursor older;
        older.SetPointer(11);
        WaitCursor newer;
        newer.SetPointer(3);
        older.SetPointer(2);
        QCOMPARE(shown(), int(Qt::IBeamCursor));
        newer.Restore();
        QCOMPARE(shown(), int(Qt::CrossCursor));
    }

    void unknownCodesChangeNothing()
    {
        WaitCursor wait;
        wait.SetPointer(4);
        wait.SetPointer(99);
        wait.SetPointer(-1);
        QCOMPARE(shown(), -1);
        QVERIFY(!WaitCursor::ShapeOf(0));
        QCOMPARE(*WaitCursor::ShapeOf(11), Qt::WaitCursor);
    }
};

CORVANTA_TEST_MAIN(TestWaitCursor)
#include "tst_WaitCursor.moc"
