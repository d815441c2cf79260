#include "form_fixture.h"

#include "panel/control_inventory.h"

#include "test_registry.h"

#include <QIcon>
#include <QImage>
#include <QLabel>

using namespace vx37;
using namespace vx37::testing;

namespace {

// The ratio the run was started with: ctest runs this class once as designed and once with
// QT_SCALE_FACTOR=2, as on a high-dpi screen.
qreal requestedRatio()
{
    bool ok = false;
    const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok ? factor : 1.0;
}

QImage rgb(const QImage& image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

class HighDpiTest : public QObject
{
    Q_OBJECT

private slots:
    void windowTakesTheRequestedRatio()
    {
        FormFixture f;
        QCOMPARE(f.form.devicePixelRatioF(), requestedRatio());
        QCOMPARE(f.form.grab().devicePixelRatio(), requestedRatio());
    }

    // In logical pixels nothing moves: the window and every control keep their designed
    // place and size, so the proportions stay whatever the ratio.
    void controlsKeepTheirDesignedGeometry()
    {
        FormFixture f;
        QCOMPARE(f.form.width(), FormFixture::pixels(9495));
        for (const ControlSpec& item : controlInventory()) {
            const QWidget* widget = f.form.control(item.name);
            const QRect designed(FormFixture::pixels(item.left), FormFixture::pixels(item.top),
                                 FormFixture::pixels(item.width), FormFixture::pixels(item.height));
            QVERIFY2(widget->geometry() == designed, item.name.data());
        }
        // The fonts are sized in logical pixels as well, so captions fit as designed.
        QCOMPARE(f.widget("Command17")->font().pixelSize(), 12);
    }

    // The drawn window is the designed one, ratio times as many pixels each way: a
    // button's fill covers its scaled area and the outline is scaled as thick.
    void drawingScalesWithTheRatio()
    {
        FormFixture f;
        const qreal ratio = requestedRatio();
        const QImage image = rgb(f.form.grab().toImage());
        QCOMPARE(image.size(), f.form.size() * ratio);

        // Command17 "ON": 41 x 20 logical pixels at (8, 40) in Frame1 at (8, 16).
        const QRect on(QPoint(16, 56) * ratio, QSize(41, 20) * ratio);
        const QPoint middleLeft(on.left() + int(4 * ratio), on.center().y());
        QCOMPARE(image.pixel(middleLeft) & 0xFFFFFF, 0xC0FFC0u);

        // Line7, the top of the arrow outline: 2 logical pixels thick at y = 160.
        const int x = int(100 * ratio);
        int thickness = 0;
        for (int y = int(150 * ratio); y < int(170 * ratio); ++y)
            thickness += (image.pixel(x, y) & 0xFFFFFF) == 0x8080FFu ? 1 : 0;
        QCOMPARE(thickness, int(2 * ratio));
    }

    // The logo is drawn pixel for pixel from the artwork made for the ratio, never a
    // scaled-up 1x picture.
    void logoIsDrawnFromItsOwnArtwork()
    {
        FormFixture f;
        const qreal ratio = requestedRatio();
        const QImage image = rgb(f.form.grab().toImage());
        const QImage logo = rgb(QImage(ratio >= 2 ? QStringLiteral(":/vx37/logo@2x.png")
                                                  : QStringLiteral(":/vx37/logo.png")));
        QCOMPARE(logo.size(), QSize(80, 26) * ratio);
        const QRect drawn(QPoint(544, 8) * ratio, logo.size());
        QCOMPARE(image.copy(drawn), logo);
        // The label still reports the designed size.
        QCOMPARE(f.widget<QLabel>("Image1")->pixmap().deviceIndependentSize(), QSizeF(80, 26));
    }

    void windowIconHasATwiceSizedVersion()
    {
        FormFixture f;
        const QIcon icon = f.form.windowIcon();
        QVERIFY(icon.availableSizes().contains(QSize(64, 64)));
        QVERIFY(icon.availableSizes().contains(QSize(128, 128)));
        const QPixmap sharp = icon.pixmap(QSize(64, 64), 2.0);
        QCOMPARE(sharp.size(), QSize(128, 128));
        const auto premultiplied = [](const QImage& image) {
            return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        };
        QCOMPARE(premultiplied(sharp.toImage()),
                 premultiplied(QImage(QStringLiteral(":/vx37/icon@2x.png"))));
    }
};

VX37_TEST(HighDpiTest)
#include "test_high_dpi.moc"
