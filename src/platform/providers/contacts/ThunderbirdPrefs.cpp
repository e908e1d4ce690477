#include "platform/providers/contacts/ThunderbirdPrefs.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>

namespace {

// A small reader of the statements prefs.js holds. It works on UTF-16 text
// so that \u escapes and non-ASCII names come out whole.
class PrefsLexer
{
public:
    explicit PrefsLexer(const QString& text) : m_text(text) {}

    bool AtEnd()
    {
        SkipBlanksAndComments();
        return m_pos >= m_text.size();
    }

    // One statement; false when it cannot be read, with the position moved
    // past it so that reading goes on with the next one.
    bool Statement(QString& name, QVariant& value)
    {
        const qsizetype start = m_pos;
        if (ReadStatement(name, value))
            return true;
        SkipToStatementEnd(start);
        return false;
    }

private:
    bool ReadStatement(QString& name, QVariant& value)
    {
        const QString keyword = Identifier();
        if (keyword != u"user_pref" && keyword != u"pref" && keyword != u"sticky_pref")
            return false;
        if (!Expect(u'('))
            return false;
        if (!String(name) || !Expect(u','))
            return false;
        SkipBlanksAndComments();
        if (Peek() == u'"' || Peek() == u'\'') {
            QString text;
            if (!String(text))
                return false;
            value = text;
        } else if (Peek() == u'-' || Peek() == u'+' || Peek().isDigit()) {
            const qsizetype start = m_pos++;
            while (m_pos < m_text.size() && m_text[m_pos].isDigit())
                ++m_pos;
            bool ok = false;
            const qlonglong number = m_text.mid(start, m_pos - start).toLongLong(&ok);
            if (!ok)
                return false;
            value = number;
        } else {
            const QString word = Identifier();
            if (word == u"true")
                value = true;
            else if (word == u"false")
                value = false;
            else
                return false;
        }
        return Expect(u')') && Expect(u';');
    }

    QChar Peek() const { return m_pos < m_text.size() ? m_text[m_pos] : QChar(); }

    void SkipBlanksAndComments()
    {
        while (m_pos < m_text.size()) {
            const QChar c = m_text[m_pos];
            if (c.isSpace()) {
                ++m_pos;
            } else if (c == u'#' || m_text.mid(m_pos, 2) == u"//") {
                while (m_pos < m_text.size() && m_text[m_pos] != u'\n')
                    ++m_pos;
            } else if (m_text.mid(m_pos, 2) == u"/*") {
                const qsizetype end = m_text.indexOf(QStringLiteral("*/"), m_pos + 2);
                if (end < 0) {
                    // A comment that never closes holds the rest of the file.
                    // Dropping that rest also keeps a statement that fails
                    // here from searching it again line after line.
                    m_text.truncate(m_pos);
                    return;
                }
                m_pos = end + 2;
            } else {
                return;
            }
        }
    }

    QString Identifier()
    {
        SkipBlanksAndComments();
        const qsizetype start = m_pos;
        while (m_pos < m_text.size() && (m_text[m_pos].isLetterOrNumber() || m_text[m_pos] == u'_'))
            ++m_pos;
        return m_text.mid(start, m_pos - start);
    }

    bool Expect(QChar c)
    {
        SkipBlanksAndComments();
        if (Peek() != c)
            return false;
        ++m_pos;
        return true;
    }

    bool Hex(int digits, uint& out)
    {
        if (m_pos + digits > m_text.size())
            return false;
        bool ok = false;
        out = m_text.mid(m_pos, digits).toUInt(&ok, 16);
        if (!ok)
            return false;
        m_pos += digits;
        return true;
    }

    // A quoted string with the escapes the preference files use.
    bool String(QString& out)
    {
        SkipBlanksAndComments();
        const QChar quote = Peek();
        if (quote != u'"' && quote != u'\'')
            return false;
        ++m_pos;
        out.clear();
        while (m_pos < m_text.size()) {
            const QChar c = m_text[m_pos++];
            if (c == quote)
                return true;
            if (c == u'\n')
                return false; // a string never spans lines
            if (c != u'\\') {
                out += c;
                continue;
            }
            if (m_pos >= m_text.size())
                return false;
            const QChar e = m_text[m_pos++];
            uint code = 0;
            switch (e.unicode()) {
            case u'"': case u'\'': case u'\\': out += e; break;
            case u'n': out += u'\n'; break;
            case u'r': out += u'\r'; break;
            case u't': out += u'\t'; break;
            case u'x':
                if (!Hex(2, code))
                    return false;
                out += QChar(char16_t(code));
                break;
            case u'u':
                if (!Hex(4, code))
                    return false;
                out += QChar(char16_t(code));
                break;
            default:
                return false; // an escape we do not know: the statement is dropped
            }
        }
        return false;
    }

    // After a failed statement: on past the next ";" outside strings, or to
    // the end of the line when there is none on it.
    void SkipToStatementEnd(qsizetype start)
    {
        m_pos = start;
        QChar quote;
        while (m_pos < m_text.size()) {
            const QChar c = m_text[m_pos++];
            if (c == u'\n')
                return;
            if (!quote.isNull()) {
                if (c == u'\\')
                    ++m_pos;
                else if (c == quote)
                    quote = QChar();
            } else if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (c == u';') {
                return;
            }
        }
    }

    QString m_text;
    qsizetype m_pos = 0;
};

} // namespace

ThunderbirdPrefs ThunderbirdPrefs::Parse(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    ThunderbirdPrefs prefs;
    PrefsLexer lexer(text);
    while (!lexer.AtEnd()) {
        QString name;
        QVariant value;
        if (lexer.Statement(name, value))
            prefs.m_values.insert(name, value); // a later line wins, as on load
    }
    return prefs;
}

ThunderbirdPrefs ThunderbirdPrefs::Load(const QString& profileFolder)
{
    QFile file(profileFolder + QStringLiteral("/prefs.js"));
    if (!file.open(QIODevice::ReadOnly))
        return ThunderbirdPrefs();
    // Far beyond any real prefs.js; a bigger file is not read into memory.
    // Asking for the file's own size: read() sets aside all it is asked for.
    constexpr qint64 kMaxBytes = qint64(64) << 20;
    return Parse(file.read(std::min(file.size(), kMaxBytes)));
}

QString ThunderbirdPrefs::Text(const QString& name) const
{
    const QVariant value = m_values.value(name);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return value.toString();
}

QString ThunderbirdPrefs::DefaultSmtpId() const
{
    QString id = Text(QStringLiteral("mail.smtp.defaultserver")).trimmed();
    if (id.isEmpty())
        id = Text(QStringLiteral("mail.smtpservers")).split(u',').value(0).trimmed();
    return id;
}

QString ThunderbirdPrefs::DefaultSmtpServer() const
{
    const QString id = DefaultSmtpId();
    return id.isEmpty() ? QString() : Text(QStringLiteral("mail.smtpserver.%1.hostname").arg(id)).trimmed();
}

QString ThunderbirdPrefs::DefaultSmtpUsername() const
{
    const QString id = DefaultSmtpId();
    if (id.isEmpty() || DefaultSmtpServer().isEmpty())
        return QString();
    return Text(QStringLiteral("mail.smtpserver.%1.username").arg(id));
}
