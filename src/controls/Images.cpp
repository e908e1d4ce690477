#include "controls/Images.h"

#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QPalette>

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

QImage Images::MapSystemColours(const QImage& image)
{
    if (image.isNull())
        return image;
    const QPalette palette = QApplication::palette();
    // Dark grey, grey and light grey stand for shadow, face and light.
    const struct
    {
        QRgb from;
        QRgb to;
    } map[] = {
        {qRgb(128, 128, 128), palette.color(QPalette::Dark).rgb()},
        {qRgb(192, 192, 192), palette.color(QPalette::Button).rgb()},
        {qRgb(223, 223, 223), palette.color(QPalette::Midlight).rgb()},
    };
    QImage result = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                   : QImage::Format_RGB32);
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            if (qAlpha(line[x]) != 255)
                continue;
            for (const auto& m : map)
                if (line[x] == m.from) {
                    line[x] = m.to;
                    break;
                }
        }
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
    picture = QPixmap::fromImage(transparent ? MakeTransparent(image) : MapSystemColours(image));
    errorText.clear();
    return true;
}
