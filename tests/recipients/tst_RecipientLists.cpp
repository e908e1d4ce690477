#include "TestMain.h"
#include "recipients/RecipientLists.h"
#include "base/AppError.h"

namespace {

std::shared_ptr<RecipientList> NamedList(const QString& name)
{
    auto list = std::make_shared<RecipientList>();
    list->SetListName(name);
    return list;
}

QStringList Names(const RecipientLists& lists)
{
    QStringList names;
    for (const auto& list : lists)
        names << list->ListName();
    return names;
}

} // namespace

class TestRecipientLists : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Only the defaults that are not empty or zero; the stored codes are
    // the numbers older files hold.
    void initialValuesAndStoredCodes()
    {
        const RecipientList list;
        QCOMPARE(list.DataType(), -1);
        QCOMPARE(list.IsListValid(), false);
        QCOMPARE(list.CatalogCommandType(), 8);
        QCOMPARE(list.ExcelFirstRowContainsColumnHeadings(), true);
        QCOMPARE(list.AuthenticationRequired(), false);
        QCOMPARE(list.SQLUseWindowsSecurity(), true);
        QCOMPARE(list.OutlookCatalogType(), 0);
        QCOMPARE(list.Filters().Count(), 0);

        QCOMPARE((QList<qint32>{RecipientList::SQLServer, RecipientList::Access, RecipientList::XML,
                                RecipientList::Excel, RecipientList::Advanced, RecipientList::Outlook}),
                 (QList<qint32>{0, 1, 2, 3, 4, 5}));
        QCOMPARE((QList<qint32>{RecipientList::CmdText, RecipientList::CmdTable, RecipientList::CmdUnknown,
                                RecipientList::AddressBooks}),
                 (QList<qint32>{1, 2, 8, 1}));
    }

    void copyAndRestoreUndoesAnEdit()
    {
        // The edit handler keeps a copy and puts it back when the wizard is
        // cancelled; the filters must come back too.
        RecipientList list;
        list.SetListName(QStringLiteral("Before"));
        Filter row;
        row.SetData(QStringLiteral("Town"));
        list.Filters().Add(row);
        const RecipientList saved = list;
        list.SetListName(QStringLiteral("After"));
        list.SetFilters(Filters());
        list.SetSQLUseWindowsSecurity(false);
        QVERIFY(!(list == saved));
        list = saved;
        QCOMPARE(list.ListName(), QStringLiteral("Before"));
        QCOMPARE(list.Filters().Count(), 1);
        QCOMPARE(list.SQLUseWindowsSecurity(), true);
    }

    void addKeepsOrderAndItemIsTheElementItself()
    {
        RecipientLists lists;
        QCOMPARE(lists.CurrentIndex(), 0);
        auto first = NamedList(QStringLiteral("a"));
        lists.Add(first);
        lists.Add(NamedList(QStringLiteral("b")));
        lists.Add(NamedList(QStringLiteral("c")));
        QCOMPARE(lists.Count(), 3);
        QCOMPARE(Names(lists), QStringList({"a", "b", "c"}));
        // Editing works on the element of the collection in place.
        lists.Item(1).SetListName(QStringLiteral("renamed"));
        QCOMPARE(first->ListName(), QStringLiteral("renamed"));
        QCOMPARE(lists.ItemPtr(1).get(), first.get());
    }

    void removeShiftsAndResetsCurrentIndex_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("removed");
        QTest::newRow("the current one") << 2 << 2;
        QTest::newRow("before the current one") << 3 << 1;
        QTest::newRow("after the current one") << 1 << 3;
        QTest::newRow("none current") << 0 << 1;
    }

    void removeShiftsAndResetsCurrentIndex()
    {
        QFETCH(int, current);
        QFETCH(int, removed);
        RecipientLists lists;
        for (const char* name : {"a", "b", "c"})
            lists.Add(NamedList(QString::fromLatin1(name)));
        lists.SetCurrentIndex(current);
        lists.Remove(removed);
        QCOMPARE(lists.CurrentIndex(), 0);
        QCOMPARE(lists.Count(), 2);
        QStringList expected = {"a", "b", "c"};
        expected.removeAt(removed - 1);
        QCOMPARE(Names(lists), expected);
    }

    void outOfRangeIsAnError_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("zero") << 0;
        QTest::newRow("negative") << -1;
        QTest::newRow("past the end") << 3;
    }

    void outOfRangeIsAnError()
    {
        QFETCH(int, index);
        RecipientLists lists;
        lists.Add(NamedList(QStringLiteral("a")));
        lists.Add(NamedList(QStringLiteral("b")));
        lists.SetCurrentIndex(2);
        try {
            lists.Item(index);
            QFAIL("Item accepted a position outside the collection");
        } catch (const AppError& error) {
            QCOMPARE(error.Number(), 9L);
            QCOMPARE(error.Source(), QStringLiteral("RecipientLists"));
        }
        QVERIFY_THROWS_EXCEPTION(AppError, lists.ItemPtr(index));
        QVERIFY_THROWS_EXCEPTION(AppError, lists.Remove(index));
        // A refused removal changes nothing.
        QCOMPARE(lists.Count(), 2);
        QCOMPARE(lists.CurrentIndex(), 2);
    }

    void nullListIsRefused()
    {
        RecipientLists lists;
        QVERIFY_THROWS_EXCEPTION(AppError, lists.Add(nullptr));
        QCOMPARE(lists.Count(), 0);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestRecipientLists)
#include "tst_RecipientLists.moc"
