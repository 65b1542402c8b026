// The rules every writer and reader follows, checked on real files, links,
// devices and FIFOs in a temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "fileio/fileio.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFileBytes;

void put(const fs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

bool write(const std::string& target, const std::string& text, std::string* why,
           const fileio::OutputOptions& options = {}) {
  return fileio::writeWholeFile(target, text.data(), text.size(), options, why);
}

// Everything in the current folder, so a left-over temporary shows.
std::vector<std::string> listing() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(".")) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Output, DevicesAreWrittenInPlaceNeverReplaced) {
  testsupport::ScopedTempDir dir;
  std::string why;
  // Asserted before any byte is written, so that a regression cannot replace
  // the machine's device nodes.
  for (const char* device : {"/dev/null", "/dev/full"}) {
    fileio::OutputFile out;
    ASSERT_TRUE(out.open(device, {}, &why)) << why;
    ASSERT_TRUE(out.inPlace()) << device;
    ASSERT_EQ(out.writePath(), device);
    const bool full = std::string(device) == "/dev/full";
    EXPECT_EQ(out.write("frame", 5, &why), !full);
    if (full) {
      EXPECT_EQ(why, "cannot write /dev/full: No space left on device");
    }
    EXPECT_TRUE(out.commit(&why)) << why;
    struct stat st;
    ASSERT_EQ(::stat(device, &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << device;
  }
  // A link to a device: followed, the device written in place.
  fs::create_symlink("/dev/null", "sink");
  fileio::OutputFile out;
  ASSERT_TRUE(out.open("sink", {}, &why)) << why;
  ASSERT_TRUE(out.inPlace());
  EXPECT_TRUE(out.write("x", 1, &why) && out.commit(&why)) << why;
  EXPECT_TRUE(fs::is_symlink("sink"));
}

TEST(Output, AFifoIsWrittenInPlace) {
  testsupport::ScopedTempDir dir;
  ASSERT_EQ(::mkfifo("pipe", 0600), 0);
  std::string received;
  std::thread reader([&] { received = readFileBytes("pipe"); });
  std::string why;
  EXPECT_TRUE(write("pipe", "through the pipe", &why)) << why;
  reader.join();
  EXPECT_EQ(received, "through the pipe");
  struct stat st;
  ASSERT_EQ(::lstat("pipe", &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_EQ(listing(), std::vector<std::string>{"pipe"});
}

TEST(Output, ALinkIsFollowedAndItsTargetReplaced) {
  testsupport::ScopedTempDir dir;
  fs::create_directory("real");
  put("real/out.png", "old");
  ::chmod("real/out.png", 0640);
  fs::create_symlink("real/out.png", "hop");
  fs::create_symlink("hop", "out.png");  // a chain of two links
  fs::create_symlink("real/new.png", "dangling.png");
  std::string why;
  ASSERT_TRUE(write("out.png", "new", &why)) << why;
  ASSERT_TRUE(write("dangling.png", "made", &why)) << why;
  EXPECT_TRUE(fs::is_symlink("out.png"));
  EXPECT_TRUE(fs::is_symlink("hop"));
  EXPECT_EQ(readFileBytes("real/out.png"), "new");
  EXPECT_EQ(readFileBytes("real/new.png"), "made");
  EXPECT_EQ(fs::status("real/out.png").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // The temporaries were made beside the target and are gone.
  std::vector<std::string> inReal;
  for (const auto& e : fs::directory_iterator("real")) inReal.push_back(e.path().filename().string());
  std::sort(inReal.begin(), inReal.end());
  EXPECT_EQ(inReal, (std::vector<std::string>{"new.png", "out.png"}));
}

TEST(Output, AnInputIsNeverWrittenOver) {
  testsupport::ScopedTempDir dir;
  put("in.kpx", "precious");
  fs::create_hard_link("in.kpx", "alias.kpx");
  fs::create_symlink("in.kpx", "link.kpx");
  fileio::OutputOptions options;
  options.inputs = {"in.kpx"};
  for (const char* out : {"in.kpx", "alias.kpx", "link.kpx", "./in.kpx"}) {
    std::string why;
    EXPECT_FALSE(write(out, "clobbered", &why, options)) << out;
    EXPECT_NE(why.find("it is the input in.kpx"), std::string::npos) << why;
  }
  EXPECT_EQ(readFileBytes("in.kpx"), "precious");
  EXPECT_EQ(listing(), (std::vector<std::string>{"alias.kpx", "in.kpx", "link.kpx"}));
  std::string why;
  EXPECT_TRUE(write("other.kpx", "fine", &why, options)) << why;
}

TEST(Output, TemporariesAreUniqueAndNeverOutliveAFailure) {
  testsupport::ScopedTempDir dir;
  put("out.dump", "old");
  put("out.dump.tmp", "a user's own file");
  std::string why;
  fileio::OutputFile a, b;
  ASSERT_TRUE(a.open("out.dump", {}, &why)) << why;
  ASSERT_TRUE(b.open("out.dump", {}, &why)) << why;
  EXPECT_NE(a.writePath(), b.writePath());
  EXPECT_EQ(fs::path(a.writePath()).extension(), ".dump");  // the format still shows
  EXPECT_TRUE(a.write("half", 4, &why));
  a.abort();
  { fileio::OutputFile dropped = std::move(b); }  // destroyed uncommitted
  EXPECT_EQ(listing(), (std::vector<std::string>{"out.dump", "out.dump.tmp"}));
  EXPECT_EQ(readFileBytes("out.dump"), "old");
  EXPECT_EQ(readFileBytes("out.dump.tmp"), "a user's own file");
  // A folder is refused, and so is a target in a missing folder.
  fs::create_directory("frames");
  EXPECT_FALSE(write("frames", "x", &why));
  EXPECT_NE(why.find("is a directory"), std::string::npos) << why;
  EXPECT_FALSE(write("missing/out.png", "x", &why));
  EXPECT_NE(why.find("No such file or directory"), std::string::npos) << why;
}

TEST(Input, FoldersCapsAndReasons) {
  testsupport::ScopedTempDir dir;
  fs::create_directory("texture.kpx");
  std::vector<std::uint8_t> bytes;
  std::string why;
  EXPECT_FALSE(fileio::readFile("texture.kpx", 100, bytes, &why));
  EXPECT_EQ(why, "texture.kpx is a directory");
  EXPECT_FALSE(fileio::readFile("nope.txt", 100, bytes, &why));
  EXPECT_EQ(why, "cannot open nope.txt: No such file or directory");
  put("ten", "0123456789");
  EXPECT_TRUE(fileio::readFile("ten", 10, bytes, &why)) << why;
  EXPECT_EQ(bytes.size(), 10u);
  EXPECT_FALSE(fileio::readFile("ten", 9, bytes, &why));
  EXPECT_EQ(why, "ten is larger than 9 bytes");
  // A stream with no size: the cap still holds.
  std::string text;
  EXPECT_FALSE(fileio::readFile("/dev/zero", 1 << 20, text, &why));
  EXPECT_EQ(why, "/dev/zero is larger than 1 MiB");
  std::uint64_t size = 0;
  EXPECT_TRUE(fileio::readFileStart("ten", 4, bytes, &size, &why));
  EXPECT_EQ(bytes.size(), 4u);
  EXPECT_EQ(size, 10u);
}

TEST(StagedFolder, ReplacesOnlyWhatTheBuilderOwnsAndKeepsTheRest) {
  testsupport::ScopedTempDir dir;
  fs::create_directories("show/data");
  put("show/data/old.kpx", "old");
  put("show/music.ogg", "old music");
  put("show/debug.txt", "a log");
  fs::create_directories("show/frames");
  put("show/frames/frame_000000.png", "a frame");
  fs::create_symlink("show", "current");  // the link is followed, and stays
  std::string why;
  fileio::StagedFolder staged;
  ASSERT_TRUE(staged.open("current", &why)) << why;
  EXPECT_EQ(fs::absolute(staged.path()).parent_path(), fs::current_path());  // beside, same file system
  fs::create_directories(fs::path(staged.path()) / "data");
  put(fs::path(staged.path()) / "data" / "new.kpx", "new");
  put(fs::path(staged.path()) / "music.ogg", "new music");
  ASSERT_TRUE(staged.commit({"data", "music.ogg", "script.qsc"}, &why)) << why;
  EXPECT_TRUE(fs::is_symlink("current"));
  EXPECT_FALSE(fs::exists("show/data/old.kpx"));
  EXPECT_EQ(readFileBytes("show/data/new.kpx"), "new");
  EXPECT_EQ(readFileBytes("show/music.ogg"), "new music");
  EXPECT_EQ(readFileBytes("show/debug.txt"), "a log");
  EXPECT_EQ(readFileBytes("show/frames/frame_000000.png"), "a frame");
  EXPECT_EQ(listing(), (std::vector<std::string>{"current", "show"}));
}

TEST(StagedFolder, AnAbandonedBuildLeavesTheOldFolderWhole) {
  testsupport::ScopedTempDir dir;
  fs::create_directories("show/data");
  put("show/data/a.kpx", "old");
  std::string why;
  {
    fileio::StagedFolder staged;
    ASSERT_TRUE(staged.open("show", &why)) << why;
    put(fs::path(staged.path()) / "half", "written before the failure");
  }
  EXPECT_EQ(listing(), std::vector<std::string>{"show"});
  EXPECT_EQ(readFileBytes("show/data/a.kpx"), "old");
  put("plain", "x");
  fileio::StagedFolder staged;
  EXPECT_FALSE(staged.open("plain", &why));
  EXPECT_NE(why.find("not a folder"), std::string::npos) << why;
  // A new target: the folder simply takes its name.
  ASSERT_TRUE(staged.open("fresh", &why)) << why;
  put(fs::path(staged.path()) / "script.qsc", "s");
  ASSERT_TRUE(staged.commit({"script.qsc"}, &why)) << why;
  EXPECT_EQ(readFileBytes("fresh/script.qsc"), "s");
}

}  // namespace
