// Malformed and foreign input: a clear WorkbookError or a correct reading, never a crash, a
// hang or another kind of exception.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <chrono>
#include <random>

#include "roster/cell/bytes.h"
#include "roster/xls/cfb.h"
#include "tests/roster/helpers.h"

using namespace rostertest;
using velquor::roster::Workbook;
using velquor::roster::WorkbookError;
using velquor::roster::detail::Bytes;
using velquor::roster::detail::CompoundFile;
using velquor::roster::detail::rd16;
using velquor::roster::detail::rd32;
using velquor::roster::detail::wr16;
using velquor::roster::detail::wr32;

namespace {

enum class Outcome { Read, SheetLost, Refused };

// Opens, reads every used cell, edits and writes in memory, and reads the result again.
// SheetLost: read, but a damaged sheet could not be, and no edit was accepted.
Outcome exercise(const Bytes& bytes) {
  try {
    Workbook wb = Workbook::fromBytes(bytes);
    bool lost = false;
    for (int s = 1; s <= wb.sheetCount(); ++s) {
      if (!wb.sheetReadable(s)) {
        lost = true;
        EXPECT_THROW(wb.cell(s, 1, 1), WorkbookError);
        continue;
      }
      for (int r = 1; r <= std::min(wb.lastRow(s), 2000); ++r)
        for (int c = 1; c <= wb.lastColumn(s); ++c) (void)wb.cellMonthDay(s, r, c);
    }
    if (lost) {
      EXPECT_THROW(wb.setInteger(1, 3, 5, 2), WorkbookError);
      EXPECT_FALSE(wb.modified());
      return Outcome::SheetLost;
    }
    if (wb.sheetCount() > 0) {
      try {
        wb.setInteger(1, 3, 5, 2);
        wb.setText(1, 2, 7, "12月07");
        Workbook back = Workbook::fromBytes(wb.serialize());
        EXPECT_EQ(back.cell(1, 3, 5).number, 2);
        EXPECT_EQ(back.cell(1, 2, 7).text, "12月07");
      } catch (const WorkbookError&) {
        // refusing to write is fine
      }
    }
    return Outcome::Read;
  } catch (const WorkbookError& e) {
    EXPECT_GT(std::string(e.what()).size(), 10u);
    return Outcome::Refused;
  }
}

Bytes stream(const Bytes& file) {
  CompoundFile cf(file);
  return cf.readStream(cf.findRootStream(u"Workbook"));
}

Bytes wrap(const Bytes& s) { return CompoundFile::build({{u"Workbook", s}}, 9); }

// Position of the first record of `type` at or after `from`.
std::size_t find(const Bytes& s, std::uint16_t type, std::size_t from = 0) {
  for (std::size_t p = from; p + 4 <= s.size(); p += 4 + rd16(s.data() + p + 2))
    if (rd16(s.data() + p) == type) return p;
  return std::string::npos;
}

}  // namespace

TEST(RosterRobustness, PublicSampleFilesNeverCrash) {
  const fs::path dir = VELQUOR_XLS_SAMPLES;
  if (!fs::exists(dir)) GTEST_SKIP() << "no sample folder at " << dir;
  int read = 0, refused = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.path().extension() != ".xls") continue;
    SCOPED_TRACE(e.path().string());
    const auto start = std::chrono::steady_clock::now();
    (exercise(readFile(e.path())) == Outcome::Read ? read : refused)++;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
  std::cout << "samples read: " << read << ", refused with an error: " << refused << std::endl;
  EXPECT_GT(read, 40);
}

TEST(RosterRobustness, FuzzerFindingsStayFixed) {
  for (const auto& e : fs::directory_iterator(dataDir() / "fuzz-regressions")) {
    SCOPED_TRACE(e.path().string());
    exercise(readFile(e.path()));
  }
}

TEST(RosterRobustness, TruncatedFiles) {
  const Bytes file = readFile(dataDir() / "lo-roster3.xls");
  for (std::size_t n = 0; n < file.size(); n += (n < 1024 ? 37 : 509)) {
    SCOPED_TRACE(n);
    exercise(Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)));
  }
  EXPECT_EQ(exercise({}), Outcome::Refused);
}

