#include "MainWindowSetup.h"
#include "filters/Filters.h"
#include "filters/frmFilter.h"
#include "platform/recordset/Recordset.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace TestSupport;

namespace {

// One row as the user fills it: column, operator position, value and, from
// row 1 on, And (0) or Or (1). A date value is typed as "yyyy-MM-dd hh:mm"
// into the five boxes; a yes/no value is "1" or "0".
struct Entry
{
    QString column;
    int position = 0;
    QString value;
    int clause = 0;
};
using EntryList = QList<Entry>;

QWidget* Control(QWidget* dialog, const char* name, int row)
{
    return Find<QWidget>(dialog,
                         qPrintable(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(row)));
}

QComboBox* Box(QWidget* dialog, const char* name, int row)
{
    return qobject_cast<QComboBox*>(Control(dialog, name, row));
}

// Picks an entry with the keyboard, as a user of a closed drop-down list does.
void Choose(QComboBox* box, const QString& text)
{
    QVERIFY2(box->isEnabled(), qPrintable(box->objectName()));
    const int wanted = box->findText(text);
    QVERIFY2(wanted >= 0, qPrintable(text));
    box->setFocus();
    for (int tries = 0; box->currentIndex() != wanted && tries < 20; ++tries)
        QTest::keyClick(box, box->currentIndex() < wanted ? Qt::Key_Down : Qt::Key_Up);
    QCOMPARE(box->currentIndex(), wanted);
}

void Type(QWidget* box, const QString& text)
{
    auto* edit = qobject_cast<QLineEdit*>(box);
    edit->clear();
    QTest::keyClicks(edit, text);
}

const char* const DateBoxes[] = {"txtYear", "txtMonth", "txtDay", "txtHour", "txtMinute"};

void Fill(QWidget* dialog, int row, const Entry& entry)
{
    if (row > 0)
        Choose(Box(dialog, "cboClause", row),
               entry.clause ? QStringLiteral("Or") : QStringLiteral("And"));
    Choose(Box(dialog, "cboData", row), entry.column);
    Box(dialog, "cboOperator", row)->setCurrentIndex(entry.position);
    if (Control(dialog, "txtValue", row)->isVisible()) {
        Type(Control(dialog, "txtValue", row), entry.value);
    } else if (Control(dialog, "txtnumValue", row)->isVisible()) {
        Type(Control(dialog, "txtnumValue", row), entry.value);
    } else if (Control(dialog, "chkValue", row)->isVisible()) {
        qobject_cast<QCheckBox*>(Control(dialog, "chkValue", row))->setChecked(entry.value == u'1');
    } else {
        const QStringList parts = entry.value.split(QRegularExpression(QStringLiteral("[- :]")));
        for (int i = 0; i < 5; ++i)
            Type(Find<QLineEdit>(Control(dialog, "dtmValue", row), DateBoxes[i]), parts.value(i));
    }
}

// A row as it shows: "column|operator position|value|editor" or "" for a
// row without a column; a date shows its five boxes as typed.
QString Shown(QWidget* dialog, int row)
{
    const QComboBox* data = Box(dialog, "cboData", row);
    if (data->currentIndex() < 1)
        return QString();
    QString value;
    QString editor;
    for (const char* name : {"txtValue", "txtnumValue", "chkValue", "dtmValue"}) {
        QWidget* control = Control(dialog, name, row);
        if (control->isHidden())
            continue;
        editor += QLatin1String(name);
        if (auto* check = qobject_cast<QCheckBox*>(control))
            value = check->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
        else if (auto* edit = qobject_cast<QLineEdit*>(control))
            value = edit->text();
        else
            value = QStringLiteral("%1-%2-%3 %4:%5")
                        .arg(Find<QLineEdit>(control, "txtYear")->text(),
                             Find<QLineEdit>(control, "txtMonth")->text(),
                             Find<QLineEdit>(control, "txtDay")->text(),
                             Find<QLineEdit>(control, "txtHour")->text(),
                             Find<QLineEdit>(control, "txtMinute")->text());
    }
    return QStringLiteral("%1|%2|%3|%4")
        .arg(data->currentText())
        .arg(Box(dialog, "cboOperator", row)->currentIndex())
        .arg(value, editor);
}

QStringList ShownRows(QWidget* dialog)
{
    QStringList rows;
    for (int i = 0; i < frmFilter::RowCount; ++i)
        rows << Shown(dialog, i);
    while (!rows.isEmpty() && rows.last().isEmpty())
        rows.removeLast();
    return rows;
}

Filters Saved(const EntryList& entries)
{
    Filters filters;
    for (const Entry& entry : entries) {
        Filter filter;
        filter.SetData(entry.column);
        filter.SetComparisonOperator(entry.position);
        filter.SetValue(entry.value);
        filter.SetLogicalOperator(entry.clause);
        filters.Add(filter);
    }
    return filters;
}

QStringList VisibleNames(Recordset& set)
{
    QStringList names;
    for (int row = 0; row < set.RecordCount(); ++row)
        names << set.ValueAt(row, 0).toString();
    return names;
}

} // namespace

