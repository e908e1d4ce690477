#include "controls/ToolTip.h"

#include <QWidget>

ToolTip::~ToolTip()
{
    for (const Tool& tool : std::as_const(m_tools))
        if (tool.control && tool.control->toolTip() == tool.tip)
            tool.control->setToolTip(QString());
}

void ToolTip::StartTip(QWidget*) {}

QStringList ToolTip::WrapLines(const QString& text, int maxChars)
{
    QStringList lines;
    // Line breaks already in the text stay; each paragraph is filled greedily.
    for (const QString& paragraph : QString(text).remove(u'\r').split(u'\n')) {
        QString line;
        for (const QString& word : paragraph.split(u' ', Qt::SkipEmptyParts)) {
            if (line.isEmpty()) {
                line = word;
            } else if (line.size() + 1 + word.size() <= maxChars) {
                line += u' ' + word;
            } else {
                lines.append(line);
                line = word;
            }
        }
        lines.append(line);
    }
    return lines;
}

QString ToolTip::TipText(const QString& text)
{
    if (text.isEmpty())
        return {};
    QStringList lines = WrapLines(text);
    if (lines.size() > MaxTipLines) {
        lines.resize(MaxTipLines);
        lines.append(QStringLiteral("\u2026"));
    }
    for (QString& line : lines)
        line = line.toHtmlEscaped();
    // Rich text so that a text starting with "<" is never taken for markup,
    // and "pre" so that Qt, which wraps rich tips at a narrow width of its
    // own, shows exactly these lines.
    return QStringLiteral("<p style=\"white-space:pre\">") + lines.join(QStringLiteral("<br/>")) +
           QStringLiteral("</p>");
}

void ToolTip::SetToolTip(QWidget* control, const QString& text)
{
    if (!control)
        return;
    const QString tip = TipText(text);
    control->setToolTip(tip);
    for (Tool& tool : m_tools)
        if (tool.control == control) {
            tool.tip = tip;
            return;
        }
    m_tools.append({control, tip});
}
