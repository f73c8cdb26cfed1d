// Round trips: edit, save, read back with the component and with LibreOffice and Gnumeric, and
// check at the byte level that only the records touched by the edit changed.
#include <gtest/gtest.h>

#include <set>

#include "roster/cell/bytes.h"
#include "roster/xls/cfb.h"
#include "tests/roster/helpers.h"

using namespace rostertest;
using velquor::roster::Cell;
using velquor::roster::Workbook;
using velquor::roster::WorkbookError;
using velquor::roster::detail::Bytes;
using velquor::roster::detail::CompoundFile;
using velquor::roster::detail::rd16;
using velquor::roster::detail::rd32;

namespace {

struct Rec {
  std::uint16_t type;
  Bytes bytes;
};

// The Workbook stream split into substreams (globals first), each a list of records.
std::vector<std::vector<Rec>> substreams(const Bytes& s) {
  std::vector<std::vector<Rec>> out;
  int depth = 0;
  for (std::size_t p = 0; p + 4 <= s.size();) {
    const std::uint16_t type = rd16(s.data() + p), len = rd16(s.data() + p + 2);
    if (type == 0x0809 && depth++ == 0) out.emplace_back();
    if (!out.empty()) out.back().push_back(Rec{type, Bytes(s.begin() + static_cast<std::ptrdiff_t>(p), s.begin() + static_cast<std::ptrdiff_t>(p + 4 + len))});
    if (type == 0x000A) --depth;
    p += 4 + len;
  }
  return out;
}

bool isCell(std::uint16_t t) {
  return t == 0x0006 || t == 0x00BD || t == 0x00BE || t == 0x00D6 || t == 0x00FD || t == 0x0201 || t == 0x0203 ||
         t == 0x0204 || t == 0x0205 || t == 0x027E;
}

// INDEX lists exactly the sheet's DBCELL records; every DBCELL points back at its first ROW;
// in blocks holding an edited row the DBCELL's offsets lead to each row's first cell.
void expectIndexAndDbCellsRight(const Bytes& s, const std::map<int, std::set<int>>& editedRows) {
  struct At {
    std::size_t pos;
    std::uint16_t type;
    const std::uint8_t* p;
  };
  std::vector<std::vector<At>> subs;
  int depth = 0;
  for (std::size_t pos = 0; pos + 4 <= s.size(); pos += 4 + rd16(s.data() + pos + 2)) {
    const std::uint16_t type = rd16(s.data() + pos);
    if (type == 0x0809 && depth++ == 0) subs.emplace_back();
    if (!subs.empty()) subs.back().push_back(At{pos, type, s.data() + pos + 4});
    if (type == 0x000A) --depth;
  }
  for (std::size_t i = 1; i < subs.size(); ++i) {
    std::map<std::size_t, std::size_t> index;  // position -> record number
    for (std::size_t k = 0; k < subs[i].size(); ++k) index[subs[i][k].pos] = k;
    std::vector<std::size_t> dbcells;
    for (const At& a : subs[i])
      if (a.type == 0x00D7) dbcells.push_back(a.pos);
    for (const At& a : subs[i]) {
      if (a.type != 0x020B) continue;
      const std::size_t n = (rd16(s.data() + a.pos + 2) - 16u) / 4;
      std::vector<std::size_t> listed;
      for (std::size_t k = 0; k < n; ++k) listed.push_back(rd32(a.p + 16 + 4 * k));
      EXPECT_EQ(listed, dbcells) << "INDEX of substream " << i;
    }
    auto rows = editedRows.find(static_cast<int>(i));
    for (std::size_t db : dbcells) {
      const At& d = subs[i][index[db]];
      const std::size_t first = db - rd32(d.p);
      ASSERT_TRUE(index.count(first)) << "DBCELL at " << db;
      ASSERT_EQ(subs[i][index[first]].type, 0x0208) << "DBCELL at " << db;
      std::vector<At> rowRecs, cells;
      for (std::size_t k = index[first]; k < index[db]; ++k) (subs[i][k].type == 0x0208 ? rowRecs : cells).push_back(subs[i][k]);
      bool edited = false;
      for (const At& r : rowRecs) edited = edited || (rows != editedRows.end() && rows->second.count(rd16(r.p)));
      if (!edited) continue;
      ASSERT_EQ((rd16(s.data() + db + 2) - 4u) / 2, rowRecs.size());
      std::size_t prev = first + 20, c = 0;
      for (std::size_t k = 0; k < rowRecs.size(); ++k) {
        while (c < cells.size() && !(rd16(cells[c].p) >= rd16(rowRecs[k].p) && cells[c].type != 0x0207)) ++c;
        const std::size_t at = c < cells.size() ? cells[c].pos : db;
        EXPECT_EQ(rd16(d.p + 4 + 2 * k), at - prev) << "DBCELL at " << db << ", row " << k;
        prev = at;
      }
    }
  }
}

// The mini FAT as stored, and the mini sectors of the Workbook stream's chain when it lives there.
std::pair<std::vector<std::uint32_t>, std::set<std::uint32_t>> miniFatOf(const Bytes& f) {
  const std::size_t ss = std::size_t{1} << rd16(f.data() + 30);
  auto at = [&](std::uint32_t sector, std::size_t i) { return rd32(f.data() + (sector + 1) * ss + 4 * i); };
  auto fat = [&](std::uint32_t s) { return at(rd32(f.data() + 76 + 4 * (s / (ss / 4))), s % (ss / 4)); };
  std::vector<std::uint32_t> mini;
  for (std::uint32_t s = rd32(f.data() + 60); s < 0xFFFFFFFA; s = fat(s))
    for (std::size_t i = 0; i < ss / 4; ++i) mini.push_back(at(s, i));
  CompoundFile cf(f);
  const Bytes e = cf.rawEntry(cf.findRootStream(u"Workbook"));
  std::set<std::uint32_t> chain;
  if (rd32(e.data() + 120) < 4096)
    for (std::uint32_t m = rd32(e.data() + 116); m < mini.size() && chain.insert(m).second;) m = mini[m];
  return {mini, chain};
}

// Checks that `after` differs from `before` only where an edit of the given rows may change
// it: cell and ROW records of those rows, DBCELL, INDEX, DIMENSIONS, the string table, the
// sheet positions. Every other stream and directory entry of the compound file is identical,
// and so is every mini FAT entry outside the Workbook stream's old and new chain.
void expectOnlyTouchedChanged(const Bytes& beforeFile, const Bytes& afterFile, const std::map<int, std::set<int>>& editedRows) {
  {
    const auto [was, wasChain] = miniFatOf(beforeFile);
    const auto [is, isChain] = miniFatOf(afterFile);
    ASSERT_GE(is.size(), was.size());
    for (std::uint32_t m = 0; m < was.size(); ++m)
      if (!wasChain.count(m) && !isChain.count(m)) {
        EXPECT_EQ(is[m], was[m]) << "mini FAT entry " << m;
      }
  }
  CompoundFile a(beforeFile), b(afterFile);
  auto sa = a.rootStreams(), sb = b.rootStreams();
  ASSERT_EQ(sa.size(), sb.size());
  ASSERT_EQ(a.entryCount(), b.entryCount());
  const int wbEntry = a.findRootStream(u"Workbook");
  for (int e = 0; e < a.entryCount(); ++e) {
    Bytes ea = a.rawEntry(e), eb = b.rawEntry(e);
    if (e == wbEntry || e == 0) {  // start sector and size may change (the root's: its mini stream)
      std::fill(ea.begin() + 116, ea.end(), 0);
      std::fill(eb.begin() + 116, eb.end(), 0);
    }
    EXPECT_EQ(ea, eb) << "directory entry " << e;
  }
  for (const auto& [name, index] : sa) {
    if (index == wbEntry) continue;
    EXPECT_EQ(a.readStream(index), b.readStream(b.findRootStream(name))) << "stream changed";
  }
  const auto ra = substreams(a.readStream(wbEntry)), rb = substreams(b.readStream(wbEntry));
  ASSERT_EQ(ra.size(), rb.size());
  std::set<std::uint16_t> mayChange = {0x0208, 0x00D7, 0x020B, 0x0200, 0x00FC, 0x00FF, 0x0207};
  for (std::size_t i = 0; i < ra.size(); ++i) {
    // The worksheet index i (substreams are in sheet order in these fixtures).
    auto rows = editedRows.find(static_cast<int>(i));
    auto keep = [&](const std::vector<Rec>& v) {
      std::vector<Bytes> out;
      bool afterSst = false;
      for (const Rec& r : v) {
        if (r.type == 0x003C && afterSst) continue;
        afterSst = r.type == 0x00FC || (afterSst && r.type == 0x003C);
        if (mayChange.count(r.type)) continue;
        Bytes bytes = r.bytes;
        if (r.type == 0x0085) std::fill(bytes.begin() + 4, bytes.begin() + 8, 0);  // sheet position
        if (isCell(r.type) && rows != editedRows.end() && rows->second.count(rd16(r.bytes.data() + 4))) continue;
        out.push_back(std::move(bytes));
      }
      return out;
    };
    EXPECT_EQ(keep(ra[i]), keep(rb[i])) << "substream " << i << " changed outside the edited rows";
    // ROW records of rows without edits are unchanged.
    auto rowRecs = [&](const std::vector<Rec>& v) {
      std::vector<Bytes> out;
      for (const Rec& r : v)
        if (r.type == 0x0208 && (rows == editedRows.end() || !rows->second.count(rd16(r.bytes.data() + 4)))) out.push_back(r.bytes);
      return out;
    };
    EXPECT_EQ(rowRecs(ra[i]), rowRecs(rb[i])) << "substream " << i;
  }
  // Every BOUNDSHEET points at its sheet's BOF in the new stream.
  const Bytes s = b.readStream(b.findRootStream(u"Workbook"));
  expectIndexAndDbCellsRight(s, editedRows);
  for (const Rec& r : rb[0])
    if (r.type == 0x0085) {
      const std::uint32_t at = rd32(r.bytes.data() + 4);
      ASSERT_LT(at + 4u, s.size());
      EXPECT_EQ(rd16(s.data() + at), 0x0809);
    }
}

// LibreOffice 7.4 does not recognise compound files with 4096-byte sectors (it opens them as
// text), so those are checked by Gnumeric alone.
// `ignore`: a "SHEETNAME RnCm:" cell whose saved formula result the program recomputes.
void expectProgramsAgree(const fs::path& file, const Workbook& wb, const fs::path& work, bool libreoffice = true,
                         const std::string& ignore = "") {
  for (const std::string program : {"ssconvert", "soffice"}) {
    if (program == "soffice" && !libreoffice) continue;
    if (!haveProgram(program)) {
      std::cout << "[ SKIPPED  ] " << program << " is not installed: no check by that program" << std::endl;
      continue;
    }
    auto sheets = program == "ssconvert" ? gnumericSheets(file, work / program) : libreofficeSheets(file, work / program);
    ASSERT_EQ(static_cast<int>(sheets.size()), wb.sheetCount()) << program << " did not read " << file;
    for (int s = 1; s <= wb.sheetCount(); ++s) {
      ASSERT_TRUE(sheets.count(wb.sheetName(s))) << program << " has no sheet " << wb.sheetName(s);
      auto diffs = compareSheet(wb, s, sheets[wb.sheetName(s)]);
      if (!ignore.empty()) std::erase_if(diffs, [&](const std::string& d) { return d.rfind(ignore, 0) == 0; });
      EXPECT_TRUE(diffs.empty()) << program << ": " << diffs.size() << " differences, first: " << diffs.front();
    }
  }
}

int studentCount(const Workbook& wb, int sheet) {
  int n = 0;
  while (true) {
    std::string a = wb.cell(sheet, n + 3, 1).toText();
    if (a.find_first_not_of(' ') == std::string::npos) return n;
    ++n;
  }
}

int todayColumn(const Workbook& wb, int sheet, const std::string& today) {
  int c = 6;
  while (!wb.cell(sheet, 2, c).empty() && wb.cellMonthDay(sheet, 2, c) != today) ++c;
  return c;
}

}  // namespace

