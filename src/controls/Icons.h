#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>

class QLabel;
class QWidget;

// The program's named icons ("ICO_EMAIL", "ICO_STEP1", ...), kept in the
// resources as ":/icons/<name>.svg" or ":/icons/<name>.png".
class Icons
{
public:
    // The named icon, or a null icon when there is none by that name.
    static QIcon Load(const QString& name);

    // The named icon drawn at the small (16 px) or normal (32 px) icon size
    // of the style; null when there is none by that name.
    static QPixmap Pixmap(const QString& name, bool small);
    static int IconSize(bool small);

    // Draws the named icon onto the label's picture at x, y and keeps the
    // result as its picture. The picture grows to fit the icon when needed.
    // Returns false, leaving the picture alone, when there is no such icon.
    static bool AddLocalResourceIconToPictureBox(QLabel* pictureBox, const QString& name,
                                                 bool small, int x, int y);

    // Gives the window (and, when asked, the window that owns it at the top
    // of its chain of owners) the named icon. Returns false when there is no
    // such icon.
    static bool SetIcon(QWidget* window, const QString& name, bool topmostOwner);

    // The last owner up the chain of owners of a window.
    static QWidget* TopmostOwner(QWidget* window);
};
