#include "workers/MemDC.h"

#include <gtest/gtest.h>
#include <QPainter>
#include <functional>

namespace torv {
namespace {

const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);
const QRgb kGrey = qRgb(133, 133, 133);

QImage Canvas(QRgb fill, QSize size = QSize(100, 100)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

::testing::AssertionResult Painted(const QImage& image, const std::function<QRgb(QPoint)>& want) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != want(QPoint(x, y))) {
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << std::hex << image.pixel(x, y);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(MemDC, DrawingAtLogicalCoordinatesLandsWhereTheTargetMapsThem) {
    struct Case {
        std::function<void(QPainter&)> mapping;
        QRect logicalArea;
        QRect deviceArea;  // where that area must land on the target
    };
    // clang-format off
    const Case cases[] = {
        {[](QPainter&) {}, QRect(10, 20, 30, 15), QRect(10, 20, 30, 15)},
        {[](QPainter& p) { p.setWindow(-30, -5, 100, 100); }, QRect(-20, 0, 10, 10), QRect(10, 5, 10, 10)},
        {[](QPainter& p) { p.translate(25, 5); }, QRect(0, 0, 10, 10), QRect(25, 5, 10, 10)},
    };
    // clang-format on
    for (const Case& row : cases) {
        SCOPED_TRACE(row.deviceArea.x());
        QImage target = Canvas(kBlue);
        {
            QPainter painter(&target);
            row.mapping(painter);
            painter.setBackground(QColor(kGreen));
            CMemDC surface(&painter, &row.logicalArea);
            surface->fillRect(row.logicalArea.adjusted(0, 0, 0, -5), QColor(kRed));
            // Drawing outside the area never reaches the target.
            surface->fillRect(row.logicalArea.adjusted(-40, -40, 40, 40).translated(0, 60),
                              QColor(kRed));
            EXPECT_TRUE(Painted(target, [](QPoint) { return kBlue; })) << "copied before the end";
        }
        // The surface starts filled with the target's background colour.
        const QRect drawn = row.deviceArea.adjusted(0, 0, 0, -5);
        EXPECT_TRUE(Painted(target, [&](QPoint p) {
            return drawn.contains(p) ? kRed : row.deviceArea.contains(p) ? kGreen : kBlue;
        }));
    }
}

TEST(MemDC, MaskMakesTheKeyColourTransparentEverywhereInThePicture) {
    // A 5x5 grey picture with a red cross; grey also at the centre, inside the picture.
    QImage image(5, 5, QImage::Format_Indexed8);
    image.setColorTable({kGrey, kRed});
    image.fill(0);
    for (int i = 0; i < 5; ++i) {
        image.setPixel(2, i, i == 2 ? 0 : 1);
        image.setPixel(i, 2, i == 2 ? 0 : 1);
    }
    QImage kept = image;
    QImage mask;
    CreateMaskBitmap(kept, mask, QPoint(9, 9));
    EXPECT_EQ(kept.pixel(0, 0), kGrey) << "a pixel outside the picture matches nothing";
    EXPECT_EQ(mask.pixel(0, 0), qRgb(0, 0, 0));

    CreateMaskBitmap(image, mask, QPoint(0, 0));
    QImage target = Canvas(kBlue, QSize(20, 20));
    {
        QPainter painter(&target);
        const QRect area(0, 0, 20, 20);
        CMemDC surface(&painter, &area);
        surface->fillRect(area, QColor(kGreen));
        surface.DrawTransparent(QRect(10, 10, 5, 5), image, mask, 0, 0);
    }
    EXPECT_EQ(target.pixel(10, 10), kGreen) << "corner should show the background";
    EXPECT_EQ(target.pixel(12, 12), kGreen) << "key colour inside the picture is transparent too";
    EXPECT_EQ(target.pixel(12, 10), kRed);
    EXPECT_EQ(target.pixel(14, 12), kRed);
    EXPECT_EQ(target.pixel(9, 9), kGreen);
}

}  // namespace
}  // namespace torv