TEST(RosterWrite, MarksHeadingAndGroupsRoundTrip) {
  for (const std::string name : {"lo-roster3", "gn-roster3", "lo-roster7", "gn-roster7", "sample", "we-roster3", "sj-roster3",
                                "sj-roster2-inline"}) {
    SCOPED_TRACE(name);
    TempDir t;
    const fs::path src = name == "sample" ? fs::path(VELQUOR_SOURCE_DIR) / "roster" / "sample" / utf8Path("点名册.xls") : dataDir() / (name + ".xls");
    const fs::path file = t / "点名册.xls";
    fs::copy_file(src, file);
    const Bytes original = readFile(file);
    Workbook wb = Workbook::open(file);
    std::map<int, std::set<int>> editedRows;  // substream index (1 = first sheet) -> 0-based rows
    auto note = [&](int sheet, int row) { editedRows[sheet].insert(row - 1); };

    const int n = studentCount(wb, 1);
    ASSERT_GE(n, 3);
    const int today = todayColumn(wb, 1, "12月07");
    wb.setText(1, 2, today, "12月07");
    note(1, 2);
    for (int i = 1; i <= n; ++i) {
      wb.setInteger(1, i + 2, 5, static_cast<std::int16_t>((i - 1) / 8 + 1));
      note(1, i + 2);
    }
    wb.setInteger(1, 9, today, 5);
    note(1, 9);
    wb.setInteger(1, 4, 4, -32768);  // inside a run of blank or formatted cells
    wb.setInteger(1, n + 2, 3, 32767);  // a text cell becomes a number
    wb.setText(1, 5, 6, "缺席");     // a number becomes text
    const int last = wb.sheetCount();
    wb.setInteger(last, 90, 3, 42);  // a row that did not exist
    wb.setText(last, 91, 7, "12月07");  // the same string again: shared
    note(last, 90);
    note(last, 91);
    const auto expected = snapshot(wb);
    EXPECT_EQ(wb.cell(1, 2, today).text, "12月07");
    EXPECT_EQ(wb.cell(1, 9, today).number, 5);
    wb.save();

    Workbook back = Workbook::open(file);
    EXPECT_EQ(snapshot(back), expected);
    EXPECT_EQ(snapshot(wb), expected);
    EXPECT_EQ(back.cell(1, 2, today).text, "12月07");
    EXPECT_EQ(back.cell(1, 3, 5).number, 1);
    EXPECT_EQ(back.cell(1, 4, 4).number, -32768);
    EXPECT_EQ(back.cell(1, n + 2, 3).number, 32767);
    EXPECT_EQ(back.cell(1, 5, 6).text, "缺席");
    EXPECT_EQ(back.cell(last, 90, 3).number, 42);
    EXPECT_EQ(back.cell(last, 91, 7).text, "12月07");
    expectOnlyTouchedChanged(original, readFile(file), editedRows);
    // (LibreOffice left this text formula's result uncomputed when it wrote the fixture.)
    expectProgramsAgree(file, back, t.path(), true, name == "lo-roster7" ? "初二(1)班 R5C4:" : "");
  }
}

