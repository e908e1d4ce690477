#include "platform/mail/MailAddress.h"

#include "platform/mail/OutgoingMessage.h"
#include "base/AppError.h"

#include <QHostAddress>
#include <QUrl>

#include <algorithm>

namespace {

const QString Source = QStringLiteral("MailAddress");

[[noreturn]] void Refuse(const QString& field, const QString& piece)
{
    throw AppError(MailError::InvalidArgument, Source,
                   QStringLiteral("Invalid e-mail address in %1: \"%2\"").arg(field, piece));
}

// Splits at separators that stand outside quotes, <...> and (...).
QStringList SplitAddresses(const QString& text)
{
    QStringList pieces;
    QString current;
    bool quoted = false;
    bool angle = false;
    int comment = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            current += c;
            if (c == u'\\' && i + 1 < text.size())
                current += text.at(++i);
            else if (c == u'"')
                quoted = false;
            continue;
        }
        if (comment > 0) {
            current += c;
            if (c == u'\\' && i + 1 < text.size())
                current += text.at(++i);
            else if (c == u'(')
                ++comment;
            else if (c == u')')
                --comment;
            continue;
        }
        if (c == u'"')
            quoted = true;
        else if (c == u'(')
            comment = 1;
        else if (c == u'<')
            angle = true;
        else if (c == u'>')
            angle = false;
        else if ((c == u',' || c == u';') && !angle) {
            pieces.append(current);
            current.clear();
            continue;
        }
        current += c;
    }
    pieces.append(current);
    return pieces;
}

// The display name: quoted strings lose their quotes and escapes, comments
// go, runs of blanks become one.
bool ReadPhrase(const QString& text, QString& name)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'"') {
            for (++i; i < text.size() && text.at(i) != u'"'; ++i) {
                if (text.at(i) == u'\\' && i + 1 < text.size())
                    ++i;
                out += text.at(i);
            }
            if (i >= text.size())
                return false; // unclosed quote
        } else if (c == u'(') {
            int depth = 1;
            for (++i; i < text.size() && depth > 0; ++i) {
                if (text.at(i) == u'\\')
                    ++i;
                else if (text.at(i) == u'(')
                    ++depth;
                else if (text.at(i) == u')')
                    --depth;
            }
            if (depth > 0)
                return false;
            --i;
            out += u' ';
        } else if (c == u'<' || c == u'>' || c == u')') {
            return false;
        } else {
            out += c;
        }
    }
    name = out.simplified();
    return true;
}

QString WithoutComments(const QString& text, bool& ok)
{
    QString out;
    int depth = 0;
    ok = true;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (depth > 0) {
            if (c == u'\\')
                ++i;
            else if (c == u'(')
                ++depth;
            else if (c == u')')
                --depth;
        } else if (c == u'(') {
            depth = 1;
        } else if (c == u')') {
            ok = false;
        } else {
            out += c;
        }
    }
    if (depth > 0)
        ok = false;
    return out.trimmed();
}

bool IsAscii(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

// The address with its domain in ASCII; empty when the domain has no
// A-label form. An ASCII domain stays as written.
QString WithAsciiDomain(const QString& address)
{
    const qsizetype at = address.lastIndexOf(u'@');
    const QString domain = address.mid(at + 1);
    if (IsAscii(domain))
        return address;
    const QByteArray ace = QUrl::toAce(domain);
    return ace.isEmpty() ? QString() : address.left(at + 1) + QString::fromLatin1(ace);
}

MailAddress ParsePiece(const QString& piece, const QString& field)
{
    MailAddress result;
    // The first '<' outside quotes starts the address.
    qsizetype open = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < piece.size(); ++i) {
        const QChar c = piece.at(i);
        if (quoted) {
            if (c == u'\\')
                ++i;
            else if (c == u'"')
                quoted = false;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u'<') {
            open = i;
            break;
        }
    }
    bool ok = true;
    if (open >= 0) {
        const qsizetype close = piece.indexOf(u'>', open + 1);
        if (close < 0 || !ReadPhrase(piece.left(open), result.name))
            Refuse(field, piece);
        const QString rest = WithoutComments(piece.mid(close + 1), ok);
        if (!ok || !rest.isEmpty())
            Refuse(field, piece);
        result.address = piece.mid(open + 1, close - open - 1).trimmed();
    } else {
        result.address = WithoutComments(piece, ok);
        if (!ok)
            Refuse(field, piece);
    }
    if (!MailAddresses::IsUsableAddress(result.address))
        Refuse(field, piece);
    result.address = WithAsciiDomain(result.address);
    if (result.address.isEmpty())
        Refuse(field, piece);
    return result;
}

} // namespace

