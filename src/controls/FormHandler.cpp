#include "controls/FormHandler.h"

#include <QApplication>
#include <QWidget>

FormHandler::~FormHandler()
{
    MakeModalForm(nullptr, false);
}

void FormHandler::MakeModalForm(QWidget* window, bool modal)
{
    if (!modal) {
        // A window closed meanwhile is simply gone from the list.
        for (const QPointer<QWidget>& other : std::as_const(m_disabled))
            if (other)
                other->setEnabled(true);
        m_disabled.clear();
        return;
    }
    const QWidget* self = window ? window->window() : nullptr;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* other : windows) {
        if (other == self || !other->isVisible() || !other->isEnabled())
            continue;
        // Menus, tooltips and balloons close by themselves.
        const Qt::WindowType type = other->windowType();
        if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::Desktop)
            continue;
        other->setEnabled(false);
        m_disabled.append(other);
    }
    // Disabling a window in Qt disables the windows it owns as well; the
    // window that is made modal must stay usable even when it is owned by one
    // of the windows just disabled.
    if (self && !self->isEnabled() && !self->testAttribute(Qt::WA_ForceDisabled))
        window->window()->setEnabled(true);
}
