#include "controls/ToolTip.h"

#include <QFontMetrics>
#include <QToolTip>
#include <QWidget>

ToolTip::~ToolTip()
{
    for (const Tool& tool : std::as_const(m_tools))
        if (tool.control && tool.control->toolTip() == tool.tip)
            tool.control->setToolTip(QString());
}

void ToolTip::StartTip(QWidget*) {}

QStringList ToolTip::WrapLines(const QString& text, const QFont& font, int maxWidth)
{
    const QFontMetrics metrics(font);
    QStringList lines;
    // Line breaks already in the text stay; each paragraph is filled greedily.
    for (const QString& paragraph : text.split(u'\n')) {
        QString line;
        for (const QString& word : paragraph.split(u' ', Qt::SkipEmptyParts)) {
            const QString candidate = line.isEmpty() ? word : line + u' ' + word;
            if (line.isEmpty() || metrics.horizontalAdvance(candidate) <= maxWidth) {
                line = candidate;
            } else {
                lines.append(line);
                line = word;
            }
        }
        lines.append(line);
    }
    return lines;
}

void ToolTip::SetToolTip(QWidget* control, const QString& text)
{
    if (!control)
        return;
    QStringList lines = WrapLines(text, QToolTip::font(), MaxTipWidth);
    for (QString& line : lines)
        line = line.toHtmlEscaped();
    // Rich text so that a text starting with "<" is never taken for markup,
    // and "pre" so that the tip shows exactly these lines.
    const QString tip = text.isEmpty() ? QString()
                                       : QStringLiteral("<p style=\"white-space:pre\">") +
                                             lines.join(QStringLiteral("<br/>")) +
                                             QStringLiteral("</p>");
    control->setToolTip(tip);
    for (Tool& tool : m_tools)
        if (tool.control == control) {
            tool.tip = tip;
            return;
        }
    m_tools.append({control, tip});
}