TEST(RosterRobustness, BrokenContainers) {
  const Bytes good = readFile(dataDir() / "gn-roster3.xls");
  auto expectRefused = [&](const char* what, auto change) {
    Bytes b = good;
    change(b);
    EXPECT_EQ(exercise(b), Outcome::Refused) << what;
  };
  expectRefused("sector shift", [](Bytes& b) { wr16(b.data() + 30, 7); });
  expectRefused("FAT count", [](Bytes& b) { wr32(b.data() + 44, 0x7FFFFFFF); });
  expectRefused("directory start", [](Bytes& b) { wr32(b.data() + 48, 0xFFFFFFF0); });
  expectRefused("FAT sector id", [](Bytes& b) { wr32(b.data() + 76, 0x00FFFFFF); });
  expectRefused("mini cutoff", [](Bytes& b) { wr32(b.data() + 56, 0); });
  // A FAT chain that loops: every FAT entry pointing at itself.
  expectRefused("chain loop", [](Bytes& b) {
    const std::uint32_t fat0 = rd32(b.data() + 76);
    for (std::uint32_t i = 0; i < 128; ++i)
      if (rd32(b.data() + 512 * (fat0 + 1) + 4 * i) < 0xFFFFFFF0u) wr32(b.data() + 512 * (fat0 + 1) + 4 * i, i);
  });
  // A directory tree that loops back to itself, and a stream larger than its chain.
  CompoundFile cf(good);
  const int wbEntry = cf.findRootStream(u"Workbook");
  const Bytes entry = cf.rawEntry(wbEntry);
  std::size_t at = std::search(good.begin(), good.end(), entry.begin(), entry.end()) - good.begin();
  ASSERT_LT(at, good.size());
  expectRefused("stream size", [&](Bytes& b) { wr32(b.data() + at + 120, 0x00F00000); });
  Bytes loop = good;
  wr32(loop.data() + at + 68, static_cast<std::uint32_t>(wbEntry));
  wr32(loop.data() + at + 72, static_cast<std::uint32_t>(wbEntry));
  exercise(loop);  // found before the loop, or refused: either way no hang
  // The Workbook chain runs on into the directory's sectors: readable, but a save that reuses the
  // chain would overwrite the directory, so writing is refused. (Found by the fuzzer.)
  {
    Bytes b = good;
    auto fatEntry = [&](std::uint32_t s) -> std::uint8_t* {
      const std::uint32_t fatSector = rd32(b.data() + 76 + 4 * (s / 128));
      return b.data() + 512 * (fatSector + 1) + 4 * (s % 128);
    };
    std::uint32_t last = rd32(b.data() + at + 116);
    while (rd32(fatEntry(last)) < 0xFFFFFFF0u) last = rd32(fatEntry(last));
    wr32(fatEntry(last), rd32(b.data() + 48));
    Workbook wb = Workbook::fromBytes(b);
    for (int r = 3; r < 600; ++r) wb.setText(1, r, 12, "填满" + std::to_string(r));
    try {
      Bytes out = wb.serialize();
      ADD_FAILURE() << "wrote over the directory";
    } catch (const WorkbookError& e) {
      EXPECT_NE(std::string(e.what()).find("used twice"), std::string::npos) << e.what();
    }
  }
  // Another stream's chain runs past the end of the file: sectors appended for the workbook would
  // complete it, so writing is refused. (Found by the read-modify-write fuzzer.)
  CompoundFile large(good), small(Workbook::create({{"S", {{"1"}}}}));
  for (const CompoundFile* src : {&large, &small}) {  // the workbook in the regular or the mini stream
    Bytes other(5000, 0x42);
    Bytes b = CompoundFile::build({{u"Workbook", src->readStream(src->findRootStream(u"Workbook"))}, {u"Other", other}}, 9);
    CompoundFile parsed(b);
    const Bytes otherEntry = parsed.rawEntry(parsed.findRootStream(u"Other"));
    const std::uint32_t first = rd32(otherEntry.data() + 116);
    const std::uint32_t fatSector = rd32(b.data() + 76);
    std::uint32_t last = first;
    while (rd32(b.data() + 512 * (fatSector + 1) + 4 * last) < 0xFFFFFFF0u) last = rd32(b.data() + 512 * (fatSector + 1) + 4 * last);
    wr32(b.data() + 512 * (fatSector + 1) + 4 * last, static_cast<std::uint32_t>(b.size() / 512 + 1));
    Workbook wb = Workbook::fromBytes(b);
    for (int r = 3; r < 300; ++r) wb.setText(1, r, 12, "填满" + std::to_string(r));
    try {
      (void)wb.serialize();
      ADD_FAILURE() << "wrote next to a broken chain";
    } catch (const WorkbookError& e) {
      EXPECT_NE(std::string(e.what()).find("broken sector chain"), std::string::npos) << e.what();
    }
  }
  // Junk in the Workbook entry's name: no Workbook stream.
  expectRefused("no workbook", [&](Bytes& b) { b[at] = 'X'; });
}

