#include "sitelist/TextProgressCtrl.h"

#include <gtest/gtest.h>

namespace torv {
namespace {

struct TextCase {
    const char* name;
    int mode;
    int lower;
    int upper;
    int position;
    QString text;
};

TEST(TextProgress, TextShowsTheCaptionAndTheTruncatedPercentage) {
    const TextCase cases[] = {
        {"half way", 1, 0, 1000, 500, "Searching pack.mn3  [50%]"},
        {"truncated, not rounded", 1, 0, 3, 2, "Searching pack.mn3  [66%]"},
        {"caption alone in mode 0", 0, 0, 1000, 500, "Searching pack.mn3"},
        {"the lower bound is not subtracted", 1, 100, 200, 150, "Searching pack.mn3  [150%]"},
        {"an empty range shows 0%", 1, 0, 0, 0, "Searching pack.mn3  [0%]"},
    };
    for (const TextCase& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(CTextProgressCtrl::FormatText("Searching pack.mn3", row.mode, row.lower,
                                                row.upper, row.position),
                  row.text);
    }
}

const QColor kStart(200, 100, 40);
const QColor kWindow(255, 255, 255);
const QColor kWindowText(0, 0, 0);

// Client area 152 wide: the bar's rectangle R spans client x 1..150, so one step of the
// gradient is (end - start) / 150 per column.
QImage Render(int lower, int upper, int position, const QString& caption = QString(),
              std::optional<QColor> gradientEnd = std::nullopt) {
    CTextProgressCtrl bar;
    QPalette palette = bar.palette();
    palette.setColor(QPalette::Highlight, kStart);
    palette.setColor(QPalette::Base, kWindow);
    palette.setColor(QPalette::Text, kWindowText);
    palette.setColor(QPalette::Dark, QColor(128, 128, 128));
    bar.setPalette(palette);
    bar.InitColors(palette, gradientEnd);
    bar.resize(154, 30);
    bar.setWindowTitle(caption);
    bar.ShowPercent();
    bar.setRange(lower, upper);
    bar.setValue(position);
    return bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Widget x of client column x (the border takes the first column).
int Column(int clientX) {
    return clientX + 1;
}
const int kBarRow = 26;  // below the text, inside R

struct ColumnCase {
    const char* name;
    int position;
    int clientX;
    bool filled;
};

TEST(TextProgress, TheBarFillsInProportionToThePosition) {
    const ColumnCase cases[] = {
        {"at 0 one column is drawn at the left edge", 0, 1, true},
        {"at 0 nothing beyond it", 0, 2, false},
        {"half way: last filled column", 500, 76, true},
        {"half way: first empty column", 500, 77, false},
        {"full: the bar reaches the right edge", 1000, 151, true},
    };
    for (const ColumnCase& row : cases) {
        SCOPED_TRACE(row.name);
        const QImage picture = Render(0, 1000, row.position);
        EXPECT_EQ(picture.pixel(Column(row.clientX), kBarRow) != kWindow.rgb(), row.filled);
    }
}

TEST(TextProgress, WithoutAGradientColourTheBarDarkensToAQuarterOfTheStart) {
    const QImage picture = Render(0, 1000, 1000);
    EXPECT_EQ(picture.pixel(Column(150), kBarRow), qRgb(50, 25, 10));
}

TEST(TextProgress, GradientRunsToTheGradientColourWhenThereIsOne) {
    // Steps -1, +1, +1 per column.
    const QImage picture = Render(0, 1000, 1000, QString(), QColor(50, 250, 190));
    EXPECT_EQ(picture.pixel(Column(1), kBarRow), qRgb(199, 101, 41));
    EXPECT_EQ(picture.pixel(Column(150), kBarRow), qRgb(50, 250, 190));
    EXPECT_EQ(picture.pixel(Column(151), kBarRow), qRgb(49, 251, 191));
}

TEST(TextProgress, AChannelPastTheEndColourWrapsAroundAsABytes) {
    // Green steps 155/150 per column: the last column computes 256, which wraps to 0.
    const QImage picture = Render(0, 1000, 1000, QString(), QColor(50, 255, 190));
    EXPECT_EQ(qGreen(picture.pixel(Column(150), kBarRow)), 255);
    EXPECT_EQ(qGreen(picture.pixel(Column(151), kBarRow)), 0);
}

TEST(TextProgress, AnEmptyRangeDrawsNoBar) {
    const QImage picture = Render(0, 0, 0, "Searching empty.txt");
    for (int x = 1; x <= 151; ++x) {
        ASSERT_EQ(picture.pixel(Column(x), kBarRow), kWindow.rgb()) << "column " << x;
    }
}

struct InkCount {
    int windowText = 0;  // text pixels in the window-text colour
    int window = 0;      // pixels in the window colour
};

InkCount CountInk(const QImage& picture, int fromX, int toX) {
    InkCount count;
    for (int y = 1; y < 14; ++y) {
        for (int x = fromX; x < toX; ++x) {
            const QRgb pixel = picture.pixel(x, y);
            count.windowText += pixel == kWindowText.rgb();
            count.window += pixel == kWindow.rgb();
        }
    }
    return count;
}

TEST(TextProgress, TextOverTheBarIsInTheWindowColourAndElsewhereInTheTextColour) {
    const QString caption = "Searching a_rather_long_pack.mn3";
    const QImage half = Render(0, 1000, 500, caption);
    const int barEnd = Column(76);
    const InkCount overBar = CountInk(half, Column(1), barEnd);
    const InkCount pastBar = CountInk(half, barEnd + 1, Column(151));
    EXPECT_EQ(overBar.windowText, 0) << "window-text ink over the bar";
    EXPECT_GT(overBar.window, 0) << "no window-coloured text over the bar";
    EXPECT_GT(pastBar.windowText, 0) << "no text right of the bar";

    const InkCount full = CountInk(Render(0, 1000, 1000, caption), Column(1), Column(152));
    EXPECT_EQ(full.windowText, 0);
    EXPECT_GT(full.window, 0);

    const InkCount empty = CountInk(Render(0, 1000, 0, caption), Column(2), Column(152));
    EXPECT_GT(empty.windowText, 0);
}

}  // namespace
}  // namespace torv
