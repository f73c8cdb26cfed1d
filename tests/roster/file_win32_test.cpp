// The roster file on Windows, tried with real files and real processes: a roster held open
// as Excel holds it, its owner file, two copies saving in turn, saves killed midway, the
// read-only attribute, long, extended and non-ASCII paths, devices, a drive that goes away.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
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

// The names in a folder, through the system (the library's iterator cannot read long paths).
std::vector<std::wstring> listing(const fs::path& dir) {
  std::vector<std::wstring> names;
  std::wstring pattern = dir.wstring() + L"\\*";
  if (pattern.size() >= MAX_PATH && pattern.rfind(L"\\\\?\\", 0) != 0) pattern = L"\\\\?\\" + pattern;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring n = fd.cFileName;
    if (n != L"." && n != L"..") names.push_back(n);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  std::sort(names.begin(), names.end());
  return names;
}

fs::path copyOf(const fs::path& dir, const std::string& fixture, const std::wstring& name = L"点名册.xls") {
  const fs::path file = dir / name;
  EXPECT_TRUE(CopyFileW((dataDir() / fixture).c_str(), file.c_str(), TRUE)) << GetLastError();
  return file;
}

ErrorKind kindOfSave(Workbook& wb) {
  try {
    wb.save();
  } catch (const WorkbookError& e) {
    return e.kind();
  }
  return ErrorKind::Other;
}

bool underWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

bool present(const fs::path& p) { return GetFileAttributesW(p.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool waitFor(const fs::path& p, int ms = 30000) {
  for (int i = 0; i < ms / 5; ++i) {
    if (present(p)) return true;
    Sleep(5);
  }
  return false;
}

// The test helper executable beside this one, run as a process of its own.
class Helper {
 public:
  explicit Helper(const std::vector<std::wstring>& args) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring cmd = L"\"" + (fs::path(self).parent_path() / L"roster_file_helper.exe").wstring() + L"\"";
    for (const auto& a : args) cmd += L" \"" + a + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      ADD_FAILURE() << "cannot start the helper: " << GetLastError();
      return;
    }
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
  }
  ~Helper() {
    if (process_) {
      TerminateProcess(process_, 9);
      WaitForSingleObject(process_, INFINITE);
      CloseHandle(process_);
    }
  }
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;
  // Its exit code once it has ended.
  DWORD wait() {
    DWORD code = 1000;
    if (!process_) return code;
    WaitForSingleObject(process_, 600000);
    GetExitCodeProcess(process_, &code);
    return code;
  }
  // As taskkill /F does it: the process stops wherever it is.
  void kill() {
    TerminateProcess(process_, 9);
    WaitForSingleObject(process_, INFINITE);
  }

 private:
  HANDLE process_ = nullptr;
};

// An owner file as Excel writes it: the user name's length and the name in the ANSI code
// page, padded with spaces to 54 bytes, then the length and the name in UTF-16, padded to 165.
void writeOwnerFile(const fs::path& p, const std::string& ansi, const std::u16string& name) {
  std::vector<std::uint8_t> b(165, 0x20);
  b[0] = static_cast<std::uint8_t>(ansi.size());
  std::copy(ansi.begin(), ansi.end(), b.begin() + 1);
  b[54] = static_cast<std::uint8_t>(name.size());
  b[55] = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    b[56 + 2 * i] = static_cast<std::uint8_t>(name[i]);
    b[57 + 2 * i] = static_cast<std::uint8_t>(name[i] >> 8);
  }
  writeFile(p, b);
  SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_HIDDEN);
}

}  // namespace

