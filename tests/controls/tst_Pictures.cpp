#include "TestMain.h"
#include "controls/Icons.h"
#include "controls/Images.h"

#include <QDialog>
#include <QLabel>

namespace {

// Every icon and picture name the program's windows ask for.
const char* const IconNames[] = {"ICO_EMAIL", "ICO_HELP",  "ICO_PREVIOUS", "ICO_NEXT",
                                 "ICO_STEP1", "ICO_STEP2", "ICO_STEP3",    "ICO_STEP4"};
const char* const PictureNames[] = {"IMG_SPLASH"};

int opaquePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 128;
    return count;
}

QImage sameImage(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyIconLoadsAtBothSizes_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name : IconNames)
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void everyIconLoadsAtBothSizes()
    {
        QFETCH(QString, name);
        QVERIFY(!Icons::Load(name).isNull());
        for (const bool small : {true, false}) {
            const QPixmap pixmap = Icons::Pixmap(name, small);
            const int size = small ? 16 : 32;
            QCOMPARE(pixmap.deviceIndependentSize().toSize(), QSize(size, size));
            // Something is drawn, and not a filled square.
            const int opaque = opaquePixels(pixmap.toImage());
            QVERIFY2(opaque > size * size / 8, qPrintable(QString::number(opaque)));
            QVERIFY2(opaque < size * size, qPrintable(QString::number(opaque)));
        }
    }

    void unknownIconsLoadNothing()
    {
        QVERIFY(Icons::Load(QStringLiteral("ICO_NO_SUCH_ICON")).isNull());
        QVERIFY(Icons::Load(QString()).isNull());
        QVERIFY(Icons::Pixmap(QStringLiteral("ICO_NO_SUCH_ICON"), true).isNull());
        QWidget window;
        QVERIFY(!Icons::SetIcon(&window, QStringLiteral("ICO_NO_SUCH_ICON"), true));
        QVERIFY(window.windowIcon().isNull());
    }

    void iconsAreDrawnIntoPictureBoxes()
    {
        QLabel box;
        box.resize(100, 40);
        QVERIFY(Icons::AddLocalResourceIconToPictureBox(&box, QStringLiteral("ICO_HELP"), true, 4, 6));
        QImage picture = box.pixmap().toImage();
        QCOMPARE(picture.size(), QSize(100, 40));
        QVERIFY(qAlpha(picture.pixel(12, 14)) > 0);  // centre of the icon
        QCOMPARE(qAlpha(picture.pixel(60, 20)), 0); // nothing else is painted
        QCOMPARE(qAlpha(picture.pixel(2, 2)), 0);

        // A second icon is added to the first.
        QVERIFY(Icons::AddLocalResourceIconToPictureBox(&box, QStringLiteral("ICO_NEXT"), false,
                                                        50, 4));
        picture = box.pixmap().toImage();
        QVERIFY(qAlpha(picture.pixel(12, 14)) > 0);
        QVERIFY(qAlpha(picture.pixel(66, 20)) > 0);

        // An icon past the edge makes room for itself.
        QVERIFY(Icons::AddLocalResourceIconToPictureBox(&box, QStringLiteral("ICO_NEXT"), false,
                                                        90, 20));
        QCOMPARE(box.pixmap().deviceIndependentSize().toSize(), QSize(122, 52));

        const QImage before = box.pixmap().toImage();
        QVERIFY(!Icons::AddLocalResourceIconToPictureBox(&box, QStringLiteral("ICO_NO_SUCH_ICON"),
                                                         true, 0, 0));
        QCOMPARE(box.pixmap().toImage(), before);
        QVERIFY(!Icons::AddLocalResourceIconToPictureBox(nullptr, QStringLiteral("ICO_HELP"), true,
                                                         0, 0));
    }

    void windowIconsReachTheTopmostOwnerOnlyWhenAsked()
    {
        QWidget main;
        QDialog wizard(&main);
        QDialog page(&wizard);
        QCOMPARE(Icons::TopmostOwner(&page), &main);
        QCOMPARE(Icons::TopmostOwner(&main), &main);

        QVERIFY(Icons::SetIcon(&page, QStringLiteral("ICO_HELP"), false));
        QCOMPARE(sameImage(page.windowIcon()), sameImage(Icons::Load(QStringLiteral("ICO_HELP"))));
        QVERIFY(!main.testAttribute(Qt::WA_SetWindowIcon));

        QVERIFY(Icons::SetIcon(&page, QStringLiteral("ICO_EMAIL"), true));
        const QImage email = sameImage(Icons::Load(QStringLiteral("ICO_EMAIL")));
        QCOMPARE(sameImage(page.windowIcon()), email);
        QCOMPARE(sameImage(main.windowIcon()), email);
        QVERIFY(main.testAttribute(Qt::WA_SetWindowIcon));
        // The window between them is not touched.
        QVERIFY(!wizard.testAttribute(Qt::WA_SetWindowIcon));
    }

    void everyPictureLoads_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("transparent");
        for (const char* name : PictureNames) {
            QTest::newRow((name + QByteArray(" plain")).constData())
                << QString::fromLatin1(name) << false;
            QTest::newRow((name + QByteArray(" transparent")).constData())
                << QString::fromLatin1(name) << true;
        }
    }

    void everyPictureLoads()
    {
        QFETCH(QString, name);
        QFETCH(bool, transparent);
        QPixmap picture;
        QString error = QStringLiteral("left over");
        QVERIFY(Images::LoadPictureTransparent(picture, name, error, transparent));
        QVERIFY(!picture.isNull());
        QVERIFY(error.isEmpty());
    }

    void theSplashIsAWholeOpaquePicture()
    {
        QPixmap picture;
        QString error;
        QVERIFY(Images::LoadPictureTransparent(picture, QStringLiteral("IMG_SPLASH"), error, true));
        QCOMPARE(picture.size(), QSize(400, 250));
        const QImage image = picture.toImage();
        QCOMPARE(opaquePixels(image), 400 * 250);
    }

    void aMissingPictureLeavesItEmptyAndSaysSo()
    {
        QPixmap picture(10, 10);
        QString error;
        QVERIFY(!Images::LoadPictureTransparent(picture, QStringLiteral("IMG_NO_SUCH"), error, true));
        QVERIFY(picture.isNull());
        QCOMPARE(error, QStringLiteral("Could not read the bitmap file..."));
        QVERIFY(!Images::LoadPictureTransparent(picture, QString(), error, false));
    }

    void transparencyTakesTheTopLeftColour()
    {
        QImage image(4, 2, QImage::Format_RGB32);
        image.fill(qRgb(255, 0, 255));
        image.setPixel(1, 0, qRgb(0, 0, 255));
        image.setPixel(3, 1, qRgb(0, 0, 255));
        const QImage result = Images::MakeTransparent(image);
        QCOMPARE(qAlpha(result.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(result.pixel(2, 1)), 0);
        QCOMPARE(result.pixel(1, 0), qRgb(0, 0, 255));
        QCOMPARE(result.pixel(3, 1), qRgb(0, 0, 255));

        // A picture with transparency of its own keeps it as drawn.
        QImage own(2, 1, QImage::Format_ARGB32);
        own.setPixel(0, 0, qRgba(255, 255, 255, 255));
        own.setPixel(1, 0, qRgba(0, 0, 0, 0));
        QCOMPARE(Images::MakeTransparent(own), own);
    }

    void classicGreysTakeThePaletteColours()
    {
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Button, QColor(10, 20, 30));
        palette.setColor(QPalette::Dark, QColor(40, 50, 60));
        palette.setColor(QPalette::Midlight, QColor(70, 80, 90));
        const QPalette saved = QApplication::palette();
        QApplication::setPalette(palette);

        QImage image(4, 1, QImage::Format_RGB32);
        image.setPixel(0, 0, qRgb(192, 192, 192));
        image.setPixel(1, 0, qRgb(128, 128, 128));
        image.setPixel(2, 0, qRgb(223, 223, 223));
        image.setPixel(3, 0, qRgb(191, 192, 192));
        const QImage result = Images::MapSystemColours(image);
        QApplication::setPalette(saved);

        QCOMPARE(result.pixel(0, 0), qRgb(10, 20, 30));
        QCOMPARE(result.pixel(1, 0), qRgb(40, 50, 60));
        QCOMPARE(result.pixel(2, 0), qRgb(70, 80, 90));
        QCOMPARE(result.pixel(3, 0), qRgb(191, 192, 192));
    }
};

CORVANTA_TEST_MAIN(TestPictures)
#include "tst_Pictures.moc"
