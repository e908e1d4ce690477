#include "platform/providers/sql/ConnectionString.h"

#include <QRegularExpression>

namespace {

const QRegularExpression::PatternOptions kWhole = QRegularExpression::DotMatchesEverythingOption;

// The layouts the recipient lists write. Where a value may hold the text of
// the next separator, the greedy group is the one whose value is most likely
// to (passwords), so that the separator found is the real one.
const QRegularExpression& SqlIntegrated()
{
    static const QRegularExpression re(
        QStringLiteral("^Provider=SQLOLEDB\\.1;Integrated Security=SSPI;Persist Security Info=False;"
                       "Data Source=(.*?);Initial Catalog=(.*);$"),
        kWhole);
    return re;
}

const QRegularExpression& SqlLogin()
{
    static const QRegularExpression re(
        QStringLiteral("^Provider=SQLOLEDB\\.1;Password=(.*);Persist Security Info=True;User ID=(.*?);"
                       "Data Source=(.*?);Initial Catalog=(.*);$"),
        kWhole);
    return re;
}

const QRegularExpression& AccessPlain()
{
    static const QRegularExpression re(
        QStringLiteral("^Provider=Microsoft\\.Jet\\.OLEDB\\.4\\.0;Data Source=(.*);Mode=Read;"
                       "Persist Security Info=False$"),
        kWhole);
    return re;
}

const QRegularExpression& AccessLogin()
{
    static const QRegularExpression re(
        QStringLiteral("^Provider=Microsoft\\.Jet\\.OLEDB\\.4\\.0;Data Source=(.*?);Mode=Read;"
                       "Persist Security Info=True;Password=(.*);User ID=(.*)$"),
        kWhole);
    return re;
}

const QRegularExpression& Excel()
{
    static const QRegularExpression re(
        QStringLiteral("^Provider=Microsoft\\.Jet\\.OLEDB\\.4\\.0;Extended Properties=\"Excel 8\\.0;"
                       "DATABASE=(.*?);HDR=(Yes|No)\";Mode=Read;Persist Security Info="
                       "(?:False|(True);Password=(.*);User ID=(.*))$"),
        kWhole);
    return re;
}

const QRegularExpression& Outlook()
{
    static const QRegularExpression re(
        QStringLiteral("^Provider=Microsoft\\.Jet\\.OLEDB\\.4\\.0;Outlook 9\\.0;MAPILEVEL=(.*?);TABLETYPE=(\\d+);"
                       "PROFILE=(.*?);PWD=(.*);DATABASE=c:\\\\temp;Mode=Read$"),
        kWhole);
    return re;
}

const QRegularExpression& OutlookBrowse()
{
    static const QRegularExpression re(
        QStringLiteral("^Provider=Microsoft\\.Jet\\.OLEDB\\.4\\.0;Outlook 9\\.0;MAPILEVEL=(.*?);TABLETYPE=(\\d+);"
                       "PROFILE=(.*);Database=c:\\\\temp;$"),
        kWhole);
    return re;
}

bool MatchBuilt(const QString& text, ConnectionString& cs)
{
    QRegularExpressionMatch m;
    if ((m = SqlIntegrated().match(text)).hasMatch()) {
        cs.kind = ConnectionString::Kind::SqlServer;
        cs.integratedSecurity = true;
        cs.server = m.captured(1);
        cs.database = m.captured(2);
    } else if ((m = SqlLogin().match(text)).hasMatch()) {
        cs.kind = ConnectionString::Kind::SqlServer;
        cs.password = m.captured(1);
        cs.user = m.captured(2);
        cs.server = m.captured(3);
        cs.database = m.captured(4);
        cs.hasCredentials = true;
    } else if ((m = AccessPlain().match(text)).hasMatch()) {
        cs.kind = ConnectionString::Kind::Access;
        cs.file = m.captured(1);
    } else if ((m = AccessLogin().match(text)).hasMatch()) {
        cs.kind = ConnectionString::Kind::Access;
        cs.file = m.captured(1);
        cs.password = m.captured(2);
        cs.user = m.captured(3);
        cs.hasCredentials = true;
    } else if ((m = Excel().match(text)).hasMatch()) {
        cs.kind = ConnectionString::Kind::Excel;
        cs.file = m.captured(1);
        cs.firstRowHasNames = m.captured(2) == QLatin1String("Yes");
        if (m.hasCaptured(3)) {
            cs.password = m.captured(4);
            cs.user = m.captured(5);
            cs.hasCredentials = true;
        }
    } else if ((m = Outlook().match(text)).hasMatch() || (m = OutlookBrowse().match(text)).hasMatch()) {
        cs.kind = ConnectionString::Kind::Outlook;
        cs.mapiLevel = m.captured(1);
        cs.tableType = m.captured(2).toInt();
        cs.profile = m.captured(3);
        if (m.lastCapturedIndex() >= 4) {
            cs.password = m.captured(4);
            cs.hasCredentials = true;
        }
    } else {
        return false;
    }
    cs.provider = text.section(u';', 0, 0).mid(int(sizeof("Provider=")) - 1);
    return true;
}

bool IsTrue(const QString& value)
{
    return value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0
           || value.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0
           || value.compare(QLatin1String("sspi"), Qt::CaseInsensitive) == 0;
}

// A hand-written OLE DB string (the advanced type may hold one).
bool ReadOleDb(const ConnectionString::Items& items, ConnectionString& cs)
{
    bool hasProvider = false;
    const QString provider = ConnectionString::ItemValue(items, QStringLiteral("Provider"), &hasProvider);
    if (!hasProvider)
        return false;
    const auto value = [&items](const char* key) {
        return ConnectionString::ItemValue(items, QString::fromLatin1(key));
    };
    bool found = false;
    if (provider.startsWith(QLatin1String("SQLOLEDB"), Qt::CaseInsensitive)
        || provider.startsWith(QLatin1String("SQLNCLI"), Qt::CaseInsensitive)
        || provider.startsWith(QLatin1String("MSOLEDBSQL"), Qt::CaseInsensitive)) {
        cs.kind = ConnectionString::Kind::SqlServer;
        cs.server = value("Data Source");
        if (cs.server.isEmpty())
            cs.server = value("Server");
        cs.database = value("Initial Catalog");
        if (cs.database.isEmpty())
            cs.database = value("Database");
        cs.integratedSecurity = IsTrue(value("Integrated Security")) || IsTrue(value("Trusted_Connection"));
        cs.user = ConnectionString::ItemValue(items, QStringLiteral("User ID"), &found);
        cs.hasCredentials = found;
        cs.password = value("Password");
    } else if (provider.startsWith(QLatin1String("Microsoft.Jet.OLEDB"), Qt::CaseInsensitive)
               || provider.startsWith(QLatin1String("Microsoft.ACE.OLEDB"), Qt::CaseInsensitive)) {
        const QString extended = value("Extended Properties");
        ConnectionString::ItemValue(items, QStringLiteral("Outlook 9.0"), &found);
        if (found) {
            cs.kind = ConnectionString::Kind::Outlook;
            cs.mapiLevel = value("MAPILEVEL");
            cs.tableType = value("TABLETYPE").toInt();
            cs.profile = value("PROFILE");
            cs.password = value("PWD");
        } else if (extended.startsWith(QLatin1String("Excel"), Qt::CaseInsensitive)) {
            const ConnectionString::Items inner = ConnectionString::SplitItems(extended);
            cs.kind = ConnectionString::Kind::Excel;
            cs.file = ConnectionString::ItemValue(inner, QStringLiteral("DATABASE"));
            if (cs.file.isEmpty())
                cs.file = value("Data Source");
            const QString hdr = ConnectionString::ItemValue(inner, QStringLiteral("HDR"), &found);
            cs.firstRowHasNames = !found || IsTrue(hdr);
        } else {
            cs.kind = ConnectionString::Kind::Access;
            cs.file = value("Data Source");
        }
        if (cs.kind != ConnectionString::Kind::Outlook) {
            cs.user = ConnectionString::ItemValue(items, QStringLiteral("User ID"), &found);
            cs.hasCredentials = found;
            cs.password = value("Password");
        }
    } else {
        return false;
    }
    cs.provider = provider;
    return true;
}

} // namespace