TEST(RosterFileWindows, HeldAsExcelHoldsItTheMarkWaitsAndIsWrittenOnceFree) {
  TempDir t;
  const fs::path dir = t.path() / L"高一(1)班";
  fs::create_directory(dir);
  const fs::path file = copyOf(dir, "lo-roster3.xls");
  const auto original = readFile(file);
  Workbook wb = Workbook::open(file);
  wb.setInteger(1, 3, 10, 4);

  Helper excel({L"hold", file.wstring(), (t.path() / L"ready").wstring(), (t.path() / L"release").wstring()});
  ASSERT_TRUE(waitFor(t.path() / L"ready"));
  EXPECT_TRUE(wb.readOnly());
  EXPECT_EQ(wb.lock().kind, FileLock::Kind::Range);
  EXPECT_EQ(kindOfSave(wb), ErrorKind::Held);
  EXPECT_EQ(readFile(file), original);
  EXPECT_TRUE(wb.modified());

  // Excel's owner file beside it names the teacher who has it open.
  writeOwnerFile(dir / L"~$点名册.xls", "zhang", u"张老师");
  const FileLock owner = wb.lock();
  EXPECT_EQ(owner.kind, FileLock::Kind::OwnerFile);
  EXPECT_EQ(owner.name, "张老师");
  try {
    wb.save();
    ADD_FAILURE() << "a held roster was written";
  } catch (const WorkbookError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Held);
    EXPECT_EQ(e.holder(), "张老师");
  }
  EXPECT_EQ(readFile(file), original);

  // Excel ends without removing its owner file: once the teacher confirms, it goes and the
  // waiting mark is written.
  writeFile(t.path() / L"release", {});
  EXPECT_EQ(excel.wait(), 0u);
  EXPECT_TRUE(wb.readOnly());
  EXPECT_TRUE(wb.removeStaleLock(wb.lock()));
  EXPECT_FALSE(wb.readOnly());
  wb.save();
  EXPECT_EQ(Workbook::open(file).cell(1, 3, 10).number, 4);
  EXPECT_EQ(listing(dir), std::vector<std::wstring>{L"点名册.xls"});
}

TEST(RosterFileWindows, TwoProcessesSavingInTurnLoseNoSave) {
  TempDir t;
  const fs::path file = copyOf(t.path(), "lo-roster3.xls");
  {
    Workbook wb = Workbook::open(file);
    wb.setInteger(1, 3, 20, 0);
    wb.setInteger(1, 3, 21, 0);
    wb.save();
  }
  constexpr int kSaves = 500;
  Helper a({L"count", file.wstring(), L"20", std::to_wstring(kSaves)});
  Helper b({L"count", file.wstring(), L"21", std::to_wstring(kSaves)});
  EXPECT_EQ(a.wait(), 0u);
  EXPECT_EQ(b.wait(), 0u);
  Workbook wb = Workbook::open(file);
  EXPECT_EQ(wb.cell(1, 3, 20).number, kSaves);
  EXPECT_EQ(wb.cell(1, 3, 21).number, kSaves);
  EXPECT_EQ(listing(t.path()), std::vector<std::wstring>{L"点名册.xls"});
}

TEST(RosterFileWindows, KilledSavesLeaveTheOldOrNewRosterAndTheirTemporaryFilesGo) {
  TempDir t;
  const fs::path file = copyOf(t.path(), "gn-roster3.xls");
  std::mt19937 rng(11);
  int last = 0, leftovers = 0;
  for (int k = 0; k < 50; ++k) {
    const fs::path ready = t.path() / (L"ready" + std::to_wstring(k));
    {
      Helper saver({L"saveloop", file.wstring(), ready.wstring()});
      ASSERT_TRUE(waitFor(ready)) << "kill " << k;
      Sleep(rng() % 40);
      saver.kill();
    }
    DeleteFileW(ready.c_str());
    std::size_t temps = 0;
    for (const auto& n : listing(t.path())) temps += n.find(L".velquor-") != std::wstring::npos;
    EXPECT_LE(temps, 1u) << "after kill " << k;
    leftovers += temps > 0;
    Workbook wb = Workbook::open(file);
    const int now = static_cast<int>(wb.cell(1, 3, 20).number);
    EXPECT_GT(now, last) << "after kill " << k;
    EXPECT_EQ(wb.cell(1, 4, 20).text, "第" + std::to_string(now) + "次");
    last = now;
    // Opening removed the killed save's temporary file; its lock file names a process that has
    // ended, so it holds nothing and goes at the first look.
    EXPECT_EQ(wb.lock().kind, FileLock::Kind::None) << "after kill " << k;
    EXPECT_EQ(listing(t.path()), std::vector<std::wstring>{L"点名册.xls"}) << "after kill " << k;
  }
  std::printf("saves before the last kill: %d; kills that left a temporary file: %d\n", last, leftovers);
}

