#include "platform/providers/sql/SqliteStaging.h"

#include "base/AppError.h"

#include <QAtomicInteger>
#include <QDateTime>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

using AdoType::Family;
using AdoType::FamilyOf;

// The declared type carries the SQLite affinity first and, after "_C", the
// staged column it came from, which a view over the command reports back.
QString AffinityName(Family family)
{
    switch (family) {
    case Family::Integer:
    case Family::Boolean:
        return QStringLiteral("INTEGER");
    case Family::Real:
        return QStringLiteral("REAL");
    case Family::Binary:
        return QStringLiteral("BLOB");
    default:
        return QStringLiteral("TEXT");
    }
}

QString QuoteName(const QString& name)
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString TimeText(const QTime& time)
{
    return time.toString(time.msec() ? QStringLiteral("HH:mm:ss.zzz") : QStringLiteral("HH:mm:ss"));
}

QString DateTimeText(const QDateTime& value)
{
    return value.date().toString(QStringLiteral("yyyy-MM-dd ")) + TimeText(value.time());
}

// A record set value as SQLite stores it for the column's family.
QVariant ToSqlite(const QVariant& value, Family family)
{
    if (!value.isValid() || value.isNull())
        return QVariant();
    switch (family) {
    case Family::Integer:
        return value.toLongLong();
    case Family::Boolean:
        return value.toBool() ? 1 : 0;
    case Family::Real:
        return value.toDouble();
    case Family::DateTime:
        return DateTimeText(value.toDateTime());
    case Family::Date:
        return value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case Family::Time:
        return TimeText(value.toTime());
    case Family::Binary:
        return value.toByteArray();
    case Family::Text:
        return value.toString();
    }
    return value;
}

bool IsOf(const QVariant& value, QMetaType::Type type)
{
    return value.metaType().id() == type;
}

// Whether a value SQLite gave back still belongs to the staged column's family
// (a UNION or CASE can mix kinds under one declared type).
bool Fits(const QVariant& value, Family family)
{
    if (value.isNull())
        return true;
    switch (family) {
    case Family::Integer:
    case Family::Boolean:
        return IsOf(value, QMetaType::LongLong);
    case Family::Real:
        return IsOf(value, QMetaType::Double) || IsOf(value, QMetaType::LongLong);
    case Family::Binary:
        return IsOf(value, QMetaType::QByteArray);
    case Family::DateTime:
        return IsOf(value, QMetaType::QString)
               && QDateTime::fromString(value.toString(), Qt::ISODateWithMs).isValid();
    case Family::Date:
        return IsOf(value, QMetaType::QString) && QDate::fromString(value.toString(), Qt::ISODate).isValid();
    case Family::Time:
        return IsOf(value, QMetaType::QString) && QTime::fromString(value.toString(), Qt::ISODate).isValid();
    case Family::Text:
        return IsOf(value, QMetaType::QString);
    }
    return false;
}

QVariant FromSqlite(const QVariant& value, Family family)
{
    if (value.isNull())
        return QVariant();
    switch (family) {
    case Family::Boolean:
        return value.toLongLong() != 0;
    case Family::DateTime:
        return QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    case Family::Date:
        return QDate::fromString(value.toString(), Qt::ISODate);
    case Family::Time:
        return QTime::fromString(value.toString(), Qt::ISODate);
    default:
        return value;
    }
}

[[noreturn]] void Raise(long number, const QString& description)
{
    throw AppError(number, SqliteStaging::Source, description);
}

QString EngineText(const QSqlError& error)
{
    const QString text = error.databaseText().trimmed();
    return text.isEmpty() ? error.text().trimmed() : text;
}

// Skips blanks, comments and opening parentheses.
qsizetype SkipToWord(const QString& text, qsizetype i)
{
    const qsizetype n = text.size();
    while (i < n) {
        if (text[i].isSpace() || text[i] == u'(') {
            ++i;
        } else if (text.mid(i, 2) == QLatin1String("--")) {
            while (i < n && text[i] != u'\n')
                ++i;
        } else if (text.mid(i, 2) == QLatin1String("/*")) {
            const qsizetype end = text.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? n : end + 2;
        } else {
            break;
        }
    }
    return i;
}

} // namespace

struct SqliteStaging::Impl
{
    struct StagedColumn
    {
        Recordset::Field Original;
        QString StagedName;
    };

    QString connectionName;
    std::vector<StagedColumn> columns;
    QStringList tables;
    int views = 0;

    QSqlDatabase Db() const { return QSqlDatabase::database(connectionName, false); }

