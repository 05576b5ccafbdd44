#include "workers/MemDC.h"

#include <gtest/gtest.h>
#include <QPainter>
#include <functional>

namespace torv {
namespace {

const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);

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
        QImage target(100, 100, QImage::Format_RGB32);
        target.fill(kBlue);
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

}  // namespace
}  // namespace torv
