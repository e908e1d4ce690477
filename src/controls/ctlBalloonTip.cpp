#include "controls/ctlBalloonTip.h"

#include "controls/Dialogs.h"

#include <QApplication>
#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>
#include <QToolTip>

namespace {

// Balloon geometry, in pixels.
constexpr int kTail = 12;      // height of the tail
constexpr int kTailHalf = 7;   // half the width of the tail where it meets the bubble
constexpr int kTailInset = 20; // tail end from the bubble's left edge when there is room
constexpr int kRadius = 6;
constexpr int kPad = 8;
constexpr int kMaxTextWidth = 320;
constexpr int kIconSize = 16;

QPointer<BalloonTipPopup>& current()
{
    static QPointer<BalloonTipPopup> popup;
    return popup;
}

Dialogs::Icon messageIcon(int icon)
{
    switch (icon) {
    case ctlBalloonTip::IconInfo:
        return Dialogs::Icon::Information;
    case ctlBalloonTip::IconWarning:
        return Dialogs::Icon::Warning;
    case ctlBalloonTip::IconError:
        return Dialogs::Icon::Critical;
    default:
        return Dialogs::Icon::None;
    }
}

QStyle::StandardPixmap standardIcon(int icon)
{
    switch (icon) {
    case ctlBalloonTip::IconWarning:
        return QStyle::SP_MessageBoxWarning;
    case ctlBalloonTip::IconError:
        return QStyle::SP_MessageBoxCritical;
    default:
        return QStyle::SP_MessageBoxInformation;
    }
}

int widestLine(const QFontMetrics& metrics, const QString& text)
{
    int widest = 0;
    for (const QString& line : text.split(u'\n'))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    return widest;
}

} // namespace

// ---------------------------------------------------------------------------

ctlBalloonTip::ctlBalloonTip(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ctlBalloonTip"));
    hide();
}

QString ctlBalloonTip::CleanText(const QString& text)
{
    QString cleaned = text;
    cleaned.remove(QStringLiteral("[DBNETLIB][ConnectionOpen (Connect()).]"));
    return cleaned;
}

bool ctlBalloonTip::IsTextBox(const QWidget* control)
{
    return qobject_cast<const QLineEdit*>(control) || qobject_cast<const QTextEdit*>(control) ||
           qobject_cast<const QPlainTextEdit*>(control);
}

BalloonTipPopup* ctlBalloonTip::CurrentBalloon()
{
    return current();
}

void ctlBalloonTip::CloseBalloon()
{
    if (BalloonTipPopup* popup = current())
        popup->close();
    current().clear();
}

void ctlBalloonTip::ShowBalloonTip(QWidget* target, const QString& title, const QString& text,
                                   int icon, int x, int y)
{
    const QString shown = CleanText(text);
    // Without a control to point at, a message box keeps the message from
    // being lost. (Every system here can show a balloon, whatever its
    // version.)
    if (!target) {
        Dialogs::Message(nullptr, title + QStringLiteral("\n\n") + shown, QMessageBox::Ok, messageIcon(icon));
        return;
    }
    CloseBalloon();
    auto* popup = new BalloonTipPopup(target, title, shown, icon, QPoint(x, y));
    current() = popup;
    popup->Present();
    QApplication::beep();
}

// ---------------------------------------------------------------------------

