#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

class QWidget;

// Tooltips of a window, word-wrapped at a width that reads well: a tip line
// never holds more than MaxTipChars characters unless a single word is longer.
//
// Ending the object takes away the tips it set, as closing a tooltip window
// would.
class ToolTip
{
public:
    static constexpr int MaxTipChars = 60;

    ToolTip() = default;
    ~ToolTip();

    ToolTip(const ToolTip&) = delete;
    ToolTip& operator=(const ToolTip&) = delete;

    // Qt shows tips without a window of their own, so there is nothing to
    // create; kept so that every window starts its tips the same way.
    void StartTip(QWidget* parent);
    void SetToolTip(QWidget* control, const QString& text);

    // The text broken at blanks into lines of at most maxChars characters.
    static QStringList WrapLines(const QString& text, int maxChars = MaxTipChars);
    // The tip that shows the text in such lines, exactly as typed; empty for
    // an empty text. Tips longer than MaxTipLines lines end in an ellipsis.
    static QString TipText(const QString& text);
    static constexpr int MaxTipLines = 30;

private:
    struct Tool
    {
        QPointer<QWidget> control;
        QString tip;
    };
    QList<Tool> m_tools;
};
