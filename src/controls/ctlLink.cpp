#include "controls/ctlLink.h"

#include "controls/Icons.h"

#include <QBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

ctlLink::ctlLink(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ctlLink"));
    setMouseTracking(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);

    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("imgLinkIcon"));
    m_icon->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_icon->hide();

    txtLink = new QLabel(QStringLiteral("link link"), this);
    txtLink->setObjectName(QStringLiteral("txtLink"));
    txtLink->setTextFormat(Qt::PlainText);
    txtLink->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette palette = txtLink->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    txtLink->setPalette(palette);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_icon);
    layout->addWidget(txtLink, 1);
}

QString ctlLink::Text() const
{
    return txtLink->text();
}

void ctlLink::SetText(const QString& text)
{
    txtLink->setText(text);
}

QColor ctlLink::BackColor() const
{
    return palette().color(QPalette::Window);
}

void ctlLink::SetBackColor(const QColor& color)
{
    QPalette p = palette();
    p.setColor(QPalette::Window, color);
    setPalette(p);
    setAutoFillBackground(true);
}

bool ctlLink::SetIconName(const QString& name, IconSide side)
{
    if (name.isEmpty()) {
        m_iconName.clear();
        m_icon->clear();
        m_icon->hide();
        return true;
    }
    const QPixmap pixmap = Icons::Pixmap(name, true);
    if (pixmap.isNull())
        return false;
    m_iconName = name;
    m_icon->setPixmap(pixmap);
    auto* box = static_cast<QHBoxLayout*>(layout());
    box->removeWidget(m_icon);
    box->insertWidget(side == IconSide::BeforeText ? 0 : 1, m_icon);
    m_icon->show();
    return true;
}

QString ctlLink::IconName() const
{
    return m_iconName;
}

bool ctlLink::IsUnderlined() const
{
    return m_underlined;
}

void ctlLink::SetUnderlined(bool on)
{
    m_underlined = on;
    QFont f = txtLink->font();
    if (f.underline() == on)
        return;
    f.setUnderline(on);
    txtLink->setFont(f);
}

void ctlLink::enterEvent(QEnterEvent* event)
{
    SetUnderlined(true);
    QWidget::enterEvent(event);
}

void ctlLink::leaveEvent(QEvent* event)
{
    SetUnderlined(false);
    QWidget::leaveEvent(event);
}

void ctlLink::mouseMoveEvent(QMouseEvent* event)
{
    // While a button is held the moves keep coming outside the control.
    SetUnderlined(rect().contains(event->position().toPoint()));
    QWidget::mouseMoveEvent(event);
}

void ctlLink::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_pressed = true;
    event->accept();
}

void ctlLink::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_pressed) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_pressed = false;
    SetUnderlined(false);
    // Pressing on the link and letting go elsewhere is no click.
    if (rect().contains(event->position().toPoint()))
        Q_EMIT Click();
}

void ctlLink::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Q_EMIT Click();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void ctlLink::changeEvent(QEvent* event)
{
    // A new font for the control (the uniform interface font) must keep the
    // underline as it is.
    if (event->type() == QEvent::FontChange) {
        QFont f = font();
        f.setUnderline(m_underlined);
        txtLink->setFont(f);
    }
    QWidget::changeEvent(event);
}
