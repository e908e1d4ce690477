#include "WidgetTestMain.h"
#include "controls/modForms.h"

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindow>

using modForms::ChooseUIFont;

class TestModForms : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fontFallsBackInOrder()
    {
        QStringList asked;
        auto none = [&](const QString& face) {
            asked << face;
            return false;
        };
        const auto font = ChooseUIFont(0x09, 1, none, 0);
        QCOMPARE(font.face, QStringLiteral("System"));
        QCOMPARE(font.pointSize, 8);
        // "System" is the last resort and is taken untested.
        QCOMPARE(asked, (QStringList{QStringLiteral("Tahoma"), QStringLiteral("Arial")}));

        const auto arial = ChooseUIFont(0x09, 1,
                                        [](const QString& f) { return f == QLatin1String("Arial"); },
                                        238);
        QCOMPARE(arial.face, QStringLiteral("Arial"));
        QCOMPARE(arial.pointSize, 8);
        QCOMPARE(arial.charset, 238);

        const auto tahoma = ChooseUIFont(0x07, 1, [](const QString&) { return true; }, 0);
        QCOMPARE(tahoma.face, QStringLiteral("Tahoma"));
    }

    void eastAsianFaces()
    {
        auto any = [](const QString&) { return true; };
        struct Expected
        {
            int primary, sub;
            const char* face;
            int pointSize, charset;
        };
        // Hong Kong has no face of its own; Korean outside Korea keeps the size.
        const Expected rows[] = {{0x04, 1, "新細明體", 9, 136}, {0x04, 2, "宋体", 9, 134},
                                 {0x04, 3, "", 0, 0},           {0x11, 1, "ＭＳ Ｐゴシック", 9, 128},
                                 {0x12, 1, "굴림", 9, 129},     {0x12, 3, "", 9, 129}};
        for (const Expected& row : rows) {
            const auto font = ChooseUIFont(row.primary, row.sub, any, 0);
            QCOMPARE(font.face, QString::fromUtf8(row.face));
            QCOMPARE(font.pointSize, row.pointSize);
            QCOMPARE(font.charset, row.charset);
        }
    }

    void localesMapToLanguageIds()
    {
        QCOMPARE(modForms::LanguageOf(QLocale(QStringLiteral("zh_TW"))).sub, 1);
        QCOMPARE(modForms::LanguageOf(QLocale(QStringLiteral("zh_CN"))).sub, 2);
        QCOMPARE(modForms::LanguageOf(QLocale(QStringLiteral("zh_HK"))).sub, 3);
        QCOMPARE(modForms::LanguageOf(QLocale(QStringLiteral("ja_JP"))).primary, 0x11);
        QCOMPARE(modForms::LanguageOf(QLocale(QStringLiteral("ko_KR"))).primary, 0x12);
        QCOMPARE(modForms::CharsetOf(QLocale(QStringLiteral("ru_RU"))), 204);
        QCOMPARE(modForms::CharsetOf(QLocale(QStringLiteral("pl_PL"))), 238);
        QCOMPARE(modForms::CharsetOf(QLocale(QStringLiteral("en_US"))), 0);
    }

    void fontExistsComparesWhatIsReported()
    {
        QVERIFY(!modForms::FontExists(QStringLiteral("No Such Face 4711")));
        QVERIFY(!modForms::FontExists(QString()));
        const QString real = QFontInfo(QApplication::font()).family();
        QVERIFY(modForms::FontExists(real));
        QVERIFY(modForms::FontExists(real.toUpper()));
    }

    void applyFontsKeepsBoldAndReachesChildren()
    {
        QMainWindow window;
        auto* central = new QWidget(&window);
        auto* layout = new QVBoxLayout(central);
        auto* plain = new QLabel(QStringLiteral("plain"), central);
        auto* bold = new QLabel(QStringLiteral("bold"), central);
        QFont boldFont = bold->font();
        boldFont.setBold(true);
        boldFont.setFamily(QStringLiteral("Some Other Face"));
        bold->setFont(boldFont);
        auto* button = new QPushButton(QStringLiteral("button"), central);
        QFont big = button->font();
        big.setPointSize(20);
        button->setFont(big);
        layout->addWidget(plain);
        layout->addWidget(bold);
        layout->addWidget(button);
        window.setCentralWidget(central);
        window.statusBar()->setObjectName(QStringLiteral("sbMain"));

        modForms::ApplyFonts(&window);
        const auto ui = modForms::GetUIFont();
        QCOMPARE(plain->font().family(), ui.face);
        QCOMPARE(plain->font().pointSize(), ui.pointSize);
        QVERIFY(!plain->font().bold());
        QCOMPARE(bold->font().family(), ui.face);
        QVERIFY(bold->font().bold());
        QCOMPARE(button->font().pointSize(), ui.pointSize);
        QCOMPARE(window.statusBar()->font(), modForms::GetMessageFont());
    }

    void numbersOnly()
    {
        QLineEdit edit;
        modForms::SetNumbersOnly(&edit, true);
        QTest::keyClicks(&edit, QStringLiteral("1a2-3"));
        QCOMPARE(edit.text(), QStringLiteral("123"));
        modForms::SetNumbersOnly(&edit, true); // twice is the same as once
        modForms::SetNumbersOnly(&edit, false);
        QVERIFY(!edit.validator());
        QTest::keyClicks(&edit, QStringLiteral("x"));
        QCOMPARE(edit.text(), QStringLiteral("123x"));

        // Switching off leaves a validator set by others alone.
        QIntValidator other(0, 10);
        edit.setValidator(&other);
        modForms::SetNumbersOnly(&edit, false);
        QCOMPARE(edit.validator(), &other);
    }

    void closeCommandRemoved()
    {
        QWidget window;
        modForms::RemoveCloseCommand(&window);
        window.show();
        QVERIFY(!(window.windowFlags() & Qt::WindowCloseButtonHint));
        // The window manager's request reaches the platform window first, as here;
        // it is refused...
        QCloseEvent request;
        QApplication::sendEvent(window.windowHandle(), &request);
        QVERIFY(!request.isAccepted());
        QVERIFY(window.isVisible());
        // ...the program's own close still works.
        QVERIFY(window.close());
        QVERIFY(!window.isVisible());
    }

    void fullRowSelectAndColumns()
    {
        QTreeWidget list;
        list.setColumnCount(2);
        auto* item = new QTreeWidgetItem(&list, {QStringLiteral("short"),
                                                 QString(60, u'w')});
        Q_UNUSED(item);
        modForms::SetFullRowSelect(&list, true);
        QCOMPARE(list.selectionBehavior(), QAbstractItemView::SelectRows);
        modForms::SetFullRowSelect(&list, false);
        QCOMPARE(list.selectionBehavior(), QAbstractItemView::SelectItems);
        list.setColumnWidth(1, 10);
        modForms::AutoSizeColumns(&list);
        QVERIFY(list.columnWidth(1) > 100);
    }

    void verticalScrollBar()
    {
        QTreeWidget list;
        list.resize(200, 80);
        list.show();
        QVERIFY(!modForms::HasVerticalScrollBar(&list));
        for (int i = 0; i < 50; ++i)
            new QTreeWidgetItem(&list, {QString::number(i)});
        QTRY_VERIFY(modForms::HasVerticalScrollBar(&list));
        QLabel label;
        QVERIFY(!modForms::HasVerticalScrollBar(&label));
    }

    void fileIcon()
    {
        QTreeWidgetItem item;
        const QIcon icon = modForms::AddFileIcon(QStringLiteral(CORVANTA_SOURCE_DIR "/README.md"), &item);
        QVERIFY(!icon.isNull());
        QVERIFY(!item.icon(0).isNull());
    }
};

CORVANTA_TEST_MAIN(TestModForms)
#include "tst_modForms.moc"