TEST(RosterWrite, RepeatedSavesAccumulate) {
  TempDir t;
  const fs::path file = t / "r.xls";
  fs::copy_file(dataDir() / "gn-roster3.xls", file);
  Workbook wb = Workbook::open(file);
  for (int k = 1; k <= 5; ++k) {
    const int mark = static_cast<int>(wb.cell(1, 9, 10).number) + 5;
    wb.setInteger(1, 9, 10, static_cast<std::int16_t>(mark));
    wb.save();
    EXPECT_FALSE(wb.modified());
    EXPECT_FALSE(wb.changedOnDisk());
  }
  EXPECT_EQ(Workbook::open(file).cell(1, 9, 10).number, 25);
  // A run of formatted blanks split by one save (leaving single BLANK records) is split again
  // by the next.
  fs::copy_file(dataDir() / "lo-roster3.xls", file, fs::copy_options::overwrite_existing);
  Workbook lo = Workbook::open(file);
  for (int col = 3; col >= 2; --col) {
    lo.setInteger(1, 1, col, static_cast<std::int16_t>(col));
    lo.save();
  }
  Workbook back = Workbook::open(file);
  EXPECT_EQ(back.cell(1, 1, 2).number, 2);
  EXPECT_EQ(back.cell(1, 1, 3).number, 3);
  EXPECT_EQ(back.cell(1, 1, 1).text, "高一(1)班 点名册");
}

