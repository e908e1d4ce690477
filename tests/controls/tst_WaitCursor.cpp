#include "WidgetTestMain.h"
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
    // Nothing may be left on the override stack by a case.
    void cleanup() { QCOMPARE(shown(), -1); }

    // Objects ending in any order keep the stack balanced, and the pointer
    // shown is the newest live object's.
    void theNewestLiveObjectIsShown()
    {
        auto first = std::make_unique<WaitCursor>();
        QCOMPARE(shown(), -1);
        first->SetPointer(WaitCursor::Hourglass);
        auto second = std::make_unique<WaitCursor>();
        second->SetPointer(2);
        QCOMPARE(shown(), int(Qt::CrossCursor));
        second.reset();
        QCOMPARE(shown(), int(Qt::WaitCursor));
        auto third = std::make_unique<WaitCursor>();
        third->SetPointer(3);
        first.reset();
        QCOMPARE(shown(), int(Qt::IBeamCursor));
        // Changing an older object must not cover a newer one.
        WaitCursor fourth;
        fourth.SetPointer(2);
        third->SetPointer(11);
        QCOMPARE(shown(), int(Qt::CrossCursor));
        third.reset();
        QCOMPARE(shown(), int(Qt::CrossCursor));
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

    void repeatedAndUnknownCallsAreHarmless()
    {
        WaitCursor wait;
        wait.SetPointer(4);
        wait.SetPointer(99);
        QCOMPARE(shown(), -1);
        wait.SetPointer(11);
        wait.SetPointer(11);
        wait.Restore();
        QCOMPARE(shown(), -1);
        wait.Restore();
        wait.SetPointer(11);
        QCOMPARE(shown(), int(Qt::WaitCursor));
        wait.SetPointer(WaitCursor::Default);
    }
};

CORVANTA_TEST_MAIN(TestWaitCursor)
#include "tst_WaitCursor.moc"
