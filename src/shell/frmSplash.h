#pragma once

#include <QWidget>

class QLabel;

// The picture shown while the main window and its data are prepared.
class frmSplash : public QWidget
{
    Q_OBJECT

public:
    explicit frmSplash(QWidget* parent = nullptr);

    // Shows the splash at once; then, with the owner given, again as a window
    // owned by it so it stays above it.
    void ShowSplash(QWidget* owner = nullptr);

    bool HasPicture() const;

private:
    QLabel* m_picture = nullptr;
};