TEST(RosterRobustness, BrokenRecords) {
  const Bytes s = stream(readFile(dataDir() / "lo-roster3.xls"));
  auto variant = [&](auto change) {
    Bytes v = s;
    change(v);
    return wrap(v);
  };
  // A record length past the end of the stream, in the last sheet: the others still read.
  EXPECT_EQ(exercise(variant([](Bytes& v) { wr16(v.data() + v.size() - 2, 0xFFFF); v.resize(v.size()); })), Outcome::SheetLost);
  // Lying SST counts: an enormous unique count is not allocated.
  const std::size_t sst = find(s, 0x00FC);
  ASSERT_NE(sst, std::string::npos);
  EXPECT_EQ(exercise(variant([&](Bytes& v) { wr32(v.data() + sst + 8, 0x7FFFFFFF); wr32(v.data() + sst + 4, 0x7FFFFFFF); })), Outcome::Read);
  {
    Bytes v = s;
    wr32(v.data() + sst + 8, 0x7FFFFFFF);
    Workbook wb = Workbook::fromBytes(wrap(v));
    EXPECT_EQ(wb.cell(1, 2, 1).text, "学号");
    EXPECT_THROW(wb.setText(1, 2, 10, "全新的文字"), WorkbookError);  // a damaged table is not extended
    wb.setText(1, 2, 10, "学号");  // an existing string may still be used
  }
  // A LABELSST index past the table reads as an empty cell.
  const std::size_t label = find(s, 0x00FD, find(s, 0x0809, 8));
  ASSERT_NE(label, std::string::npos);
  EXPECT_EQ(exercise(variant([&](Bytes& v) { wr32(v.data() + label + 10, 0xFFFFFF00); })), Outcome::Read);
  {
    // Appending strings would give that cell a value it never had: only known strings are used.
    // (Found by the read-modify-write fuzzer.)
    Bytes v = s;
    wr32(v.data() + label + 10, rd32(v.data() + find(v, 0x00FC) + 8));  // the first index past the table
    Workbook wb = Workbook::fromBytes(wrap(v));
    EXPECT_THROW(wb.setText(1, 2, 10, "全新的文字"), WorkbookError);
    wb.setText(1, 2, 10, "学号");
    EXPECT_EQ(Workbook::fromBytes(wb.serialize()).cell(1, 2, 10).text, "学号");
  }
  // A MULBLANK whose last column is below its first: read, but never written over.
  const std::size_t mulBlank = find(s, 0x00BE);
  ASSERT_NE(mulBlank, std::string::npos);
  {
    Bytes v = s;
    wr16(v.data() + mulBlank + 4 + rd16(v.data() + mulBlank + 2) - 2, 0);
    Workbook wb = Workbook::fromBytes(wrap(v));
    const int row = rd16(v.data() + mulBlank + 4) + 1;
    EXPECT_THROW(wb.setInteger(1, row, 1, 1), WorkbookError);
  }
  // A sheet position inside the globals, or past the end: that sheet is lost, not the file.
  const std::size_t bound = find(s, 0x0085);
  EXPECT_EQ(exercise(variant([&](Bytes& v) { wr32(v.data() + bound + 4, 0); })), Outcome::SheetLost);
  EXPECT_EQ(exercise(variant([&](Bytes& v) { wr32(v.data() + bound + 4, 0xFFFFFF00); })), Outcome::SheetLost);
  // No end to the globals.
  EXPECT_EQ(exercise(variant([&](Bytes& v) { v.resize(find(v, 0x000A)); })), Outcome::Refused);
  // Not BIFF8, and not a workbook globals.
  EXPECT_EQ(exercise(variant([](Bytes& v) { wr16(v.data() + 4, 0x0500); })), Outcome::Refused);
  EXPECT_EQ(exercise(variant([](Bytes& v) { wr16(v.data() + 6, 0x0010); })), Outcome::Refused);
}