BalloonTipPopup::BalloonTipPopup(QWidget* target, const QString& title, const QString& text,
                                 int icon, QPoint offset)
    : QWidget(target->window(), Qt::ToolTip | Qt::FramelessWindowHint)
    , m_target(target)
    , m_offset(offset)
    , m_icon(icon)
{
    setObjectName(QStringLiteral("ctlBalloonTipPopup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setPalette(QToolTip::palette());
    setFont(QToolTip::font());

    m_iconLabel = new QLabel(this);
    m_iconLabel->setObjectName(QStringLiteral("lblBalloonIcon"));
    if (icon >= ctlBalloonTip::IconInfo && icon <= ctlBalloonTip::IconError)
        m_iconLabel->setPixmap(
            style()->standardIcon(standardIcon(icon)).pixmap(kIconSize, kIconSize));
    else
        m_iconLabel->hide();

    // Plain text always: messages carry data source errors, which may hold
    // anything, and must be shown exactly as given.
    m_title = new QLabel(title, this);
    m_title->setObjectName(QStringLiteral("lblBalloonTitle"));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setWordWrap(true);
    QFont bold = font();
    bold.setBold(true);
    m_title->setFont(bold);
    if (title.isEmpty())
        m_title->hide();

    m_text = new QLabel(text, this);
    m_text->setObjectName(QStringLiteral("lblBalloonText"));
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    if (text.isEmpty())
        m_text->hide();

    for (QLabel* label : {m_iconLabel, m_title, m_text})
        label->setForegroundRole(QPalette::ToolTipText);

    // Width: as wide as the longest line needs, up to a limit, then wrap.
    const bool hasIcon = !m_iconLabel->isHidden();
    const int iconPart = hasIcon ? kIconSize + kPad / 2 : 0;
    const int titleWidth = title.isEmpty() ? 0 : widestLine(QFontMetrics(bold), title) + 1;
    const int textWidth = text.isEmpty() ? 0 : widestLine(fontMetrics(), text) + 1;
    const int width =
        qBound(kIconSize, qMax(iconPart + titleWidth, (title.isEmpty() ? iconPart : 0) + textWidth),
               kMaxTextWidth);

    auto* header = new QHBoxLayout;
    header->setSpacing(kPad / 2);
    header->addWidget(m_iconLabel, 0, Qt::AlignTop);
    if (!title.isEmpty()) {
        m_title->setFixedWidth(width - iconPart);
        header->addWidget(m_title, 1);
    } else {
        // No title: the icon stands beside the text.
        m_text->setFixedWidth(qMax(1, width - iconPart));
        header->addWidget(m_text, 1);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(kPad / 2);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(header);
    if (!title.isEmpty()) {
        m_text->setFixedWidth(width);
        layout->addWidget(m_text);
    }

    target->installEventFilter(this);
    if (target->window() != target)
        target->window()->installEventFilter(this);
    connect(target, &QObject::destroyed, this, &QWidget::close);
}

QString BalloonTipPopup::Title() const
{
    return m_title->text();
}

QString BalloonTipPopup::Text() const
{
    return m_text->text();
}

int BalloonTipPopup::IconCode() const
{
    return m_icon;
}

QWidget* BalloonTipPopup::Target() const
{
    return m_target;
}

QPoint BalloonTipPopup::TailTip() const
{
    return m_tailTip;
}

bool BalloonTipPopup::TailAtTop() const
{
    return m_tailAtTop;
}

QPoint BalloonTipPopup::TipPoint() const
{
    QWidget* target = m_target;
    if (!target)
        return {};
    if (!ctlBalloonTip::IsTextBox(target))
        return target->mapToGlobal(m_offset);
    // A text box is pointed at where its text cursor is.
    const QRect cursor = target->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    const QRect inside = target->rect();
    const QPoint point(qBound(inside.left(), cursor.center().x(), inside.right()),
                       qBound(inside.top(), cursor.bottom(), inside.bottom()));
    return target->mapToGlobal(point);
}

void BalloonTipPopup::Present()
{
    if (m_target && m_target->isVisible()) {
        ShowNow();
        return;
    }
    QTimer::singleShot(0, this, [this] {
        if (m_target && m_target->isVisible())
            ShowNow();
        else
            close();
    });
}

void BalloonTipPopup::ShowNow()
{
    Place();
    show();
    // Watch for clicks and keys only from the next turn of the event loop,
    // so the click or key that led to this balloon does not close it.
    QTimer::singleShot(0, this, [this] {
        qApp->installEventFilter(this);
        m_watchingInput = true;
    });
}

void BalloonTipPopup::Place()
{
    if (!m_target)
        return;
    const QPoint tip = TipPoint();

    auto applyMargins = [this](bool tailAtTop) {
        m_tailAtTop = tailAtTop;
        layout()->setContentsMargins(kPad, kPad + (tailAtTop ? kTail : 0), kPad,
                                     kPad + (tailAtTop ? 0 : kTail));
        layout()->activate();
    };
    applyMargins(true);
    const QSize size = this->size();

    const QScreen* screen = QGuiApplication::screenAt(tip);
    if (!screen)
        screen = m_target->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect(tip, size);

    // Below the point when it fits, else above it.
    const bool below = tip.y() + size.height() <= area.bottom() + 1 ||
                       tip.y() - size.height() + 1 < area.top();
    if (!below)
        applyMargins(false);

    const int left = qMax(area.left(), qMin(area.right() + 1 - size.width(), tip.x() - kTailInset));
    const int top = below ? tip.y() : tip.y() - size.height() + 1;
    m_tailTip = QPoint(qBound(0, tip.x() - left, size.width() - 1),
                       below ? 0 : size.height() - 1);
    move(left, top);

    QPainterPath path;
    const QRectF body(0, below ? kTail : 0, size.width(), size.height() - kTail);
    path.addRoundedRect(body, kRadius, kRadius);
    const qreal baseY = below ? body.top() + 1 : body.bottom() - 1;
    const qreal baseLeft =
        qBound<qreal>(kRadius, m_tailTip.x() - kTailHalf, size.width() - kRadius - 2 * kTailHalf);
    QPainterPath tail;
    tail.moveTo(m_tailTip.x() + 0.5, below ? 0 : size.height());
    tail.lineTo(baseLeft, baseY);
    tail.lineTo(baseLeft + 2 * kTailHalf, baseY);
    tail.closeSubpath();
    m_shape = path.united(tail).simplified();
    // Headless platforms draw nothing and cannot shape windows.
    static const bool shaped = QGuiApplication::platformName() != QLatin1String("offscreen") &&
                               QGuiApplication::platformName() != QLatin1String("minimal");
    if (shaped)
        setMask(QRegion(m_shape.toFillPolygon().toPolygon()));
    update();
}

void BalloonTipPopup::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(m_shape, palette().color(QPalette::ToolTipBase));
    painter.setPen(QPen(palette().color(QPalette::ToolTipText), 1));
    painter.drawPath(m_shape.translated(0.5, 0.5));
}

void BalloonTipPopup::closeEvent(QCloseEvent* event)
{
    if (current() == this)
        current().clear();
    QWidget::closeEvent(event);
}

bool BalloonTipPopup::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::KeyPress:
        if (m_watchingInput) {
            close();
            // Escape is for the balloon: the dialog under it, with what was
            // typed into it, stays.
            if (event->type() == QEvent::KeyPress &&
                static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
                return true;
        }
        break;
    case QEvent::Hide:
        if (watched == m_target)
            close();
        break;
    case QEvent::Move:
    case QEvent::Resize:
        if (isVisible() && m_target && (watched == m_target || watched == m_target->window()))
            Place();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
