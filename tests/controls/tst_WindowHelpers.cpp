#include "WidgetTestMain.h"
#include "controls/Callback.h"
#include "controls/FormHandler.h"
#include "controls/ListViewHook.h"
#include "controls/ToolTip.h"
#include "controls/WaitCursor.h"
#include "controls/modForms.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIntValidator>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTextDocumentFragment>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWindow>

namespace {

// A real list that notes when it would start dragging instead of running the
// drag (a real drag waits for the mouse in a loop of its own).
class NotingList : public QListWidget
{
public:
    int drags = 0;

protected:
    void startDrag(Qt::DropActions) override { ++drags; }
};

// Press on the first item, move well past the drag distance, let go.
void dragFirstItem(QAbstractItemView* view)
{
    QWidget* viewport = view->viewport();
    const QPoint start = view->visualRect(view->model()->index(0, 0)).center();
    const QPoint step(0, QApplication::startDragDistance() + 5);
    auto send = [viewport](QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
        QMouseEvent event(type, pos, viewport->mapToGlobal(pos),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    };
    send(QEvent::MouseButtonPress, start, Qt::LeftButton);
    for (int i = 1; i <= 3; ++i)
        send(QEvent::MouseMove, start + i * step, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, start + 3 * step, Qt::NoButton);
}

struct MainLike
{
    QWidget window;
    QWidget* frame = new QWidget(&window); // the lists sit in step frames
    NotingList* compose = list(frame, "lvwComposeAttach");
    NotingList* preview = list(&window, "lvwPreviewAttach");
    NotingList* other = list(&window, "lstFields");

    MainLike()
    {
        auto* layout = new QVBoxLayout(&window);
        for (QWidget* w : {frame, static_cast<QWidget*>(preview), static_cast<QWidget*>(other)})
            layout->addWidget(w);
        compose->setGeometry(0, 0, 200, 100);
        window.show();
    }

    static NotingList* list(QWidget* parent, const char* name)
    {
        auto* view = new NotingList;
        view->setParent(parent);
        view->setObjectName(QLatin1String(name));
        view->setDragEnabled(true);
        view->addItems({QStringLiteral("letter.pdf"), QStringLiteral("price list.xls")});
        return view;
    }

    QList<int> drags()
    {
        for (QAbstractItemView* view : {compose, preview, other})
            dragFirstItem(view);
        return {std::exchange(compose->drags, 0), std::exchange(preview->drags, 0),
                std::exchange(other->drags, 0)};
    }
};

// The shape on top of the override stack, or -1 when there is none.
int shown()
{
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? int(cursor->shape()) : -1;
}

const QList<int> AllDrag{1, 1, 1};
const QList<int> OnlyOtherDrags{0, 0, 1};

} // namespace

class TestWindowHelpers : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Nothing may be left on the override stack by a case.
    void cleanup() { QCOMPARE(shown(), -1); }