ConnectionString::Items ConnectionString::SplitItems(const QString& text)
{
    Items items;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        // key: up to "=" or ";"
        QString key;
        while (i < n && text[i] != u'=' && text[i] != u';')
            key += text[i++];
        key = key.trimmed();
        QString value;
        if (i < n && text[i] == u'=') {
            ++i;
            while (i < n && text[i].isSpace())
                ++i;
            const QChar open = i < n ? text[i] : QChar();
            if (open == u'"' || open == u'\'' || open == u'{') {
                const QChar close = open == u'{' ? QChar(u'}') : open;
                ++i;
                bool closed = false;
                while (i < n) {
                    if (text[i] == close) {
                        // a doubled closing mark stands for one
                        if (i + 1 < n && text[i + 1] == close) {
                            value += close;
                            i += 2;
                            continue;
                        }
                        ++i;
                        closed = true;
                        break;
                    }
                    value += text[i++];
                }
                if (!closed)
                    value.prepend(open); // unbalanced: keep the text as written
                while (i < n && text[i] != u';')
                    ++i;
            } else {
                while (i < n && text[i] != u';')
                    value += text[i++];
                value = value.trimmed();
            }
        }
        if (i < n && text[i] == u';')
            ++i;
        if (!key.isEmpty())
            items.append({key, value});
    }
    return items;
}

QString ConnectionString::ItemValue(const Items& items, const QString& key, bool* found)
{
    for (const auto& item : items) {
        if (item.first.compare(key, Qt::CaseInsensitive) == 0) {
            if (found)
                *found = true;
            return item.second;
        }
    }
    if (found)
        *found = false;
    return {};
}

ConnectionString ConnectionString::Parse(const QString& text)
{
    ConnectionString cs;
    cs.text = text;
    if (text.trimmed().isEmpty())
        return cs;
    if (MatchBuilt(text, cs))
        return cs;
    if (ReadOleDb(SplitItems(text), cs))
        return cs;
    cs.kind = Kind::Odbc;
    return cs;
}