TEST(RosterFileWindows, ReadOnlyAttributeIsRefusedAndTheRostersAttributesAreKept) {
  TempDir t;
  const fs::path file = copyOf(t.path(), "lo-roster3.xls");
  Workbook wb = Workbook::open(file);
  wb.setInteger(1, 3, 10, 6);
  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY));
  const auto original = readFile(file);
  EXPECT_TRUE(wb.readOnly());
  try {
    wb.save();
    ADD_FAILURE() << "a read-only roster was written";
  } catch (const WorkbookError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::ReadOnly);
    EXPECT_EQ(std::string(e.what()).rfind("名单文件是只读的，", 0), 0u) << e.what();
  }
  EXPECT_EQ(readFile(file), original);
  EXPECT_TRUE(wb.modified());

  // Writable again: saved, the roster neither hidden like the temporary file it was written to
  // nor stripped of its own attributes and creation time.
  ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_ARCHIVE));
  WIN32_FILE_ATTRIBUTE_DATA before{}, after{};
  ASSERT_TRUE(GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &before));
  EXPECT_FALSE(wb.readOnly());
  wb.save();
  ASSERT_TRUE(GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &after));
  EXPECT_EQ(after.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE),
            DWORD{FILE_ATTRIBUTE_ARCHIVE});
  // Wine keeps no creation time of its own (Linux file systems cannot set one).
  if (!underWine()) {
    EXPECT_EQ(CompareFileTime(&before.ftCreationTime, &after.ftCreationTime), 0);
  }
  EXPECT_EQ(Workbook::open(file).cell(1, 3, 10).number, 6);
}

TEST(RosterFileWindows, NonAsciiLongAndExtendedPaths) {
  TempDir t;
  const fs::path chinese = t.path() / L"张老师" / L"文档" / L"高一(1)班";
  fs::create_directories(chinese);
  // Past 260 characters: made through the system's extended form.
  std::wstring longDir = L"\\\\?\\" + fs::path(t.path()).wstring();
  while (longDir.size() < 300) {
    longDir += L"\\第二学期的点名册与成绩记录abcdefghij";
    ASSERT_TRUE(CreateDirectoryW(longDir.c_str(), nullptr)) << GetLastError();
  }
  const fs::path longFile = fs::path(longDir) / L"点名册.xlsx";
  ASSERT_TRUE(CopyFileW((dataDir() / "lo-roster3.xlsx").c_str(), longFile.c_str(), TRUE)) << GetLastError();
  const fs::path cases[] = {copyOf(chinese, "lo-roster3.xlsx", L"点名册.xlsx"), longFile,
                            fs::path(longDir.substr(4)) / L"点名册.xlsx"};
  int mark = 0;
  for (const fs::path& file : cases) {
    SCOPED_TRACE(file.string());
    Workbook wb = Workbook::open(file);
    EXPECT_EQ(wb.fileName(), "点名册.xlsx");
    EXPECT_FALSE(wb.readOnly());
    wb.setInteger(1, 3, 10, static_cast<std::int16_t>(++mark));
    wb.save();
    EXPECT_FALSE(wb.changedOnDisk());
    EXPECT_EQ(Workbook::open(file).cell(1, 3, 10).number, mark);
    EXPECT_EQ(listing(file.parent_path()), std::vector<std::wstring>{L"点名册.xlsx"});
  }
}

TEST(RosterFileWindows, OnlyUnheldTemporaryFilesOfThisProgramAreRemoved) {
  TempDir t;
  const fs::path file = copyOf(t.path(), "lo-roster3.xls", L"r.xls");
  writeFile(t.path() / L".r.xls.velquor-0123abcd.tmp", {1, 2, 3});  // left by a killed save
  writeFile(t.path() / L".r.xls.velquor-notours.tmp", {1});           // not our pattern
  writeFile(t.path() / L".other.xls.velquor-0123abcd.tmp", {1});      // another roster's
  const fs::path live = t.path() / L".r.xls.velquor-feedbeef.tmp";   // a save under way elsewhere
  writeFile(live, {4});
  Helper saving({L"hold", live.wstring(), (t.path() / L"ready").wstring(), (t.path() / L"release").wstring()});
  ASSERT_TRUE(waitFor(t.path() / L"ready"));
  // The helper may still be closing the file it just made.
  for (int i = 0; i < 200 && !DeleteFileW((t.path() / L"ready").c_str()); ++i) Sleep(10);
  Workbook wb = Workbook::open(file);
  EXPECT_EQ(listing(t.path()), (std::vector<std::wstring>{L".other.xls.velquor-0123abcd.tmp", L".r.xls.velquor-feedbeef.tmp",
                                                          L".r.xls.velquor-notours.tmp", L"r.xls"}));
  writeFile(t.path() / L"release", {});
  EXPECT_EQ(saving.wait(), 0u);
  DeleteFileW((t.path() / L"release").c_str());
  wb.setInteger(1, 3, 10, 1);
  wb.save();
  EXPECT_FALSE(present(live));
}

