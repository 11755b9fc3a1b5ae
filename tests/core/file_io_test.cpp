// Read-only file access: what Open refuses before any reader starts.
#include "file_io.h"

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "mesh_data.h"
#include "reader_error.h"
#include "test_files.h"

namespace voxaro {
namespace {

using test::TempDir;
using test::Wide;

// A FIFO made a viewer wait for a writer for ever, and /dev/zero under a
// G-code name was read until memory ran out. Both, and any other file that
// is not a plain file of bytes, are refused at once.
TEST(FileOpen, SpecialFilesAreRefusedAtOnce)
{
    const std::string fifo = TempDir() + "/pipe.gcode", zero = TempDir() + "/zero.gcode";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
    test::RunWithTimeout(20, "opening special files", [&] {
        for (const std::string& name : {fifo, zero, std::string("/dev/null")}) {
            TFile file;
            EXPECT_FALSE(file.Open(Wide(name))) << name;
            EXPECT_EQ(file.LastError(), kNotRegularFile) << name;
        }
    });
    // A folder in words, as on Windows, not as "error 21".
    TFile folder;
    EXPECT_FALSE(folder.Open(Wide(TempDir())));
    EXPECT_EQ(folder.LastError(), kFolder);
    EXPECT_EQ(OpenErrorText(folder.LastError()), "a folder");

    // The model readers say so in words.
    const std::string stl = TempDir() + "/zero.stl", step = TempDir() + "/zero.step";
    ASSERT_EQ(::symlink("/dev/zero", stl.c_str()), 0);
    ASSERT_EQ(::symlink("/dev/zero", step.c_str()), 0);
    TMeshData mesh;
    EXPECT_FALSE(mesh.LoadFromFile(Wide(stl), ""));
    EXPECT_EQ(mesh.ErrorMsg, "STL: Cannot open file (not a regular file)");
    try {
        mesh.LoadFromFile(Wide(step), "");
        ADD_FAILURE() << "no error raised";
    } catch (const TReaderError& e) {
        EXPECT_STREQ(e.what(), "STEP: Cannot open file (not a regular file)");
    }
}

// Every byte string survives the trip through the wide name, including the
// UTF-8 forms of the escapes themselves and overlong ones; messages get U+FFFD.
TEST(FileNames, BytesThatAreNotUtf8SurviveTheWideName)
{
    for (const std::string bytes :
         {"caf\xc3\xa9", "caf\xe9", "\xed\xb3\xbf", "\xc0\xaf", "\xf4\x90\x80\x80", "x\xe2\x82"})
        EXPECT_EQ(FileNameBytes(Utf8ToWide(bytes)), bytes);
    EXPECT_EQ(Utf8ToWide("\xc0\xaf").find(L'/'), std::wstring::npos);
    EXPECT_EQ(WideToUtf8(Utf8ToWide("caf\xe9")), "caf\xef\xbf\xbd");
}

}  // namespace
}  // namespace voxaro
