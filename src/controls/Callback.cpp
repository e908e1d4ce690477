#include "controls/Callback.h"

Callback::Callback(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("Callback"));
}

void Callback::RaiseTabClick(int index)
{
    Q_EMIT TabClick(index);
}