TEST(RosterWrite, ManyNewRowsAndLongTexts) {
  // Thousands of new rows (new row blocks, a longer INDEX, FAT growth) and strings that need
  // new CONTINUE records in the string table, some longer than one record.
  TempDir t;
  const fs::path file = t / "big.xls";
  fs::copy_file(dataDir() / "lo-roster3.xls", file);
  Workbook wb = Workbook::open(file);
  std::string longText;
  for (int i = 0; i < 6000; ++i) longText += "长";
  for (int r = 3; r <= 4000; ++r) {
    wb.setInteger(2, r, 1, static_cast<std::int16_t>(r - 2));
    wb.setText(2, r, 2, "学生" + std::to_string(r));
    wb.setInteger(2, r, 5, static_cast<std::int16_t>(r % 7));
  }
  wb.setText(2, 4001, 2, longText);
  wb.setText(2, 4002, 2, std::string(9000, 'x'));
  const auto expected = snapshot(wb);
  wb.save();
  Workbook back = Workbook::open(file);
  EXPECT_EQ(snapshot(back), expected);
  EXPECT_EQ(back.cell(2, 4001, 2).text, longText);
  EXPECT_EQ(back.lastRow(2), 4002);
  expectProgramsAgree(file, back, t.path());
}

TEST(RosterWrite, FileGrowsPastTheHeaderFatList) {
  // More than 109 FAT sectors (a file over 7 MB with 512-byte sectors): the FAT grows and its
  // sectors are listed in a new DIFAT sector.
  TempDir t;
  const fs::path file = t / "huge.xls";
  fs::copy_file(dataDir() / "gn-roster3.xls", file);
  Workbook wb = Workbook::open(file);
  for (int r = 1; r <= 65536; ++r)
    for (int c = 20; c < 30; ++c) wb.setInteger(3, r, c, static_cast<std::int16_t>(r * c));
  wb.save();
  const Bytes after = readFile(file);
  ASSERT_GT(after.size(), 109u * 128u * 512u);
  EXPECT_EQ(rd32(after.data() + 72), 1u);  // one DIFAT sector
  Workbook back = Workbook::open(file);
  EXPECT_EQ(back.cell(3, 65536, 29).number, static_cast<std::int16_t>(65536 * 29));
  EXPECT_EQ(back.cell(3, 1, 20).number, 20);
  EXPECT_EQ(snapshot(back), snapshot(wb));
  if (haveProgram("ssconvert")) {
    auto sheets = gnumericSheets(file, t.path());
    ASSERT_EQ(sheets.size(), 3u);
    for (int s = 1; s <= 3; ++s) {
      auto diffs = compareSheet(back, s, sheets[back.sheetName(s)]);
      EXPECT_TRUE(diffs.empty()) << diffs.size() << " differences, first: " << diffs.front();
    }
  }
}

