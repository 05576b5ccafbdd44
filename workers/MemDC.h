// An off-screen drawing surface over a painter: draw through it at the target's own (logical)
// coordinates; the finished picture goes to the target in one copy when the surface ends, so
// owner-drawn controls do not flicker. Also the two helpers for images with a transparent colour.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>

namespace torv {

class CMemDC {
public:
    // area: in the target's logical coordinates; null covers the target's clip region (the whole
    // device when it has none). The surface starts filled with the target's background colour.
    explicit CMemDC(QPainter* target, const QRect* area = nullptr);
    ~CMemDC();
    CMemDC(const CMemDC&) = delete;
    CMemDC& operator=(const CMemDC&) = delete;

    // The painter to draw with.
    QPainter& Painter() { return m_memPainter; }
    QPainter* operator->() { return &Painter(); }

    const QRect& rect() const { return m_rect; }

    // Draws the part of image at (x, y) into dest, leaving untouched the pixels that the mask
    // (from CreateMaskBitmap) marks transparent: mask ANDed onto the surface, image ORed on top.
    void DrawTransparent(const QRect& dest, const QImage& image, const QImage& mask, int x, int y);

private:
    QImage m_bitmap;
    QPainter m_memPainter;
    QPainter* m_pDC;     // not owned
    QRect m_rect;        // logical coordinates of the target
    QRect m_deviceRect;  // the same in device pixels
};

// Makes mask a one-bit image of image's size: white (1) where image has the colour found at
// pixel, black (0) elsewhere; those pixels of image become black. The image becomes 32-bit RGB.
// A pixel outside the image matches nothing.
void CreateMaskBitmap(QImage& image, QImage& mask, const QPoint& pixel);

}  // namespace torv
