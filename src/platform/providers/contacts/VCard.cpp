#include "platform/providers/contacts/VCard.h"

#include <QStringDecoder>

#include <optional>

namespace {

// Index of the first ch outside double quotes, or -1.
qsizetype IndexOutsideQuotes(const QByteArray& text, char ch, qsizetype from = 0)
{
    bool quoted = false;
    for (qsizetype i = from; i < text.size(); ++i) {
        if (text[i] == '"')
            quoted = !quoted;
        else if (text[i] == ch && !quoted)
            return i;
    }
    return -1;
}

QList<QByteArray> SplitOutsideQuotes(const QByteArray& text, char ch)
{
    QList<QByteArray> parts;
    qsizetype start = 0;
    for (;;) {
        const qsizetype at = IndexOutsideQuotes(text, ch, start);
        if (at < 0) {
            parts.append(text.mid(start));
            return parts;
        }
        parts.append(text.mid(start, at - start));
        start = at + 1;
    }
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray DecodeQuotedPrintable(const QByteArray& in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '=' && i + 2 < in.size()) {
            const int hi = HexDigit(in[i + 1]);
            const int lo = HexDigit(in[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.append(char(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.append(in[i]);
    }
    return out;
}

QString DecodeText(const QByteArray& bytes, const QByteArray& charset)
{
    const QByteArray cs = charset.trimmed().toLower();
    if (!cs.isEmpty() && cs != "utf-8" && cs != "utf8") {
        QStringDecoder named(cs.constData());
        if (named.isValid()) {
            QString text = named.decode(bytes);
            if (!named.hasError())
                return text;
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    // Old exports without a charset are mostly Windows-1252.
    QStringDecoder cp1252("windows-1252");
    if (cp1252.isValid())
        return cp1252.decode(bytes);
    return QString::fromLatin1(bytes);
}

// Whether a property line's value is quoted-printable, by its name and
// parameters; a line without a ":" holds no value at all.
bool IsQuotedPrintable(const QByteArray& line)
{
    const qsizetype colon = IndexOutsideQuotes(line, ':');
    return colon >= 0 && line.left(colon).toUpper().contains("QUOTED-PRINTABLE");
}

// Properties that only carry pictures, sounds or keys.
bool IsBinaryProperty(const QString& name)
{
    return name == u"PHOTO" || name == u"LOGO" || name == u"SOUND" || name == u"KEY";
}

// Unfolds the document into logical lines: continuation lines start with a
// blank, and a quoted-printable value ending in "=" goes on in the next line.
QList<QByteArray> LogicalLines(const QByteArray& document)
{
    QList<QByteArray> lines;
    QByteArray current;
    bool haveCurrent = false;
    // Asked once per logical line, at its first "=" end: the answer cannot
    // change after that, and asking at every soft break of a long value
    // would read it again each time.
    std::optional<bool> quotedPrintable;
    for (QByteArray raw : document.split('\n')) {
        while (raw.endsWith('\r'))
            raw.chop(1);
        if (haveCurrent && !raw.isEmpty() && (raw[0] == ' ' || raw[0] == '\t')) {
            current += raw.mid(1);
            continue;
        }
        if (haveCurrent && current.endsWith('=')) {
            if (!quotedPrintable)
                quotedPrintable = IsQuotedPrintable(current);
            if (*quotedPrintable) {
                current.chop(1);
                current += raw;
                continue;
            }
        }
        if (haveCurrent)
            lines.append(current);
        current = raw;
        haveCurrent = true;
        quotedPrintable.reset();
    }
    if (haveCurrent)
        lines.append(current);
    return lines;
}

} // namespace

QList<VCardProperty> VCard::All(const QString& name) const
{
    QList<VCardProperty> found;
    for (const VCardProperty& property : Properties)
        if (property.Name == name)
            found.append(property);
    return found;
}

QString VCard::Text(const QString& name) const
{
    for (const VCardProperty& property : Properties)
        if (property.Name == name)
            return Unescape(property.Value);
    return QString();
}

QString VCard::Unescape(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar next = value[++i];
            if (next == u'n' || next == u'N')
                out += u'\n';
            else
                out += next; // \, \; \\ and anything else stand for themselves
            continue;
        }
        out += c;
    }
    return out;
}

QStringList VCard::Components(const QString& value)
{
    QStringList parts;
    QString part;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            part += c;
            part += value[++i];
        } else if (c == u';') {
            parts.append(Unescape(part));
            part.clear();
        } else {
            part += c;
        }
    }
    parts.append(Unescape(part));
    return parts;
}

QList<VCard> VCard::ParseAll(const QByteArray& document, bool* truncated)
{
    QList<VCard> cards;
    VCard card;
    int depth = 0;
    for (const QByteArray& line : LogicalLines(document)) {
        const qsizetype colon = IndexOutsideQuotes(line, ':');
        if (colon <= 0)
            continue;
        const QList<QByteArray> head = SplitOutsideQuotes(line.left(colon), ';');
        QByteArray name = head.first().trimmed();
        if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0)
            name = name.mid(dot + 1);
        const QString upperName = QString::fromLatin1(name).toUpper();
        const QByteArray raw = line.mid(colon + 1);

        if (upperName == u"BEGIN" && raw.trimmed().toUpper() == "VCARD") {
            if (++depth == 1)
                card = VCard();
            continue;
        }
        if (upperName == u"END" && raw.trimmed().toUpper() == "VCARD") {
            if (depth > 0 && --depth == 0)
                cards.append(std::move(card));
            continue;
        }
        // Nested cards (an AGENT's) belong to nobody we report.
        if (depth != 1 || IsBinaryProperty(upperName))
            continue;

        VCardProperty property;
        property.Name = upperName;
        QByteArray encoding;
        QByteArray charset;
        for (qsizetype i = 1; i < head.size(); ++i) {
            const QByteArray param = head[i].trimmed();
            const qsizetype eq = param.indexOf('=');
            const QByteArray key = (eq < 0 ? QByteArray() : param.left(eq).trimmed().toUpper());
            QByteArray value = (eq < 0 ? param : param.mid(eq + 1).trimmed());
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
                value = value.mid(1, value.size() - 2);
            if (key == "ENCODING") {
                encoding = value.toUpper();
            } else if (key == "CHARSET") {
                charset = value;
            } else if (key == "PREF") {
                bool ok = false;
                const int pref = value.toInt(&ok);
                if (ok && pref > 0)
                    property.Pref = pref;
            } else if (key == "TYPE" || key.isEmpty()) {
                const QByteArray upper = value.toUpper();
                if (key.isEmpty() && (upper == "QUOTED-PRINTABLE" || upper == "BASE64" || upper == "B")) {
                    encoding = upper;
                    continue;
                }
                for (const QByteArray& type : value.split(','))
                    if (!type.trimmed().isEmpty())
                        property.Types.append(QString::fromUtf8(type.trimmed()).toLower());
            }
        }
        if (encoding == "BASE64" || encoding == "B")
            continue;
        if (property.Pref == 0 && property.Types.contains(QStringLiteral("pref")))
            property.Pref = 1;
        const QByteArray bytes = encoding == "QUOTED-PRINTABLE" ? DecodeQuotedPrintable(raw) : raw;
        property.Value = DecodeText(bytes, charset);
        card.Properties.append(std::move(property));
    }
    if (truncated)
        *truncated = depth > 0;
    return cards;
}
