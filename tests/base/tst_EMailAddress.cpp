#include "TestMain.h"
#include "base/EMailAddress.h"

class TestEMailAddress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void addresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("shortest") << "a@b.c" << true;
        QTest::newRow("underscore first") << "_x@y.z" << true;
        QTest::newRow("dot directly before at") << "a.@b.c" << true;
        QTest::newRow("several dots after at") << "a@b.c.d" << true;
        QTest::newRow("anything between") << "a b@c d.e f" << true;
        QTest::newRow("second at counts") << "a@@b.c" << true;
        QTest::newRow("leading hyphen") << "-a@b.c" << false;
        QTest::newRow("leading dot") << ".a@b.c" << false;
        QTest::newRow("leading at") << "@b.c" << false;
        QTest::newRow("dot right after at") << "a@.bc" << false;
        QTest::newRow("no dot after at") << "a.b@cd" << false;
        QTest::newRow("ends after dot") << "a@b." << false;
        QTest::newRow("no at") << "ab.c" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("letters of other scripts") << QString::fromUtf8("é@ü.δ") << true;
        QTest::newRow("symbol outside ASCII first") << QString::fromUtf8("€a@b.c") << false;
        QTest::newRow("line break inside") << "a\n@b.c" << true;
        QTest::newRow("dot then non-word only") << "a@b.-" << false;
    }
    void addresses()
    {
        QFETCH(QString, text);
        QTEST(modForms::IsEMailAddress(text), "valid");
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestEMailAddress)
#include "tst_EMailAddress.moc"
