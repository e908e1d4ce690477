#include "WidgetTestMain.h"
#include "controls/modForms.h"

#include <QIntValidator>
#include <QLineEdit>
#include <QWindow>

class TestModForms : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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

CORVANTA_TEST_MAIN(TestModForms)
#include "tst_modForms.moc"