TEST(RosterWrite, FourKilobyteSectors) {
  // The fixture's streams moved into a compound file with 4096-byte sectors.
  TempDir t;
  CompoundFile src(readFile(dataDir() / "lo-roster3.xls"));
  std::vector<std::pair<std::u16string, Bytes>> streams;
  for (const auto& [name, index] : src.rootStreams()) streams.emplace_back(name, src.readStream(index));
  const fs::path file = t / "v4.xls";
  writeFile(file, CompoundFile::build(streams, 12));
  ASSERT_EQ(readFile(file)[30], 12);
  Workbook wb = Workbook::open(file);
  EXPECT_EQ(snapshot(wb), snapshot(Workbook::open(dataDir() / "lo-roster3.xls")));
  wb.setText(1, 2, 10, "12月07");
  for (int r = 3; r <= 500; ++r) wb.setInteger(1, r, 10, static_cast<std::int16_t>(r));
  const auto expected = snapshot(wb);
  const Bytes before = readFile(file);
  wb.save();
  const Bytes after = readFile(file);
  EXPECT_EQ(after.size() % 4096, 0u);
  Workbook back = Workbook::open(file);
  EXPECT_EQ(snapshot(back), expected);
  std::map<int, std::set<int>> rows;
  for (int r = 2; r <= 500; ++r) rows[1].insert(r - 1);
  expectOnlyTouchedChanged(before, after, rows);
  expectProgramsAgree(file, back, t.path(), false);
}

TEST(RosterWrite, SmallWorkbookInTheMiniStream) {
  TempDir t;
  const fs::path file = t / "small.xls";
  writeFile(file, Workbook::create({{"一班", {{"名单"}, {"学号", "姓名"}, {"1", "张三"}, {"2", "李四"}}}}));
  {
    CompoundFile cf(readFile(file));
    ASSERT_LT(cf.readStream(cf.findRootStream(u"Workbook")).size(), 4096u);  // lives in the mini stream
  }
  // An edit of the same size stays in place.
  Workbook wb = Workbook::open(file);
  wb.setInteger(1, 3, 1, 7);
  wb.save();
  EXPECT_EQ(Workbook::open(file).cell(1, 3, 1).number, 7);
  // Growth past 4096 bytes moves the stream out of the mini stream.
  for (int r = 5; r < 400; ++r) wb.setInteger(1, r, 3, static_cast<std::int16_t>(r));
  const auto expected = snapshot(wb);
  wb.save();
  Workbook back = Workbook::open(file);
  EXPECT_EQ(snapshot(back), expected);
  {
    CompoundFile cf(readFile(file));
    EXPECT_GE(cf.readStream(cf.findRootStream(u"Workbook")).size(), 4096u);
  }
  expectProgramsAgree(file, back, t.path());
}