class TestFilterDialog : public QObject
{
    Q_OBJECT

    Recordset m_recipients;

private Q_SLOTS:
    void init()
    {
        Recordset set;
        set.AppendField(QStringLiteral("Name"), AdoType::VarWChar, 4000);
        set.AppendField(QStringLiteral("Member"), AdoType::Boolean, 2);
        set.AppendField(QStringLiteral("Joined"), AdoType::DBTimeStamp, 8);
        set.AppendField(QStringLiteral("Age"), AdoType::Integer, 4);
        set.AppendField(QStringLiteral("Photo"), AdoType::Binary, 100); // not offered
        set.AppendField(QString(), AdoType::VarWChar, 4000);            // not offered
        set.Open();
        set.AppendRow(QVariantList{"Jonas", true, QDateTime({2005, 3, 5}, {9, 7}), 9});
        set.AppendRow(QVariantList{"Joan", false, QDateTime({2010, 1, 1}, {0, 0}), 10});
        set.AppendRow(QVariantList{"Anna", true, QDateTime({2001, 6, 30}, {12, 0}), 41});
        m_recipients = std::move(set);
    }
    void cleanup() { VerifyAllAnswersTaken(); }

    // Each column offers the operators and the value editor of its kind; a
    // chosen column opens the next row, "(none)" empties every row below.
    void columnKindsAndRows_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<int>("operators");
        QTest::addColumn<QString>("editor");
        QTest::newRow("text") << "Name" << 8 << "txtValue";
        QTest::newRow("yes/no") << "Member" << 2 << "chkValue";
        QTest::newRow("date") << "Joined" << 6 << "dtmValue";
        QTest::newRow("number") << "Age" << 6 << "txtnumValue";
    }
    void columnKindsAndRows()
    {
        QFETCH(QString, column);
        QFETCH(int, operators);
        QFETCH(QString, editor);
        WhenModal([&](QWidget* dialog) {
            QCOMPARE(Box(dialog, "cboData", 0)->count(), 5); // "(none)" and four columns
            QVERIFY(!Box(dialog, "cboData", 1)->isEnabled());
            for (int row = 0; row < 3; ++row)
                Fill(dialog, row, {column, 1, QString(), 1});
            QCOMPARE(Box(dialog, "cboOperator", 2)->count(), operators);
            QCOMPARE(Shown(dialog, 2).section(u'|', 3), editor);
            QVERIFY(Box(dialog, "cboData", 3)->isEnabled());
            QCOMPARE(Box(dialog, "cboClause", 3)->currentText(), QStringLiteral("And"));
            Choose(Box(dialog, "cboData", 1), LoadResString(514));
            QCOMPARE(ShownRows(dialog).size(), 1);
            for (int row = 2; row < frmFilter::RowCount; ++row)
                QVERIFY(!Box(dialog, "cboData", row)->isEnabled() &&
                        !Box(dialog, "cboOperator", row)->isEnabled());
            QTest::mouseClick(Find<QPushButton>(dialog, "cmdCancel"), Qt::LeftButton);
        });
        Filters filters;
        QVERIFY(!frmFilter::ShowFilter(nullptr, m_recipients, filters));
    }

    // Saved rows come back up to the first whose column the record set no
    // longer has (names compare exactly, case included).
    void restore_data()
    {
        QTest::addColumn<EntryList>("saved");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("every kind")
            << EntryList{{"Name", 6, "Jo"},
                         {"Member", 1, "1", 1},
                         {"Joined", 2, "2005-03-05 09:07"},
                         {"Age", 3, "10", 1}}
            << QStringList{"Name|6|Jo|txtValue", "Member|1|1|chkValue",
                           "Joined|2|2005-03-05 09:07|dtmValue", "Age|3|10|txtnumValue"};
        QTest::newRow("midnight and hour 0 leave their boxes empty")
            << EntryList{{"Joined", 0, "2010-01-01 00:00"}, {"Joined", 0, "2010-01-01 00:05"}}
            << QStringList{"Joined|0|2010-01-01 :|dtmValue", "Joined|0|2010-01-01 :05|dtmValue"};
        QTest::newRow("a column gone ends the restore")
            << EntryList{{"Name", 0, "a"}, {"Country", 0, "b"}, {"Age", 0, "3"}}
            << QStringList{"Name|0|a|txtValue"};
        QTest::newRow("case differs") << EntryList{{"NAME", 0, "a"}} << QStringList{};
    }
    void restore()
    {
        QFETCH(EntryList, saved);
        QFETCH(QStringList, shown);
        QStringList seen;
        QList<int> clauses;
        WhenModal([&](QWidget* dialog) {
            seen = ShownRows(dialog);
            for (int row = 1; row < seen.size(); ++row)
                clauses << Box(dialog, "cboClause", row)->currentIndex();
            QTest::mouseClick(Find<QPushButton>(dialog, "cmdCancel"), Qt::LeftButton);
        });
        Filters filters = Saved(saved);
        QVERIFY(!frmFilter::ShowFilter(nullptr, m_recipients, filters));
        QCOMPARE(seen, shown);
        for (int row = 1; row < seen.size(); ++row)
            QCOMPARE(clauses.at(row - 1), saved.at(row).clause);
        QCOMPARE(filters, Saved(saved));
    }

    // OK over an earlier filter: rows that some recipient passes become the
    // filter and the list's rows; otherwise the dialog stays open, says why,
    // and the earlier filter and rows stay.
    void confirm_data()
    {
        QTest::addColumn<EntryList>("entered");
        QTest::addColumn<bool>("clearAll");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("refusal");
        const auto row = [](const char* name, const EntryList& entered, bool clearAll,
                            const QStringList& names, const QString& refusal = QString()) {
            QTest::newRow(name) << entered << clearAll << names << refusal;
        };
        const QStringList earlier{"Jonas", "Anna"};
        row("text starts with", {{"Name", 6, "Jo"}}, false, {"Jonas", "Joan"});
        row("yes/no not equal to", {{"Member", 1, "1"}}, false, {"Joan"});
        row("date from the boxes", {{"Joined", 3, "2005-03-05 09:07"}}, false, {"Jonas", "Joan"});
        row("number or text", {{"Age", 1, "10"}, {"Name", 0, "Joan", 1}}, false, {"Joan", "Anna"});
        // Typed into the number box, the sign and the decimal point stay.
        row("numbers with a sign and a decimal point", {{"Age", 1, "-1.5"}, {"Age", 2, "9.5"}},
            false, {"Jonas"});
        EntryList eight(7, Entry{"Name", 0, "x", 1});
        eight.first().clause = 0; // the first row's box is not the user's to change
        eight << Entry{"Age", 0, "10", 1};
        row("row 7 takes part", eight, false, {"Joan"});
        row("Clear All removes the filter", {{"Name", 0, "x"}}, true, {"Jonas", "Joan", "Anna"});
        row("no record passes", {{"Name", 0, "Nobody"}}, false, earlier,
            LoadResString(501) + QStringLiteral("@cmdOK"));
        row("apostrophe in a value", {{"Name", 0, "O'Brien"}}, false, earlier, LoadResString(4130));
        row("date the boxes cannot hold", {{"Joined", 0, "2005-13-05 09:07"}}, false, earlier,
            LoadResString(4130));
        // Nothing imported to filter: the dialog just closes.
        row("record set closed", {{"Name", 0, "Jonas"}}, false, {}, QStringLiteral("closed"));
    }
    void confirm()
    {
        QFETCH(EntryList, entered);
        QFETCH(bool, clearAll);
        QFETCH(QStringList, names);
        QFETCH(QString, refusal);
        const EntryList before{{"Member", 0, "1"}};
        Filters filters = Saved(before);
        m_recipients.SetFilter(QStringLiteral("[Member] = '1'"));
        const bool closed = refusal == QLatin1String("closed");
        if (closed)
            m_recipients.Close();
        if (refusal == LoadResString(4130))
            Dialogs::QueueAnswer(QMessageBox::Ok);
        bool stayedOpen = false;
        QString balloon;
        WhenModal([&](QWidget* dialog) {
            QTest::mouseClick(Find<QPushButton>(dialog, "cmdClearAll"), Qt::LeftButton);
            for (int row = 0; row < entered.size(); ++row)
                Fill(dialog, row, entered.at(row));
            if (clearAll)
                QTest::mouseClick(Find<QPushButton>(dialog, "cmdClearAll"), Qt::LeftButton);
            QTest::mouseClick(Find<QPushButton>(dialog, "cmdOK"), Qt::LeftButton);
            stayedOpen = dialog->isVisible();
            balloon = BalloonShown();
            if (stayedOpen)
                QTest::mouseClick(Find<QPushButton>(dialog, "cmdCancel"), Qt::LeftButton);
        });
        const bool applied = frmFilter::ShowFilter(nullptr, m_recipients, filters);
        QCOMPARE(applied, refusal.isEmpty());
        QCOMPARE(stayedOpen, !applied && !closed);
        QCOMPARE(VisibleNames(m_recipients), names);
        const QList<Dialogs::Asked> asked = Dialogs::TakeAsked();
        if (refusal == LoadResString(4130)) {
            QCOMPARE(asked.size(), 1);
            QVERIFY(asked.first().text.startsWith(refusal + QStringLiteral("\n\n")));
            QVERIFY(asked.first().text.size() > refusal.size() + 2); // with the reason
        } else {
            QCOMPARE(balloon, closed ? QString() : refusal);
        }
        QCOMPARE(filters, applied ? Saved(clearAll ? EntryList{} : entered) : Saved(before));
    }
};

CORVANTA_TEST_MAIN(TestFilterDialog)
#include "tst_FilterDialog.moc"