TEST(RosterFileWindows, DevicesPipesAndFoldersAreRefusedWithoutBlocking) {
  TempDir t;
  fs::create_directory(t.path() / L"folder.xls");
  const std::wstring pipeName = L"\\\\.\\pipe\\velquor-roster-test-" + std::to_wstring(GetCurrentProcessId());
  HANDLE pipe = CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  for (const fs::path& p : {t.path() / L"folder.xls", fs::path(L"NUL"), t.path() / L"CON", fs::path(pipeName)}) {
    SCOPED_TRACE(p.string());
    try {
      Workbook::open(p);
      ADD_FAILURE() << "opened";
    } catch (const WorkbookError& e) {
      EXPECT_EQ(e.kind(), ErrorKind::NotRegular) << e.what();
    }
  }
  CloseHandle(pipe);
}

// A USB stick pulled during a save: the folder that held the roster is gone from its path while
// the new file is flushed (under Wine a folder moved away stands in for the drive; the calls by
// path then fail as they do for a vanished drive).
TEST(RosterFileWindows, AStickPulledDuringASaveFailsCleanly) {
  TempDir t;
  const fs::path stick = t.path() / L"U盘", away = t.path() / L"拔出";
  fs::create_directory(stick);
  const fs::path file = copyOf(stick, "lo-roster3.xls");
  const auto original = readFile(file);
  class Pulled final : public velquor::roster::FileOps {
   public:
    Pulled(fs::path stick, fs::path away) : stick_(std::move(stick)), away_(std::move(away)) {}
    std::vector<std::uint8_t> readAll(const fs::path& p, std::uintmax_t max) override { return real_->readAll(p, max); }
    velquor::roster::FileInfo stat(const fs::path& p) override { return real_->stat(p); }
    fs::path createTemp(const fs::path& target, int& handle) override { return real_->createTemp(target, handle); }
    void write(int handle, const std::uint8_t* data, std::size_t size) override { real_->write(handle, data, size); }
    void sync(int handle) override {
      if (pull) pulled = MoveFileW(stick_.c_str(), away_.c_str());
      real_->sync(handle);
    }
    void setPermissions(int handle, const velquor::roster::FileInfo& like) override { real_->setPermissions(handle, like); }
    void close(int handle) override { real_->close(handle); }
    void rename(const fs::path& from, const fs::path& to) override { real_->rename(from, to); }
    void syncDirectory(const fs::path& dir) override { real_->syncDirectory(dir); }
    void remove(const fs::path& p) noexcept override { real_->remove(p); }
    bool pull = true, pulled = false;

   private:
    std::shared_ptr<velquor::roster::FileOps> real_ = velquor::roster::systemFileOps();
    fs::path stick_, away_;
  };
  auto ops = std::make_shared<Pulled>(stick, away);
  Workbook wb = Workbook::open(file, ops);
  wb.setInteger(1, 3, 10, 8);
  try {
    wb.save();
    ADD_FAILURE() << "saved to a stick that is gone";
  } catch (const WorkbookError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::NotFound) << e.what();
  }
  ASSERT_TRUE(ops->pulled) << GetLastError();
  EXPECT_TRUE(wb.modified());
  // Plugged in again: the roster is as it was, the waiting mark is written, and what the
  // pulled save left behind is gone.
  ops->pull = false;
  ASSERT_TRUE(MoveFileW(away.c_str(), stick.c_str())) << GetLastError();
  EXPECT_EQ(readFile(file), original);
  wb.save();
  EXPECT_EQ(Workbook::open(file).cell(1, 3, 10).number, 8);
  EXPECT_EQ(listing(stick), std::vector<std::wstring>{L"点名册.xls"});
}
