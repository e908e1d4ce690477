#include "platform/recordset/RecordsetCriteria.h"

#include <QLocale>
#include <QStringMatcher>

#include <bit>
#include <cmath>

namespace RecordsetDetail {

namespace {

const QString kHowToQuote = QStringLiteral(
    " Values are written in apostrophes; an apostrophe inside a value must be doubled.");

class Parser
{
public:
    Parser(const QString& text, const Table& table) : m_text(text), m_table(table) {}

    Criteria Run()
    {
        Criteria criteria;
        criteria.groups.emplace_back();
        for (;;) {
            criteria.groups.back().push_back(ParseClause());
            SkipSpaces();
            if (AtEnd())
                break;
            const qsizetype wordAt = m_pos;
            const QString word = ReadWord();
            if (word.compare(QLatin1String("OR"), Qt::CaseInsensitive) == 0)
                criteria.groups.emplace_back();
            else if (word.compare(QLatin1String("AND"), Qt::CaseInsensitive) != 0)
                Fail(wordAt, QStringLiteral("AND or OR was expected"), true);
            SkipSpaces();
            if (AtEnd())
                Fail(m_pos, QStringLiteral("a clause was expected after %1").arg(word.toUpper()), false);
        }
        return criteria;
    }

private:
    bool AtEnd() const { return m_pos >= m_text.size(); }
    QChar Peek(qsizetype ahead = 0) const
    {
        return m_pos + ahead < m_text.size() ? m_text.at(m_pos + ahead) : QChar();
    }
    void SkipSpaces()
    {
        while (!AtEnd() && m_text.at(m_pos).isSpace())
            ++m_pos;
    }
    static bool IsNameChar(QChar c) { return c.isLetterOrNumber() || c == u'_'; }
    QString ReadWord()
    {
        const qsizetype start = m_pos;
        while (!AtEnd() && IsNameChar(m_text.at(m_pos)))
            ++m_pos;
        return m_text.mid(start, m_pos - start);
    }

    [[noreturn]] void Fail(qsizetype at, const QString& what, bool quoteHint) const
    {
        QString near = m_text.mid(at, 20).trimmed();
        QString description = QStringLiteral("The filter \"%1\" cannot be applied: %2")
                                  .arg(m_text.trimmed(), what);
        if (!near.isEmpty())
            description += QStringLiteral(" at \"%1\" (character %2)").arg(near).arg(at + 1);
        description += u'.';
        if (quoteHint)
            description += kHowToQuote;
        Raise(Recordset::ErrCriteria, description);
    }
    [[noreturn]] void FailValue(const Clause& clause, const QString& why) const
    {
        const Recordset::Field& field = m_table.fields[size_t(clause.column)];
        Raise(Recordset::ErrCriteria,
              QStringLiteral("The filter \"%1\" cannot be applied: the value '%2' %3 the %4 column [%5].")
                  .arg(m_text.trimmed(), m_value, why,
                       FamilyName(m_table.columns[size_t(clause.column)].family), field.Name));
    }

    int FindColumn(const QString& name) const
    {
        for (size_t i = 0; i < m_table.fields.size(); ++i)
            if (m_table.fields[i].Name.compare(name, Qt::CaseInsensitive) == 0)
                return int(i);
        return -1;
    }

    Clause ParseClause()
    {
        SkipSpaces();
        Clause clause;
        const qsizetype nameAt = m_pos;
        QString name;
        if (Peek() == u'[') {
            const qsizetype close = m_text.indexOf(u']', m_pos + 1);
            if (close < 0)
                Fail(nameAt, QStringLiteral("the column name is not closed with \"]\""), false);
            name = m_text.mid(m_pos + 1, close - m_pos - 1);
            m_pos = close + 1;
        } else {
            name = ReadWord();
            if (name.isEmpty())
                Fail(nameAt, QStringLiteral("a column name was expected"), false);
        }
        clause.column = FindColumn(name);
        if (clause.column < 0)
            Raise(Recordset::ErrFieldNotFound,
                  QStringLiteral("The filter \"%1\" cannot be applied: there is no column [%2].")
                      .arg(m_text.trimmed(), name));

        SkipSpaces();
        const qsizetype opAt = m_pos;
        const QChar a = Peek(), b = Peek(1);
        if (a == u'<' && b == u'=') { clause.op = Op::Le; m_pos += 2; }
        else if (a == u'>' && b == u'=') { clause.op = Op::Ge; m_pos += 2; }
        else if (a == u'<' && b == u'>') { clause.op = Op::Ne; m_pos += 2; }
        else if (a == u'=') { clause.op = Op::Eq; ++m_pos; }
        else if (a == u'<') { clause.op = Op::Lt; ++m_pos; }
        else if (a == u'>') { clause.op = Op::Gt; ++m_pos; }
        else if (ReadWord().compare(QLatin1String("LIKE"), Qt::CaseInsensitive) == 0) { clause.op = Op::Like; }
        else Fail(opAt, QStringLiteral("a comparison (=, <>, <, >, <=, >= or LIKE) was expected"), false);

        SkipSpaces();
        ReadValue();
        Coerce(clause);
        return clause;
    }

