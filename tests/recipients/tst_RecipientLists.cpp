#include "TestMain.h"
#include "recipients/RecipientLists.h"
#include "RecordsetProbe.h"
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
    void addItemAndOutOfRange()
    {
        RecipientLists lists;
        QCOMPARE(lists.CurrentIndex(), 0);
        auto first = NamedList(QStringLiteral("a"));
        lists.Add(first);
        lists.Add(NamedList(QStringLiteral("b")));
        lists.Add(NamedList(QStringLiteral("c")));
        QCOMPARE(Names(lists), QStringList({"a", "b", "c"}));
        // Editing works on the element of the collection in place.
        lists.Item(1).SetListName(QStringLiteral("renamed"));
        QCOMPARE(first->ListName(), QStringLiteral("renamed"));
        QCOMPARE(lists.ItemPtr(1).get(), first.get());
        QVERIFY_THROWS_EXCEPTION(AppError, lists.Add(nullptr));

        // Outside 1..Count is error 9, and a refused removal changes nothing.
        lists.SetCurrentIndex(2);
        for (const int index : {0, -1, 4}) {
            const auto error = TestSupport::ErrorOf([&] { lists.Item(index); });
            QVERIFY(error);
            QCOMPARE(error->Number(), 9L);
            QCOMPARE(error->Source(), QStringLiteral("RecipientLists"));
            QVERIFY_THROWS_EXCEPTION(AppError, lists.ItemPtr(index));
            QVERIFY_THROWS_EXCEPTION(AppError, lists.Remove(index));
        }
        QCOMPARE(lists.Count(), 3);
        QCOMPARE(lists.CurrentIndex(), 2);
    }

    void removeShiftsAndResetsCurrentIndex_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("removed");
        QTest::newRow("the current one") << 2 << 2;
        QTest::newRow("before the current one") << 3 << 1;
        QTest::newRow("after the current one") << 1 << 3;
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
        QStringList expected = {"a", "b", "c"};
        expected.removeAt(removed - 1);
        QCOMPARE(Names(lists), expected);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestRecipientLists)
#include "tst_RecipientLists.moc"
