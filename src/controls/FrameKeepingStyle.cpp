#include "controls/FrameKeepingStyle.h"

#include <QAbstractScrollArea>
#include <QApplication>

void FrameKeepingStyle::Install()
{
    QApplication::setStyle(new FrameKeepingStyle);
}

void FrameKeepingStyle::polish(QWidget* widget)
{
    QProxyStyle::polish(widget);
    auto* area = qobject_cast<QAbstractScrollArea*>(widget->parentWidget());
    if (!area || area->viewport() != widget || area->frameShape() == QFrame::NoFrame ||
        !widget->autoFillBackground())
        return;
    area->setBackgroundRole(widget->backgroundRole());
    area->setAutoFillBackground(true);
    widget->setAutoFillBackground(false);
}
