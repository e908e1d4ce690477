#include "controls/Images.h"

#include <QFile>
#include <QImageReader>

namespace {

QImage readPicture(const QString& name)
{
    if (name.isEmpty())
        return {};
    for (const char* suffix : {".png", ".svg"}) {
        const QString path = QStringLiteral(":/images/") + name + QLatin1String(suffix);
        if (!QFile::exists(path))
            continue;
        QImageReader reader(path);
        const QImage image = reader.read();
        if (!image.isNull())
            return image;
    }
    return {};
}

} // namespace

QImage Images::MakeTransparent(const QImage& image)
{
    if (image.isNull() || image.hasAlphaChannel())
        return image;
    const QRgb key = image.pixel(0, 0);
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x)
            if ((line[x] | 0xff000000u) == (key | 0xff000000u))
                line[x] = qRgba(0, 0, 0, 0);
    }
    return result;
}

bool Images::LoadPictureTransparent(QPixmap& picture, const QString& name, QString& errorText,
                                    bool transparent)
{
    const QImage image = readPicture(name);
    if (image.isNull()) {
        picture = QPixmap();
        errorText = QStringLiteral("Could not read the bitmap file...");
        return false;
    }
    picture = QPixmap::fromImage(transparent ? MakeTransparent(image) : image);
    errorText.clear();
    return true;
}
