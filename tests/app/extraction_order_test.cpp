// Extraction on several cores: entries decoded whole by the pool and entries streamed because
// they pass its memory bound are judged alike, and the lines keep the archive's order however
// the entries finish.
#include <QString>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/MissionExtraction.h"
#include "app/recorders.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace torv::test {
namespace {

namespace fs = std::filesystem;

// Incompressible, so that a cut stream is really cut.
std::string bytes(size_t size, uint32_t seed) {
    std::string s(size, '\0');
    uint32_t x = seed * 2654435761u + 1;
    for (char& c : s) {
        x = x * 1103515245u + 12345u;
        c = char(x >> 23);
    }
    return s;
}

// Every file in the missions folder with its content, the archive left out.
std::map<std::string, std::string> missionFiles(const TempDir& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(root.file("missions"))) {
        if (e.path().filename() != "m.zip") {
            files[e.path().filename().string()] = TempDir::read(e.path().string());
        }
    }
    return files;
}

QStringList extract(const TempDir& root, const ZipBuilder& b, const ExtractionTuning& tuning) {
    fs::create_directories(root.file("missions"));
    b.writeTo(root.file("missions/m.zip"));
    RecordingLog log;
    EXPECT_TRUE(ExtractMission(log, QString::fromStdString(root.file("missions/m.zip")),
                               QString::fromStdString(root.file("missions/")), tuning));
    return log.lines;
}

TEST(ExtractionOnCores, EntriesUnderAndOverTheBoundAreJudgedAlike) {
    TempDir root;
    const std::string big = bytes(100000, 1);
    const std::string small = bytes(3000, 2);
    ZipBuilder b;
    b.add("big.mn3", big);
    b.add("big-bad-crc.dat", big).crc = 7;
    b.add("small-bad-crc.dat", small).crc = 7;
    b.add("big-cut.dat", big).payload = rawDeflate(big).substr(0, 2000);
    b.add("small-cut.dat", small).payload = rawDeflate(small).substr(0, 200);
    b.add("small.txt", small, 0);
    b.add("big-stored.dat", big, 0);
    b.add("small-stored-short.dat", small, 0).payload = small.substr(0, 1000);
    ExtractionTuning tuning;
    tuning.memoryBound = 64 * 1024;
    EXPECT_EQ(extract(root, b, tuning),
              QStringList({
                  "Unzipped File: [big.mn3].",
                  "WARNING: File [big-bad-crc.dat] is damaged and was not unzipped.",
                  "WARNING: File [small-bad-crc.dat] is damaged and was not unzipped.",
                  "WARNING: File [big-cut.dat] is damaged and was not unzipped.",
                  "WARNING: File [small-cut.dat] is damaged and was not unzipped.",
                  "Unzipped File: [small.txt].",
                  "Unzipped File: [big-stored.dat].",
                  "WARNING: File [small-stored-short.dat] is damaged and was not unzipped.",
              }));
    // Compared whole, not printed: the contents are long and binary.
    EXPECT_TRUE(missionFiles(root) ==
                (std::map<std::string, std::string>{
                    {"big.mn3", big}, {"small.txt", small}, {"big-stored.dat", big}}));
}

TEST(ExtractionOnCores, LinesFollowTheArchiveWhateverOrderEntriesFinishIn) {
    TempDir root;
    ZipBuilder b;
    b.add("first.mn3", bytes(3000, 1));
    b.add("second.txt", bytes(2000, 2));
    b.add("damaged.dat", bytes(1500, 3)).crc = 7;
    b.add("last.hog", bytes(1000, 4), 0);

    // The first entry waits until every other one is done; the wait is bounded, so a pool that
    // cannot decode them meanwhile fails the order check instead of hanging.
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<uint32_t> finished;  // sizes, in the order their decoding ended
    ExtractionTuning tuning;
    tuning.threads = 2;
    tuning.decode = [&](const ZipRawEntry& raw, uint8_t* out, uint64_t capacity) {
        if (raw.uncompressedSize == 3000) {
            std::unique_lock lock(mutex);
            changed.wait_for(lock, std::chrono::seconds(30), [&] { return finished.size() == 3; });
        }
        const int result = ZipDecodeEntry(raw, out, capacity);
        std::lock_guard lock(mutex);
        finished.push_back(raw.uncompressedSize);
        changed.notify_all();
        return result;
    };
    EXPECT_EQ(extract(root, b, tuning), QStringList({
                                            "Unzipped File: [first.mn3].",
                                            "Unzipped File: [second.txt].",
                                            "WARNING: File [damaged.dat] is damaged and was not "
                                            "unzipped.",
                                            "Unzipped File: [last.hog].",
                                        }));
    ASSERT_EQ(finished.size(), 4u);
    EXPECT_EQ(finished.back(), 3000u);
    EXPECT_TRUE(missionFiles(root) ==
                (std::map<std::string, std::string>{{"first.mn3", bytes(3000, 1)},
                                                    {"second.txt", bytes(2000, 2)},
                                                    {"last.hog", bytes(1000, 4)}}));
}

}  // namespace
}  // namespace torv::test
