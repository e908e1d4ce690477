// Fuzz target: what an SMTP server sends back, cut into replies in pieces
// of every size the input's first byte picks, and each reply read as an
// EHLO answer. The same bytes as a message must come out of the DATA
// escaping and back unchanged.
#include "platform/mail/SmtpDotStuffer.h"
#include "platform/mail/SmtpReply.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Undoes the escaping: drops the end line and one dot at each line start.
QByteArray Unstuff(QByteArray data)
{
    if (!data.endsWith(".\r\n"))
        abort();
    data.chop(3);
    QByteArray out;
    bool lineStart = true;
    for (char c : data) {
        if (lineStart && c == '.') {
            lineStart = false;
            continue;
        }
        out.append(c);
        lineStart = c == '\n';
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* bytes = reinterpret_cast<const char*>(data);
    const qsizetype piece = size > 0 ? 1 + data[0] % 64 : 1;

    SmtpReplyParser parser;
    for (qsizetype at = 0; at < qsizetype(size); at += piece) {
        parser.Feed(bytes + at, std::min<qsizetype>(piece, qsizetype(size) - at));
        while (std::optional<SmtpReply> reply = parser.Next()) {
            if (reply->lines.isEmpty() || reply->code < 200 || reply->code > 599)
                abort();
            (void)reply->EnhancedStatus();
            (void)reply->Text();
            const SmtpExtensions extensions(*reply);
            (void)extensions.SizeLimit();
        }
    }

    SmtpDotStuffer stuffer;
    QByteArray stuffed;
    for (qsizetype at = 0; at < qsizetype(size); at += piece)
        stuffer.Add(bytes + at, std::min<qsizetype>(piece, qsizetype(size) - at), stuffed);
    stuffer.Finish(stuffed);
    QByteArray expected(bytes, qsizetype(size));
    if (!expected.isEmpty() && !expected.endsWith('\n'))
        expected.append("\r\n");
    if (Unstuff(stuffed) != expected)
        abort();
    return 0;
}
