#include "controls/Icons.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QWidget>

QIcon Icons::Load(const QString& name)
{
    if (name.isEmpty())
        return {};
    for (const char* suffix : {".svg", ".png"}) {
        const QString path = QStringLiteral(":/icons/") + name + QLatin1String(suffix);
        if (!QFile::exists(path))
            continue;
        QIcon icon(path);
        // An SVG icon without the SVG plugin loads as an empty icon.
        if (!icon.pixmap(16, 16).isNull())
            return icon;
    }
    return {};
}

int Icons::IconSize(bool small)
{
    return QApplication::style()->pixelMetric(small ? QStyle::PM_SmallIconSize
                                                    : QStyle::PM_LargeIconSize);
}

QPixmap Icons::Pixmap(const QString& name, bool small)
{
    const QIcon icon = Load(name);
    if (icon.isNull())
        return {};
    const int size = IconSize(small);
    return icon.pixmap(QSize(size, size));
}

bool Icons::AddLocalResourceIconToPictureBox(QLabel* pictureBox, const QString& name, bool small,
                                             int x, int y)
{
    if (!pictureBox)
        return false;
    const QIcon icon = Load(name);
    if (icon.isNull())
        return false;
    const int size = IconSize(small);
    const qreal ratio = pictureBox->devicePixelRatioF();

    const QPixmap old = pictureBox->pixmap();
    const QSize oldSize = old.isNull() ? pictureBox->size() : old.deviceIndependentSize().toSize();
    const QSize canvasSize = oldSize.expandedTo(QSize(x + size, y + size));
    QPixmap canvas(canvasSize * ratio);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::transparent);
    {
        QPainter painter(&canvas);
        if (!old.isNull())
            painter.drawPixmap(0, 0, old);
        icon.paint(&painter, QRect(x, y, size, size));
    }
    pictureBox->setPixmap(canvas);
    return true;
}

QWidget* Icons::TopmostOwner(QWidget* window)
{
    if (!window)
        return nullptr;
    QWidget* top = window->window();
    while (QWidget* owner = top->parentWidget())
        top = owner->window();
    return top;
}

bool Icons::SetIcon(QWidget* window, const QString& name, bool topmostOwner)
{
    if (!window)
        return false;
    const QIcon icon = Load(name);
    if (icon.isNull())
        return false;
    // One icon carries both the big and the small size.
    window->window()->setWindowIcon(icon);
    if (topmostOwner)
        TopmostOwner(window)->setWindowIcon(icon);
    return true;
}
