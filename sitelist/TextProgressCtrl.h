// A progress bar that paints itself: a colour gradient for the filled part and, centred over the
// bar, its caption (the window title) and optionally the percentage, in two colours so that the
// text reads over the filled and the empty part alike.
#pragma once

#include <QColor>
#include <QProgressBar>
#include <optional>

namespace torv {

class CTextProgressCtrl : public QProgressBar {
    Q_OBJECT
public:
    explicit CTextProgressCtrl(QWidget* parent = nullptr);

    // The text is the caption followed by "  [n%]" from now on.
    void ShowPercent() { m_nTextMode = 1; }
    int TextMode() const { return m_nTextMode; }

    // Start colour: the palette's highlight (the active caption of old). End colour: the
    // gradient caption colour when the platform has one, else a quarter of the start colour.
    void InitColors(const QPalette& palette, std::optional<QColor> gradientEnd = std::nullopt);

    // The text painted for a range and position (the lower bound is not subtracted from the
    // position); an empty range shows 0%.
    static QString FormatText(const QString& caption, int textMode, int lower, int upper,
                              int position);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_nTextMode = 0;
    QColor m_crStart;
    int m_nDeltaRed = 0;
    int m_nDeltaGreen = 0;
    int m_nDeltaBlue = 0;
};

}  // namespace torv
