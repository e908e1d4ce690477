#include "platform/mail/SmtpReply.h"

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Up to three digits at `at`; the position after them, or -1.
qsizetype SkipNumber(const QByteArray& text, qsizetype at)
{
    const qsizetype start = at;
    while (at < text.size() && at - start < 3 && IsDigit(text[at]))
        ++at;
    return at > start ? at : -1;
}

} // namespace

QString SmtpReply::EnhancedStatus() const
{
    if (lines.isEmpty() || lines.first().size() < 9)
        return QString();
    const QByteArray& line = lines.first();
    const char kind = line[4];
    if (kind != line[0] || (kind != '2' && kind != '4' && kind != '5') || line[5] != '.')
        return QString();
    qsizetype at = SkipNumber(line, 6);
    if (at < 0 || at >= line.size() || line[at] != '.')
        return QString();
    at = SkipNumber(line, at + 1);
    if (at < 0 || (at < line.size() && line[at] != ' '))
        return QString();
    return QString::fromLatin1(line.mid(4, at - 4));
}

QString SmtpReply::Text() const
{
    return QString::fromUtf8(lines.join('\n'));
}

void SmtpReplyParser::Feed(const char* data, qsizetype size)
{
    if (!m_problem.isEmpty() || size <= 0)
        return;
    if (m_start > 0 && m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    }
    m_buffer.append(data, size);
}

void SmtpReplyParser::Fail(const QString& problem)
{
    m_problem = problem;
    m_buffer.clear();
    m_start = 0;
    m_partial = SmtpReply();
}

std::optional<SmtpReply> SmtpReplyParser::Next()
{
    while (m_problem.isEmpty()) {
        const qsizetype end = m_buffer.indexOf('\n', m_start);
        if (end < 0) {
            if (Pending() > MaxLineLength)
                Fail(QStringLiteral("The mail server sent a line of more than %1 bytes").arg(MaxLineLength));
            return std::nullopt;
        }
        qsizetype length = end - m_start;
        if (length > 0 && m_buffer[end - 1] == '\r')
            --length;
        const QByteArray line = m_buffer.mid(m_start, length);
        m_start = end + 1;
        if (m_start > 64 * 1024) {
            m_buffer.remove(0, m_start);
            m_start = 0;
        }

        const bool coded = line.size() >= 3 && line[0] >= '2' && line[0] <= '5' && IsDigit(line[1])
                           && IsDigit(line[2]) && (line.size() == 3 || line[3] == ' ' || line[3] == '-');
        if (!coded || line.size() > MaxLineLength) {
            Fail(QStringLiteral("The mail server's reply is not SMTP: %1")
                     .arg(QString::fromUtf8(line.left(200))));
            return std::nullopt;
        }
        m_partial.lines.append(line);
        if (m_partial.lines.size() > MaxLines) {
            Fail(QStringLiteral("The mail server sent a reply of more than %1 lines").arg(MaxLines));
            return std::nullopt;
        }
        if (line.size() > 3 && line[3] == '-')
            continue;
        // The last line's code counts, should the lines disagree.
        m_partial.code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
        SmtpReply reply = std::move(m_partial);
        m_partial = SmtpReply();
        return reply;
    }
    return std::nullopt;
}

SmtpExtensions::SmtpExtensions(const SmtpReply& ehlo)
{
    // The first line names the server; each further one is a keyword and
    // its parameters.
    for (qsizetype i = 1; i < ehlo.lines.size(); ++i) {
        const QByteArray text = ehlo.lines.at(i).mid(4).trimmed();
        const qsizetype blank = text.indexOf(' ');
        const QByteArray keyword = (blank < 0 ? text : text.left(blank)).toUpper();
        const QByteArray parameters = blank < 0 ? QByteArray() : text.mid(blank + 1).trimmed();
        if (keyword.isEmpty())
            continue;
        QByteArray mechanisms;
        if (keyword == "AUTH") {
            mechanisms = parameters;
        } else if (keyword.startsWith("AUTH=")) {
            mechanisms = keyword.mid(5) + ' ' + parameters;
        } else {
            m_keywords.insert(keyword, parameters);
            if (keyword == "SIZE") {
                bool ok = false;
                const qint64 limit = parameters.toLongLong(&ok);
                m_sizeLimit = ok && limit > 0 ? limit : 0;
            }
            continue;
        }
        m_keywords.insert("AUTH", QByteArray());
        for (const QByteArray& mechanism : mechanisms.toUpper().split(' '))
            if (!mechanism.isEmpty())
                m_auth.insert(mechanism);
    }
}
