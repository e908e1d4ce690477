#include "controls/ListViewHook.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

ListViewHook::ListViewHook(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("ListViewHook"));
}

ListViewHook::~ListViewHook()
{
    UnHook();
}

bool ListViewHook::IsHooked() const
{
    return m_hooked;
}

void ListViewHook::Hook(QWidget* window)
{
    UnHook();
    if (!window)
        return;
    m_hooked = true;
    const auto views = window->findChildren<QAbstractItemView*>();
    for (QAbstractItemView* view : views) {
        const QString name = view->objectName();
        if (name != QLatin1String("lvwComposeAttach") && name != QLatin1String("lvwPreviewAttach"))
            continue;
        // Mouse events reach a list's viewport, not the list itself.
        view->viewport()->installEventFilter(this);
        m_lists.append({view, view->viewport()});
    }
}

void ListViewHook::UnHook()
{
    for (const List& list : std::as_const(m_lists))
        if (list.viewport)
            list.viewport->removeEventFilter(this);
    m_lists.clear();
    m_pressedOn.clear();
    m_hooked = false;
}

bool ListViewHook::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        m_pressedOn.clear();
        for (const List& list : std::as_const(m_lists))
            if (list.viewport == watched && list.view && mouse->button() == Qt::LeftButton &&
                list.view->indexAt(mouse->position().toPoint()).isValid()) {
                m_pressedOn = watched;
                m_pressPos = mouse->position().toPoint();
            }
        break;
    }
    case QEvent::MouseMove: {
        // A move far enough from a press on an item is where the list would
        // start dragging: swallow it. Short moves and moves from empty space
        // (rubber-band selection) go through.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (m_pressedOn == watched && (mouse->buttons() & Qt::LeftButton) &&
            (mouse->position().toPoint() - m_pressPos).manhattanLength() >=
                QApplication::startDragDistance())
            return true;
        break;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            m_pressedOn.clear();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