    // Objects ending in any order keep the stack balanced, and the pointer
    // shown is the newest live object's; an override set by others is left
    // alone; repeated and unknown calls are harmless. Steps: "a+" makes
    // object a, "a=11" sets its pointer, "a." restores it, "a-" ends it;
    // "hand+" and "hand-" are an override of others; "?shape" is what shows.
    void waitCursor_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::newRow("newest live object")
            << "a+ ?none a=11 b+ b=2 ?cross b- ?wait c+ c=3 a- ?beam "
               "d+ d=2 c=11 ?cross c- ?cross d- ?none";
        QTest::newRow("override of others")
            << "hand+ a+ a=11 b+ b=11 a- ?wait b- ?hand hand- ?none";
        QTest::newRow("repeated and unknown calls")
            << "a+ a=4 a=99 ?none a=11 a=11 a. ?none a. a=11 ?wait a=0 ?none a-";
    }
    void waitCursor()
    {
        QFETCH(QString, steps);
        const QHash<QString, int> shapes{{"none", -1},
                                         {"wait", Qt::WaitCursor},
                                         {"cross", Qt::CrossCursor},
                                         {"beam", Qt::IBeamCursor},
                                         {"hand", Qt::PointingHandCursor}};
        std::map<QChar, std::unique_ptr<WaitCursor>> objects;
        for (const QString& step : steps.split(u' ')) {
            if (step.startsWith(u'?'))
                QVERIFY2(shown() == shapes.value(step.mid(1), -2), qPrintable(step));
            else if (step == QLatin1String("hand+"))
                QGuiApplication::setOverrideCursor(QCursor(Qt::PointingHandCursor));
            else if (step == QLatin1String("hand-"))
                QGuiApplication::restoreOverrideCursor();
            else if (step.endsWith(u'+'))
                objects[step[0]] = std::make_unique<WaitCursor>();
            else if (step.endsWith(u'-'))
                objects.erase(step[0]);
            else if (step.endsWith(u'.'))
                objects.at(step[0])->Restore();
            else
                objects.at(step[0])->SetPointer(step.mid(2).toInt());
        }
    }

    // Each hook object keeps one window of its own.
    void hookStopsDragsFromTheAttachmentListsOnly()
    {
        MainLike first;
        MainLike second;
        QVERIFY(QTest::qWaitForWindowExposed(&second.window));
        QCOMPARE(first.drags(), AllDrag); // the simulated drag does reach a drag start
        auto hook = std::make_unique<ListViewHook>();
        hook->UnHook(); // harmless when not hooked
        hook->Hook(&first.window);
        QCOMPARE(first.drags(), OnlyOtherDrags);
        QCOMPARE(first.compose->currentRow(), 0); // clicking still selects
        hook->Hook(&second.window); // moves the hook
        QCOMPARE(first.drags(), AllDrag);
        QCOMPARE(second.drags(), OnlyOtherDrags);
        {
            ListViewHook another;
            another.Hook(&first.window);
            QCOMPARE(first.drags(), OnlyOtherDrags);
            QCOMPARE(second.drags(), OnlyOtherDrags);
        }
        QCOMPARE(first.drags(), AllDrag);
        hook->UnHook();
        QCOMPARE(second.drags(), AllDrag);
        hook->Hook(&second.window);
        delete second.compose;
        hook.reset(); // with one of its lists gone
    }

    void modalFormDisablesTheOtherWindowsAndEnablesExactlyThoseAgain()
    {
        QWidget main;
        main.show();
        auto* help = new QWidget;
        help->show();
        QWidget alreadyDisabled;
        alreadyDisabled.setEnabled(false);
        alreadyDisabled.show();
        QWidget hidden;
        // The progress window is owned by the main window, as in the program.
        QWidget progress(&main, Qt::Window);
        auto* stop = new QPushButton(QStringLiteral("&Cancel"), &progress);
        progress.show();

        {
            FormHandler handler;
            handler.MakeModalForm(&progress, true);
            QVERIFY(!main.isEnabled());
            QVERIFY(!help->isEnabled());
            QVERIFY(hidden.isEnabled());
            // The window made modal stays usable.
            QVERIFY(stop->isEnabled());

            delete help; // closed meanwhile
            handler.MakeModalForm(&progress, false);
            QVERIFY(main.isEnabled());
            QVERIFY(!alreadyDisabled.isEnabled());
            QVERIFY(stop->isEnabled());

            handler.MakeModalForm(&progress, true);
            QVERIFY(!main.isEnabled());
        }
        // Ending the handler enables them again.
        QVERIFY(main.isEnabled());
        QVERIFY(!alreadyDisabled.isEnabled());
    }

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

    void tipsAreWrappedAndShownAsTyped()
    {
        const QString text = QStringLiteral(
            "Select the <From> e-mail address to use. To Add, Edit & Remove a-mail addresses, "
            "use the button on the left");
        // Filled up to the limit, broken at blanks, nothing lost.
        const QStringList lines = ToolTip::WrapLines(text);
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].size() <= ToolTip::MaxTipChars &&
                lines[0].size() + 1 + lines[1].indexOf(u' ') > ToolTip::MaxTipChars);
        QCOMPARE(lines.join(u' '), text);
        // A word longer than the limit stays whole; breaks in the text stay.
        const QString word = QStringLiteral("Supercalifragilisticexpialidocious");
        QCOMPARE(ToolTip::WrapLines(QStringLiteral("a ") + word + QStringLiteral("\r\nb"), 20),
                 (QStringList{QStringLiteral("a"), word, QStringLiteral("b")}));

        QWidget window;
        auto* mine = new QPushButton(&window);
        auto* changed = new QPushButton(&window);
        auto* gone = new QPushButton(&window);
        {
            ToolTip tips;
            tips.StartTip(&window);
            tips.SetToolTip(mine, text);
            QCOMPARE(QTextDocumentFragment::fromHtml(mine->toolTip()).toPlainText(),
                     lines.join(u'\n'));
            // Shown in just those lines: Qt does not wrap the tip again.
            QToolTip::showText({}, mine->toolTip(), mine);
            QVERIFY(QToolTip::isVisible());
            for (QWidget* tip : QApplication::topLevelWidgets())
                if (tip->inherits("QTipLabel") && tip->isVisible())
                    QVERIFY(tip->height() < 3 * tip->fontMetrics().lineSpacing());
            tips.SetToolTip(changed, QStringLiteral("Attached files"));
            tips.SetToolTip(gone, QStringLiteral("Send a test e-mail"));
            changed->setToolTip(QStringLiteral("set elsewhere"));
            delete gone;
        }
        // Ending the object takes away the tips it set, and only those.
        QVERIFY(mine->toolTip().isEmpty());
        QCOMPARE(changed->toolTip(), QStringLiteral("set elsewhere"));
    }

    void numbersOnly()
    {
        QLineEdit edit;
        modForms::SetNumbersOnly(&edit, true);
        QTest::keyClicks(&edit, QStringLiteral("1a2-3"));
        QCOMPARE(edit.text(), QStringLiteral("123"));
        modForms::SetNumbersOnly(&edit, true); // twice is the same as once
        modForms::SetNumbersOnly(&edit, false);
        QTest::keyClicks(&edit, QStringLiteral("x"));
        QCOMPARE(edit.text(), QStringLiteral("123x"));

        // Switching off leaves a validator set by others alone.
        QIntValidator other(0, 10);
        edit.setValidator(&other);
        modForms::SetNumbersOnly(&edit, false);
        QCOMPARE(edit.validator(), &other);
    }

    void closeCommandRemoved()
    {
        QWidget window;
        modForms::RemoveCloseCommand(&window);
        window.show();
        QVERIFY(!(window.windowFlags() & Qt::WindowCloseButtonHint));
        // The window manager's request reaches the platform window first; it
        // is refused, while the program's own close still works.
        QCloseEvent request;
        QApplication::sendEvent(window.windowHandle(), &request);
        QVERIFY(!request.isAccepted());
        QVERIFY(window.isVisible());
        QVERIFY(window.close());
    }
};

CORVANTA_TEST_MAIN(TestWindowHelpers)
#include "tst_WindowHelpers.moc"