    void Run(const QString& sql) const
    {
        QSqlQuery query(Db());
        if (!query.exec(sql))
            Raise(ErrCommand, EngineText(query.lastError()));
    }

    // Declared types of the command's result columns, through a throwaway
    // view; empty when the command cannot stand in a view.
    QStringList DeclaredTypes(const QString& command)
    {
        QString body = command.trimmed();
        while (body.endsWith(u';'))
            body = body.chopped(1).trimmed();
        const QString view = QStringLiteral("corvanta_result_%1").arg(++views);
        QSqlQuery query(Db());
        if (!query.exec(QStringLiteral("CREATE TEMP VIEW %1 AS %2").arg(QuoteName(view), body)))
            return {};
        QStringList types;
        if (query.exec(QStringLiteral("PRAGMA temp.table_info(%1)").arg(QuoteName(view)))) {
            while (query.next())
                types << query.value(2).toString();
        }
        query.exec(QStringLiteral("DROP VIEW temp.%1").arg(QuoteName(view)));
        return types;
    }
};

SqliteStaging::SqliteStaging() : d(std::make_unique<Impl>())
{
    static QAtomicInteger<quint64> counter;
    d->connectionName = QStringLiteral("corvanta-staging-%1").arg(++counter);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), d->connectionName);
    db.setDatabaseName(QStringLiteral(":memory:"));
    if (!db.open()) {
        const QString text = EngineText(db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(d->connectionName);
        Raise(ErrCommand, QStringLiteral("The SQL engine for command texts could not be started: %1").arg(text));
    }
}

SqliteStaging::~SqliteStaging()
{
    {
        QSqlDatabase db = d->Db();
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(d->connectionName);
}

QStringList SqliteStaging::StagedTables() const
{
    return d->tables;
}

bool SqliteStaging::IsQuery(const QString& commandText)
{
    const qsizetype start = SkipToWord(commandText, 0);
    qsizetype end = start;
    while (end < commandText.size() && commandText[end].isLetter())
        ++end;
    const QString word = commandText.mid(start, end - start).toUpper();
    return word == QLatin1String("SELECT") || word == QLatin1String("WITH") || word == QLatin1String("VALUES");
}

void SqliteStaging::Stage(const QString& name, const Recordset& rows)
{
    const int fieldCount = rows.FieldCount();
    if (fieldCount == 0)
        Raise(ErrCommand, QStringLiteral("The table %1 has no columns.").arg(name));

    // Columns need distinct names here; an unnamed one is called F and its
    // position, as the worksheet driver calls it, and a repeated one gets its
    // position added. The result reports the original names back.
    QSet<QString> used;
    QStringList definitions;
    std::vector<Family> families;
    for (int i = 0; i < fieldCount; ++i) {
        const Recordset::Field field = rows.FieldAt(i);
        QString staged = field.Name.trimmed().isEmpty() ? QStringLiteral("F%1").arg(i + 1) : field.Name;
        while (used.contains(staged.toLower()))
            staged += QString::number(i + 1);
        used.insert(staged.toLower());
        const Family family = FamilyOf(field.Type);
        families.push_back(family);
        QString definition = QuoteName(staged) + u' ' + AffinityName(family) + QStringLiteral("_C")
                             + QString::number(d->columns.size());
        if (family == Family::Text)
            definition += QStringLiteral(" COLLATE NOCASE");
        definitions << definition;
        d->columns.push_back({field, staged});
    }
    d->Run(QStringLiteral("CREATE TABLE %1 (%2)").arg(QuoteName(name), definitions.join(QStringLiteral(", "))));

    QSqlDatabase db = d->Db();
    db.transaction();
    QSqlQuery insert(db);
    QStringList marks;
    for (int i = 0; i < fieldCount; ++i)
        marks << QStringLiteral("?");
    if (!insert.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(QuoteName(name), marks.join(u','))))
        Raise(ErrCommand, EngineText(insert.lastError()));
    const int rowCount = rows.RecordCount();
    for (int row = 0; row < rowCount; ++row) {
        for (int i = 0; i < fieldCount; ++i)
            insert.bindValue(i, ToSqlite(rows.ValueAt(row, i), families[size_t(i)]));
        if (!insert.exec()) {
            const QString text = EngineText(insert.lastError());
            db.rollback();
            Raise(ErrCommand, text);
        }
    }
    db.commit();
    d->tables << name;
}

