#include "shell/frmSplash.h"

#include "controls/Images.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QVBoxLayout>

frmSplash::frmSplash(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_picture = new QLabel(this);
    m_picture->setObjectName(QStringLiteral("imgSplash"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_picture);

    QPixmap picture;
    QString error;
    if (Images::LoadPictureTransparent(picture, QStringLiteral("IMG_SPLASH"), error, false)) {
        m_picture->setPixmap(picture);
        setFixedSize(picture.size());
    }
}

bool frmSplash::HasPicture() const
{
    return !m_picture->pixmap().isNull();
}

void frmSplash::ShowSplash(QWidget* owner)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = rect();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    repaint();
    if (owner) {
        const QPoint at = pos();
        setParent(owner, windowFlags());
        move(at);
        show();
    }
}
