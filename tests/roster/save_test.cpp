// Safe save: a failure at any step leaves the original file byte-identical; held files,
// external edits, permissions and symlinks.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>
#endif

#include "roster/file_ops.h"

#include "tests/roster/helpers.h"

using namespace rostertest;
using velquor::roster::FileInfo;
using velquor::roster::FileOps;
using velquor::roster::Workbook;
using velquor::roster::WorkbookError;

namespace {

std::vector<std::string> listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(RosterSave, FailureAtAnyStepKeepsTheOriginal) {
  for (const char* at : {"createTemp", "write", "sync", "setPermissions", "close", "rename"}) {
    SCOPED_TRACE(at);
    TempDir t;
    const fs::path file = t / "点名册.xls";
    fs::copy_file(dataDir() / "lo-roster3.xls", file);
    const auto original = readFile(file);
    auto ops = std::make_shared<FailingOps>(at);
    Workbook wb = Workbook::open(file, ops);
    wb.setText(1, 2, 10, "12月07");
    wb.setInteger(1, 3, 10, 5);
    EXPECT_THROW(wb.save(), WorkbookError);
    EXPECT_EQ(readFile(file), original);
    EXPECT_EQ(listing(t.path()), std::vector<std::string>{"点名册.xls"}) << "a temporary file was left behind";
    EXPECT_TRUE(wb.modified());
    EXPECT_EQ(wb.cell(1, 3, 10).number, 5);
    // The same workbook saves once the fault is gone.
    ops->fail("");
    wb.save();
    EXPECT_EQ(Workbook::open(file).cell(1, 3, 10).number, 5);
    EXPECT_EQ(listing(t.path()), std::vector<std::string>{"点名册.xls"});
  }
}

TEST(RosterSave, FolderFlushFailureAfterTheRenameIsReported) {
  TempDir t;
  const fs::path file = t / "r.xls";
  fs::copy_file(dataDir() / "gn-roster3.xls", file);
  auto ops = std::make_shared<FailingOps>("syncDirectory");
  Workbook wb = Workbook::open(file, ops);
  wb.setInteger(1, 3, 10, 9);
  EXPECT_THROW(wb.save(), WorkbookError);
  // The new file is complete and in place, and the workbook describes it.
  EXPECT_EQ(Workbook::open(file).cell(1, 3, 10).number, 9);
  EXPECT_FALSE(wb.modified());
  EXPECT_FALSE(wb.changedOnDisk());
}

#ifndef _WIN32  // Windows: attributes and held files in file_win32_test.cpp
TEST(RosterSave, PermissionsAndSymlinksAreKept) {
  TempDir t;
  fs::create_directory(t / "real");
  const fs::path target = t / "real" / "r.xls";
  fs::copy_file(dataDir() / "lo-roster3.xls", target);
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  const fs::path link = t / "link.xls";
  fs::create_symlink(target, link);
  Workbook wb = Workbook::open(link);
  EXPECT_EQ(wb.fileName(), "link.xls");
  wb.setInteger(1, 3, 10, 3);
  wb.save();
  EXPECT_TRUE(fs::is_symlink(link));
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Workbook::open(target).cell(1, 3, 10).number, 3);
  EXPECT_EQ(listing(t / "real"), std::vector<std::string>{"r.xls"});
}
#endif

