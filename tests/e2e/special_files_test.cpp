// The torv binary against files that are not what they seem: FIFOs where the mission or the
// settings should be, and the executable run under another name.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFileInfo>

#include "e2e/sandbox.h"
#include "support/zip_builder.h"

namespace {

using torv::test::Reply;
using torv::test::ZipBuilder;

class SpecialFilesTest : public testing::Test, protected torv::test::Sandbox {};

TEST_F(SpecialFilesTest, FifoNamedLikeTheMissionNeitherCountsNorBlocks) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(m_missions + "btc.mn3").constData(), 0644), 0);
    ZipBuilder zip;
    zip.add("btc.mn3", "mission");
    m_server.route("/m/btc.zip", Reply(200, "OK", zip.build()));
    writeSettings("/m/");

    int exitCode = 0;
    const QStringList lines = run({"-getmission", "btc"}, exitCode);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(
        lines.mid(lines.size() - 4),
        QStringList({"WARNING: File [btc.mn3] was not unzipped: a special file has that name.",
                     "Deleting zip file...", "Zip file didn't contain the .mn3 for the mission.",
                     "ERROR: Mission was not found on any configured sites."}));
}

TEST_F(SpecialFilesTest, FifoAsTheSettingsFileIsNamedAndLeftAlone) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(iniPath()).constData(), 0644), 0);
    int exitCode = 0;
    const QStringList lines = run({"-getmission", "btc"}, exitCode);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(lines, QStringList({"Torvane Auto-download Tool by Quillfen.",
                                  "ERROR: Settings file [" + iniPath() +
                                      "] is not a regular file; running with default settings, "
                                      "and the file is left as it is.",
                                  "ERROR: Unable to find path to D3 Executable!"}));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(iniPath()).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(SpecialFilesTest, TheProfileIsNamedAfterTheWholeExecutableName) {
    QFile(m_missions + "here.mn3").open(QIODevice::WriteOnly);
    QDir().mkpath(m_root + "/bin");
    const std::pair<QString, QString> cases[] = {{"torv-0.4", "torv-0.4"},
                                                 {"TORV.EXE", "TORV"},
                                                 {"torv.Exe", "torv"},
                                                 {"torv.exe.old", "torv.exe.old"}};
    for (const auto& [program, profile] : cases) {
        SCOPED_TRACE(program.toStdString());
        const QString link = m_root + "/bin/" + program;
        ASSERT_TRUE(QFile::link(QStringLiteral(TORV_BINARY), link));
        writeSettings("/", profile);
        int exitCode = 0;
        const QStringList lines = run({"-getmission", "here"}, exitCode, link);
        EXPECT_EQ(exitCode, 0);
        EXPECT_EQ(lines.mid(1, 1), QStringList("D3 Path is [" + m_game + "]."));
        QFile::remove(iniPath(profile));
    }
}

}  // namespace
