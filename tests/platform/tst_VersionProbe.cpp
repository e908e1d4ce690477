#include "TestMain.h"
#include "platform/sysinfo/VersionProbe.h"

using VersionProbe::FromTexts;
using VersionProbe::Parts;

class TestVersionProbe : public QObject
{
    Q_OBJECT

    static VersionProbe::Texts passing()
    {
        VersionProbe::Texts t;
        t.os = QStringLiteral("6.1.0-18-amd64");
        t.workbookClass = QStringLiteral("Corvanta.Workbook.12");
        t.dataLayer = QStringLiteral("6.4.2");
        t.contactsReader = true;
        t.worksheetReader = true;
        t.mailClass = QStringLiteral("GMime.Message.3");
        t.networkVersion = QStringLiteral("6.4.2");
        return t;
    }

private Q_SLOTS:
    void partsReadLeadingNumbers()
    {
        // Out of range is a failed reading, not an overflow.
        for (const auto& [text, parts] : {std::pair<const char*, QList<qint32>>("6.1.0-18-amd64", {6, 1, 0}),
                                          {"-2.x7.3abc", {2, 0, 3}}, {" 5.", {5, 0}}, {"", {}},
                                          {"99999999999.1", {0, 1}}, {"2e1", {20}}})
            QCOMPARE(Parts(QString::fromLatin1(text)), parts);
    }

    // The system's own texts (kernel release, Qt version) in the wrong shape
    // zero their own fields only.
    void textsInTheWrongShapeLeaveZeros()
    {
        auto t = passing();
        t.os = QStringLiteral("6");            // needs two parts
        t.dataLayer = QStringLiteral("3");     // one part will do
        t.networkVersion = QStringLiteral("5.5"); // needs three parts
        SystemVersions v = FromTexts(t);
        QCOMPARE(v.OSMajor, 0);
        QCOMPARE(v.ADOMajor, 3);
        QCOMPARE(v.IEMajor, 0);
        QCOMPARE(v.ExcelVersion, 12);
        QCOMPARE(v.CDOVersion, 3);

        t.dataLayer.clear();
        t.networkVersion = QStringLiteral("5.5.1.7");
        v = FromTexts(t);
        QCOMPARE(v.ADOMajor, 0);
        QCOMPARE(v.IEMajor, 5);
    }

    // The probes ask the real components: the ODBC driver manager and the
    // SQLite driver load, and a workbook written with libxlsxwriter in this
    // process reads back through the .xlsx reader.
    void thisMachinePassesItsOwnProbe()
    {
        const SystemVersions v = FromTexts(VersionProbe::ReadThisMachine());
        QVERIFY(v.OSMajor >= 3);
        QVERIFY(v.ADOMajor >= 6);
        QVERIFY(v.IEMajor >= 6);
        QCOMPARE(v.ExcelVersion, 12);
        QCOMPARE(v.ExcelISAM, 8);
        QCOMPARE(v.OutlookISAM, 9);
        QCOMPARE(v.CDOVersion, 3);
    }
};

CORVANTA_TEST_GUILESS_MAIN(TestVersionProbe)
#include "tst_VersionProbe.moc"