// Each case in a child process under an address-space limit: POSIX only (fork, setrlimit);
// the same reader code is covered there.
#ifndef _WIN32
TEST(RosterRobustness, MemoryStaysBounded) {
  // Counts and positions that promise huge amounts of data: each case runs in a child process
  // limited to 1 GB of address space, where an oversized allocation would abort it.
  const Bytes s = stream(readFile(dataDir() / "lo-roster3.xls"));
  const std::size_t bound = find(s, 0x0085);
  const std::size_t second = find(s, 0x0085, bound + 4 + rd16(s.data() + bound + 2));
  const std::size_t sst = find(s, 0x00FC);
  std::vector<Bytes> cases;
  for (std::uint32_t far : {0xF0000000u, 0x7FFFFFFFu}) {
    Bytes v = s;
    wr32(v.data() + second + 4, far);  // a later sheet far beyond the end (found by the fuzzer)
    cases.push_back(wrap(v));
  }
  {
    Bytes v = s;
    wr32(v.data() + sst + 4, 0xFFFFFFFF);
    wr32(v.data() + sst + 8, 0xFFFFFFFF);
    cases.push_back(wrap(v));
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      struct rlimit limit {1u << 30, 1u << 30};
      ::setrlimit(RLIMIT_AS, &limit);
      try {
        (void)Workbook::fromBytes(cases[i]);
      } catch (const WorkbookError&) {
      }
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "case " << i;
  }
}
#endif

TEST(RosterRobustness, RandomDamage) {
  // Random byte changes in the file: every outcome is a reading or a WorkbookError.
  const Bytes good = readFile(dataDir() / "gn-roster7.xls");
  std::mt19937 rng(20261207);
  int read = 0;
  for (int i = 0; i < 1500; ++i) {
    Bytes b = good;
    const int hits = 1 + static_cast<int>(rng() % 8);
    for (int k = 0; k < hits; ++k) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
    read += exercise(b) == Outcome::Read;
  }
  std::cout << "damaged files still read: " << read << " of 1500" << std::endl;
}

TEST(RosterRobustness, ADamagedSheetCostsOnlyItselfAndNothingIsWritten) {
  TempDir t;
  const Workbook good = Workbook::open(dataDir() / "lo-roster3.xls");
  Bytes s = stream(readFile(dataDir() / "lo-roster3.xls"));
  // The second class's position points past the end of the stream.
  const std::size_t first = find(s, 0x0085);
  const std::size_t second = find(s, 0x0085, first + 4 + rd16(s.data() + first + 2));
  ASSERT_NE(second, std::string::npos);
  wr32(s.data() + second + 4, static_cast<std::uint32_t>(s.size() + 100));
  s[second + 8] = 1;  // and it is hidden
  const fs::path file = t / "点名册.xls";
  writeFile(file, wrap(s));
  const Bytes before = readFile(file);
  Workbook wb = Workbook::open(file);
  ASSERT_EQ(wb.sheetCount(), 3);
  EXPECT_EQ(wb.sheetName(2), good.sheetName(2));
  EXPECT_TRUE(wb.sheetReadable(1));
  EXPECT_FALSE(wb.sheetReadable(2));
  EXPECT_TRUE(wb.sheetHidden(2));
  for (int sheet : {1, 3})
    for (int r = 1; r <= good.lastRow(sheet); ++r)
      for (int c = 1; c <= good.lastColumn(sheet); ++c)
        EXPECT_EQ(wb.cell(sheet, r, c).toText(), good.cell(sheet, r, c).toText()) << sheet << " " << r << " " << c;
  try {
    (void)wb.cell(2, 3, 1);
    ADD_FAILURE() << "a damaged sheet was read";
  } catch (const WorkbookError& e) {
    EXPECT_EQ(e.kind(), velquor::roster::ErrorKind::SheetUnreadable);
    EXPECT_NE(std::string(e.what()).find(good.sheetName(2)), std::string::npos) << e.what();
  }
  // No edit of another class is taken: the file is never written.
  try {
    wb.setInteger(1, 3, 8, 5);
    ADD_FAILURE() << "an edit was accepted";
  } catch (const WorkbookError& e) {
    EXPECT_EQ(e.kind(), velquor::roster::ErrorKind::SheetUnreadable);
  }
  wb.save();
  EXPECT_EQ(readFile(file), before);
}

