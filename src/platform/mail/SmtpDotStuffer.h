#pragma once

#include <QByteArray>

// The message as the DATA command carries it (RFC 5321 4.5.2): a line that
// begins with "." gets a second one in front, and ".\r\n" on a line of its
// own ends the data. The message may come in pieces of any size.
class SmtpDotStuffer
{
public:
    // Appends the piece, escaped, to `out`.
    void Add(const char* data, qsizetype size, QByteArray& out);
    // Appends the end of the data, after a line break if the message lacks
    // one. The stuffer is then ready for the next message.
    void Finish(QByteArray& out);

private:
    bool m_lineStart = true;
};
