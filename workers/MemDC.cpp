#include "workers/MemDC.h"

namespace torv {

namespace {

QRect DefaultArea(QPainter* target) {
    if (target->hasClipping()) {
        return target->clipBoundingRect().toAlignedRect();
    }
    const QPaintDevice* device = target->device();
    const QRect whole(0, 0, device->width(), device->height());
    return target->combinedTransform().inverted().mapRect(QRectF(whole)).toAlignedRect();
}

}  // namespace

CMemDC::CMemDC(QPainter* target, const QRect* area)
    : m_pDC(target), m_rect(area ? *area : DefaultArea(target)) {
    const QTransform toDevice = target->combinedTransform();
    m_deviceRect = toDevice.mapRect(QRectF(m_rect)).toAlignedRect();
    m_bitmap = QImage(m_deviceRect.size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    m_memPainter.begin(&m_bitmap);
    m_memPainter.setTransform(toDevice *
                              QTransform::fromTranslate(-m_deviceRect.left(), -m_deviceRect.top()));
    m_memPainter.setFont(target->font());
    m_memPainter.setPen(target->pen());
    m_memPainter.setBrush(target->brush());
    m_memPainter.setBackground(target->background());
    m_memPainter.setBackgroundMode(target->backgroundMode());
    m_memPainter.fillRect(m_rect, target->background().color());
}

CMemDC::~CMemDC() {
    m_memPainter.end();
    m_pDC->save();
    m_pDC->setWorldMatrixEnabled(false);
    m_pDC->setViewTransformEnabled(false);
    m_pDC->setCompositionMode(QPainter::CompositionMode_Source);
    m_pDC->drawImage(m_deviceRect.topLeft(), m_bitmap, QRect(QPoint(0, 0), m_deviceRect.size()));
    m_pDC->restore();
}

void CMemDC::DrawTransparent(const QRect& dest, const QImage& image, const QImage& mask, int x,
                             int y) {
    // The surface is always a raster image, whose engine has the raster operations.
    QPainter& p = m_memPainter;
    const QRect source(x, y, dest.width(), dest.height());
    p.save();
    p.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    p.drawImage(dest.topLeft(), mask, source);
    p.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    p.drawImage(dest.topLeft(), image, source);
    p.restore();
}

void CreateMaskBitmap(QImage& image, QImage& mask, const QPoint& pixel) {
    image = image.convertToFormat(QImage::Format_RGB32);
    mask = QImage(image.size(), QImage::Format_Mono);
    mask.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mask.fill(0);
    if (!image.valid(pixel)) {
        return;
    }
    const QRgb transparent = image.pixel(pixel);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == transparent) {
                mask.setPixel(x, y, 1);
                image.setPixel(x, y, qRgb(0, 0, 0));
            }
        }
    }
}

}  // namespace torv
