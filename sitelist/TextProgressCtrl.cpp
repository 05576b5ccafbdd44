#include "sitelist/TextProgressCtrl.h"

#include <QPaintEvent>
#include <QPainter>
#include <cmath>

#include "workers/MemDC.h"

namespace torv {

namespace {

// A channel of a gradient column: truncated, then wrapped into a byte as the original did.
int Channel(int start, int x, float step) {
    return int(float(start) + float(x) * step) & 0xFF;
}

}  // namespace

CTextProgressCtrl::CTextProgressCtrl(QWidget* parent) : QProgressBar(parent) {
    setTextVisible(false);
    setValue(0);
    InitColors(palette());
}

void CTextProgressCtrl::InitColors(const QPalette& palette, std::optional<QColor> gradientEnd) {
    m_crStart = palette.color(QPalette::Active, QPalette::Highlight).toRgb();
    QColor end;
    if (gradientEnd) {
        end = gradientEnd->toRgb();
    } else {
        end = QColor(int(m_crStart.red() * 0.25), int(m_crStart.green() * 0.25),
                     int(m_crStart.blue() * 0.25));
    }
    m_nDeltaRed = end.red() - m_crStart.red();
    m_nDeltaGreen = end.green() - m_crStart.green();
    m_nDeltaBlue = end.blue() - m_crStart.blue();
}

QString CTextProgressCtrl::FormatText(const QString& caption, int textMode, int lower, int upper,
                                      int position) {
    if (textMode != 1) {
        return caption;
    }
    int percent = 0;
    if (upper != lower) {
        percent = int(std::trunc(double(position) / double(upper - lower) * 100.0));
    }
    return caption + QString::asprintf("  [%d%%]", percent);
}

void CTextProgressCtrl::paintEvent(QPaintEvent* event) {
    const QColor window = palette().color(QPalette::Base);
    const QColor windowText = palette().color(QPalette::Text);

    QPainter target(this);
    target.setBackground(window);
    // The thin border of a bordered control; the rest is its client area.
    target.setPen(palette().color(QPalette::Dark));
    target.drawRect(rect().adjusted(0, 0, -1, -1));
    target.translate(1, 1);
    const QRect client(0, 0, width() - 2, height() - 2);
    const QRect paintArea = event->rect().translated(-1, -1).intersected(client);

    CMemDC mem(&target, &paintArea);
    QPainter& dc = mem.Painter();
    dc.setBackgroundMode(Qt::TransparentMode);

    const int lower = minimum();
    const int upper = maximum();
    const int position = value();

    QFont font(dc.font().family());
    font.setPointSizeF(6.9);
    font.setStyleStrategy(QFont::NoAntialias);  // two crisp colours, as the bar was drawn
    dc.setFont(font);

    // R in the old exclusive-edge terms: [left, right) x [top, bottom).
    const int left = 1;
    const int top = 1;
    const int right = client.width() - 1;
    const int bottom = client.height() - 1;
    const int W = right - left;

    const QString text = FormatText(windowTitle(), m_nTextMode, lower, upper, position);
    const int w = dc.fontMetrics().horizontalAdvance(text);
    const int textLeft = (right - w) / 2;
    const QRect textRect(textLeft, top, w, bottom - top);

    dc.setPen(windowText);
    dc.fillRect(QRect(left, top, W, bottom - top), window);
    dc.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);

    // An empty range (an empty file) has no filled part to draw.
    if (upper == lower || W <= 0) {
        return;
    }
    const int end = left + int(std::trunc(position * (double(W) / double(upper - lower))));
    const float stepRed = float(m_nDeltaRed) / float(W);
    const float stepGreen = float(m_nDeltaGreen) / float(W);
    const float stepBlue = float(m_nDeltaBlue) / float(W);
    for (int x = left; x <= end; ++x) {
        dc.setPen(QColor(Channel(m_crStart.red(), x, stepRed),
                         Channel(m_crStart.green(), x, stepGreen),
                         Channel(m_crStart.blue(), x, stepBlue)));
        dc.drawLine(x, top, x, bottom - 1);
    }

    if (end > textLeft) {
        dc.save();
        dc.setClipRect(QRect(textLeft, top, end - textLeft, bottom - top), Qt::IntersectClip);
        dc.setPen(window);
        dc.drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
        dc.restore();
    }
}

}  // namespace torv
