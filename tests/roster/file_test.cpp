// The roster file shared with other programs and other copies of this one, tried with real
// files and real processes: concurrent writers, crashes during saves, read-only files, edits
// that keep size and time, lock files, special files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "roster/file_ops.h"

#include "tests/roster/helpers.h"

using namespace rostertest;
using velquor::roster::ErrorKind;
using velquor::roster::FileLock;
using velquor::roster::Workbook;
using velquor::roster::WorkbookError;

namespace {

std::vector<std::string> temps(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().find(".velquor-") != std::string::npos) names.push_back(e.path().filename().string());
  return names;
}

// A writable copy of a fixture in `t`.
fs::path copyOf(const TempDir& t, const std::string& fixture, const std::string& name = "点名册.xls") {
  fs::copy_file(dataDir() / fixture, t / name);
  return t / name;
}

ErrorKind kindOfSave(Workbook& wb) {
  try {
    wb.save();
  } catch (const WorkbookError& e) {
    return e.kind();
  }
  return ErrorKind::Other;
}

// In a child process: adds 1 to its own cell again and again for `seconds`, reopening the
// roster whenever another writer got there first; reports the saves that succeeded.
int writerLoop(const fs::path& file, int col, double seconds) {
  int saved = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  auto ops = velquor::roster::systemFileOps(false);
  while (std::chrono::steady_clock::now() < end) {
    try {
      Workbook wb = Workbook::open(file, ops);
      for (;;) {
        const int now = static_cast<int>(wb.cell(1, 3, col).number);
        wb.setInteger(1, 3, col, static_cast<std::int16_t>(now + 1));
        wb.save();
        ++saved;
        if (std::chrono::steady_clock::now() >= end) break;
      }
    } catch (const WorkbookError& e) {
      if (e.kind() != ErrorKind::ChangedOnDisk && e.kind() != ErrorKind::Held) return -1000000 - static_cast<int>(e.kind());
    }
  }
  return saved;
}

// The real file operations, noting the lock file's content while the new file is flushed.
class LockWatcher final : public velquor::roster::FileOps {
 public:
  explicit LockWatcher(fs::path lock) : lock_(std::move(lock)) {}
  std::string seen;
  std::vector<std::uint8_t> readAll(const fs::path& p, std::uintmax_t max) override { return real_->readAll(p, max); }
  velquor::roster::FileInfo stat(const fs::path& p) override { return real_->stat(p); }
  fs::path createTemp(const fs::path& target, int& handle) override { return real_->createTemp(target, handle); }
  void write(int handle, const std::uint8_t* data, std::size_t size) override { real_->write(handle, data, size); }
  void sync(int handle) override {
    const auto bytes = fs::exists(lock_) ? readFile(lock_) : std::vector<std::uint8_t>{};
    seen.assign(bytes.begin(), bytes.end());
    real_->sync(handle);
  }
  void setPermissions(int handle, const velquor::roster::FileInfo& like) override { real_->setPermissions(handle, like); }
  void close(int handle) override { real_->close(handle); }
  void rename(const fs::path& from, const fs::path& to) override { real_->rename(from, to); }
  void syncDirectory(const fs::path& dir) override { real_->syncDirectory(dir); }
  void remove(const fs::path& p) noexcept override { real_->remove(p); }

 private:
  std::shared_ptr<velquor::roster::FileOps> real_ = velquor::roster::systemFileOps();
  fs::path lock_;
};

}  // namespace

TEST(RosterFile, TwoWritingProcessesLoseNoSave) {
  TempDir t;
  const fs::path file = copyOf(t, "lo-roster3.xls");
  {
    Workbook wb = Workbook::open(file);
    wb.setInteger(1, 3, 20, 0);
    wb.setInteger(1, 3, 21, 0);
    wb.save();
  }
  int pipes[2][2];
  pid_t pids[2];
  for (int k = 0; k < 2; ++k) {
    ASSERT_EQ(::pipe(pipes[k]), 0);
    pids[k] = ::fork();
    ASSERT_GE(pids[k], 0);
    if (pids[k] == 0) {
      const int saved = writerLoop(file, 20 + k, 2.0);
      (void)!::write(pipes[k][1], &saved, sizeof saved);
      ::_exit(0);
    }
  }
  int saved[2] = {0, 0};
  for (int k = 0; k < 2; ++k) {
    ASSERT_EQ(::read(pipes[k][0], &saved[k], sizeof saved[k]), static_cast<ssize_t>(sizeof saved[k]));
    ::waitpid(pids[k], nullptr, 0);
  }
  ASSERT_GE(saved[0], 0) << "unexpected failure kind " << -(saved[0] + 1000000);
  ASSERT_GE(saved[1], 0) << "unexpected failure kind " << -(saved[1] + 1000000);
  EXPECT_GT(saved[0] + saved[1], 20);
  std::printf("saves reported: %d and %d\n", saved[0], saved[1]);
  // Every save reported as done is in the file.
  Workbook wb = Workbook::open(file);
  EXPECT_EQ(wb.cell(1, 3, 20).number, saved[0]);
  EXPECT_EQ(wb.cell(1, 3, 21).number, saved[1]);
  EXPECT_TRUE(temps(t.path()).empty());
  EXPECT_FALSE(fs::exists(t / ".~lock.点名册.xls#"));
}