TEST(RosterSave, HeldFilesAreReadOnlyAndNotOverwritten) {
  TempDir t;
  const fs::path file = t / "点名册.xls";
  fs::copy_file(dataDir() / "lo-roster3.xls", file);
  const auto original = readFile(file);
  Workbook wb = Workbook::open(file);
  EXPECT_FALSE(wb.readOnly());
  EXPECT_EQ(wb.holder(), "");
  wb.setInteger(1, 3, 10, 4);

  // LibreOffice's lock file, with escaped separators in the user name.
  const fs::path lo = t / ".~lock.点名册.xls#";
  writeFile(lo, {});
  {
    std::string line = "王\\,老师,wang,classroom-pc,07.12.2026 08:01,file:///home/wang/.config/libreoffice/4;";
    writeFile(lo, std::vector<std::uint8_t>(line.begin(), line.end()));
  }
  EXPECT_TRUE(wb.readOnly());
  EXPECT_EQ(wb.holder(), "王,老师 (classroom-pc, 07.12.2026 08:01)");
  EXPECT_THROW(wb.save(), WorkbookError);
  EXPECT_EQ(readFile(file), original);
  fs::remove(lo);

  // Office's owner file: the name again in UTF-16 at offset 54.
  std::vector<std::uint8_t> owner(165, 0x20);
  owner[0] = 4;
  const std::u16string name = u"李老师";
  owner[54] = static_cast<std::uint8_t>(name.size());
  owner[55] = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    owner[56 + 2 * i] = static_cast<std::uint8_t>(name[i]);
    owner[57 + 2 * i] = static_cast<std::uint8_t>(name[i] >> 8);
  }
  writeFile(t / "~$点名册.xls", owner);
  EXPECT_TRUE(wb.readOnly());
  EXPECT_EQ(wb.holder(), "李老师");
  EXPECT_THROW(wb.save(), WorkbookError);
  EXPECT_EQ(readFile(file), original);
  fs::remove(t / "~$点名册.xls");
#ifndef _WIN32
  // A lock on the file itself, taken by another process.
  int toChild[2], toParent[2];
  ASSERT_EQ(::pipe(toChild), 0);
  ASSERT_EQ(::pipe(toParent), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int fd = ::open(file.c_str(), O_RDWR);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    char c = (fd >= 0 && ::fcntl(fd, F_SETLK, &fl) == 0) ? 'y' : 'n';
    (void)!::write(toParent[1], &c, 1);
    (void)!::read(toChild[0], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(toParent[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  EXPECT_TRUE(wb.readOnly());
  EXPECT_EQ(wb.holder(), "process " + std::to_string(pid));
  EXPECT_THROW(wb.save(), WorkbookError);
  EXPECT_EQ(readFile(file), original);
  (void)!::write(toChild[1], "x", 1);
  ::waitpid(pid, nullptr, 0);

  // Free again: the save goes through and leaves no lock or temporary file behind.
  EXPECT_FALSE(wb.readOnly());
  wb.save();
  EXPECT_EQ(listing(t.path()), std::vector<std::string>{"点名册.xls"});
  EXPECT_EQ(Workbook::open(file).cell(1, 3, 10).number, 4);
  if (::geteuid() != 0) {
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    EXPECT_TRUE(wb.readOnly());
  }
#endif
}

TEST(RosterSave, ExternalEditsAreNoticedAndNeverOverwritten) {
  TempDir t;
  const fs::path file = t / "r.xls";
  fs::copy_file(dataDir() / "gn-roster3.xls", file);
  Workbook wb = Workbook::open(file);
  EXPECT_FALSE(wb.changedOnDisk());
  // Touched without a change of content: not a change.
  fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(5));
  EXPECT_FALSE(wb.changedOnDisk());
  // Another program writes a mark (same size, new content).
  {
    Workbook other = Workbook::open(file);
    other.setInteger(1, 3, 6, 77);
    other.save();
  }
  EXPECT_TRUE(wb.changedOnDisk());
  const auto theirs = readFile(file);
  wb.setInteger(1, 4, 6, 1);
  EXPECT_THROW(wb.save(), WorkbookError);
  EXPECT_EQ(readFile(file), theirs);
  // Read again, the teacher's edit is there and ours can be made on top of it.
  Workbook again = Workbook::open(file);
  EXPECT_EQ(again.cell(1, 3, 6).number, 77);
  again.setInteger(1, 4, 6, 1);
  again.save();
  Workbook last = Workbook::open(file);
  EXPECT_EQ(last.cell(1, 3, 6).number, 77);
  EXPECT_EQ(last.cell(1, 4, 6).number, 1);
  fs::remove(file);
  EXPECT_TRUE(again.changedOnDisk());
  EXPECT_THROW(Workbook::open(file), WorkbookError);
}
