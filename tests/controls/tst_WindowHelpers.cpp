#include "TestMain.h"
#include "controls/Callback.h"
#include "controls/FormHandler.h"
#include "controls/ListViewHook.h"
#include "controls/ToolTip.h"

#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolTip>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Real list widgets that note when they would start dragging instead of
// running the drag (a real drag waits for the mouse in its own loop).
template <typename Base>
class NotingList : public Base
{
public:
    int drags = 0;

protected:
    void startDrag(Qt::DropActions) override { ++drags; }
};

using NotingTree = NotingList<QTreeWidget>;
using NotingListWidget = NotingList<QListWidget>;

template <typename View>
View* makeList(QWidget* parent, const QString& name)
{
    auto* view = new View;
    view->setParent(parent);
    view->setObjectName(name);
    view->setDragEnabled(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    if constexpr (std::is_base_of_v<QTreeWidget, View>) {
        view->setHeaderHidden(true);
        new QTreeWidgetItem(view, QStringList{QStringLiteral("letter.pdf")});
        new QTreeWidgetItem(view, QStringList{QStringLiteral("price list.xls")});
    } else {
        view->addItems({QStringLiteral("letter.pdf"), QStringLiteral("price list.xls")});
    }
    parent->layout()->addWidget(view);
    return view;
}

// Press on the first item, move well past the drag distance, let go.
void dragFirstItem(QAbstractItemView* view)
{
    QWidget* viewport = view->viewport();
    const QPoint start = view->visualRect(view->model()->index(0, 0)).center();
    const QPoint end = start + QPoint(0, 4 * QApplication::startDragDistance() + 20);
    auto send = [viewport](QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
        QMouseEvent event(type, pos, viewport->mapToGlobal(pos),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    };
    send(QEvent::MouseButtonPress, start, Qt::LeftButton);
    for (int step = 1; step <= 4; ++step)
        send(QEvent::MouseMove, start + (end - start) * step / 4, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, end, Qt::NoButton);
}

struct MainLike
{
    QWidget window;
    NotingTree* compose;
    NotingTree* preview;
    NotingListWidget* other;

    MainLike()
    {
        new QVBoxLayout(&window);
        // The attachment lists sit deeper, in their step frames.
        auto* frame = new QWidget(&window);
        frame->setObjectName(QStringLiteral("fraCompose"));
        new QVBoxLayout(frame);
        window.layout()->addWidget(frame);
        compose = makeList<NotingTree>(frame, QStringLiteral("lvwComposeAttach"));
        preview = makeList<NotingTree>(&window, QStringLiteral("lvwPreviewAttach"));
        other = makeList<NotingListWidget>(&window, QStringLiteral("lstFields"));
        window.resize(300, 400);
        window.show();
    }

    void dragAll()
    {
        dragFirstItem(compose);
        dragFirstItem(preview);
        dragFirstItem(other);
    }
};

} // namespace

class TestWindowHelpers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // ---- ListViewHook

    void listsDragFreelyWithoutTheHook()
    {
        MainLike main;
        QVERIFY(QTest::qWaitForWindowExposed(&main.window));
        main.dragAll();
        // Proves the drag simulation reaches a drag start at all.
        QCOMPARE(main.compose->drags, 1);
        QCOMPARE(main.preview->drags, 1);
        QCOMPARE(main.other->drags, 1);
    }

    void theHookStopsDragsFromTheAttachmentListsOnly()
    {
        MainLike main;
        QVERIFY(QTest::qWaitForWindowExposed(&main.window));
        ListViewHook hook;
        hook.Hook(&main.window);
        QVERIFY(hook.IsHooked());
        main.dragAll();
        QCOMPARE(main.compose->drags, 0);
        QCOMPARE(main.preview->drags, 0);
        QCOMPARE(main.other->drags, 1);
        // Clicking still selects.
        QVERIFY(main.compose->currentItem());
        QCOMPARE(main.compose->currentItem()->text(0), QStringLiteral("letter.pdf"));

        hook.UnHook();
        QVERIFY(!hook.IsHooked());
        main.dragAll();
        QCOMPARE(main.compose->drags, 1);
        QCOMPARE(main.preview->drags, 1);
    }

    void unhookingTwiceOrEndingUnhookedDoesNothing()
    {
        MainLike main;
        QVERIFY(QTest::qWaitForWindowExposed(&main.window));
        {
            ListViewHook never;
            never.UnHook();
            never.UnHook();
        }
        ListViewHook hook;
        hook.Hook(&main.window);
        hook.UnHook();
        hook.UnHook();
        main.dragAll();
        QCOMPARE(main.compose->drags, 1);
    }

    void endingAHookedObjectUnhooks()
    {
        MainLike main;
        QVERIFY(QTest::qWaitForWindowExposed(&main.window));
        {
            ListViewHook hook;
            hook.Hook(&main.window);
        }
        main.dragAll();
        QCOMPARE(main.compose->drags, 1);
        QCOMPARE(main.preview->drags, 1);
    }

    void aHookSurvivesItsListsAndWindow()
    {
        ListViewHook hook;
        {
            MainLike main;
            hook.Hook(&main.window);
            delete main.compose;
        }
        hook.UnHook();
        QVERIFY(!hook.IsHooked());
    }

    void hookingAnotherWindowMovesTheHook()
    {
        MainLike first;
        MainLike second;
        QVERIFY(QTest::qWaitForWindowExposed(&second.window));
        ListViewHook hook;
        hook.Hook(&first.window);
        hook.Hook(&second.window);
        first.dragAll();
        second.dragAll();
        QCOMPARE(first.compose->drags, 1);
        QCOMPARE(second.compose->drags, 0);

        // Two objects may hook two windows at once.
        ListViewHook other;
        other.Hook(&first.window);
        first.dragAll();
        second.dragAll();
        QCOMPARE(first.compose->drags, 1);
        QCOMPARE(second.compose->drags, 0);
    }

    // ---- FormHandler

    void modalFormDisablesTheOtherWindowsAndEnablesExactlyThoseAgain()
    {
        QWidget main;
        main.setObjectName(QStringLiteral("frmMain"));
        main.show();
        auto* help = new QWidget;
        help->setObjectName(QStringLiteral("frmShowHelp"));
        help->show();
        QWidget alreadyDisabled;
        alreadyDisabled.setEnabled(false);
        alreadyDisabled.show();
        QWidget hidden;

        // The progress window is owned by the main window, as in the program.
        QWidget progress(&main, Qt::Window);
        auto* stop = new QPushButton(QStringLiteral("&Cancel"), &progress);
        progress.show();

        FormHandler handler;
        handler.MakeModalForm(&progress, true);
        QVERIFY(!main.isEnabled());
        QVERIFY(!help->isEnabled());
        QVERIFY(!alreadyDisabled.isEnabled());
        QVERIFY(hidden.isEnabled());
        // The window made modal and its buttons stay usable.
        QVERIFY(progress.isEnabled());
        QVERIFY(stop->isEnabled());

        delete help; // closed meanwhile
        handler.MakeModalForm(&progress, false);
        QVERIFY(main.isEnabled());
        QVERIFY(!alreadyDisabled.isEnabled());
        QVERIFY(hidden.isEnabled());
        QVERIFY(progress.isEnabled());

        // A second release changes nothing.
        main.setEnabled(false);
        handler.MakeModalForm(&progress, false);
        QVERIFY(!main.isEnabled());
    }

    void endingTheHandlerEnablesTheWindowsAgain()
    {
        QWidget main;
        main.show();
        QWidget progress;
        progress.show();
        {
            FormHandler handler;
            handler.MakeModalForm(&progress, true);
            QVERIFY(!main.isEnabled());
            QVERIFY(progress.isEnabled());
        }
        QVERIFY(main.isEnabled());
    }

    // ---- Callback

    void tabClicksArriveAfterTheClickHandlingIsDone()
    {
        Callback relay;
        QList<int> received;
        relay.ConnectTabClick(&relay, [&received](int index) { received.append(index); });
        relay.RaiseTabClick(3);
        relay.RaiseTabClick(1);
        QVERIFY(received.isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(received, (QList<int>{3, 1}));
    }

    // ---- ToolTip

    void tipsAreWrappedToEightyPixels()
    {
        QWidget window;
        auto* button = new QPushButton(QStringLiteral("Fr&om..."), &window);
        const QString text = QStringLiteral(
            "Select the From e-mail address to use. To Add, Edit and Remove a-mail addresses, "
            "use the button on the left");
        ToolTip tips;
        tips.StartTip(&window);
        tips.SetToolTip(button, text);
        QVERIFY(!button->toolTip().isEmpty());

        const QStringList lines = ToolTip::WrapLines(text, QToolTip::font(), ToolTip::MaxTipWidth);
        QVERIFY(lines.size() > 3);
        const QFontMetrics metrics(QToolTip::font());
        for (const QString& line : lines) {
            QVERIFY(!line.isEmpty());
            QVERIFY2(metrics.horizontalAdvance(line) <= ToolTip::MaxTipWidth ||
                         !line.contains(u' '),
                     qPrintable(line));
        }
        // Nothing lost or reordered.
        QCOMPARE(lines.join(u' '), text);
        for (const QString& line : lines)
            QVERIFY(button->toolTip().contains(line.toHtmlEscaped()));
    }

    void wrappingEdgeCases()
    {
        const QFont font = QToolTip::font();
        // A word wider than the limit stays whole on its own line.
        const QString longWord = QStringLiteral("Supercalifragilisticexpialidocious");
        QCOMPARE(ToolTip::WrapLines(QStringLiteral("a ") + longWord + QStringLiteral(" b"), font, 80),
                 (QStringList{QStringLiteral("a"), longWord, QStringLiteral("b")}));
        QCOMPARE(ToolTip::WrapLines(QStringLiteral("Attach files"), font, 80),
                 QStringList{QStringLiteral("Attach files")});
        // Breaks already in the text are kept.
        QCOMPARE(ToolTip::WrapLines(QStringLiteral("a\nb"), font, 80),
                 (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    }

    void tipTextIsNeverTakenForMarkup()
    {
        QWidget control;
        ToolTip tips;
        tips.SetToolTip(&control, QStringLiteral("<b>Columns</b> & more"));
        QVERIFY(control.toolTip().contains(QStringLiteral("&lt;b&gt;Columns&lt;/b&gt;")));
        QVERIFY(control.toolTip().contains(QStringLiteral("&amp; more")));
        QVERIFY(!control.toolTip().contains(QStringLiteral("<b>")));
    }

    void endingTheObjectTakesItsTipsAway()
    {
        QWidget window;
        auto* mine = new QPushButton(&window);
        auto* changed = new QPushButton(&window);
        auto* gone = new QPushButton(&window);
        {
            ToolTip tips;
            tips.StartTip(&window);
            tips.SetToolTip(mine, QStringLiteral("Attach files"));
            tips.SetToolTip(changed, QStringLiteral("Attached files"));
            tips.SetToolTip(gone, QStringLiteral("Send a test e-mail"));
            changed->setToolTip(QStringLiteral("set elsewhere"));
            delete gone;
        }
        QVERIFY(mine->toolTip().isEmpty());
        QCOMPARE(changed->toolTip(), QStringLiteral("set elsewhere"));
    }
};

CORVANTA_TEST_MAIN(TestWindowHelpers)
#include "tst_WindowHelpers.moc"