Recordset SqliteStaging::Execute(const QString& commandText, const Loader& loader)
{
    if (!IsQuery(commandText))
        Raise(ErrNotQuery, QStringLiteral("Only a query that reads rows (SELECT) can be run on this source; "
                                          "it is opened read-only."));

    // Stage what the command names until it compiles.
    static const QRegularExpression missing(QStringLiteral("^no such table: (?:main\\.)?(.+)$"));
    QSqlQuery query(d->Db());
    query.setForwardOnly(true);
    while (!query.prepare(commandText)) {
        const QString text = EngineText(query.lastError());
        const QRegularExpressionMatch m = missing.match(text);
        if (!m.hasMatch() || !loader)
            Raise(ErrCommand, text);
        const QString table = m.captured(1);
        if (d->tables.contains(table, Qt::CaseInsensitive))
            Raise(ErrCommand, text);
        Stage(table, loader(table));
    }

    const QStringList declared = d->DeclaredTypes(commandText);
    d->Run(QStringLiteral("PRAGMA query_only = ON"));
    const bool ran = query.exec();
    const QString failure = ran ? QString() : EngineText(query.lastError());
    std::vector<QVariantList> rows;
    const QSqlRecord record = query.record();
    const int columnCount = record.count();
    if (ran) {
        while (query.next()) {
            QVariantList values;
            values.reserve(columnCount);
            for (int i = 0; i < columnCount; ++i)
                values << query.value(i);
            rows.push_back(std::move(values));
        }
    }
    query.finish();
    d->Run(QStringLiteral("PRAGMA query_only = OFF"));
    if (!ran)
        Raise(ErrCommand, failure);

    static const QRegularExpression stagedType(QStringLiteral("_C(\\d+)$"));
    Recordset result;
    std::vector<Family> families;
    for (int c = 0; c < columnCount; ++c) {
        const QString name = record.fieldName(c);
        const auto fits = [&](Family family) {
            for (const QVariantList& row : rows)
                if (!Fits(row[c], family))
                    return false;
            return true;
        };
        const QRegularExpressionMatch m = stagedType.match(c < declared.size() ? declared[c] : QString());
        const size_t index = m.hasMatch() ? m.captured(1).toULongLong() : d->columns.size();
        if (index < d->columns.size() && fits(FamilyOf(d->columns[index].Original.Type))) {
            const Impl::StagedColumn& column = d->columns[index];
            // A column taken as it is keeps its own name, even an empty one.
            const QString shown = name == column.StagedName ? column.Original.Name : name;
            result.AppendField(shown, column.Original.Type, column.Original.DefinedSize);
            families.push_back(FamilyOf(column.Original.Type));
            continue;
        }
        // A computed column: typed by what it holds.
        bool anyText = false, anyBlob = false, anyReal = false, anyInteger = false, wide = false;
        qint64 longest = 0;
        for (const QVariantList& row : rows) {
            const QVariant& v = row[c];
            if (v.isNull())
                continue;
            if (IsOf(v, QMetaType::LongLong)) {
                anyInteger = true;
                const qint64 n = v.toLongLong();
                wide = wide || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max();
            } else if (IsOf(v, QMetaType::Double)) {
                anyReal = true;
            } else if (IsOf(v, QMetaType::QByteArray)) {
                anyBlob = true;
                longest = std::max<qint64>(longest, v.toByteArray().size());
            } else {
                anyText = true;
                longest = std::max<qint64>(longest, v.toString().size());
            }
        }
        if (anyText || (anyBlob && (anyReal || anyInteger))) {
            result.AppendField(name, AdoType::VarWChar, std::max<qint64>(255, longest));
            families.push_back(Family::Text);
        } else if (anyBlob) {
            result.AppendField(name, AdoType::LongVarBinary, longest);
            families.push_back(Family::Binary);
        } else if (anyReal) {
            result.AppendField(name, AdoType::Double, 8);
            families.push_back(Family::Real);
        } else if (anyInteger) {
            result.AppendField(name, wide ? AdoType::BigInt : AdoType::Integer, wide ? 8 : 4);
            families.push_back(Family::Integer);
        } else {
            result.AppendField(name, AdoType::VarWChar, 255);
            families.push_back(Family::Text);
        }
    }
    result.Open();
    QVariantList converted;
    for (const QVariantList& row : rows) {
        converted.clear();
        for (int c = 0; c < columnCount; ++c) {
            const QVariant& v = row[c];
            converted << (families[size_t(c)] == Family::Text && !v.isNull() ? QVariant(v.toString())
                                                                              : FromSqlite(v, families[size_t(c)]));
        }
        result.AppendRow(converted);
    }
    if (result.RecordCount() > 0)
        result.MoveFirst();
    return result;
}
