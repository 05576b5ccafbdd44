// The search of dropped files against a list without a window: it never touches a list that went
// away during it.
#include "sitelist/DroppedFileSearch.h"

#include <gtest/gtest.h>
#include <QFileInfo>

#include "sitelist/ListBoxItems.h"
#include "support/temp_dir.h"

namespace torv {
namespace {

// Every call that changes the list or its bar is written to the log.
class RecordingTarget : public IDropSearchTarget {
public:
    int FindString(const QString&) const override {
        Touch();
        return LB_ERR;
    }
    void AppendSite(const QString& url) override { Touch("add " + url); }
    void ShowSearchProgress(const QString& path, qint64 length) override {
        Touch(QString("show %1 %2").arg(QFileInfo(path).fileName()).arg(length));
    }
    void SetSearchProgress(int) override { Touch(); }
    void HideSearchProgress() override { Touch("hide"); }
    bool PumpMessages() override {
        Touch();
        gone = gone || ++pumps == goneAtPump;
        return !gone;
    }

    mutable QStringList log;
    int pumps = 0;
    int goneAtPump = 0;
    bool gone = false;
    mutable bool touchedWhenGone = false;

private:
    void Touch(const QString& entry = {}) const {
        touchedWhenGone = touchedWhenGone || gone;
        if (!entry.isEmpty()) {
            log << entry;
        }
    }
};

TEST(DroppedFileSearch, AListThatWentAwayIsNotTouchedAgain) {
    const struct {
        const char* name;
        int goneAtPump;
        QStringList log;
    } cases[] = {
        {"right after the bar is shown", 1, {"show a.txt 36"}},
        {"while a line is read", 2, {"show a.txt 36"}},
        {"after a site was added", 3, {"show a.txt 36", "add http://a/1/"}},
        // clang-format off
        {"after the bar is hidden: the next file is not searched", 7, {"show a.txt 36", "add http://a/1/", "add http://b/2/", "hide"}},
        // clang-format on
    };
    test::TempDir dir;
    const QString first =
        QString::fromStdString(dir.write("a.txt", "http://a/1/\nhttp://b/2/\nno url here\n"));
    const QString second = QString::fromStdString(dir.write("b.txt", "http://c/3/\n"));
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        RecordingTarget target;
        target.goneAtPump = row.goneAtPump;
        EXPECT_FALSE(SearchDroppedFiles({first, second}, target));
        EXPECT_EQ(target.log, row.log);
        EXPECT_FALSE(target.touchedWhenGone);
    }
}

}  // namespace
}  // namespace torv