    void ReadValue()
    {
        const qsizetype valueAt = m_pos;
        m_value.clear();
        if (Peek() == u'\'') {
            ++m_pos;
            for (;;) {
                if (AtEnd())
                    Fail(valueAt, QStringLiteral("the value is not closed with an apostrophe"), true);
                const QChar c = m_text.at(m_pos++);
                if (c != u'\'') {
                    m_value += c;
                } else if (Peek() == u'\'') {
                    m_value += c;
                    ++m_pos;
                } else {
                    break;
                }
            }
            return;
        }
        // A bare number, as in "RecipientListID = 3".
        while (!AtEnd()) {
            const QChar c = m_text.at(m_pos);
            if (c.isDigit() || c == u'.' || c == u'-' || c == u'+' || c == u'e' || c == u'E')
                m_value += c, ++m_pos;
            else
                break;
        }
        bool ok = false;
        QLocale::c().toDouble(m_value, &ok);
        if (!ok)
            Fail(valueAt, QStringLiteral("a value in apostrophes or a number was expected"), true);
    }

    void Coerce(Clause& clause) const
    {
        const Family family = m_table.columns[size_t(clause.column)].family;
        if (clause.op == Op::Like && family != Family::Text)
            FailValue(clause, QStringLiteral("cannot be matched with LIKE against"));
        switch (family) {
        case Family::Text:
            clause.text = m_value;
            if (clause.op == Op::Like)
                SplitLike(clause);
            return;
        case Family::Integer:
        case Family::Real: {
            const QString trimmed = m_value.trimmed();
            bool ok = false;
            clause.integer = QLocale::c().toLongLong(trimmed, &ok);
            clause.integral = ok && family == Family::Integer;
            clause.real = ok ? double(clause.integer) : QLocale::c().toDouble(trimmed, &ok);
            if (!ok || !std::isfinite(clause.real))
                FailValue(clause, QStringLiteral("is not a number and cannot be compared with"));
            return;
        }
        case Family::DateTime:
        case Family::Date:
        case Family::Time: {
            const auto packed = ParseDateText(m_value.trimmed());
            if (!packed)
                FailValue(clause, QStringLiteral("is not a date (yyyy-MM-dd hh:mm or M/d/yyyy) and cannot be compared with"));
            clause.integer = *packed;
            return;
        }
        case Family::Boolean: {
            const QString v = m_value.trimmed();
            if (v == u"1" || v == u"-1" || v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                clause.integer = 1;
            else if (v == u"0" || v.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
                clause.integer = 0;
            else
                FailValue(clause, QStringLiteral("is not 1, 0, True or False and cannot be compared with"));
            if (clause.op != Op::Eq && clause.op != Op::Ne)
                FailValue(clause, QStringLiteral("can only be compared with = or <> against"));
            return;
        }
        case Family::Binary:
            FailValue(clause, QStringLiteral("cannot be compared with"));
        }
    }

    void SplitLike(Clause& clause) const
    {
        QString pattern = clause.text;
        auto isStar = [](QChar c) { return c == u'*' || c == u'%'; };
        const bool leading = !pattern.isEmpty() && isStar(pattern.front());
        if (leading)
            pattern.remove(0, 1);
        const bool trailing = !pattern.isEmpty() && isStar(pattern.back());
        if (trailing)
            pattern.chop(1);
        for (QChar c : pattern)
            if (isStar(c))
                FailValue(clause, QStringLiteral("has a \"*\" or \"%\" inside; LIKE takes them only at the start or end, for"));
        clause.text = pattern;
        clause.like = leading && trailing ? LikeKind::Contains
            : leading                     ? LikeKind::EndsWith
            : trailing                    ? LikeKind::StartsWith
                                          : LikeKind::Equal;
    }

    const QString& m_text;
    const Table& m_table;
    qsizetype m_pos = 0;
    QString m_value;
};

// -1, 0 or 1; 2 when the values cannot be ordered (NaN).
template <class T>
int Order(T a, T b)
{
    return a < b ? -1 : b < a ? 1 : a == b ? 0 : 2;
}

bool Holds(Op op, int order)
{
    switch (op) {
    case Op::Eq: return order == 0;
    case Op::Ne: return order == -1 || order == 1;
    case Op::Lt: return order == -1;
    case Op::Gt: return order == 1;
    case Op::Le: return order == -1 || order == 0;
    case Op::Ge: return order == 1 || order == 0;
    case Op::Like: return false;
    }
    return false;
}

// Clears the bits of rows that fail. Rows of one 64-bit word always sit in
// one storage block, so the test gets the block and the row inside it.
template <class Test>
void Narrow(std::vector<quint64>& mask, const Column& column, Test test)
{
    constexpr int wordsPerBlock = kBlockRows / 64;
    for (size_t w = 0; w < mask.size(); ++w) {
        quint64 todo = mask[w];
        if (column.hasNulls)
            todo &= ~column.nulls[w]; // Null passes no clause
        quint64 keep = 0;
        const size_t block = w / wordsPerBlock;
        const int first = int(w % wordsPerBlock) * 64;
        while (todo) {
            const int bit = std::countr_zero(todo);
            todo &= todo - 1;
            if (test(block, first + bit))
                keep |= quint64(1) << bit;
        }
        mask[w] = keep;
    }
}

void Apply(const Clause& clause, const Column& column, std::vector<quint64>& mask)
{
    const Op op = clause.op;
    switch (column.family) {
    case Family::Integer: {
        const auto& blocks = column.integers.Blocks();
        if (clause.integral) {
            const qint64 value = clause.integer;
            Narrow(mask, column, [&](size_t b, int i) { return Holds(op, Order(blocks[b][size_t(i)], value)); });
        } else {
            const double value = clause.real;
            Narrow(mask, column, [&](size_t b, int i) { return Holds(op, Order(double(blocks[b][size_t(i)]), value)); });
        }
        return;
    }
    case Family::DateTime:
    case Family::Date:
    case Family::Time: {
        const auto& blocks = column.integers.Blocks();
        const qint64 value = clause.integer;
        Narrow(mask, column, [&](size_t b, int i) { return Holds(op, Order(blocks[b][size_t(i)], value)); });
        return;
    }
    case Family::Real: {
        const auto& blocks = column.reals.Blocks();
        const double value = clause.real;
        Narrow(mask, column, [&](size_t b, int i) { return Holds(op, Order(blocks[b][size_t(i)], value)); });
        return;
    }
    case Family::Boolean: {
        const auto& blocks = column.booleans.Blocks();
        const quint8 value = quint8(clause.integer);
        Narrow(mask, column, [&](size_t b, int i) { return Holds(op, Order(blocks[b][size_t(i)], value)); });
        return;
    }
    case Family::Text: {
        const auto& blocks = column.texts.Blocks();
        const QStringView value = clause.text;
        auto cell = [&](size_t b, int i) {
            quint32 length = 0;
            const char16_t* data = blocks[b].Data(i, length);
            return QStringView(data, qsizetype(length));
        };
        if (op != Op::Like) {
            Narrow(mask, column, [&](size_t b, int i) {
                const int c = cell(b, i).compare(value, Qt::CaseInsensitive);
                return Holds(op, c < 0 ? -1 : c > 0 ? 1 : 0);
            });
            return;
        }
        switch (clause.like) {
        case LikeKind::Equal:
            Narrow(mask, column, [&](size_t b, int i) { return cell(b, i).compare(value, Qt::CaseInsensitive) == 0; });
            return;
        case LikeKind::StartsWith:
            Narrow(mask, column, [&](size_t b, int i) { return cell(b, i).startsWith(value, Qt::CaseInsensitive); });
            return;
        case LikeKind::EndsWith:
            Narrow(mask, column, [&](size_t b, int i) { return cell(b, i).endsWith(value, Qt::CaseInsensitive); });
            return;
        case LikeKind::Contains: {
            const QStringMatcher matcher(value, Qt::CaseInsensitive);
            Narrow(mask, column, [&](size_t b, int i) { return matcher.indexIn(cell(b, i)) >= 0; });
            return;
        }
        }
        return;
    }
    case Family::Binary:
        std::fill(mask.begin(), mask.end(), 0); // refused when parsed; nothing passes
        return;
    }
}

} // namespace

Criteria ParseCriteria(const QString& text, const Table& table)
{
    return Parser(text, table).Run();
}

std::vector<int> Evaluate(const Criteria& criteria, const Table& table)
{
    const size_t words = (size_t(table.rows) + 63) / 64;
    std::vector<quint64> passed(words, 0);
    std::vector<quint64> mask(words);
    for (const auto& group : criteria.groups) {
        // Rows that already passed an earlier group need no second look.
        for (size_t w = 0; w < words; ++w)
            mask[w] = ~passed[w];
        if (table.rows % 64 != 0)
            mask[words - 1] &= (quint64(1) << (table.rows % 64)) - 1;
        for (const Clause& clause : group)
            Apply(clause, table.columns[size_t(clause.column)], mask);
        for (size_t w = 0; w < words; ++w)
            passed[w] |= mask[w];
    }
    size_t count = 0;
    for (quint64 word : passed)
        count += size_t(std::popcount(word));
    std::vector<int> rows;
    rows.reserve(count);
    for (size_t w = 0; w < words; ++w) {
        quint64 word = passed[w];
        while (word) {
            rows.push_back(int(w * 64) + std::countr_zero(word));
            word &= word - 1;
        }
    }
    return rows;
}

} // namespace RecordsetDetail
