#include "TestMain.h"
#include "base/AppError.h"
#include "merge/Mails.h"
#include "merge/MergeFields.h"
#include "merge/MergeValueText.h"
#include "platform/recordset/Recordset.h"

#include <QDate>
#include <QRandomGenerator>
#include <QSignalSpy>

namespace {

const QString O = QString(QChar(0x00AB));
const QString C = QString(QChar(0x00BB));

QString M(const QString& name)
{
    return O + name + C;
}

// An open record set with text columns of these names and these rows.
Recordset Table(const QStringList& names, const QList<QVariantList>& rows)
{
    Recordset rs;
    for (const QString& name : names)
        rs.AppendField(name, AdoType::VarWChar, 200);
    rs.Open();
    for (const QVariantList& row : rows)
        rs.AppendRow(row);
    return rs;
}

// n rows of (Name, EMail) numbered from 1.
Recordset People(int n)
{
    QList<QVariantList> rows;
    for (int i = 1; i <= n; ++i)
        rows.append({QStringLiteral("P%1").arg(i), QStringLiteral("p%1@example.org").arg(i)});
    return Table({QStringLiteral("Name"), QStringLiteral("EMail")}, rows);
}

FromAddressRef Sender()
{
    return std::make_shared<const FromAddress>(QStringLiteral("Ann"),
                                               QStringLiteral("ann@example.org"), QString());
}

// A merge as the Preview step starts it, without sender or attachments.
bool Merge(Mails& mails, Recordset& rs, const QString& to, const QString& body,
           const QString& subject = QString())
{
    mails.SetKeepMerging(true);
    return mails.Merge(rs, to, nullptr, subject, body, QString());
}

} // namespace