TEST(RosterRobustness, OnlyAMiniFatChainLeavingItsStreamIsNotWritten) {
  // A small workbook and a small second stream, both in the mini stream.
  const Bytes made = Workbook::create({{"一班", {{"学号", "姓名"}, {"1", "张三"}, {"2", "李四"}}}});
  const CompoundFile created(made);
  const Bytes small =
      CompoundFile::build({{u"Workbook", created.readStream(created.findRootStream(u"Workbook"))}, {u"Other", Bytes(200, 0x5A)}}, 9);
  const CompoundFile cf(small);
  const std::uint32_t miniFat = rd32(small.data() + 60);
  ASSERT_LT(miniFat, 0xFFFFFFFAu);
  auto entry = [&](Bytes& f, std::uint32_t m) { return f.data() + (miniFat + 1) * 512 + 4 * m; };
  std::uint32_t used = 0;
  while (used < 128 && rd32(small.data() + (miniFat + 1) * 512 + 4 * used) != 0xFFFFFFFF) ++used;
  ASSERT_LT(used + 5, 128u);
  auto lastOf = [&](const char16_t* name) {
    std::uint32_t m = rd32(cf.rawEntry(cf.findRootStream(name)).data() + 116);
    while (rd32(small.data() + (miniFat + 1) * 512 + 4 * m) != 0xFFFFFFFE) m = rd32(small.data() + (miniFat + 1) * 512 + 4 * m);
    return m;
  };
  // Entries past the mini stream's end that no chain reaches are unused, whatever they hold
  // (the end of a chain, a link back into the stream or further out, a FAT marker): the file
  // is written and they stay as they were.
  for (std::uint32_t value : {0xFFFFFFFEu, 3u, used + 40, 0xFFFFFFFDu}) {
    SCOPED_TRACE(value);
    Bytes f = small;
    wr32(entry(f, used + 4), value);
    Workbook wb = Workbook::fromBytes(f);
    wb.setInteger(1, 3, 3, 9);
    Bytes out = wb.serialize();
    EXPECT_EQ(Workbook::fromBytes(out).cell(1, 3, 3).number, 9);
    ASSERT_EQ(rd32(out.data() + 60), miniFat);
    EXPECT_EQ(rd32(entry(out, used + 4)), value);
  }
  // A chain that runs on past the end (the workbook's own, or another stream's): readable, not written.
  for (const char16_t* name : {u"Workbook", u"Other"}) {
    Bytes f = small;
    wr32(entry(f, lastOf(name)), used + 4);
    wr32(entry(f, used + 4), 0xFFFFFFFE);
    Workbook wb = Workbook::fromBytes(f);
    EXPECT_EQ(wb.cell(1, 3, 2).text, "李四");
    try {
      wb.setInteger(1, 3, 3, 9);
      ADD_FAILURE() << "an edit was accepted";
    } catch (const WorkbookError& e) {
      EXPECT_EQ(e.kind(), velquor::roster::ErrorKind::CannotWrite);
    }
  }
}
