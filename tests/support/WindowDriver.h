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
#include <memory>

// Driving real windows in tests: modal dialogs, questions and balloons.
namespace TestSupport {

// Runs `act` on the next modal window to come up other than `current` (a
// modal window's exec() holds the test until something closes it). Give up
// after five seconds, closing whatever is modal, so a test fails instead of
// hanging.
inline void WhenModal(std::function<void(QWidget*)> act, QWidget* current = nullptr)
{
    auto* timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QPointer<QWidget> before(current);
    QObject::connect(timer, &QTimer::timeout, [timer, act, before, started] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != before) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        } else if (started->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            QWARN("no modal window came up");
            if (modal)
                modal->close();
        }
    });
    timer->start(10);
}

// Runs `act` once a top-level window of that name is shown (modeless
// windows, such as the progress windows, while their run goes on).
inline void WhenShown(const QString& name, std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, [timer, name, act, started] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == name && window->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(window);
                return;
            }
        }
        if (started->elapsed() > 5000) {
            timer->stop();
            timer->deleteLater();
            QWARN("the window never came up");
        }
    });
    timer->start(0);
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