class TestMails : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void markersOfFieldsAndLabels()
    {
        QCOMPARE(MergeFields::Marker(QStringLiteral("Name"), 1), M("Name"));
        QCOMPARE(MergeFields::Marker(QString(), 3), O + M("[Column 3]") + C);
        QCOMPARE(MergeFields::Marker(QStringLiteral("  "), 2), M("  "));
        QCOMPARE(MergeFields::ColumnLabel(QString(), 12), QStringLiteral("[Column 12]"));
        QCOMPARE(MergeFields::ColumnLabel(QStringLiteral(" \t"), 2), QStringLiteral("[Column 2]"));
        QCOMPARE(MergeFields::ColumnLabel(QStringLiteral(" x "), 2), QStringLiteral(" x "));
        for (const char* label : {"[Column 2]", "[Column ]", "[Column a]b]"})
            QCOMPARE(MergeFields::MarkerForEntry(QLatin1String(label)), O + M(QLatin1String(label)) + C);
        for (const char* label : {"[Column]", "[column 2]", "[Column 2] ", " [Column 2]", "EMail"})
            QCOMPARE(MergeFields::MarkerForEntry(QLatin1String(label)), M(QLatin1String(label)));
    }

    void mergesToSubjectAndBody()
    {
        Recordset rs = People(3);
        Mails mails;
        mails.SetKeepMerging(true);
        const FromAddressRef from = Sender();
        const QString attachments = QStringLiteral("/tmp/a.pdf;/tmp/b.txt");
        QVERIFY(mails.Merge(rs, M("EMail"), from, QStringLiteral("Hi ") + M("Name"),
                            M("Name") + QStringLiteral(" <") + M("EMail") + QStringLiteral("> ") + M("Name"),
                            attachments));
        QCOMPARE(mails.Count(), 3);
        const Mail& second = mails.Item(2);
        QCOMPARE(second.To(), QStringLiteral("p2@example.org"));
        QCOMPARE(second.Subject(), QStringLiteral("Hi P2"));
        QCOMPARE(second.TextBody(), QStringLiteral("P2 <p2@example.org> P2"));
        QCOMPARE(second.Attachments(), attachments);
        QCOMPARE(second.From().get(), from.get());
        // Sender and attachments are shared, yet one mail's change is its own.
        mails.Item(1).SetAttachments(QStringLiteral("/tmp/c.doc"));
        mails.Item(3).SetFrom(nullptr);
        QCOMPARE(mails.Item(2).Attachments(), attachments);
        QCOMPARE(mails.Item(2).From().get(), from.get());
        // Editing one text keeps the other two; a copy outlives the merge.
        // Of a filtered set only the visible rows are merged.
        mails.Item(2).SetSubject(QStringLiteral("edited"));
        const Mail kept = mails.Item(2);
        Recordset other = People(30);
        other.SetFilter(QStringLiteral("[Name] LIKE 'P1*'"));
        QVERIFY(Merge(mails, other, M("Name"), QString()));
        QCOMPARE(mails.Count(), 11); // P1, P10..P19
        QCOMPARE(mails.Item(11).To(), QStringLiteral("P19"));
        QCOMPARE(kept.To(), QStringLiteral("p2@example.org"));
        QCOMPARE(kept.Subject(), QStringLiteral("edited"));
        QCOMPARE(kept.TextBody(), QStringLiteral("P2 <p2@example.org> P2"));
        // A value too long to share a block of the packed values.
        const QString huge(300000, u'x');
        Recordset big = Table({QStringLiteral("Name"), QStringLiteral("EMail")},
                              {{huge, QStringLiteral("a@example.org")}, {QStringLiteral("P"), QString()}});
        QVERIFY(Merge(mails, big, M("EMail"), M("Name") + u'|'));
        QCOMPARE(mails.Item(1).TextBody(), huge + u'|');
        QCOMPARE(mails.Item(1).To(), QStringLiteral("a@example.org"));
        QCOMPARE(mails.Item(2).TextBody(), QStringLiteral("P|"));
        // The cursor is left past the last record, the set itself open.
        QVERIFY(rs.AtEOF());
        QCOMPARE(rs.State(), int(Recordset::StateOpen));
    }

    // The plain definition: column by column, every marker in the text as it
    // stands replaced, so a value may bring in a later column's marker, and a
    // marker may form across a value's edge. Such cases, then random ones.
    void agreesWithColumnByColumnReplacement()
    {
        const auto check = [](const QStringList& names, const QList<QVariantList>& rows,
                              const QStringList& templates) {
            Recordset rs = Table(names, rows);
            Mails mails;
            QVERIFY(Merge(mails, rs, templates[0], templates[2], templates[1]));
            for (int r = 0; r < rows.size(); ++r) {
                QStringList expected = templates;
                for (QString& text : expected)
                    for (int k = 0; k < names.size(); ++k)
                        text.replace(MergeFields::Marker(names[k], k + 1), rows[r][k].toString());
                const Mail& mail = mails.Item(r + 1);
                QCOMPARE(QStringList({mail.To(), mail.Subject(), mail.TextBody()}), expected);
            }
        };
        check({"A", "B", "C"}, {{M("C"), "b", "c"}, {"a", M("A"), "c2"}, {"x", "y", M("B")}},
              {QString(), QString(), M("A") + u'/' + M("B")});
        check({"P", "Name"}, {{"am", "N"}}, {QString(), QString(), O + "N" + M("P") + "e" + C});
        check({"A", C + "v" + O}, {{QString(), "w"}}, {QString(), QString(), O + C + M("A") + "v" + O + C});
        // Case and blanks count; a Null value is empty.
        check({"Name", "Town"}, {{"Eve", QVariant()}},
              {M("Town"), M("name") + M(" Name"), M("Name") + M("Nobody") + "Name" + M("Name")});
        // A blank name is a name for the merge, though the lists show the
        // column under its unnamed label, whose marker then stays.
        check({"First", QString(), "  "}, {{"f", "second", "third"}},
              {O + M("[Column 2]") + C, M("[Column 2]") + M("  "), O + M("[Column 3]") + C});

        const QStringList names = {"A", "B", QString(), "AB"};
        const QStringList bits = {O, C, "A", "B", "x", "[Column 3]", M("A"), M("B"), M("AB"),
                                  O + M("[Column 3]") + C};
        const QStringList valueBits = {QString(), "A", "B", "y", O, C, M("AB"), "[Column 3]"};
        QRandomGenerator random(20261206);
        const auto pick = [&](const QStringList& from, int most) {
            QString out;
            for (int n = int(random.bounded(most + 1)); n > 0; --n)
                out += from.at(int(random.bounded(qsizetype(from.size()))));
            return out;
        };
        for (int round = 0; round < 3000; ++round) {
            QList<QVariantList> rows;
            for (int r = 0; r < 4; ++r) {
                QVariantList row;
                for (int k = 0; k < names.size(); ++k)
                    row.append(random.bounded(2) == 0 ? pick(valueBits, 2) : QStringLiteral("v%1").arg(k));
                rows.append(row);
            }
            check(names, rows, {pick(bits, 3), pick(bits, 6), pick(bits, 12)});
            if (QTest::currentTestFailed())
                return;
        }
    }

    // Attachment paths take the record's values as the subject does; a value
    // that could name a file elsewhere leaves its marker, so the path names
    // no file and the checks before sending report the row.
    void attachmentPathsTakeEachRecordsValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("attachments"); // {V}: the value's marker, {2}: the unnamed one
        QTest::addColumn<QString>("expected");
        const char* rows[][4] = {
            {"file name", "A-7", "/in/{V}.pdf;/in/all.txt", "/in/A-7.pdf;/in/all.txt"},
            {"unnamed column, twice", "x", "/in/{2}/{V}", "/in/u/x"},
            {"dots inside a name", "..x", "/in/{V}", "/in/..x"},
            {"no marker", "x", "/in/a.pdf", "/in/a.pdf"},
            {"climbing out", "../etc/passwd", "/in/{V}/x.pdf", "/in/{V}/x.pdf"},
            {"a folder step", "a/b", "/in/{V}/x.pdf", "/in/{V}/x.pdf"},
            {"only dots", "..", "/in/{V}/x.pdf", "/in/{V}/x.pdf"},
            {"a list separator", "a;/etc/passwd", "/in/{V}.pdf", "/in/{V}.pdf"},
            {"empty", "", "/in/{V}/x.pdf", "/in/{V}/x.pdf"}};
        const auto markers = [](const char* text) {
            const QString unnamed = O + M("[Column 2]") + C;
            return QString::fromUtf8(text).replace("{V}", M("V")).replace("{2}", unnamed);
        };
        for (const auto& row : rows)
            QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << markers(row[2])
                                  << markers(row[3]);
    }

    void attachmentPathsTakeEachRecordsValues()
    {
        QFETCH(QString, value);
        QFETCH(QString, attachments);
        Recordset rs = Table({QStringLiteral("V"), QString()}, {{value, "u"}, {"other", "u"}});
        Mails mails;
        mails.SetKeepMerging(true);
        QVERIFY(mails.Merge(rs, M("V"), nullptr, M("V"), QString(), attachments));
        QTEST(mails.Item(1).Attachments(), "expected");
        QCOMPARE(mails.Item(2).Attachments(),
                 attachments.replace(M("V"), "other").replace(O + M("[Column 2]") + C, "u"));
    }

    // A hook ends with its scope and gives back the one before; without one
    // a yield does nothing. Outliving the mails is harmless.
    void yieldHooksNest()
    {
        Mails mails;
        QList<int> yields;
        std::optional<Mails::ScopedYieldHook> hook;
        hook.emplace(mails, [&] { yields.append(1); });
        {
            const Mails::ScopedYieldHook inner(mails, [&] { yields.append(2); });
            mails.Yield();
        }
        mails.Yield();
        hook.reset();
        mails.Yield();
        QCOMPARE(yields, QList<int>({2, 1}));
        auto gone = std::make_unique<Mails>();
        hook.emplace(*gone, [] {});
        gone.reset();
        hook.reset();
    }

    // Each record's event comes after its mail is in the collection; a yield
    // follows every 10th, and a queued click waits for it.
    void cancelIsSeenBeforeTheNextRecord_data()
    {
        QTest::addColumn<int>("clickAt");
        QTest::addColumn<bool>("queued");
        QTest::addColumn<bool>("hooked"); // events run at the yields, as in a window
        QTest::addColumn<int>("count");
        QTest::newRow("never clicked") << 0 << false << true << 100;
        for (int clickAt : {21, 25, 30})
            QTest::addRow("click during record %d", clickAt) << clickAt << true << true << 30;
        QTest::newRow("cleared by the handler of record 14") << 14 << false << true << 14;
        QTest::newRow("no window's hook: no events run") << 21 << true << false << 100;
    }

    void cancelIsSeenBeforeTheNextRecord()
    {
        QFETCH(int, clickAt);
        QFETCH(bool, queued);
        QFETCH(bool, hooked);
        QFETCH(int, count);
        Recordset rs = People(100);
        Mails mails;
        std::optional<Mails::ScopedYieldHook> hook;
        QList<int> yields, expected;
        if (hooked)
            hook.emplace(mails, [&] {
                yields.append(mails.Count());
                QCoreApplication::processEvents();
            });
        for (int i = 10; hooked && i <= count; i += 10)
            expected.append(i);
        QSignalSpy merged(&mails, &Mails::MailsMerged);
        bool inOrder = true;
        connect(&mails, &Mails::MailsMerged, this, [&](int index) {
            inOrder = inOrder && index == merged.count() && mails.Count() == index;
            if (index != clickAt)
                return;
            if (queued)
                QMetaObject::invokeMethod(
                    &mails, [&] { mails.SetKeepMerging(false); }, Qt::QueuedConnection);
            else
                mails.SetKeepMerging(false);
        });
        QCOMPARE(Merge(mails, rs, M("EMail"), QString()), count == 100);
        QCOMPARE(mails.Count(), count);
        QCOMPARE(merged.count(), count);
        QVERIFY(inOrder);
        QCOMPARE(yields, expected);
        QCOMPARE(mails.KeepMerging(), count == 100);
        QCOMPARE(mails.Item(count).To(), QStringLiteral("p%1@example.org").arg(count));
    }

    void nothingToMergeReturnsFalse()
    {
        Mails mails;
        QSignalSpy merged(&mails, &Mails::MailsMerged);
        int yields = 0;
        const Mails::ScopedYieldHook hook(mails, [&] { ++yields; });
        Recordset closed;
        closed.AppendField(QStringLiteral("Name"), AdoType::VarWChar, 10);
        Recordset empty = People(0);
        Recordset filtered = People(5);
        filtered.SetFilter(QStringLiteral("[Name] = 'nobody'"));
        for (Recordset* rs : {&closed, &empty, &filtered}) {
            mails.Add(Sender(), QStringLiteral("old@example.org"), QString(), QString(), QString());
            QVERIFY(!Merge(mails, *rs, QString(), QString()));
            QCOMPARE(mails.Count(), 0);
        }
        // Not started: KeepMerging is false on a new collection.
        Recordset rs = People(5);
        Mails fresh;
        QVERIFY(!fresh.Merge(rs, QString(), nullptr, QString(), QString(), QString()));
        QCOMPARE(fresh.Count(), 0);
        QCOMPARE(merged.count(), 0);
        QCOMPARE(yields, 0);
    }

    // The text forms under fixed locales given to the formatter; the merge
    // takes the user's locale the same way (QLocale::system()).
    void valueTexts_data()
    {
        QTest::addColumn<bool>("german");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* tag, bool german, const QVariant& value, const char* text) {
            QTest::newRow(tag) << german << value << QString::fromUtf8(text);
        };
        row("null", false, QVariant(), "");
        row("text as is", false, QStringLiteral(" as is \u00AB "), " as is « ");
        row("boolean", true, true, "True");
        // Numbers without group separators.
        row("integer", true, -1234567, "-1234567");
        row("largest unsigned", false, qulonglong(18446744073709551615ULL), "18446744073709551615");
        row("decimal comma", true, -0.25, "-0,25");
        row("decimal point", false, 1234.5, "1234.5");
        // Fifteen significant digits, as a number typed in would show.
        row("sum of tenths", false, 0.1 + 0.2, "0.3");
        row("whole double", false, 100.0, "100");
        row("large double", false, 1e20, "1E+20");
        // No two-digit years: 1926 and 2026 must not look alike.
        row("US date", false, QDate(1926, 3, 4), "3/4/1926");
        row("German date", true, QDate(2026, 3, 4), "04.03.2026");
        row("US time", false, QTime(14, 5, 9), "2:05:09 PM");
        row("German date and time", true, QDateTime(QDate(2026, 3, 4), QTime(14, 5, 9)),
            "04.03.2026 14:05:09");
        row("midnight is the date alone", false, QDateTime(QDate(2026, 3, 4), QTime(0, 0)),
            "3/4/2026");
        row("day zero is the time alone", false, QDateTime(QDate(1899, 12, 30), QTime(9, 30)),
            "9:30:00 AM");
    }

    void valueTexts()
    {
        QFETCH(bool, german);
        QFETCH(QVariant, value);
        const MergeValueText formatter(german ? QLocale(QLocale::German, QLocale::Germany)
                                              : QLocale(QLocale::English, QLocale::UnitedStates));
        QTEST(formatter.Text(value), "text");
    }

    void valuesTakeTheGivenLocale()
    {
        Recordset rs;
        rs.AppendField(QStringLiteral("X"), AdoType::Double, 8);
        rs.AppendField(QStringLiteral("D"), AdoType::DBDate, 8);
        rs.Open();
        rs.AppendRow({1234.5, QDate(2026, 3, 4)});
        rs.AppendRow({QVariant(), QVariant()});
        Mails mails;
        mails.SetLocale(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(Merge(mails, rs, QString(), M("X") + u'|' + M("D")));
        QCOMPARE(mails.Item(1).TextBody(), QStringLiteral("1234,5|04.03.2026"));
        QCOMPARE(mails.Item(2).TextBody(), QStringLiteral("|"));
    }

    void collectionAddressedFromOne()
    {
        Mails mails;
        for (int i = 1; i <= 3; ++i)
            mails.Add(Sender(), QStringLiteral("to%1").arg(i), QString(), QString(), QString());
        mails.Remove(2);
        QStringList order;
        for (const Mail& mail : std::as_const(mails))
            order.append(mail.To());
        QCOMPARE(order, QStringList({"to1", "to3"}));
        QCOMPARE(mails.Item(2).To(), QStringLiteral("to3"));
        for (const int bad : {0, 3, -1}) {
            QVERIFY_THROWS_EXCEPTION(AppError, mails.Item(bad));
            QVERIFY_THROWS_EXCEPTION(AppError, mails.Remove(bad));
        }
        QCOMPARE(mails.Count(), 2);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestMails)
#include "tst_Mails.moc"