TEST(RosterWrite, SmallWorkbookGrowsInsideTheMiniStream) {
  // One new student per save: the stream grows inside the mini stream (more mini sectors, mini
  // FAT and container sectors) until it passes 4096 bytes and moves to the regular sectors.
  for (int shift : {9, 12}) {
    SCOPED_TRACE(shift);
    TempDir t;
    const fs::path file = t / "small.xls";
    writeFile(file, Workbook::create({{"一班", {{"学号", "姓名"}, {"1", "张三"}}}}, shift));
    Workbook wb = Workbook::open(file);
    int savesInMini = 0;
    for (int k = 0; k < 60; ++k) {
      wb.setInteger(1, 3 + k, 1, static_cast<std::int16_t>(k + 2));
      wb.setText(1, 3 + k, 2, "新同学" + std::to_string(k));
      const auto expected = snapshot(wb);
      wb.save();
      EXPECT_EQ(snapshot(Workbook::open(file)), expected) << "after save " << k;
      CompoundFile cf(readFile(file));
      savesInMini += cf.readStream(cf.findRootStream(u"Workbook")).size() < 4096;
    }
    EXPECT_GT(savesInMini, 5);
    EXPECT_LT(savesInMini, 60);
    expectProgramsAgree(file, Workbook::open(file), t.path(), shift == 9);
  }
  // A file whose mini stream is shared with other streams: they stay as they were.
  TempDir t;
  const Bytes small = Workbook::create({{"一班", {{"学号", "姓名"}, {"1", "张三"}}}});
  CompoundFile src(small);
  const Bytes summary(300, 0x5A), other(2000, 0xA5);
  const fs::path file = t / "shared.xls";
  writeFile(file, CompoundFile::build({{u"Workbook", src.readStream(src.findRootStream(u"Workbook"))},
                                       {u"\005SummaryInformation", summary}, {u"Other", other}}, 9));
  Workbook wb = Workbook::open(file);
  for (int k = 0; k < 20; ++k) wb.setText(1, 3 + k, 2, "学生" + std::to_string(k));
  const auto expected = snapshot(wb);
  const Bytes before = readFile(file);
  wb.save();
  EXPECT_EQ(snapshot(Workbook::open(file)), expected);
  CompoundFile cf(readFile(file));
  EXPECT_LT(cf.readStream(cf.findRootStream(u"Workbook")).size(), 4096u);
  std::map<int, std::set<int>> rows;
  for (int r = 3; r < 23; ++r) rows[1].insert(r - 1);
  expectOnlyTouchedChanged(before, readFile(file), rows);
  expectProgramsAgree(file, Workbook::open(file), t.path());
}

TEST(RosterWrite, SheetEndingRightAfterItsCells) {
  // A sheet with nothing between its cells and its EOF (no window record) takes a second round
  // of edits. (Found by the read-modify-write fuzzer.)
  CompoundFile created(Workbook::create({{"S", {}}}));
  Bytes s = created.readStream(created.findRootStream(u"Workbook"));
  for (std::size_t p = 0; p + 4 <= s.size(); p += 4 + rd16(s.data() + p + 2))
    if (rd16(s.data() + p) == 0x023E) {
      s.erase(s.begin() + static_cast<std::ptrdiff_t>(p), s.begin() + static_cast<std::ptrdiff_t>(p + 4 + rd16(s.data() + p + 2)));
      break;
    }
  Workbook first = Workbook::fromBytes(CompoundFile::build({{u"Workbook", s}}, 9));
  first.setInteger(1, 3, 1, 1);
  Workbook second = Workbook::fromBytes(first.serialize());
  second.setInteger(1, 4, 1, 2);
  second.setText(1, 3, 2, "张三");
  Workbook third = Workbook::fromBytes(second.serialize());
  EXPECT_EQ(third.cell(1, 3, 1).number, 1);
  EXPECT_EQ(third.cell(1, 4, 1).number, 2);
  EXPECT_EQ(third.cell(1, 3, 2).text, "张三");
}

