#include "base/Texts.h"

#include "base/AppInfo.h"

#include <QFile>
#include <QRegularExpression>

namespace Texts {

namespace {

QString unescape(QStringView raw)
{
    QString out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c == u'\\' && i + 1 < raw.size()) {
            const QChar n = raw[++i];
            if (n == u'n')
                out += u'\n';
            else if (n == u't')
                out += u'\t';
            else if (n == u'r')
                out += u'\r';
            else
                out += n;
        } else {
            out += c;
        }
    }
    return out;
}

const QMap<int, QString>& table()
{
    static const QMap<int, QString> texts = [] {
        QFile file(QString::fromLatin1(TablePath));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("The string table %s is missing from the program's resources", TablePath);
        return ParseTable(file.readAll()).texts;
    }();
    return texts;
}

} // namespace

Table ParseTable(const QByteArray& data)
{
    Table result;
    const QStringList lines = QString::fromUtf8(data).split(u'\n');
    for (qsizetype n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        bool ok = false;
        const int id = tab > 0 ? line.left(tab).toInt(&ok) : 0;
        if (!ok) {
            result.problems << QStringLiteral("line %1: no id before a tab").arg(n + 1);
            continue;
        }
        if (result.texts.contains(id)) {
            result.problems << QStringLiteral("line %1: id %2 appears twice").arg(n + 1).arg(id);
            continue;
        }
        result.texts.insert(id, unescape(QStringView(line).mid(tab + 1)));
    }
    return result;
}

QString LoadResString(int id)
{
    return table().value(id);
}

QString Filled(int id, const QList<std::pair<const char*, QString>>& values)
{
    QString text = LoadResString(id);
    for (const auto& [token, value] : values)
        text.replace(QLatin1String(token), value);
    return text;
}

QString ReplaceAppTokens(QString text)
{
    text.replace(QStringLiteral("#APP_PRODUCTNAME#"), AppInfo::ProductName());
    text.replace(QStringLiteral("#APP_MAJOR#"), QString::number(AppInfo::Major));
    text.replace(QStringLiteral("#APP_MINOR#"), QString::number(AppInfo::Minor));
    return text;
}

QString BalloonTitle(const QString& text)
{
    const qsizetype bar = text.indexOf(u'|');
    return bar < 0 ? text : text.left(bar);
}

QString BalloonBody(const QString& text)
{
    const qsizetype bar = text.lastIndexOf(u'|');
    return bar < 0 ? text : text.mid(bar + 1);
}

QString MessageBoxText(const QString& text, int lineBreaks)
{
    QString copy = text;
    return copy.replace(u'|', QString(lineBreaks, u'\n'));
}

bool HasBalancedTokens(const QString& text)
{
    // Every "#" must open or close a token of upper-case letters, digits and
    // underscores; a stray one means a token was mistyped.
    static const QRegularExpression token(QStringLiteral("#[A-Z][A-Z0-9_]*#"));
    QString rest = text;
    rest.remove(token);
    return !rest.contains(u'#');
}

} // namespace Texts
