#include "senders/FromAddress.h"

namespace {

// The display name as the content of a header's quoted string.
QString QuotedNameContent(const QString& name)
{
    QString content;
    content.reserve(name.size());
    for (const QChar c : name) {
        if (c == u'"' || c == u'\\')
            content += u'\\';
        if (c == u'\r' || c == u'\n')
            content += u' ';
        else
            content += c;
    }
    return content;
}

} // namespace

QString FromAddress::GetFullEMailAddress() const
{
    if (m_name.isEmpty())
        return m_eMailAddress;
    return u'"' + QuotedNameContent(m_name) + QStringLiteral("\" <") + m_eMailAddress + u'>';
}

QString FromAddress::GetPreviewEMailAddress() const
{
    QString shown = (m_name.isEmpty() ? m_eMailAddress : m_name) + QStringLiteral(" (")
                    + m_eMailAddress + u')';
    if (!m_replyEMailAddress.isEmpty())
        shown += QStringLiteral(" (") + m_replyEMailAddress + u')';
    return shown;
}
