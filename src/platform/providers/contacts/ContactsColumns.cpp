#include "platform/providers/contacts/ContactsColumns.h"

#include "platform/providers/contacts/VCard.h"

#include <QRegularExpression>

#include <algorithm>
#include <climits>

namespace ContactsColumns {

namespace {

constexpr qint64 kTextSize = 4000;

QString JoinLines(const QString& first, const QString& second)
{
    if (first.isEmpty())
        return second;
    if (second.isEmpty())
        return first;
    return first + u'\n' + second;
}

// "19800321", "1980-03-21", "1980-03-21T00:00:00Z", "--0321" and "--03-21"
// become "yyyy-MM-dd" or "--MM-dd"; anything else is kept as written.
QString NormalizeBirthday(const QString& text)
{
    static const QRegularExpression full(QStringLiteral("^(\\d{4})-?(\\d{2})-?(\\d{2})(?:T.*)?$"));
    static const QRegularExpression noYear(QStringLiteral("^--(\\d{2})-?(\\d{2})$"));
    const QString trimmed = text.trimmed();
    if (const auto m = full.match(trimmed); m.hasMatch())
        return m.captured(1) + u'-' + m.captured(2) + u'-' + m.captured(3);
    if (const auto m = noYear.match(trimmed); m.hasMatch())
        return QStringLiteral("--") + m.captured(1) + u'-' + m.captured(2);
    return trimmed;
}

QString BirthdayFromParts(const QString& year, const QString& month, const QString& day)
{
    bool okMonth = false;
    bool okDay = false;
    const int m = month.toInt(&okMonth);
    const int d = day.toInt(&okDay);
    if (!okMonth || !okDay || m < 1 || m > 12 || d < 1 || d > 31)
        return QString();
    const QString monthDay = QStringLiteral("%1-%2").arg(m, 2, 10, QChar(u'0')).arg(d, 2, 10, QChar(u'0'));
    bool okYear = false;
    const int y = year.toInt(&okYear);
    if (okYear && y > 0 && y <= 9999)
        return QStringLiteral("%1-").arg(y, 4, 10, QChar(u'0')) + monthDay;
    return QStringLiteral("--") + monthDay;
}

bool HasType(const VCardProperty& property, const char* type)
{
    return property.Types.contains(QLatin1String(type));
}

// Preferred first (lowest PREF), otherwise in the card's order.
QList<VCardProperty> ByPreference(QList<VCardProperty> properties)
{
    std::stable_sort(properties.begin(), properties.end(), [](const VCardProperty& a, const VCardProperty& b) {
        const int pa = a.Pref > 0 ? a.Pref : INT_MAX;
        const int pb = b.Pref > 0 ? b.Pref : INT_MAX;
        return pa < pb;
    });
    return properties;
}

void SetIfEmpty(Row& row, int column, const QString& value)
{
    if (row[column].isEmpty())
        row[column] = value.trimmed().isEmpty() ? QString() : value;
}

QString Component(const QStringList& parts, int index)
{
    return index < parts.size() ? parts[index] : QString();
}

void PutAddress(Row& row, int firstColumn, const QStringList& parts)
{
    // post office box; extended; street; locality; region; code; country
    SetIfEmpty(row, firstColumn, JoinLines(Component(parts, 2), Component(parts, 1)));
    SetIfEmpty(row, firstColumn + 1, Component(parts, 3));
    SetIfEmpty(row, firstColumn + 2, Component(parts, 4));
    SetIfEmpty(row, firstColumn + 3, Component(parts, 5));
    SetIfEmpty(row, firstColumn + 4, Component(parts, 6));
}

} // namespace

const QStringList& Names()
{
    static const QStringList names = {
        QStringLiteral("First"), QStringLiteral("Last"), QStringLiteral("Display name"),
        QStringLiteral("Nickname"), QStringLiteral("E-mail address"), QStringLiteral("E-mail 2"),
        QStringLiteral("Business phone"), QStringLiteral("Home phone"), QStringLiteral("Mobile phone"),
        QStringLiteral("Fax"), QStringLiteral("Pager"), QStringLiteral("Title"),
        QStringLiteral("Department"), QStringLiteral("Company"), QStringLiteral("Business street"),
        QStringLiteral("Business city"), QStringLiteral("Business state"),
        QStringLiteral("Business postal code"), QStringLiteral("Business country"),
        QStringLiteral("Home street"), QStringLiteral("Home city"), QStringLiteral("Home state"),
        QStringLiteral("Home postal code"), QStringLiteral("Home country"), QStringLiteral("Web page"),
        QStringLiteral("Home web page"), QStringLiteral("Birthday"), QStringLiteral("Notes"),
        QStringLiteral("Custom 1"), QStringLiteral("Custom 2"), QStringLiteral("Custom 3"),
        QStringLiteral("Custom 4"),
    };
    return names;
}

Recordset MakeRecordset()
{
    Recordset recordset;
    for (const QString& name : Names())
        recordset.AppendField(name, AdoType::VarWChar, kTextSize);
    recordset.Open();
    return recordset;
}

Row FromVCard(const VCard& card)
{
    Row row(Count);
    const QStringList name = VCard::Components(card.All(QStringLiteral("N")).value(0).Value);
    SetIfEmpty(row, Last, Component(name, 0));
    SetIfEmpty(row, First, Component(name, 1));
    SetIfEmpty(row, DisplayName, card.Text(QStringLiteral("FN")));
    SetIfEmpty(row, Nickname, card.Text(QStringLiteral("NICKNAME")));

    const QList<VCardProperty> emails = ByPreference(card.All(QStringLiteral("EMAIL")));
    if (!emails.isEmpty())
        SetIfEmpty(row, EMail, VCard::Unescape(emails[0].Value));
    if (emails.size() > 1)
        SetIfEmpty(row, EMail2, VCard::Unescape(emails[1].Value));

    QStringList untypedPhones;
    for (const VCardProperty& tel : ByPreference(card.All(QStringLiteral("TEL")))) {
        QString number = VCard::Unescape(tel.Value).trimmed();
        if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
            number = number.mid(4);
        if (HasType(tel, "fax"))
            SetIfEmpty(row, Fax, number);
        else if (HasType(tel, "pager"))
            SetIfEmpty(row, Pager, number);
        else if (HasType(tel, "cell"))
            SetIfEmpty(row, MobilePhone, number);
        else if (HasType(tel, "work"))
            SetIfEmpty(row, BusinessPhone, number);
        else if (HasType(tel, "home"))
            SetIfEmpty(row, HomePhone, number);
        else
            untypedPhones.append(number);
    }
    // A number without a kind is taken as the business one when that is free.
    if (!untypedPhones.isEmpty())
        SetIfEmpty(row, BusinessPhone, untypedPhones.first());

    const QStringList org = VCard::Components(card.All(QStringLiteral("ORG")).value(0).Value);
    SetIfEmpty(row, Company, Component(org, 0));
    SetIfEmpty(row, Department, Component(org, 1));
    SetIfEmpty(row, Title, card.Text(QStringLiteral("TITLE")));

    QList<QStringList> untypedAddresses;
    for (const VCardProperty& adr : ByPreference(card.All(QStringLiteral("ADR")))) {
        const QStringList parts = VCard::Components(adr.Value);
        if (HasType(adr, "work"))
            PutAddress(row, BusinessStreet, parts);
        else if (HasType(adr, "home"))
            PutAddress(row, HomeStreet, parts);
        else
            untypedAddresses.append(parts);
    }
    if (!untypedAddresses.isEmpty())
        PutAddress(row, HomeStreet, untypedAddresses.first());

    QStringList untypedUrls;
    for (const VCardProperty& url : card.All(QStringLiteral("URL"))) {
        const QString text = VCard::Unescape(url.Value);
        if (HasType(url, "home"))
            SetIfEmpty(row, HomeWebPage, text);
        else if (HasType(url, "work"))
            SetIfEmpty(row, WebPage, text);
        else
            untypedUrls.append(text);
    }
    if (!untypedUrls.isEmpty())
        SetIfEmpty(row, WebPage, untypedUrls.first());

    const QString birthday = card.Text(QStringLiteral("BDAY"));
    if (!birthday.trimmed().isEmpty())
        SetIfEmpty(row, Birthday, NormalizeBirthday(birthday));
    SetIfEmpty(row, Notes, card.Text(QStringLiteral("NOTE")));
    for (int i = 0; i < 4; ++i)
        SetIfEmpty(row, Custom1 + i, card.Text(QStringLiteral("X-CUSTOM%1").arg(i + 1)));
    return row;
}

Row FromCardProperties(const QHash<QString, QString>& p)
{
    Row row(Count);
    if (const QString vcard = p.value(QStringLiteral("_vCard")); !vcard.isEmpty()) {
        const QList<VCard> cards = VCard::ParseAll(vcard.toUtf8());
        if (!cards.isEmpty())
            row = FromVCard(cards.first());
    }
    auto put = [&](int column, const char* property) { SetIfEmpty(row, column, p.value(QLatin1String(property))); };
    put(First, "FirstName");
    put(Last, "LastName");
    put(DisplayName, "DisplayName");
    put(Nickname, "NickName");
    put(EMail, "PrimaryEmail");
    put(EMail2, "SecondEmail");
    put(BusinessPhone, "WorkPhone");
    put(HomePhone, "HomePhone");
    put(MobilePhone, "CellularNumber");
    put(Fax, "FaxNumber");
    put(Pager, "PagerNumber");
    put(Title, "JobTitle");
    put(Department, "Department");
    put(Company, "Company");
    SetIfEmpty(row, BusinessStreet,
               JoinLines(p.value(QStringLiteral("WorkAddress")), p.value(QStringLiteral("WorkAddress2"))));
    put(BusinessCity, "WorkCity");
    put(BusinessState, "WorkState");
    put(BusinessPostalCode, "WorkZipCode");
    put(BusinessCountry, "WorkCountry");
    SetIfEmpty(row, HomeStreet,
               JoinLines(p.value(QStringLiteral("HomeAddress")), p.value(QStringLiteral("HomeAddress2"))));
    put(HomeCity, "HomeCity");
    put(HomeState, "HomeState");
    put(HomePostalCode, "HomeZipCode");
    put(HomeCountry, "HomeCountry");
    put(WebPage, "WebPage1");
    put(HomeWebPage, "WebPage2");
    SetIfEmpty(row, Birthday,
               BirthdayFromParts(p.value(QStringLiteral("BirthYear")), p.value(QStringLiteral("BirthMonth")),
                                 p.value(QStringLiteral("BirthDay"))));
    put(Notes, "Notes");
    put(Custom1, "Custom1");
    put(Custom2, "Custom2");
    put(Custom3, "Custom3");
    put(Custom4, "Custom4");
    return row;
}

void AppendRow(Recordset& recordset, const Row& row)
{
    QVariantList values;
    values.reserve(Count);
    for (int i = 0; i < Count; ++i)
        values.append(i < row.size() && !row[i].isEmpty() ? QVariant(row[i]) : QVariant());
    recordset.AppendRow(values);
}

} // namespace ContactsColumns
