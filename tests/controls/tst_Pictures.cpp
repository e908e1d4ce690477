#include "WidgetTestMain.h"
#include "controls/Icons.h"
#include "controls/Images.h"

#include <QDialog>

namespace {

// Every icon name the program's windows ask for.
const char* const IconNames[] = {"ICO_EMAIL", "ICO_HELP",  "ICO_PREVIOUS", "ICO_NEXT",
                                 "ICO_STEP1", "ICO_STEP2", "ICO_STEP3",    "ICO_STEP4"};

int opaquePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 128;
    return count;
}

QImage small(const QIcon& icon)
{
    return icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void namedIconsAndPicturesLoadAndUnknownNamesLoadNothing()
    {
        for (const char* name : IconNames) {
            for (const int size : {16, 32}) {
                const QPixmap pixmap = Icons::Pixmap(QLatin1String(name), size == 16);
                QCOMPARE(pixmap.deviceIndependentSize().toSize(), QSize(size, size));
                // Something is drawn, and not a filled square.
                const int opaque = opaquePixels(pixmap.toImage());
                QVERIFY2(opaque > size * size / 8 && opaque < size * size, name);
            }
        }
        // The splash has no transparency of its own, whatever the flag.
        for (const bool transparent : {false, true}) {
            QPixmap splash;
            QString error = QStringLiteral("left over");
            QVERIFY(Images::LoadPictureTransparent(splash, QStringLiteral("IMG_SPLASH"), error, transparent));
            QVERIFY(error.isEmpty());
            QCOMPARE(opaquePixels(splash.toImage()), splash.width() * splash.height());
        }

        QVERIFY(Icons::Load(QStringLiteral("ICO_NO_SUCH_ICON")).isNull());
        QWidget window;
        QVERIFY(!Icons::SetIcon(&window, QStringLiteral("ICO_NO_SUCH_ICON"), true));
        QVERIFY(!window.testAttribute(Qt::WA_SetWindowIcon));
        QPixmap picture(10, 10);
        QString error;
        QVERIFY(!Images::LoadPictureTransparent(picture, QStringLiteral("IMG_NO_SUCH"), error, true));
        QVERIFY(picture.isNull());
        QVERIFY(!error.isEmpty());
    }

    void windowIconsReachTheTopmostOwnerOnlyWhenAsked()
    {
        QWidget main;
        QDialog wizard(&main);
        QDialog page(&wizard);
        QCOMPARE(Icons::TopmostOwner(&page), &main);

        QVERIFY(Icons::SetIcon(&page, QStringLiteral("ICO_HELP"), false));
        QCOMPARE(small(page.windowIcon()), small(Icons::Load(QStringLiteral("ICO_HELP"))));
        QVERIFY(!main.testAttribute(Qt::WA_SetWindowIcon));

        QVERIFY(Icons::SetIcon(&page, QStringLiteral("ICO_EMAIL"), true));
        const QImage email = small(Icons::Load(QStringLiteral("ICO_EMAIL")));
        QCOMPARE(small(page.windowIcon()), email);
        QCOMPARE(small(main.windowIcon()), email);
        QVERIFY(!wizard.testAttribute(Qt::WA_SetWindowIcon));
    }

    void transparencyTakesTheTopLeftColour()
    {
        QImage image(3, 2, QImage::Format_RGB32);
        image.fill(qRgb(255, 0, 255));
        image.setPixel(1, 0, qRgb(0, 0, 255));
        const QImage clear = Images::MakeTransparent(image);
        QCOMPARE(qAlpha(clear.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(clear.pixel(2, 1)), 0);
        QCOMPARE(clear.pixel(1, 0), qRgb(0, 0, 255));
        // A picture with transparency of its own keeps it as drawn.
        QImage own(2, 1, QImage::Format_ARGB32);
        own.setPixel(0, 0, qRgba(255, 255, 255, 255));
        own.setPixel(1, 0, qRgba(0, 0, 0, 0));
        QCOMPARE(Images::MakeTransparent(own), own);
    }
};

CORVANTA_TEST_MAIN(TestPictures)
#include "tst_Pictures.moc"
