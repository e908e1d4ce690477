#pragma once

#include <QPainterPath>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

class QLabel;
class BalloonTipPopup;

// Shows validation messages as a balloon pointing at the control to correct.
// Forms keep one, hidden; it shows nothing itself.
class ctlBalloonTip : public QWidget
{
    Q_OBJECT

public:
    // Icon codes.
    enum { IconNone = 0, IconInfo = 1, IconWarning = 2, IconError = 3 };

    explicit ctlBalloonTip(QWidget* parent = nullptr);

    // Shows a balloon with title, text and icon (0 none, 1 information,
    // 2 warning, 3 error) pointing at target, and beeps. A text box is pointed
    // at at its text cursor; any other control at its top-left corner moved by
    // x and y pixels (taken from the control itself, so callers need not add
    // the position of the page the control sits on). The SQL Server network
    // library prefix is taken out of the text. Without a target the message
    // goes to a message box instead.
    //
    // A balloon closes at the next click or key press anywhere in the
    // program, when its target is hidden or destroyed, or when another
    // balloon is shown. A target that is hidden at the moment (its page is
    // about to be shown) gets the balloon once control returns to the event
    // loop, if it is visible by then.
    void ShowBalloonTip(QWidget* target, const QString& title, const QString& text, int icon,
                        int x = 0, int y = 0);

    // The balloon on screen or about to be shown, if any.
    static BalloonTipPopup* CurrentBalloon();
    static void CloseBalloon();

    // The text as shown: every network library prefix removed.
    static QString CleanText(const QString& text);

    // Whether a control counts as a text box.
    static bool IsTextBox(const QWidget* control);
};

// The balloon window itself: frameless, never taking the focus, with a tail
// whose end is at TipPoint().
class BalloonTipPopup : public QWidget
{
    Q_OBJECT

public:
    BalloonTipPopup(QWidget* target, const QString& title, const QString& text, int icon,
                    QPoint offset);

    QString Title() const;
    QString Text() const;
    int IconCode() const;
    QWidget* Target() const;

    // The screen point the balloon points at, and where the end of its tail
    // is in this window's own coordinates.
    QPoint TipPoint() const;
    QPoint TailTip() const;
    bool TailAtTop() const;

    // Shows the balloon now if the target is visible, else once the event
    // loop has run, if the target has become visible by then.
    void Present();

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Place();
    void ShowNow();

    QPointer<QWidget> m_target;
    QPoint m_offset;
    int m_icon = 0;
    QLabel* m_iconLabel = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_text = nullptr;
    QPoint m_tailTip;
    bool m_tailAtTop = true;
    bool m_watchingInput = false;
    QPainterPath m_shape;
};
