#include "workers/MemDC.h"

#include <gtest/gtest.h>
#include <QPainter>
#include <functional>

namespace torv {
namespace {

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
        target.fill(Qt::blue);
        const QImage untouched = target;
        {
            QPainter painter(&target);
            row.mapping(painter);
            painter.setBackground(Qt::green);
            CMemDC surface(&painter, &row.logicalArea);
            surface->fillRect(row.logicalArea.adjusted(0, 0, 0, -5), Qt::red);
            // Drawing outside the area never reaches the target.
            surface->fillRect(row.logicalArea.adjusted(-40, -40, 40, 40).translated(0, 60),
                              Qt::red);
            EXPECT_TRUE(target == untouched) << "copied before the end";
        }
        // The surface starts filled with the target's background colour.
        QImage expected = untouched;
        {
            QPainter painter(&expected);
            painter.fillRect(row.deviceArea, Qt::green);
            painter.fillRect(row.deviceArea.adjusted(0, 0, 0, -5), Qt::red);
        }
        EXPECT_TRUE(target == expected);
    }
}

}  // namespace
}  // namespace torv
