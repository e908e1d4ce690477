#include "shell/HelpPages.h"

#include "base/AppInfo.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>

namespace HelpPages {

namespace {

const QString Folder = QStringLiteral("qrc:/help/");

// "window|control|state" -> "page.html#place", read once from the list of
// topics shipped beside the pages.
const QHash<QString, QString>& Topics()
{
    static const QHash<QString, QString> topics = [] {
        QHash<QString, QString> read;
        QFile file(QStringLiteral(":/help/topics.txt"));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return read;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.isEmpty() || line.startsWith(u'#'))
                continue;
            const QStringList fields = line.split(u'\t', Qt::SkipEmptyParts);
            if (fields.size() == 2)
                read.insert(fields[0], fields[1]);
        }
        return read;
    }();
    return topics;
}

// The value of one query key of an address; the values are not encoded, so
// the query is split at "&" and each pair at its first "=".
QString QueryValue(const QString& address, QStringView key)
{
    const qsizetype query = address.indexOf(u'?');
    if (query < 0)
        return {};
    for (const QString& pair : address.mid(query + 1).split(u'&')) {
        const qsizetype equals = pair.indexOf(u'=');
        if (equals >= 0 && QStringView(pair).left(equals) == key)
            return pair.mid(equals + 1);
    }
    return {};
}

} // namespace

QString Tag(const Context& context)
{
    return context.window + u'|' + context.control + u'|' + QString::number(context.state);
}

std::optional<Context> ParseTag(const QString& tag)
{
    static const QRegularExpression shape(QStringLiteral("^([^|]*)\\|([^|]*)\\|([0-9])$"));
    const QRegularExpressionMatch match = shape.match(tag);
    if (!match.hasMatch())
        return std::nullopt;
    return Context{match.captured(1), match.captured(2), match.captured(3).toInt()};
}

QString Address(const Context& context)
{
    return AppInfo::HomePage() + QStringLiteral("/help/?p=") + AppInfo::ProductName() +
           QStringLiteral("&v=%1.%2.%3")
               .arg(AppInfo::Major)
               .arg(AppInfo::Minor)
               .arg(AppInfo::Revision) +
           QStringLiteral("&frm=") + context.window + QStringLiteral("&ctl=") + context.control +
           QStringLiteral("&state=") + QString::number(context.state);
}

QUrl PageFor(const QString& address)
{
    const QString window = QueryValue(address, u"frm");
    const QString control = QueryValue(address, u"ctl");
    const QString state = QueryValue(address, u"state");
    const QHash<QString, QString>& topics = Topics();
    for (const QString& key :
         {window + u'|' + control + u'|' + state, window + QStringLiteral("||0")}) {
        const auto found = topics.constFind(key);
        if (found != topics.cend())
            return QUrl(Folder + *found);
    }
    return MainPage();
}

QUrl MainPage()
{
    return QUrl(Folder + QStringLiteral("index.html"));
}

} // namespace HelpPages
