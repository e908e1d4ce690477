#pragma once

#include "controls/Dialogs.h"
#include "controls/ctlBalloonTip.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

// Driving real windows in tests: modal dialogs, questions and balloons.
namespace TestSupport {

// Runs `act` on the first window `find` returns, looking every `ms` while
// events run (a modal window's exec() holds the test until something closes
// it). Gives up after five seconds, closing whatever is modal, so a test
// fails instead of hanging.
inline void WhenFound(std::function<QWidget*()> find, std::function<void(QWidget*)> act, int ms)
{
    auto* timer = new QTimer;
    QElapsedTimer started;
    started.start();
    QObject::connect(timer, &QTimer::timeout, [=] {
        QWidget* found = find();
        if (!found && started.elapsed() < 5000)
            return;
        timer->stop();
        timer->deleteLater();
        if (found)
            return act(found);
        QWARN("the window never came up");
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    timer->start(ms);
}

// Runs `act` on the next modal window to come up other than `current`.
inline void WhenModal(std::function<void(QWidget*)> act, QWidget* current = nullptr)
{
    const QPointer<QWidget> before(current);
    const auto modal = [before]() -> QWidget* {
        QWidget* window = QApplication::activeModalWidget();
        return window != before ? window : nullptr;
    };
    WhenFound(modal, act, 10);
}

// Runs `act` once a top-level window of that name is shown (modeless
// windows, such as the progress windows, while their run goes on).
inline void WhenShown(const QString& name, std::function<void(QWidget*)> act)
{
    const auto shown = [name]() -> QWidget* {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->objectName() == name && window->isVisible())
                return window;
        return nullptr;
    };
    WhenFound(shown, act, 0);
}

// A question the test queued no answer for fails it (outside a test function,
// the run): the safe default it gets instead would hide a question.
inline void FailUnanswered(const Dialogs::Asked& asked)
{
    const QByteArray what = "no answer queued for: " + asked.text.toUtf8();
    QTest::currentTestFunction() ? QTest::qFail(what, __FILE__, __LINE__)
                                 : qFatal("%s", what.data());
}

// For cleanup(): answers that no question took fail the test too. Forgets
// them and what was asked.
inline void VerifyAllAnswersTaken()
{
    const int left = Dialogs::QueuedAnswers();
    Dialogs::SetScripted(true);
    QVERIFY2(left == 0, qPrintable(QStringLiteral("%1 queued answers not asked for").arg(left)));
}

// The balloon shown (or about to be) as "title|text@target", or "" for none.
inline QString BalloonShown()
{
    const BalloonTipPopup* balloon = ctlBalloonTip::CurrentBalloon();
    if (!balloon)
        return {};
    const QWidget* target = balloon->Target();
    return balloon->Title() + u'|' + balloon->Text() + u'@' +
           (target ? target->objectName() : QString());
}

} // namespace TestSupport
