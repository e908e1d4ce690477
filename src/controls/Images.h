#pragma once

#include <QImage>
#include <QPixmap>
#include <QString>

// The program's named pictures ("IMG_SPLASH"), kept in the resources as
// ":/images/<name>.png" (or .svg).
class Images
{
public:
    // Loads the named picture. With transparent, the colour of its top-left
    // pixel becomes transparent (for pictures without transparency of their
    // own); without, it is taken as drawn. On failure the picture is empty,
    // errorText says so and the result is false.
    static bool LoadPictureTransparent(QPixmap& picture, const QString& name, QString& errorText,
                                       bool transparent);

    static QImage MakeTransparent(const QImage& image);
};
