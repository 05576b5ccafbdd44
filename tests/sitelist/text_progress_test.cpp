#include "sitelist/TextProgressCtrl.h"

#include <gtest/gtest.h>
#include <utility>

namespace torv {
namespace {

TEST(TextProgress, TextShowsTheCaptionAndTheTruncatedPercentage) {
    struct Case {
        const char* name;
        int upper;
        int position;
        QString text;
    };
    const Case cases[] = {
        {"half way", 1000, 500, "Searching pack.mn3  [50%]"},
        {"truncated, not rounded", 3, 2, "Searching pack.mn3  [66%]"},
        {"an empty range shows 0%", 0, 0, "Searching pack.mn3  [0%]"},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(
            CTextProgressCtrl::FormatText("Searching pack.mn3", 1, 0, row.upper, row.position),
            row.text);
    }
}

const QRgb kWindow = qRgb(255, 255, 255);
const QRgb kWindowText = qRgb(0, 0, 0);
const int kBarRow = 26;  // below the text

// Pixels of the text rows between two widget columns in the window colour and in the text colour.
std::pair<int, int> CountInk(const QImage& picture, int fromX, int toX) {
    std::pair<int, int> count;
    for (int y = 2; y < 14; ++y) {
        for (int x = fromX; x < toX; ++x) {
            count.first += picture.pixel(x, y) == kWindow;
            count.second += picture.pixel(x, y) == kWindowText;
        }
    }
    return count;
}

// The bar fills from the left in proportion to the position; the text over it is in the window
// colour, elsewhere in the text colour.
TEST(TextProgress, TheBarFillsInProportionAndTheTextOverItIsInTheWindowColour) {
    struct Case {
        const char* name;
        int upper;
        int position;
        int filled;  // columns, from the left edge of the bar
    };
    const Case cases[] = {
        {"at 0 one column", 1000, 0, 1},
        {"half way", 1000, 500, 76},
        {"full: to the right edge", 1000, 1000, 151},
        {"an empty range: none", 0, 0, 0},
    };
    for (const Case& row : cases) {
        SCOPED_TRACE(row.name);
        // 154 wide: a one-pixel border around a client area whose bar spans client x 1..151.
        CTextProgressCtrl bar;
        QPalette palette = bar.palette();
        palette.setColor(QPalette::Highlight, QColor(200, 100, 40));
        palette.setColor(QPalette::Base, kWindow);
        palette.setColor(QPalette::Text, kWindowText);
        bar.setPalette(palette);
        bar.InitColors(palette);
        bar.resize(154, 30);
        bar.setWindowTitle("Searching a_rather_long_pack.mn3");
        bar.ShowPercent();
        bar.setRange(0, row.upper);
        bar.setValue(row.position);
        const QImage picture = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
        for (int x = 2; x <= 152; ++x) {
            ASSERT_EQ(picture.pixel(x, kBarRow) != kWindow, x < 2 + row.filled) << "x " << x;
        }
        const auto [windowOverBar, textOverBar] = CountInk(picture, 2, 2 + row.filled);
        EXPECT_EQ(textOverBar, 0) << "text-coloured ink over the bar";
        EXPECT_EQ(windowOverBar > 0, row.filled > 1) << "window-coloured text over the bar";
        EXPECT_EQ(CountInk(picture, 2 + row.filled, 153).second > 0, row.filled < 151)
            << "text-coloured text beside the bar";
    }
}

}  // namespace
}  // namespace torv