namespace MailAddresses {

bool IsUsableAddress(const QString& address)
{
    const qsizetype at = address.lastIndexOf(u'@');
    if (at <= 0 || at == address.size() - 1)
        return false;
    for (const QChar c : address) {
        if (c.unicode() < 0x21 || c.unicode() == 0x7f || c.isSpace())
            return false;
        switch (c.unicode()) {
        case '<': case '>': case '(': case ')': case '"': case '\\': case ',': case ';':
            return false;
        default:
            break;
        }
    }
    const QString local = address.left(at);
    const QString domain = address.mid(at + 1);
    if (local.contains(u'@') || local.contains(u'[') || local.contains(u']'))
        return false;
    if (domain.startsWith(u'[') != domain.endsWith(u']'))
        return false;
    if (domain.startsWith(u'.') || domain.endsWith(u'.') || domain.contains(QStringLiteral("..")))
        return false;
    return true;
}

bool IsInternetAddress(const QString& address)
{
    const qsizetype at = address.lastIndexOf(u'@');
    if (at <= 0)
        return false;
    const QStringView local = QStringView(address).left(at);
    const QStringView domain = QStringView(address).mid(at + 1);
    // Checked character by character: a million To values are read before
    // a large run.
    static const QString atextSigns = QStringLiteral("!#$%&'*+-/=?^_`{|}~");
    qsizetype utf8Bytes = 0;
    QChar previous = u'.';
    for (const QChar c : local) {
        const char16_t u = c.unicode();
        utf8Bytes += u < 0x80 ? 1 : u < 0x800 ? 2 : c.isSurrogate() ? 2 : 3;
        if (u == '.') {
            if (previous == u'.')
                return false;
        } else if (u < 0x80 && !c.isLetterOrNumber() && !atextSigns.contains(c)) {
            return false;
        }
        previous = c;
    }
    if (previous == u'.' || utf8Bytes > 64)
        return false;
    if (domain.startsWith(u'[') && domain.endsWith(u']')) {
        QStringView literal = domain.mid(1, domain.size() - 2);
        if (literal.startsWith(QLatin1String("IPv6:"), Qt::CaseInsensitive))
            return QHostAddress(literal.mid(5).toString()).protocol() == QAbstractSocket::IPv6Protocol;
        return QHostAddress(literal.toString()).protocol() == QAbstractSocket::IPv4Protocol;
    }
    if (domain.isEmpty() || domain.size() > 253)
        return false;
    qsizetype labelStart = 0;
    int labels = 0;
    bool numericLabel = true;
    for (qsizetype i = 0; i <= domain.size(); ++i) {
        if (i == domain.size() || domain[i] == u'.') {
            const qsizetype length = i - labelStart;
            if (length == 0 || length > 63 || domain[labelStart] == u'-' || domain[i - 1] == u'-')
                return false;
            ++labels;
            if (i < domain.size())
                numericLabel = true;
            labelStart = i + 1;
            continue;
        }
        const char16_t u = domain[i].unicode();
        const bool digit = u >= '0' && u <= '9';
        if (!(digit || u == '-' || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z')))
            return false;
        numericLabel = numericLabel && digit;
    }
    // The last label, a top-level domain, is never a number.
    return labels >= 2 && !numericLabel;
}

bool HasInternationalLocalPart(const QString& address)
{
    return !IsAscii(address.left(address.lastIndexOf(u'@')));
}

QList<MailAddress> ParseList(const QString& text, const QString& field)
{
    QList<MailAddress> addresses;
    for (const QString& piece : SplitAddresses(text)) {
        const QString trimmed = piece.trimmed();
        if (!trimmed.isEmpty())
            addresses.append(ParsePiece(trimmed, field));
    }
    if (addresses.isEmpty())
        throw AppError(MailError::InvalidArgument, Source,
                       QStringLiteral("No e-mail address in %1").arg(field));
    return addresses;
}

MailAddress ParseOne(const QString& text, const QString& field)
{
    const QList<MailAddress> addresses = ParseList(text, field);
    if (addresses.size() != 1)
        throw AppError(MailError::InvalidArgument, Source,
                       QStringLiteral("%1 must hold exactly one e-mail address: \"%2\"")
                           .arg(field, text.trimmed()));
    return addresses.first();
}

} // namespace MailAddresses
