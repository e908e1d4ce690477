#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class QLabel;

// A text that behaves like a link: blue, underlined while the pointer is over
// it, and raising Click when clicked. The text cannot be edited. It can carry
// one of the program's icons beside the text.
class ctlLink : public QWidget
{
    Q_OBJECT

public:
    enum class IconSide { BeforeText, AfterText };

    explicit ctlLink(QWidget* parent = nullptr);

    QString Text() const;
    void SetText(const QString& text);

    QColor BackColor() const;
    void SetBackColor(const QColor& color);

    // Shows the named icon (Icons) at the small size beside the text; an
    // empty name removes it. Returns false when there is no such icon.
    bool SetIconName(const QString& name, IconSide side = IconSide::BeforeText);
    QString IconName() const;

    bool IsUnderlined() const;

Q_SIGNALS:
    void Click();

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SetUnderlined(bool on);

    QLabel* m_icon = nullptr;
    QLabel* txtLink = nullptr;
    QString m_iconName;
    bool m_underlined = false;
    bool m_pressed = false;
};
