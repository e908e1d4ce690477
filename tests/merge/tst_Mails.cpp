#include "TestMain.h"
#include "merge/Mails.h"
#include "merge/MergeFields.h"
#include "platform/recordset/Recordset.h"
#include "base/AppError.h"

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
    return std::make_shared<const FromAddress>(QStringLiteral("Ann"), QStringLiteral("ann@example.org"), QString());
}

} // namespace

class TestMails : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void markersOfFieldsAndLabels()
    {
        QCOMPARE(MergeFields::Marker(QStringLiteral("Name"), 1), M("Name"));
        QCOMPARE(MergeFields::Marker(QString(), 3), O + O + QStringLiteral("[Column 3]") + C + C);
        QCOMPARE(MergeFields::Marker(QStringLiteral("  "), 2), M("  "));
        QCOMPARE(MergeFields::Marker(QStringLiteral("a\u00BBb"), 1), O + QStringLiteral("a\u00BBb") + C);

        QCOMPARE(MergeFields::ColumnLabel(QString(), 12), QStringLiteral("[Column 12]"));
        QCOMPARE(MergeFields::ColumnLabel(QStringLiteral(" \t"), 2), QStringLiteral("[Column 2]"));
        QCOMPARE(MergeFields::ColumnLabel(QStringLiteral(" x "), 2), QStringLiteral(" x "));

        for (const char* label : {"[Column 2]", "[Column ]", "[Column a]b]"})
            QVERIFY2(MergeFields::IsUnnamedLabel(QString::fromLatin1(label)), label);
        for (const char* label : {"[Column]", "[column 2]", "[Column 2] ", " [Column 2]"})
            QVERIFY2(!MergeFields::IsUnnamedLabel(QString::fromLatin1(label)), label);

        QCOMPARE(MergeFields::MarkerForEntry(QStringLiteral("[Column 4]")),
                 O + O + QStringLiteral("[Column 4]") + C + C);
        QCOMPARE(MergeFields::MarkerForEntry(QStringLiteral("EMail")), M("EMail"));
        QCOMPARE(MergeFields::MarkerForEntry(QStringLiteral("[Column]")), M("[Column]"));
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
        for (const Mail& mail : mails)
            QCOMPARE(mail.From().get(), from.get());
        // Sender and attachments are shared, yet one mail's change is its own.
        mails.Item(1).SetAttachments(QStringLiteral("/tmp/c.doc"));
        mails.Item(3).SetFrom(nullptr);
        QCOMPARE(mails.Item(2).Attachments(), attachments);
        QCOMPARE(mails.Item(2).From().get(), from.get());
        // Editing one text keeps the other two; a copy outlives the merge.
        mails.Item(2).SetSubject(QStringLiteral("edited"));
        const Mail kept = mails.Item(2);
        Recordset other = People(1);
        QVERIFY(mails.Merge(other, QString(), nullptr, QString(), QString(), QString()));
        QCOMPARE(kept.To(), QStringLiteral("p2@example.org"));
        QCOMPARE(kept.Subject(), QStringLiteral("edited"));
        QCOMPARE(kept.TextBody(), QStringLiteral("P2 <p2@example.org> P2"));
        // A value too long to share a block of the packed values.
        const QString huge(300000, u'x');
        Recordset big = Table({QStringLiteral("Name"), QStringLiteral("EMail")},
                              {{huge, QStringLiteral("a@example.org")}, {QStringLiteral("P"), QString()}});
        QVERIFY(mails.Merge(big, M(QStringLiteral("EMail")), nullptr, QString(), M(QStringLiteral("Name")) + u'|',
                            QString()));
        QCOMPARE(mails.Item(1).TextBody(), huge + u'|');
        QCOMPARE(mails.Item(1).To(), QStringLiteral("a@example.org"));
        QCOMPARE(mails.Item(2).TextBody(), QStringLiteral("P|"));
        // The cursor is left past the last record, the set itself open.
        QVERIFY(rs.AtEOF());
        QCOMPARE(rs.State(), int(Recordset::StateOpen));
    }

    void markersMatchExactly()
    {
        Recordset rs = Table({QStringLiteral("Name"), QStringLiteral("Town")}, {{QStringLiteral("Eve"), QVariant()}});
        Mails mails;
        mails.SetKeepMerging(true);
        const QString body = M("Name") + M("name") + M(" Name") + M("Nobody") + QStringLiteral("Name") + M("Name")
                             + QStringLiteral("|") + M("Town") + QStringLiteral("|");
        QVERIFY(mails.Merge(rs, M("Town"), nullptr, QString(), body, QString()));
        QCOMPARE(mails.Item(1).TextBody(),
                 QStringLiteral("Eve") + M("name") + M(" Name") + M("Nobody") + QStringLiteral("NameEve||"));
        // A Null in the To column gives an empty To.
        QCOMPARE(mails.Item(1).To(), QString());
        QVERIFY(!mails.Item(1).From());
    }

    // Columns are applied in field order to the text as it is by then: a
    // value may bring in the marker of a later column, not of an earlier one.
    void laterColumnsSeeInsertedMarkers()
    {
        Recordset rs = Table({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")},
                             {{M(QStringLiteral("C")), QStringLiteral("b"), QStringLiteral("c")},
                              {QStringLiteral("a"), M(QStringLiteral("A")), QStringLiteral("c2")},
                              {QStringLiteral("x"), QStringLiteral("y"), M(QStringLiteral("B"))}});
        Mails mails;
        mails.SetKeepMerging(true);
        const QString body = M(QStringLiteral("A")) + u'/' + M(QStringLiteral("B"));
        QVERIFY(mails.Merge(rs, QString(), nullptr, QString(), body, QString()));
        QCOMPARE(mails.Item(1).TextBody(), QStringLiteral("c/b"));
        QCOMPARE(mails.Item(2).TextBody(), QStringLiteral("a/") + M(QStringLiteral("A")));
        QCOMPARE(mails.Item(3).TextBody(), QStringLiteral("x/y"));

        // A marker formed across a value's edge counts too, since the search
        // runs on the text as it stands.
        Recordset edge = Table({QStringLiteral("P"), QStringLiteral("Name")},
                               {{QStringLiteral("am"), QStringLiteral("N")}});
        QVERIFY(mails.Merge(edge, QString(), nullptr, QString(),
                            O + QStringLiteral("N") + M(QStringLiteral("P")) + QStringLiteral("e") + C,
                            QString()));
        QCOMPARE(mails.Item(1).TextBody(), QStringLiteral("N"));

        // So does one whose name holds » then «, closed up around an empty
        // value between chevrons that face away from it.
        Recordset odd = Table({QStringLiteral("A"), C + QStringLiteral("v") + O}, {{QString(), QStringLiteral("w")}});
        QVERIFY(mails.Merge(odd, QString(), nullptr, QString(),
                            O + C + M(QStringLiteral("A")) + QStringLiteral("v") + O + C, QString()));
        QCOMPARE(mails.Item(1).TextBody(), QStringLiteral("w"));
    }

    void unnamedAndBlankColumns()
    {
        Recordset rs = Table({QStringLiteral("First"), QString(), QStringLiteral("  ")},
                             {{QStringLiteral("f"), QStringLiteral("second"), QStringLiteral("third")}});
        const QString unnamed = MergeFields::MarkerForEntry(MergeFields::ColumnLabel(QString(), 2));
        const QString blankAsListed = MergeFields::MarkerForEntry(MergeFields::ColumnLabel(QStringLiteral("  "), 3));
        Mails mails;
        mails.SetKeepMerging(true);
        const QString body =
            unnamed + u'|' + O + QStringLiteral("[Column 2]") + C + u'|' + M("  ") + u'|' + blankAsListed;
        QVERIFY(mails.Merge(rs, unnamed, nullptr, QString(), body, QString()));
        QCOMPARE(mails.Item(1).To(), QStringLiteral("second"));
        QCOMPARE(mails.Item(1).TextBody(), QStringLiteral("second|") + O + QStringLiteral("[Column 2]") + C
                                               + QStringLiteral("|third|") + blankAsListed);
    }

    // A value is read only when a text holds its marker, once per record.
    void fetchesOnlyWhatIsUsed()
    {
        Recordset rs = Table({QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")},
                             {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}});
        Mails mails;
        mails.SetKeepMerging(true);
        QVERIFY(mails.Merge(rs, M("B"), nullptr, M("B"), M("D") + M("D") + M("B"), QString()));
        QCOMPARE(mails.ValuesFetched(), qint64(3 * 2));
        QCOMPARE(mails.Item(3).TextBody(), QStringLiteral("121210"));

        const QString plain = QStringLiteral("Dear customer,\n\nno fields here.\n");
        QVERIFY(mails.Merge(rs, QString(), nullptr, QStringLiteral("News"), plain, QString()));
        QCOMPARE(mails.ValuesFetched(), qint64(0));
        QCOMPARE(mails.Count(), 3);
        for (const Mail& mail : mails)
            QCOMPARE(mail.TextBody(), plain);
    }

    // Templates and values full of chevrons, merged against the plain
    // definition: each column in field order, every occurrence of its
    // marker in the text as it stands replaced by the value.
    void agreesWithColumnByColumnReplacement()
    {
        const QStringList names = {QStringLiteral("A"), QStringLiteral("B"), QString(), QStringLiteral("AB")};
        const QStringList bits = {O, C, QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("x"),
                                  QStringLiteral("[Column 3]"), M(QStringLiteral("A")), M(QStringLiteral("B")),
                                  M(QStringLiteral("AB")), O + O + QStringLiteral("[Column 3]") + C + C};
        const QStringList valueBits = {QString(), QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("y"),
                                       O, C, M(QStringLiteral("AB")), QStringLiteral("[Column 3]")};
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
            Recordset rs = Table(names, rows);
            const QStringList templates = {pick(bits, 3), pick(bits, 6), pick(bits, 12)};
            Mails mails;
            mails.SetKeepMerging(true);
            QVERIFY(mails.Merge(rs, templates[0], nullptr, templates[1], templates[2], QString()));
            for (int r = 0; r < rows.size(); ++r) {
                QStringList expected = templates;
                for (QString& text : expected)
                    for (int k = 0; k < names.size(); ++k)
                        text.replace(MergeFields::Marker(names[k], k + 1), rows[r][k].toString());
                const Mail& mail = mails.Item(r + 1);
                const QStringList got = {mail.To(), mail.Subject(), mail.TextBody()};
                if (got != expected)
                    QFAIL(qPrintable(QStringLiteral("templates %1 / row %2: got %3, expected %4")
                                         .arg(templates.join(u'|'), rows[r].first().toString() + u'…',
                                              got.join(u'|'), expected.join(u'|'))));
            }
        }
    }

    void eventsAndYieldsFollowTheRecords()
    {
        Recordset rs = People(25);
        Mails mails;
        QSignalSpy merged(&mails, &Mails::MailsMerged);
        QList<int> countAtYield;
        mails.SetYieldHook([&] { countAtYield.append(mails.Count()); });
        mails.SetKeepMerging(true);
        QVERIFY(mails.Merge(rs, M("EMail"), nullptr, QString(), QString(), QString()));
        QCOMPARE(mails.Count(), 25);
        QCOMPARE(countAtYield, QList<int>({10, 20}));
        QCOMPARE(merged.count(), 25);
        for (int i = 0; i < merged.count(); ++i)
            QCOMPARE(merged.at(i).at(0).toInt(), i + 1);
        // The event comes after the record's mail is in the collection.
        int seenOnEvent = -1;
        connect(&mails, &Mails::MailsMerged, this, [&](int index) {
            if (index == 7)
                seenOnEvent = mails.Item(7).To() == QStringLiteral("p7@example.org") ? mails.Count() : 0;
        });
        QVERIFY(mails.Merge(rs, M("EMail"), nullptr, QString(), QString(), QString()));
        QCOMPARE(seenOnEvent, 7);
        QCOMPARE(mails.KeepMerging(), true);
    }

    // A cancel is seen only after a yield, and yields follow every 10th
    // record: cancelling while records 21 to 30 are merged leaves 30 mails.
    void cancelIsSeenAfterTheNextYield()
    {
        for (const int clickAt : {21, 25, 30}) {
            Recordset rs = People(100);
            Mails mails;
            QSignalSpy merged(&mails, &Mails::MailsMerged);
            // The click waits in the event queue, as a real one does, until
            // the default yield lets events run.
            connect(&mails, &Mails::MailsMerged, this, [&](int index) {
                if (index == clickAt)
                    QMetaObject::invokeMethod(
                        this, [&] { mails.SetKeepMerging(false); }, Qt::QueuedConnection);
            });
            mails.SetKeepMerging(true);
            QVERIFY(!mails.Merge(rs, M("EMail"), nullptr, QString(), QString(), QString()));
            QCOMPARE(mails.Count(), 30);
            QCOMPARE(merged.count(), 30);
            QCOMPARE(mails.Item(30).To(), QStringLiteral("p30@example.org"));
        }

        // Cleared inside the yield hook, the flag is read once per record,
        // before the record is merged.
        Recordset rs = People(100);
        Mails mails;
        int yields = 0;
        mails.SetYieldHook([&] {
            if (++yields == 3)
                mails.SetKeepMerging(false);
        });
        mails.SetKeepMerging(true);
        QVERIFY(!mails.Merge(rs, QString(), nullptr, QString(), QString(), QString()));
        QCOMPARE(mails.Count(), 30);
        QCOMPARE(yields, 3);
        QCOMPARE(rs.CurrentRow(), 30);

        // A handler that clears it directly stops the merge at the next record.
        Recordset direct = People(100);
        connect(&mails, &Mails::MailsMerged, this, [&](int index) {
            if (index == 14)
                mails.SetKeepMerging(false);
        });
        mails.SetKeepMerging(true);
        QVERIFY(!mails.Merge(direct, QString(), nullptr, QString(), QString(), QString()));
        QCOMPARE(mails.Count(), 14);
    }

    void nothingToMergeReturnsFalse()
    {
        Mails mails;
        QSignalSpy merged(&mails, &Mails::MailsMerged);
        int yields = 0;
        mails.SetYieldHook([&] { ++yields; });
        mails.SetKeepMerging(true);
        mails.Add(Sender(), QStringLiteral("old@example.org"), QString(), QString(), QString());

        Recordset closed;
        closed.AppendField(QStringLiteral("Name"), AdoType::VarWChar, 10);
        QVERIFY(!mails.Merge(closed, QString(), nullptr, QString(), QString(), QString()));
        QCOMPARE(mails.Count(), 0);

        Recordset empty = People(0);
        mails.Add(Sender(), QStringLiteral("old@example.org"), QString(), QString(), QString());
        QVERIFY(!mails.Merge(empty, QString(), nullptr, QString(), QString(), QString()));
        QCOMPARE(mails.Count(), 0);

        // Every row filtered out counts as no records.
        Recordset filtered = People(5);
        filtered.SetFilter(QStringLiteral("[Name] = 'nobody'"));
        QVERIFY(!mails.Merge(filtered, QString(), nullptr, QString(), QString(), QString()));

        // Not started: KeepMerging is false on a new collection.
        Recordset rs = People(5);
        Mails fresh;
        QCOMPARE(fresh.KeepMerging(), false);
        QVERIFY(!fresh.Merge(rs, QString(), nullptr, QString(), QString(), QString()));
        QCOMPARE(fresh.Count(), 0);

        QCOMPARE(merged.count(), 0);
        QCOMPARE(yields, 0);
    }

    void mergesOnlyVisibleRows()
    {
        Recordset rs = People(30);
        rs.SetFilter(QStringLiteral("[Name] LIKE 'P1*'"));
        Mails mails;
        mails.SetKeepMerging(true);
        QVERIFY(mails.Merge(rs, M("Name"), nullptr, QString(), QString(), QString()));
        QCOMPARE(mails.Count(), 11); // P1, P10..P19
        QCOMPARE(mails.Item(1).To(), QStringLiteral("P1"));
        QCOMPARE(mails.Item(11).To(), QStringLiteral("P19"));
    }

    void valuesTakeTheGivenLocale()
    {
        Recordset rs;
        rs.AppendField(QStringLiteral("N"), AdoType::Integer, 4);
        rs.AppendField(QStringLiteral("X"), AdoType::Double, 8);
        rs.AppendField(QStringLiteral("B"), AdoType::Boolean, 2);
        rs.AppendField(QStringLiteral("D"), AdoType::DBDate, 8);
        rs.Open();
        rs.AppendRow({12345, 1234.5, true, QDate(2026, 3, 4)});
        rs.AppendRow({QVariant(), QVariant(), false, QVariant()});
        const QString body = M("N") + u'|' + M("X") + u'|' + M("B") + u'|' + M("D");
        Mails mails;
        mails.SetKeepMerging(true);
        mails.SetLocale(QLocale(QLocale::German, QLocale::Germany));
        QVERIFY(mails.Merge(rs, QString(), nullptr, QString(), body, QString()));
        QCOMPARE(mails.Item(1).TextBody(), QStringLiteral("12345|1234,5|True|04.03.2026"));
        QCOMPARE(mails.Item(2).TextBody(), QStringLiteral("||False|"));
    }

    void collectionAddressedFromOne()
    {
        Mails mails;
        const FromAddressRef from = Sender();
        for (int i = 1; i <= 3; ++i)
            mails.Add(from, QStringLiteral("to%1").arg(i), QStringLiteral("s%1").arg(i), QStringLiteral("b%1").arg(i),
                      QString());
        QCOMPARE(mails.Count(), 3);
        mails.Remove(2);
        QCOMPARE(mails.Count(), 2);
        QCOMPARE(mails.Item(2).To(), QStringLiteral("to3"));
        for (const int bad : {0, 3, -1}) {
            try {
                mails.Item(bad);
                QFAIL("an out-of-range position was accepted");
            } catch (const AppError& e) {
                QCOMPARE(e.Number(), 9L);
            }
        }
        QVERIFY_THROWS_EXCEPTION(AppError, mails.Remove(3));
        QStringList order;
        for (const Mail& mail : std::as_const(mails))
            order.append(mail.To());
        QCOMPARE(order, QStringList({"to1", "to3"}));
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestMails)
#include "tst_Mails.moc"