TEST(RosterFile, KilledDuringSavesTheRosterIsOldOrNewAndLeftoversGo) {
  TempDir t;
  const fs::path file = copyOf(t, "gn-roster3.xls");
  std::mt19937 rng(7);
  int last = 0, leftovers = 0;
  for (int kill = 0; kill < 50; ++kill) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      try {
        Workbook wb = Workbook::open(file);
        for (std::int16_t v = static_cast<std::int16_t>(wb.cell(1, 3, 20).number);;) {
          wb.setInteger(1, 3, 20, ++v);
          wb.setText(1, 4, 20, "第" + std::to_string(v) + "次");  // the file grows as it goes
          wb.save();
        }
      } catch (...) {
      }
      ::_exit(1);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + rng() % 15000));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    // The roster is the old or a new version, never less than the last one seen.
    EXPECT_LE(temps(t.path()).size(), 1u) << "after kill " << kill;
    leftovers += !temps(t.path()).empty();
    Workbook wb = Workbook::open(file);
    const int now = static_cast<int>(wb.cell(1, 3, 20).number);
    EXPECT_GE(now, last);
    if (now > 0) {
      EXPECT_EQ(wb.cell(1, 4, 20).text, "第" + std::to_string(now) + "次");
    }
    last = now;
    // Opening removed what the killed save left.
    EXPECT_TRUE(temps(t.path()).empty()) << "after kill " << kill;
  }
  EXPECT_GT(last, 0);
  std::printf("saves before the last kill: %d; kills that left a temporary file: %d\n", last, leftovers);
  if (haveProgram("ssconvert")) {
    TempDir work;
    const auto sheets = gnumericSheets(file, work.path());
    Workbook wb = Workbook::open(file);
    ASSERT_EQ(static_cast<int>(sheets.size()), wb.sheetCount());
    for (int s = 1; s <= wb.sheetCount(); ++s) {
      const auto diff = compareSheet(wb, s, sheets.at(wb.sheetName(s)));
      EXPECT_TRUE(diff.empty()) << diff.front();
    }
  }
}

TEST(RosterFile, SameSizeEditKeepingTheTimeIsNotOverwritten) {
  TempDir t;
  const fs::path file = copyOf(t, "lo-roster3.xls", "r.xls");
  Workbook wb = Workbook::open(file);
  const auto time = fs::last_write_time(file);
  const auto size = fs::file_size(file);
  {
    Workbook other = Workbook::open(file);
    other.setInteger(1, 3, 6, 77);  // an existing number: same size
    other.save();
  }
  fs::last_write_time(file, time);  // as cp -p, touch -r or a 2-second file system leave it
  ASSERT_EQ(fs::file_size(file), size);
  const auto theirs = readFile(file);
  EXPECT_TRUE(wb.changedOnDisk());
  wb.setInteger(1, 4, 6, 1);
  EXPECT_EQ(kindOfSave(wb), ErrorKind::ChangedOnDisk);
  EXPECT_EQ(readFile(file), theirs);
}

TEST(RosterFile, ReadOnlyRosterIsRefusedAndKept) {
  TempDir t;
  const fs::path file = copyOf(t, "lo-roster3.xls");
  Workbook wb = Workbook::open(file);
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  const auto original = readFile(file);
  EXPECT_TRUE(wb.readOnly());
  wb.setInteger(1, 3, 10, 4);
  try {
    wb.save();
    ADD_FAILURE() << "a read-only roster was written";
  } catch (const WorkbookError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::ReadOnly);
    EXPECT_NE(std::string(e.what()).find("名单文件是只读的"), std::string::npos) << e.what();
  }
  EXPECT_EQ(readFile(file), original);
  EXPECT_TRUE(wb.modified());
  // Writable again: the pending edit is saved.
  ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
  EXPECT_FALSE(wb.readOnly());
  wb.save();
  EXPECT_EQ(Workbook::open(file).cell(1, 3, 10).number, 4);
}

