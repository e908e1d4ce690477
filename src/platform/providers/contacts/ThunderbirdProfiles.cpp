#include "platform/providers/contacts/ThunderbirdProfiles.h"

#include "platform/providers/contacts/ContactsError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>

namespace {

struct IniSection
{
    QString Name;
    QList<QPair<QString, QString>> Entries;

    QString Value(const QString& key) const
    {
        for (const auto& [k, v] : Entries)
            if (k.compare(key, Qt::CaseInsensitive) == 0)
                return v;
        return QString();
    }
};

QList<IniSection> ParseSections(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    QList<IniSection> sections;
    for (QString line : text.split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            sections.append(IniSection{line.mid(1, line.size() - 2).trimmed(), {}});
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0 || sections.isEmpty())
            continue;
        sections.last().Entries.append({line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
    }
    return sections;
}

// The same folder whatever its spelling in profiles.ini.
QString Normalized(const QString& path)
{
    return QDir::cleanPath(path);
}

} // namespace

QString ThunderbirdProfiles::ApplyCharacterTable(QString text)
{
    // Each sequence is given as the hexadecimal codes of its three characters.
    static const struct { const char* hex; char16_t letter; } table[] = {
        {"5B747C", u'Ä'}, {"5B757C", u'Å'}, {"5B767C", u'Æ'}, {"5B7B7C", u'Ë'}, {"5B767D", u'Ö'},
        {"5B787D", u'Ø'}, {"5B7C7D", u'Ü'}, {"5B747E", u'ä'}, {"5B757E", u'å'}, {"5B767E", u'æ'},
        {"5B767F", u'ö'}, {"5B787F", u'ø'}, {"5B7C7F", u'ü'},
    };
    for (const auto& entry : table) {
        const QString sequence = QString::fromLatin1(QByteArray::fromHex(entry.hex));
        text.replace(sequence, QString(QChar(entry.letter)));
    }
    return text;
}

QList<ThunderbirdProfiles::Profile> ThunderbirdProfiles::ParseIni(const QByteArray& ini, const QString& root)
{
    const QList<IniSection> sections = ParseSections(ini);
    const QDir rootDir(root);

    QString installDefault;
    for (const IniSection& section : sections) {
        if (section.Name.startsWith(QLatin1String("Install"), Qt::CaseInsensitive)) {
            installDefault = section.Value(QStringLiteral("Default"));
            if (!installDefault.isEmpty())
                break;
        }
    }

    QList<Profile> profiles;
    QList<bool> markedDefault;
    for (const IniSection& section : sections) {
        if (!section.Name.startsWith(QLatin1String("Profile"), Qt::CaseInsensitive))
            continue;
        const QString name = section.Value(QStringLiteral("Name"));
        const QString path = section.Value(QStringLiteral("Path"));
        if (name.isEmpty() || path.isEmpty())
            continue;
        const bool relative = section.Value(QStringLiteral("IsRelative")) != u"0";
        Profile profile;
        profile.Name = ApplyCharacterTable(name);
        profile.Folder = Normalized(relative ? rootDir.absoluteFilePath(path) : path);
        if (!installDefault.isEmpty())
            profile.IsDefault =
                profile.Folder == Normalized(QDir::isRelativePath(installDefault)
                                                 ? rootDir.absoluteFilePath(installDefault)
                                                 : installDefault);
        markedDefault.append(section.Value(QStringLiteral("Default")) == u"1");
        profiles.append(profile);
    }

    const bool anyInstallDefault =
        std::any_of(profiles.cbegin(), profiles.cend(), [](const Profile& p) { return p.IsDefault; });
    if (!anyInstallDefault) {
        const qsizetype marked = markedDefault.indexOf(true);
        if (marked >= 0)
            profiles[marked].IsDefault = true;
        else if (profiles.size() == 1)
            profiles[0].IsDefault = true;
    }
    return profiles;
}

QStringList ThunderbirdProfiles::RootFolders(const QString& home)
{
    const QDir dir(home);
    return {
        dir.filePath(QStringLiteral(".thunderbird")),
        dir.filePath(QStringLiteral(".mozilla-thunderbird")),
        dir.filePath(QStringLiteral("snap/thunderbird/common/.thunderbird")),
        dir.filePath(QStringLiteral(".var/app/org.mozilla.Thunderbird/.thunderbird")),
    };
}

QList<ThunderbirdProfiles::Profile> ThunderbirdProfiles::List(const QString& home)
{
    QList<Profile> all;
    QSet<QString> names;
    bool haveDefault = false;
    for (const QString& root : RootFolders(home)) {
        QFile ini(root + QStringLiteral("/profiles.ini"));
        if (!ini.open(QIODevice::ReadOnly))
            continue;
        constexpr qint64 kMaxBytes = qint64(1) << 20;
        for (Profile profile : ParseIni(ini.read(kMaxBytes), root)) {
            if (names.contains(profile.Name))
                continue;
            names.insert(profile.Name);
            // Only the first folder's default counts; later ones are other installations.
            if (profile.IsDefault && haveDefault)
                profile.IsDefault = false;
            haveDefault = haveDefault || profile.IsDefault;
            all.append(profile);
        }
    }
    return all;
}

QList<ThunderbirdProfiles::Profile> ThunderbirdProfiles::List()
{
    return List(QDir::homePath());
}

QString ThunderbirdProfiles::ListText(const QString& home)
{
    QStringList lines;
    for (const Profile& profile : List(home))
        lines.append(profile.Name + u'\t' + (profile.IsDefault ? u'1' : u'0'));
    return lines.join(QStringLiteral("\r\n"));
}

QString ThunderbirdProfiles::ListText()
{
    return ListText(QDir::homePath());
}

ThunderbirdProfiles::Profile ThunderbirdProfiles::Find(const QString& home, const QString& name)
{
    for (const Profile& profile : List(home))
        if (profile.Name == name)
            return profile;
    return Profile();
}

ThunderbirdProfiles::Profile ThunderbirdProfiles::FindDefault(const QString& home)
{
    for (const Profile& profile : List(home))
        if (profile.IsDefault)
            return profile;
    return Profile();
}

ThunderbirdProfiles::Profile ThunderbirdProfiles::Require(const QString& home, const QString& name)
{
    const Profile profile = Find(home, name);
    if (profile.Folder.isEmpty())
        ContactsError::Raise(ContactsError::NoProfile,
                             QStringLiteral("There is no mail profile named \"%1\".").arg(name));
    if (!QFileInfo(profile.Folder).isDir())
        ContactsError::Raise(ContactsError::NoProfile,
                             QStringLiteral("The folder of the mail profile \"%1\" is missing: %2")
                                 .arg(name, profile.Folder));
    return profile;
}
