#include "platform/mail/SmtpDotStuffer.h"

#include <cstring>

void SmtpDotStuffer::Add(const char* data, qsizetype size, QByteArray& out)
{
    if (size <= 0)
        return;
    const char* const end = data + size;
    const char* copied = data;
    const char* at = data;
    if (m_lineStart && *at == '.') {
        out.append('.');
    }
    // Only the byte after each line feed needs looking at.
    while (const void* found = std::memchr(at, '\n', size_t(end - at))) {
        at = static_cast<const char*>(found) + 1;
        if (at == end)
            break;
        if (*at == '.') {
            out.append(copied, at - copied);
            out.append('.');
            copied = at;
        }
    }
    out.append(copied, end - copied);
    m_lineStart = end[-1] == '\n';
}

void SmtpDotStuffer::Finish(QByteArray& out)
{
    if (!m_lineStart)
        out.append("\r\n");
    out.append(".\r\n");
    m_lineStart = true;
}