TEST(RosterFile, OnlyLeftoverTemporaryFilesOfThisProgramAreRemoved) {
  TempDir t;
  const fs::path file = copyOf(t, "lo-roster3.xls", "r.xls");
  writeFile(t / ".r.xls.velquor-0123abcd.tmp", {1, 2, 3});  // left by a crash
  writeFile(t / ".r.xls.velquor-notours.tmp", {1});           // not our pattern
  writeFile(t / ".other.xls.velquor-0123abcd.tmp", {1});      // another roster's
  // One held by a live save in another process.
  const fs::path live = t / ".r.xls.velquor-feedbeef.tmp";
  writeFile(live, {4});
  int ready[2], done[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(done), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int fd = ::open(live.c_str(), O_RDWR);
    char c = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    (void)!::read(done[0], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  Workbook wb = Workbook::open(file);
  EXPECT_FALSE(fs::exists(t / ".r.xls.velquor-0123abcd.tmp"));
  EXPECT_TRUE(fs::exists(live));
  EXPECT_TRUE(fs::exists(t / ".r.xls.velquor-notours.tmp"));
  EXPECT_TRUE(fs::exists(t / ".other.xls.velquor-0123abcd.tmp"));
  (void)!::write(done[1], "x", 1);
  ::waitpid(pid, nullptr, 0);
  // Its save gone, the next save of ours removes it.
  wb.setInteger(1, 3, 10, 1);
  wb.save();
  EXPECT_FALSE(fs::exists(live));
}

TEST(RosterFile, LocksNameHolderAndDateAndALeftOverOneCanBeRemoved) {
  TempDir t;
  const fs::path file = copyOf(t, "lo-roster3.xls");
  Workbook wb = Workbook::open(file);
  wb.setInteger(1, 3, 10, 2);
  const fs::path lockFile = t / ".~lock.点名册.xls#";
  const std::string line = "王老师,wang,office-pc,04.12.2026 16:20,file:///home/wang/.config/lo;";
  writeFile(lockFile, std::vector<std::uint8_t>(line.begin(), line.end()));
  FileLock lock = wb.lock();
  EXPECT_EQ(lock.kind, FileLock::Kind::LockFile);
  EXPECT_EQ(lock.name, "王老师");
  EXPECT_EQ(lock.host, "office-pc");
  EXPECT_EQ(lock.since, "04.12.2026 16:20");
  EXPECT_EQ(kindOfSave(wb), ErrorKind::Held);
  // A lock that changed since it was shown is not removed.
  FileLock shown = lock;
  shown.since = "03.12.2026 08:00";
  EXPECT_FALSE(wb.removeStaleLock(shown));
  EXPECT_TRUE(fs::exists(lockFile));
  EXPECT_TRUE(wb.removeStaleLock(lock));
  EXPECT_FALSE(wb.readOnly());
  wb.save();
  EXPECT_EQ(Workbook::open(file).cell(1, 3, 10).number, 2);

  // A lock of this program on this computer whose process has ended is stale by itself.
  pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  const std::string own = "Velquor,teacher," + std::string(host) + ",05.12.2026 09:00,velquor-pid:" + std::to_string(gone) + ";";
  writeFile(lockFile, std::vector<std::uint8_t>(own.begin(), own.end()));
  EXPECT_EQ(wb.lock().kind, FileLock::Kind::None);
  wb.setInteger(1, 3, 10, 3);
  wb.save();
  EXPECT_FALSE(fs::exists(lockFile));

  // An empty lock file: a program killed between creating it and writing its line. The save
  // waits for the line briefly, then takes the file's place.
  writeFile(lockFile, {});
  wb.setInteger(1, 3, 10, 5);
  wb.save();
  EXPECT_EQ(Workbook::open(file).cell(1, 3, 10).number, 5);
  EXPECT_FALSE(fs::exists(lockFile));

  // While our save writes, the lock file names this program, the user and the computer.
  auto watch = std::make_shared<LockWatcher>(lockFile);
  Workbook watched = Workbook::open(file, watch);
  watched.setInteger(1, 3, 10, 4);
  watched.save();
  EXPECT_EQ(watch->seen.rfind("Velquor,", 0), 0u) << watch->seen;
  EXPECT_NE(watch->seen.find("," + std::string(host) + ","), std::string::npos) << watch->seen;
  EXPECT_EQ(watch->seen.back(), ';');
  EXPECT_FALSE(fs::exists(lockFile));
}

TEST(RosterFile, SpecialFilesAreRefusedWithoutHanging) {
  TempDir t;
  const fs::path fifo = t / "点名册.xls";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  fs::create_symlink(fifo, t / "link.xls");
  fs::create_directory(t / "folder.xls");
  // In a child with an alarm, so that a hang fails the test instead of stopping it.
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::alarm(5);
    int refused = 0;
    for (const char* name : {"点名册.xls", "link.xls", "folder.xls"}) {
      try {
        Workbook::open(t / name);
      } catch (const WorkbookError& e) {
        refused += e.kind() == ErrorKind::NotRegular;
      }
    }
    ::_exit(refused);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "opening a special file hung";
  EXPECT_EQ(WEXITSTATUS(status), 3);
}
