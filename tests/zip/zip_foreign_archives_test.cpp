// Archives written by other tools read back the files they were made from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/temp_dir.h"
#include "zip/ZipArchive.h"
#include "zip_test_util.h"

namespace torv::test {
namespace {

struct ToolCase {
    const char* name;
    // Run inside the folder "src" next to the archive "out.zip".
    const char* command;
};

class ForeignArchiveTest : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ForeignArchiveTest, EveryEntryMatchesItsFile) {
    TempDir dir;
    dir.write("src/mission.mn3", noise(150000, 7));
    dir.write("src/level1.d3l", levelText(400000));
    dir.write("src/readme.txt", "Fly safe.\r\n");
    dir.write("src/empty.txt", "");
    dir.write("src/sounds/engine.ogg", noise(1024 * 3, 9));
    const std::string command = "cd '" + dir.path() + "/src' && " + GetParam().command;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    ArchivePtr archive = openArchive(dir.file("out.zip"));  // a null archive counts -1
    const int count = ZipArchiveGetEntryCount(archive.get());
    ASSERT_GE(count, 5);
    for (int i = 0; i < count; ++i) {
        ZipEntryInfo info{};
        ASSERT_EQ(ZipArchiveGetEntryInfo(archive.get(), i, &info), 0);
        const std::string name = info.name;
        const EntryRead r = readEntry(archive.get(), i);
        EXPECT_EQ(r.open, 0) << name;
        EXPECT_EQ(r.close, 0) << name;
        EXPECT_EQ(r.data.size(), info.size) << name;
        const std::string file = name.back() == '/' ? "" : TempDir::read(dir.file("src/" + name));
        EXPECT_TRUE(r.data == file) << name << ": contents differ";
    }
}

const ToolCase kToolCases[] = {
    {"InfoZip", "zip -q -r ../out.zip . -x '.*'"},
    {"InfoZipStoredWithComment", "echo 'mission pack' | zip -q -r -0 -z ../out.zip ."},
    {"InfoZipStreamedWithDataDescriptors", "zip -q -r -fz- - . | cat > ../out.zip"},
    {"Bsdtar", "bsdtar --format zip -cf ../out.zip ."},
    {"BsdtarStored", "bsdtar --format zip --options zip:compression=store -cf ../out.zip ."},
};

INSTANTIATE_TEST_SUITE_P(Zip, ForeignArchiveTest, ::testing::ValuesIn(kToolCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace torv::test
