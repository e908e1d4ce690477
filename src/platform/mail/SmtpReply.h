#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

// One reply of an SMTP server: its code and its lines as received, the
// code and separator included ("250-SIZE 1000", "250 HELP").
struct SmtpReply
{
    int code = 0;
    QByteArrayList lines;

    bool Positive() const { return code >= 200 && code < 400; }
    // The enhanced status code ("5.1.1") at the start of the first line's
    // text, when its class matches the reply code's; empty otherwise.
    QString EnhancedStatus() const;
    // The server's own words for the error log: every line, joined by line
    // breaks; bytes that are not UTF-8 are replaced.
    QString Text() const;
};

// Cuts the bytes a server sends into replies. Lines may end in CRLF or a
// bare LF and arrive in any pieces; a reply of several lines ends at the
// line whose code is followed by a blank or nothing.
class SmtpReplyParser
{
public:
    // Far above what servers send; a peer that goes past them is not
    // speaking SMTP and must not fill the memory.
    static constexpr qsizetype MaxLineLength = 16 * 1024;
    static constexpr int MaxLines = 1000;

    void Feed(const char* data, qsizetype size);
    void Feed(const QByteArray& bytes) { Feed(bytes.constData(), bytes.size()); }

    // The next whole reply, or nothing until more bytes come. Nothing also
    // once the stream was found not to be SMTP (Problem() says why).
    std::optional<SmtpReply> Next();

    const QString& Problem() const { return m_problem; }
    // Bytes received and not yet part of a whole reply.
    qsizetype Pending() const { return m_buffer.size() - m_start; }

private:
    void Fail(const QString& problem);

    QByteArray m_buffer;
    qsizetype m_start = 0; // where the unread bytes begin
    SmtpReply m_partial;   // the lines of a reply still going on
    QString m_problem;
};

// What a server offers in its EHLO reply, one keyword per line after the
// first (RFC 5321 4.1.1.1).
class SmtpExtensions
{
public:
    SmtpExtensions() = default;
    explicit SmtpExtensions(const SmtpReply& ehlo);

    bool Has(const QByteArray& keyword) const { return m_keywords.contains(keyword); }
    // The SIZE limit in bytes; 0 when there is none or none is stated.
    qint64 SizeLimit() const { return m_sizeLimit; }
    // Mechanisms of the AUTH line (and of the older "AUTH=" form), upper case.
    const QSet<QByteArray>& AuthMechanisms() const { return m_auth; }

private:
    QHash<QByteArray, QByteArray> m_keywords; // upper-case keyword -> its parameters
    QSet<QByteArray> m_auth;
    qint64 m_sizeLimit = 0;
};