TEST(RosterWrite, CreatedWorkbooksReadInBothPrograms) {
  TempDir t;
  for (int shift : {9, 12}) {
    const fs::path file = t / ("created" + std::to_string(shift) + ".xls");
    Workbook::SheetRows rows = {{"三年级点名册"}, {"学号", "姓名", "", "", "组别", "12月01"}};
    for (int i = 1; i <= 45; ++i) rows.push_back({std::to_string(i), "学生" + std::to_string(i), "", "", "", std::to_string(i % 5)});
    writeFile(file, Workbook::create({{"三(1)班", rows}, {"三(2)班", {{"空"}}}}, shift));
    Workbook wb = Workbook::open(file);
    ASSERT_EQ(wb.sheetCount(), 2);
    EXPECT_EQ(wb.sheetName(1), "三(1)班");
    EXPECT_EQ(wb.cell(1, 47, 2).text, "学生45");
    EXPECT_EQ(wb.cell(1, 47, 6).number, 0);
    EXPECT_EQ(wb.cell(1, 1, 1).text, "三年级点名册");
    expectProgramsAgree(file, wb, t.path() / std::to_string(shift), shift == 9);
  }
}

TEST(RosterWrite, RefusesWhatItCannotWriteSafely) {
  EXPECT_THROW(
      {
        try {
          Workbook::open(dataDir() / "gn-biff5.xls");
        } catch (const WorkbookError& e) {
          EXPECT_NE(std::string(e.what()).find("5.0/95"), std::string::npos);
          throw;
        }
      },
      WorkbookError);
  // An encrypted workbook: FILEPASS right after the globals BOF.
  CompoundFile src(readFile(dataDir() / "lo-roster3.xls"));
  Bytes s = src.readStream(src.findRootStream(u"Workbook"));
  const std::size_t bofEnd = 4 + rd16(s.data() + 2);
  const Bytes filePass = {0x2F, 0x00, 0x06, 0x00, 0x01, 0x00, 0x01, 0x00, 0x01, 0x00};
  s.insert(s.begin() + static_cast<std::ptrdiff_t>(bofEnd), filePass.begin(), filePass.end());
  try {
    Workbook::fromBytes(CompoundFile::build({{u"Workbook", s}}, 9));
    ADD_FAILURE() << "an encrypted workbook was opened";
  } catch (const WorkbookError& e) {
    EXPECT_NE(std::string(e.what()).find("password"), std::string::npos);
  }
  // Cells of a shared formula: writing one would break the others.
  for (const char* name : {"lo-roster7", "gn-roster7"}) {
    Workbook wb = Workbook::open(dataDir() / (std::string(name) + ".xls"));
    int refused = 0;
    for (int r = 3; r <= 8; ++r) {
      try {
        wb.setInteger(4, r, 4, 1);
      } catch (const WorkbookError& e) {
        EXPECT_NE(std::string(e.what()).find("shared or array formula"), std::string::npos);
        ++refused;
      }
    }
    std::cout << name << ": " << refused << " of 6 shared-formula cells refused" << std::endl;
    if (std::string(name) == "lo-roster7") {
      EXPECT_EQ(refused, 6);
    }
    // Whatever was accepted must write a readable file.
    Workbook back = Workbook::fromBytes(wb.serialize());
    for (int r = 3; r <= 8; ++r)
      EXPECT_EQ(back.cell(4, r, 4).number, wb.cell(4, r, 4).number);
  }
  // Out of the sheet.
  Workbook wb = Workbook::open(dataDir() / "lo-roster3.xls");
  EXPECT_THROW(wb.setInteger(1, 0, 1, 1), WorkbookError);
  EXPECT_THROW(wb.setInteger(1, 65537, 1, 1), WorkbookError);
  EXPECT_THROW(wb.setText(1, 1, 257, "x"), WorkbookError);
  EXPECT_THROW(wb.setText(9, 1, 1, "x"), WorkbookError);
  EXPECT_THROW(wb.setText(1, 1, 1, std::string("\xff\xfe")), WorkbookError);
  EXPECT_FALSE(wb.modified());
  EXPECT_THROW(Workbook::fromBytes(readFile(dataDir() / "lo-roster3.xls")).save(), WorkbookError);  // no file
}
