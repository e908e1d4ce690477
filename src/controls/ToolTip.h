#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

class QFont;
class QWidget;

// Tooltips of a window, narrow and word-wrapped: a tip never grows wider than
// MaxTipWidth pixels unless a single word is wider.
//
// Ending the object takes away the tips it set, as closing a tooltip window
// would.
class ToolTip
{
public:
    static constexpr int MaxTipWidth = 80;

    ToolTip() = default;
    ~ToolTip();

    ToolTip(const ToolTip&) = delete;
    ToolTip& operator=(const ToolTip&) = delete;

    // Qt shows tips without a window of their own, so there is nothing to
    // create; kept so that every window starts its tips the same way.
    void StartTip(QWidget* parent);
    void SetToolTip(QWidget* control, const QString& text);

    // The text broken at blanks into lines no wider than maxWidth in font.
    static QStringList WrapLines(const QString& text, const QFont& font, int maxWidth);

private:
    struct Tool
    {
        QPointer<QWidget> control;
        QString tip;
    };
    QList<Tool> m_tools;
};
