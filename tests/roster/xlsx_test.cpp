// .xlsx rosters: the reader against what LibreOffice and Gnumeric print for files of four
// writers; round trips read back by the component, Gnumeric, LibreOffice and openpyxl with
// every untouched archive entry byte-identical; the refusals.
#include <gtest/gtest.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>

#include "fuzz/rmw_rounds.h"
#include "fuzz/xlsx_package.h"
#include "roster/cell/bytes.h"
#include "roster/src/cfb.h"
#include "roster/src/xlsx_segments.h"
#include "roster/src/xml.h"
#include "tests/roster/helpers.h"

using namespace rostertest;
using velquor::roster::Cell;
using velquor::roster::ErrorKind;
using velquor::roster::Workbook;
using velquor::roster::WorkbookError;
using velquor::roster::detail::Bytes;

namespace {

const char* kRosters[] = {"lo-roster3", "gn-roster3", "op-roster3", "xw-roster3"};

// One archive entry as stored: name, method, CRC, the compressed bytes.
struct RawEntry {
  std::string name;
  int method = 0;
  std::uint32_t crc = 0;
  Bytes data;
};

std::vector<RawEntry> rawEntries(const Bytes& zipBytes) {
  std::vector<RawEntry> out;
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(zipBytes.data(), zipBytes.size(), 0, &err);
  zip_t* za = src ? zip_open_from_source(src, ZIP_RDONLY | ZIP_CHECKCONS, &err) : nullptr;
  zip_error_fini(&err);
  if (!za) {
    if (src) zip_source_free(src);
    ADD_FAILURE() << "not a readable archive";
    return out;
  }
  for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st);
    RawEntry e{st.name, st.comp_method, st.crc, Bytes(static_cast<std::size_t>(st.comp_size))};
    zip_file_t* f = zip_fopen_index(za, static_cast<zip_uint64_t>(i), ZIP_FL_COMPRESSED);
    if (f && !e.data.empty()) {
      EXPECT_EQ(zip_fread(f, e.data.data(), e.data.size()), static_cast<zip_int64_t>(e.data.size()));
    }
    if (f) zip_fclose(f);
    out.push_back(std::move(e));
  }
  zip_discard(za);
  return out;
}

// The archive with entry `name` holding `text` (or without it when `remove`), via libzip.
Bytes withEntry(const Bytes& zipBytes, const std::string& name, const std::string& text, bool remove = false,
                bool stored = false) {
  zip_error_t err;
  zip_error_init(&err);
  void* copy = std::malloc(zipBytes.size());  // libzip frees what it wrote over (see rewriteZip)
  std::memcpy(copy, zipBytes.data(), zipBytes.size());
  zip_source_t* src = zip_source_buffer_create(copy, zipBytes.size(), 1, &err);
  zip_t* za = zip_open_from_source(src, 0, &err);
  zip_error_fini(&err);
  zip_source_keep(src);
  const zip_int64_t idx = name.empty() ? 0 : zip_name_locate(za, name.c_str(), 0);
  if (idx < 0) {
    ADD_FAILURE() << "no entry " << name;
    zip_discard(za);
    zip_source_free(src);
    return zipBytes;
  }
  if (remove) {
    zip_delete(za, static_cast<zip_uint64_t>(idx));
  } else if (!name.empty()) {
    zip_file_replace(za, static_cast<zip_uint64_t>(idx), zip_source_buffer(za, text.data(), text.size(), 0), 0);
  }
  if (stored)
    for (zip_int64_t i = 0; i < zip_get_num_entries(za, 0); ++i) zip_set_file_compression(za, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0);
  zip_stat_t st;
  if (zip_close(za) != 0 || zip_source_stat(src, &st) != 0) {
    ADD_FAILURE() << "libzip could not write the archive";
    zip_source_free(src);
    return zipBytes;
  }
  Bytes out(static_cast<std::size_t>(st.size));
  zip_source_open(src);
  zip_source_read(src, out.data(), out.size());
  zip_source_close(src);
  zip_source_free(src);
  return out;
}

std::string entryText(const Bytes& zipBytes, const std::string& name) {
  int e = 0;
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(zipBytes.data(), zipBytes.size(), 0, &err);
  zip_t* za = zip_open_from_source(src, ZIP_RDONLY, &err);
  zip_error_fini(&err);
  (void)e;
  zip_stat_t st;
  std::string out;
  if (zip_stat(za, name.c_str(), 0, &st) == 0) {
    out.resize(static_cast<std::size_t>(st.size));
    zip_file_t* f = zip_fopen(za, name.c_str(), 0);
    zip_fread(f, out.data(), out.size());
    zip_fclose(f);
  }
  zip_discard(za);
  return out;
}

std::string replaceAll(std::string s, const std::string& from, const std::string& to) {
  for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size())) s.replace(at, from.size(), to);
  return s;
}

ErrorKind refusal(const Bytes& bytes, std::string* what = nullptr) {
  try {
    Workbook::fromBytes(bytes);
  } catch (const WorkbookError& e) {
    if (what) *what = e.what();
    return e.kind();
  }
  return ErrorKind::Other;
}

std::string python() { return fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

// Every cell openpyxl reads, one line per cell "sheet|state|R|C|value", in sheet order.
std::vector<std::string> openpyxlCells(const fs::path& xlsx, const fs::path& work) {
  const fs::path script = work / "dump.py", out = work / "openpyxl.txt";
  std::ofstream(script) << "import sys, datetime, openpyxl\n"
                           "wb = openpyxl.load_workbook(sys.argv[1])\n"
                           "with open(sys.argv[2], 'w', encoding='utf-8') as f:\n"
                           "  for ws in wb.worksheets:\n"
                           "    for row in ws.iter_rows():\n"
                           "      for c in row:\n"
                           "        v = c.value\n"
                           "        if v is None: continue\n"
                           "        if isinstance(v, datetime.datetime): v = v.strftime('%m月%d')\n"
                           "        elif isinstance(v, bool): v = 'TRUE' if v else 'FALSE'\n"
                           "        elif isinstance(v, float) and v.is_integer(): v = int(v)\n"
                           "        f.write('%s|%s|%d|%d|%s\\n' % (ws.title, ws.sheet_state, c.row, c.column, v))\n";
  std::vector<std::string> lines;
  if (std::system((python() + " '" + script.string() + "' '" + xlsx.string() + "' '" + out.string() + "'").c_str()) != 0) return lines;
  std::ifstream in(out);
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

std::vector<std::string> ourCells(const Workbook& wb) {
  std::vector<std::string> lines;
  for (int s = 1; s <= wb.sheetCount(); ++s)
    for (int r = 1; r <= wb.lastRow(s); ++r)
      for (int c = 1; c <= wb.lastColumn(s); ++c) {
        const Cell x = wb.cell(s, r, c);
        if (x.empty()) continue;
        lines.push_back(wb.sheetName(s) + "|" + (wb.sheetHidden(s) ? "hidden" : "visible") + "|" + std::to_string(r) + "|" +
                        std::to_string(c) + "|" + (x.isDate ? wb.cellMonthDay(s, r, c) : x.toText()));
      }
  return lines;
}

}  // namespace

TEST(Xlsx, EveryCellOfEveryFixtureAgreesWithBothPrograms) {
  int sheets = 0, files = 0;
  for (const auto& entry : fs::directory_iterator(dataDir())) {
    if (entry.path().extension() != ".xlsx") continue;
    const std::string name = entry.path().stem().string();
    SCOPED_TRACE(name);
    Workbook wb = Workbook::open(entry.path());
    ASSERT_GT(wb.sheetCount(), 0);
    ++files;
    for (int s = 1; s <= wb.sheetCount(); ++s, ++sheets) {
      for (const char* program : {"gnumeric", "libreoffice"}) {
        const fs::path csv = dataDir() / "expected" / (name + ".xlsx." + program + "." + wb.sheetName(s) + ".csv");
        ASSERT_TRUE(fs::exists(csv)) << csv;
        auto diffs = compareSheet(wb, s, readCsv(csv));
        // Gnumeric prints SpreadsheetML's escape for an underscore as it stands; LibreOffice
        // and the component decode it.
        if (std::string(program) == "gnumeric")
          std::erase_if(diffs, [](const std::string& d) { return d.find("_x005F_x0041_") != std::string::npos; });
        EXPECT_TRUE(diffs.empty()) << program << ": " << diffs.size() << " differences, first: " << diffs.front();
      }
    }
  }
  EXPECT_EQ(files, 11);
  EXPECT_GE(sheets, 30);
}

TEST(Xlsx, RosterFactsAreTheSameAsInTheXlsFile) {
  const Workbook xls = Workbook::open(dataDir() / "lo-roster3.xls");
  for (const char* name : kRosters) {
    SCOPED_TRACE(name);
    const Workbook wb = Workbook::open(dataDir() / (std::string(name) + ".xlsx"));
    ASSERT_EQ(wb.sheetCount(), 3);
    for (int s = 1; s <= 3; ++s) {
      EXPECT_EQ(wb.sheetName(s), xls.sheetName(s));
      EXPECT_FALSE(wb.sheetHidden(s));
      for (int r = 2; r <= 55; ++r)
        for (int c = 1; c <= 10; ++c) {
          const Cell a = xls.cell(s, r, c), b = wb.cell(s, r, c);
          EXPECT_EQ(a.kind, b.kind) << s << " R" << r << "C" << c;
          EXPECT_EQ(xls.cellMonthDay(s, r, c), wb.cellMonthDay(s, r, c)) << s << " R" << r << "C" << c;
        }
    }
    EXPECT_TRUE(wb.cell(1, 2, 8).isDate);
    EXPECT_EQ(wb.cellMonthDay(1, 2, 8), "12月04");
  }
  // Hidden states, rich text, cached formula values, a whitespace-only heading.
  for (const char* name : {"xw-features", "op-features"}) {
    SCOPED_TRACE(name);
    const Workbook wb = Workbook::open(dataDir() / (std::string(name) + ".xlsx"));
    ASSERT_EQ(wb.sheetCount(), 3);
    EXPECT_FALSE(wb.sheetHidden(1));
    EXPECT_TRUE(wb.sheetHidden(2));
    EXPECT_TRUE(wb.sheetHidden(3));
    EXPECT_EQ(wb.cell(1, 3, 3).text, "普通加粗");
    EXPECT_EQ(wb.cell(1, 4, 3).number, 3);
    EXPECT_EQ(wb.cell(1, 2, 10).text, " ");
    EXPECT_EQ(wb.cell(1, 6, 3).text, "  前后空格  ");
    EXPECT_EQ(wb.cell(1, 6, 4).text, "a_x0041_b");  // escaped in the shared strings, literal inline
    EXPECT_EQ(wb.cellMonthDay(1, 2, 7), "12月03");
    EXPECT_EQ(wb.cellMonthDay(1, 2, 9), "12月05");
  }
  EXPECT_EQ(Workbook::open(dataDir() / "op-dates1904.xlsx").cellMonthDay(1, 2, 6), "12月01");
}

TEST(Xlsx, TheFormatIsTheContentsNotTheName) {
  TempDir dir;
  fs::copy_file(dataDir() / "lo-roster3.xlsx", dir / "really-xlsx.xls");
  fs::copy_file(dataDir() / "lo-roster3.xls", dir / "really-xls.xlsx");
  EXPECT_EQ(Workbook::open(dir / "really-xlsx.xls").sheetCount(), 3);
  EXPECT_EQ(Workbook::open(dir / "really-xls.xlsx").sheetCount(), 3);
  writeFile(dir / "text.xlsx", Bytes{'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
  try {
    Workbook::open(dir / "text.xlsx");
    ADD_FAILURE() << "a text file was read";
  } catch (const WorkbookError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::Damaged);
  }
}

// Today's heading, a mark and the group column written and saved; then every reader agrees.
TEST(Xlsx, RoundTripsReadBackByEveryReaderWithOtherEntriesUntouched) {
  for (const char* name : kRosters) {
    SCOPED_TRACE(name);
    TempDir dir;
    const fs::path file = dir / "点名册.xlsx";
    fs::copy_file(dataDir() / (std::string(name) + ".xlsx"), file);
    const Bytes before = readFile(file);
    Workbook wb = Workbook::open(file);
    auto want = snapshot(wb);
    wb.setText(1, 2, 10, "12月07");
    wb.setInteger(1, 9, 10, 5);
    for (int i = 1; i <= 48; ++i) wb.setInteger(1, i + 2, 5, static_cast<std::int16_t>((i - 1) / 8 + 1));
    wb.setInteger(1, 60, 12, -3);  // a new row past the end, a new column
    const auto pending = snapshot(wb);
    wb.save();
    EXPECT_FALSE(wb.modified());
    EXPECT_EQ(snapshot(wb), pending);
    const Workbook back = Workbook::open(file);
    EXPECT_EQ(snapshot(back), pending);
    EXPECT_EQ(back.cell(1, 2, 10).text, "12月07");
    EXPECT_EQ(back.cell(1, 9, 10).number, 5);
    EXPECT_EQ(back.cell(1, 50, 5).number, 6);
    EXPECT_EQ(back.lastRow(1), 60);
    // A second save on the saved state.
    Workbook again = Workbook::open(file);
    again.setInteger(1, 9, 10, 7);
    again.save();
    EXPECT_EQ(Workbook::open(file).cell(1, 9, 10).number, 7);
    EXPECT_EQ(Workbook::open(file).cell(1, 60, 12).number, -3);

    // Entry by entry: only the first worksheet changed, in the same place of the archive.
    const auto a = rawEntries(before), b = rawEntries(readFile(file));
    ASSERT_EQ(a.size(), b.size());
    int changed = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(a[i].name, b[i].name);
      if (a[i].name.find("worksheets/sheet1.xml") != std::string::npos) {
        ++changed;
        continue;
      }
      EXPECT_EQ(a[i].method, b[i].method) << a[i].name;
      EXPECT_EQ(a[i].crc, b[i].crc) << a[i].name;
      EXPECT_TRUE(a[i].data == b[i].data) << a[i].name;
    }
    EXPECT_EQ(changed, 1);

    // The other readers.
    const Workbook final = Workbook::open(file);
    const auto gn = gnumericSheets(file, dir.path());
    const auto lo = libreofficeSheets(file, dir.path());
    ASSERT_EQ(gn.size(), 3u);
    ASSERT_EQ(lo.size(), 3u);
    for (int s = 1; s <= 3; ++s) {
      auto d1 = compareSheet(final, s, gn.at(final.sheetName(s)));
      EXPECT_TRUE(d1.empty()) << "gnumeric: " << d1.front();
      auto d2 = compareSheet(final, s, lo.at(final.sheetName(s)));
      EXPECT_TRUE(d2.empty()) << "libreoffice: " << d2.front();
    }
    EXPECT_EQ(openpyxlCells(file, dir.path()), ourCells(final));
  }
}

TEST(Xlsx, StoredEntriesAndDataDescriptorsSurviveAndFormulaCellsTakeTheChain) {
  TempDir dir;
  // LibreOffice writes data descriptors; the same package with every entry stored.
  const Bytes lo = readFile(dataDir() / "lo-roster7.xlsx");
  const Bytes stored = withEntry(lo, "", "", false, true);
  for (const Bytes* original : {&lo, &stored}) {
    Workbook wb = Workbook::fromBytes(*original);
    // Sheet 1 D4 holds a formula with a cached value.
    ASSERT_EQ(wb.cell(1, 4, 4).number, 3);
    wb.setInteger(1, 4, 4, 9);
    const Bytes out = wb.serialize();
    const Workbook back = Workbook::fromBytes(out);
    EXPECT_EQ(back.cell(1, 4, 4).number, 9);
    const auto a = rawEntries(*original), b = rawEntries(out);
    std::set<std::string> after;
    for (const auto& e : b) after.insert(e.name);
    for (const auto& e : a) {
      if (e.name == "xl/calcChain.xml") {
        EXPECT_FALSE(after.count(e.name)) << "the calculation chain stays";
        continue;
      }
      ASSERT_TRUE(after.count(e.name)) << e.name;
      if (e.name == "xl/worksheets/sheet1.xml" || e.name == "xl/_rels/workbook.xml.rels" || e.name == "[Content_Types].xml")
        continue;
      const auto& f = *std::find_if(b.begin(), b.end(), [&](const RawEntry& x) { return x.name == e.name; });
      EXPECT_EQ(e.method, f.method) << e.name;
      EXPECT_TRUE(e.data == f.data) << e.name;
    }
    EXPECT_EQ(entryText(out, "xl/_rels/workbook.xml.rels").find("calcChain"), std::string::npos);
    EXPECT_EQ(entryText(out, "[Content_Types].xml").find("calcChain"), std::string::npos);
    writeFile(dir / "out.xlsx", out);
    EXPECT_EQ(gnumericSheets(dir / "out.xlsx", dir.path()).size(), 7u);
  }
}

TEST(Xlsx, StrictNamespacesReadLikeTransitionalOnes) {
  const Bytes lo = readFile(dataDir() / "lo-roster3.xlsx");
  Bytes strict = lo;
  for (const char* part : {"xl/workbook.xml", "xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml", "xl/worksheets/sheet3.xml",
                           "xl/styles.xml", "xl/sharedStrings.xml", "xl/_rels/workbook.xml.rels", "_rels/.rels"}) {
    std::string t = entryText(strict, part);
    t = replaceAll(t, "http://schemas.openxmlformats.org/spreadsheetml/2006/main", "http://purl.oclc.org/ooxml/spreadsheetml/main");
    t = replaceAll(t, "http://schemas.openxmlformats.org/officeDocument/2006/relationships", "http://purl.oclc.org/ooxml/officeDocument/relationships");
    strict = withEntry(strict, part, t);
  }
  ASSERT_NE(entryText(strict, "xl/workbook.xml").find("purl.oclc.org"), std::string::npos);
  Workbook a = Workbook::fromBytes(lo), b = Workbook::fromBytes(strict);
  EXPECT_EQ(snapshot(a), snapshot(b));
  b.setInteger(1, 5, 9, 4);
  EXPECT_EQ(Workbook::fromBytes(b.serialize()).cell(1, 5, 9).number, 4);
}

TEST(Xlsx, UnsafeOrBrokenPackagesAreRefusedClearly) {
  const Bytes lo = readFile(dataDir() / "lo-roster3.xlsx");
  std::string what;
  // An encrypted workbook: an OLE container with the package inside.
  const Bytes encrypted = velquor::roster::detail::CompoundFile::build(
      {{u"EncryptionInfo", Bytes(200, 4)}, {u"EncryptedPackage", Bytes(5000, 7)}}, 9);
  EXPECT_EQ(refusal(encrypted, &what), ErrorKind::Unsupported);
  EXPECT_NE(what.find("password"), std::string::npos) << what;
  // A zip bomb: a sheet inflating far past what it occupies, and one past the size bound.
  std::string sheet = entryText(lo, "xl/worksheets/sheet2.xml");
  const std::string padded = sheet.substr(0, sheet.rfind("</worksheet>")) + std::string(3u << 20, ' ') + "</worksheet>";
  EXPECT_EQ(refusal(withEntry(lo, "xl/worksheets/sheet2.xml", padded), &what), ErrorKind::Unsupported);
  EXPECT_NE(what.find("zip bomb"), std::string::npos) << what;
  std::string big = sheet.substr(0, sheet.rfind("</worksheet>"));
  big.resize(65u << 20, ' ');  // stored: the bound on the size itself refuses it
  EXPECT_EQ(refusal(withEntry(lo, "xl/worksheets/sheet2.xml", big + "</worksheet>", false, true), &what), ErrorKind::Unsupported);
  EXPECT_NE(what.find("larger than"), std::string::npos) << what;
  // ZIP64: an end record and locator before the classic end record.
  Bytes zip64 = lo;
  const std::size_t eocd = zip64.size() - 22;
  ASSERT_EQ(velquor::roster::detail::rd32(zip64.data() + eocd), 0x06054b50u);
  Bytes records(56 + 20, 0);
  velquor::roster::detail::wr32(records.data(), 0x06064b50);
  velquor::roster::detail::wr32(records.data() + 56, 0x07064b50);
  zip64.insert(zip64.begin() + static_cast<std::ptrdiff_t>(eocd), records.begin(), records.end());
  EXPECT_EQ(refusal(zip64, &what), ErrorKind::Unsupported);
  EXPECT_NE(what.find("ZIP64"), std::string::npos) << what;
  // Two entries of the same name.
  std::string raw(lo.begin(), lo.end());
  raw = replaceAll(raw, "xl/worksheets/sheet2.xml", "xl/worksheets/sheet1.xml");
  EXPECT_EQ(refusal(Bytes(raw.begin(), raw.end()), &what), ErrorKind::Damaged);
  EXPECT_NE(what.find("twice"), std::string::npos) << what;
  // A DTD with entities.
  const std::string dtd = "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;\">]>" +
                          sheet.substr(sheet.find("<worksheet"));
  EXPECT_EQ(refusal(withEntry(lo, "xl/worksheets/sheet2.xml", dtd), &what), ErrorKind::Unsupported);
  EXPECT_NE(what.find("DTD"), std::string::npos) << what;
  // A sheet part missing from the archive.
  EXPECT_EQ(refusal(withEntry(lo, "xl/worksheets/sheet2.xml", "", true), &what), ErrorKind::Damaged);
  EXPECT_NE(what.find("missing"), std::string::npos) << what;
  // A part whose compressed bytes changed: the checksum finds it.
  Bytes flipped = lo;
  const std::string local = "xl/worksheets/sheet2.xml";
  const auto name = std::search(flipped.begin(), flipped.end(), local.begin(), local.end());
  ASSERT_NE(name, flipped.end());
  const std::size_t data = static_cast<std::size_t>(name - flipped.begin()) + local.size() +
                           velquor::roster::detail::rd16(&*name - 2);  // after the extra field
  flipped[data + 40] ^= 0x20;
  EXPECT_EQ(refusal(flipped, &what), ErrorKind::Damaged);
  EXPECT_NE(what.find("checksum"), std::string::npos) << what;
  // Malformed XML, a cut archive.
  EXPECT_EQ(refusal(withEntry(lo, "xl/worksheets/sheet2.xml", sheet.substr(0, sheet.size() / 2))), ErrorKind::Damaged);
  EXPECT_EQ(refusal(Bytes(lo.begin(), lo.begin() + static_cast<std::ptrdiff_t>(lo.size() / 2))), ErrorKind::Damaged);
}

// Every event with its text and place, consecutive text joined.
class Recorder : public velquor::roster::detail::XmlScanner {
 public:
  std::vector<std::string> events;

 private:
  void start(const velquor::roster::detail::XmlName& n, velquor::roster::detail::XmlAttrs attrs) override {
    std::string e = "<" + std::string(n.ns) + "|" + std::string(n.local) + "|" + std::string(n.prefix);
    for (const auto& a : attrs) e += " " + std::string(a.name.ns) + "|" + std::string(a.name.local) + "=" + a.value;
    events.push_back(e + " @" + std::to_string(pos()) + "+" + std::to_string(count()));
  }
  void end(const velquor::roster::detail::XmlName& n) override {
    events.push_back("</" + std::string(n.local) + " @" + std::to_string(count() ? pos() : 0) + "+" + std::to_string(count()));
  }
  void text(const char* s, int len) override {
    if (events.empty() || events.back()[0] != 'T') events.push_back("T");
    events.back().append(s, static_cast<std::size_t>(len));
  }
};

TEST(Xlsx, APartReadInPiecesGivesTheEventsOfTheWhole) {
  int parts = 0;
  for (const char* name : {"lo-roster7", "gn-roster7", "op-features", "xw-features"}) {
    const Bytes file = readFile(dataDir() / (std::string(name) + ".xlsx"));
    for (const char* part : {"xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml", "xl/sharedStrings.xml", "xl/workbook.xml"}) {
      const std::string text = entryText(file, part);
      if (text.empty()) continue;
      SCOPED_TRACE(std::string(name) + " " + part);
      Recorder whole, pieces;
      whole.run(text, part);
      ASSERT_TRUE(pieces.runInPieces(text, part, "row", 64));
      EXPECT_EQ(pieces.events, whole.events);
      ++parts;
    }
  }
  EXPECT_GE(parts, 12);
  // A cut inside a comment is found out, however the text goes on.
  Recorder r;
  EXPECT_FALSE(r.runInPieces("<a><row/><!-- " + std::string(100, 'x') + "</row> --><row>1</row></a>", "t", "row", 20));
}

TEST(Xlsx, ALargeSheetIsReadAndWrittenLikeASmallOne) {
  // Some 3.5 MB of rows, read in pieces; the same with comments that hold "</row>" around the
  // first cut, read whole. Marks written at either end and in the middle come back in place.
  const Bytes lo = readFile(dataDir() / "lo-roster3.xlsx");
  const std::string sheet = entryText(lo, "xl/worksheets/sheet1.xml");
  const std::size_t open = sheet.find("<sheetData>"), close = sheet.find("</sheetData>");
  ASSERT_NE(open, std::string::npos);
  ASSERT_NE(close, std::string::npos);
  constexpr int kRows = 40000;
  for (const bool comments : {false, true}) {
    SCOPED_TRACE(comments ? "comments" : "plain");
    std::string rows;
    for (int r = 1; r <= kRows; ++r) {
      const std::string n = std::to_string(r);
      rows += "<row r=\"" + n + "\"><c r=\"A" + n + "\" t=\"inlineStr\"><is><t>学生" + n + "</t></is></c><c r=\"B" + n +
              "\"><v>" + n + "</v></c></row>";
      if (comments && r > 20000 && r < 30000) rows += "<!-- </row> -->";
    }
    const std::string big = sheet.substr(0, open) + "<sheetData>" + rows + sheet.substr(close);
    ASSERT_GT(big.size(), 3u << 20);
    Workbook wb = Workbook::fromBytes(withEntry(lo, "xl/worksheets/sheet1.xml", big));
    ASSERT_EQ(wb.lastRow(1), kRows);
    for (int r : {1, 2, 23456, 29999, kRows}) {
      EXPECT_EQ(wb.cell(1, r, 1).text, "学生" + std::to_string(r));
      EXPECT_EQ(wb.cell(1, r, 2).number, r);
    }
    for (int r : {1, 23000, kRows}) wb.setInteger(1, r, 3, static_cast<std::int16_t>(r % 100 + 1));
    const Workbook back = Workbook::fromBytes(wb.serialize());
    for (int r : {1, 23000, kRows}) {
      EXPECT_EQ(back.cell(1, r, 3).number, r % 100 + 1);
      EXPECT_EQ(back.cell(1, r, 1).text, "学生" + std::to_string(r));
    }
    EXPECT_EQ(back.cell(1, 23001, 2).number, 23001);
  }
}

TEST(Xlsx, CellsThatCannotBeWrittenSafelyAreRefusedBeforeAnything) {
  // Cells out of order cannot be spliced; shared formulas would lose their master.
  const Bytes lo = readFile(dataDir() / "lo-roster3.xlsx");
  std::string sheet = entryText(lo, "xl/worksheets/sheet3.xml");
  const std::size_t r3 = sheet.find("<row r=\"3\""), r4 = sheet.find("<row r=\"4\"");
  ASSERT_NE(r3, std::string::npos);
  ASSERT_NE(r4, std::string::npos);
  const std::size_t r3end = sheet.find("</row>", r3) + 6;
  const std::string swapped = sheet.substr(0, r3) + sheet.substr(r3end, sheet.find("</row>", r4) + 6 - r3end) +
                              sheet.substr(r3, r3end - r3) + sheet.substr(sheet.find("</row>", r4) + 6);
  Workbook wb = Workbook::fromBytes(withEntry(lo, "xl/worksheets/sheet3.xml", swapped));
  EXPECT_EQ(wb.cell(3, 4, 2).text, Workbook::fromBytes(lo).cell(3, 4, 2).text);  // still read
  try {
    wb.setInteger(3, 3, 5, 1);
    ADD_FAILURE() << "an edit was accepted";
  } catch (const WorkbookError& e) {
    EXPECT_EQ(e.kind(), ErrorKind::CannotWrite);
  }
  EXPECT_FALSE(wb.modified());
  wb.setInteger(1, 3, 5, 1);  // the other sheets stay writable
  EXPECT_TRUE(wb.modified());
}

// Inputs the .xlsx fuzzers once failed on, run through the same packing and rounds (which
// abort on a fault).
TEST(Xlsx, FuzzerFindingsStayFixed) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(dataDir() / "fuzz-regressions")) {
    if (e.path().filename().string().rfind("xlsx-", 0) != 0) continue;
    SCOPED_TRACE(e.path().string());
    const Bytes bytes = readFile(e.path());
    readModifyWrite(xlsxfuzz::input(bytes.data(), bytes.size()));
    ++n;
  }
  EXPECT_GE(n, 1);
}

namespace {

// A sheet's deflate data cut after each full flush marker (an empty stored block, 00 00 FF FF):
// the segments as this program writes them.
std::vector<Bytes> segmentsOf(const Bytes& data) {
  std::vector<Bytes> out;
  std::size_t from = 0;
  for (std::size_t i = 0; i + 4 <= data.size(); ++i)
    if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 0xFF && data[i + 3] == 0xFF) {
      out.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(from), data.begin() + static_cast<std::ptrdiff_t>(i + 4));
      from = i + 4;
    }
  out.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(from), data.end());
  return out;
}

Bytes sheetData(const fs::path& file) {
  for (RawEntry& e : rawEntries(readFile(file)))
    if (e.name.find("worksheets/sheet1.xml") != std::string::npos) return std::move(e.data);
  return {};
}

}  // namespace

// A sheet of several deflate segments: after the first save, a save recompresses only the
// segments its edits touch (an edit at the start, the middle, the end; a failed save between),
// and every save reads back the same everywhere.
TEST(Xlsx, LargeSheetSavesRewriteOnlyTheTouchedSegments) {
  TempDir dir;
  const fs::path file = dir / "点名册.xlsx";
  fs::copy_file(dataDir() / "lo-roster3.xlsx", file);
  auto ops = std::make_shared<FailingOps>("");
  Workbook wb = Workbook::open(file, ops);
  const int rows = 8000;
  for (int r = 3; r <= rows; ++r) {
    wb.setText(1, r, 2, "学生" + std::to_string(r));
    for (int c = 5; c <= 16; ++c) wb.setInteger(1, r, c, static_cast<std::int16_t>((r * c) % 97));
  }
  wb.save();  // written by another program: the whole text, cut into segments
  const std::size_t text = entryText(readFile(file), "xl/worksheets/sheet1.xml").size();
  ASSERT_GT(text, std::size_t{2} << 20);  // at least 8 segments of 256 KiB
  EXPECT_EQ(snapshot(Workbook::open(file)), snapshot(wb));

  // After each save, at most `rewritten` segments differ from those of the save before.
  auto saveAndCheck = [&](const char* where, std::size_t rewritten) {
    SCOPED_TRACE(where);
    const std::vector<Bytes> before = segmentsOf(sheetData(file));
    const auto pending = snapshot(wb);
    wb.save();
    EXPECT_FALSE(wb.modified());
    EXPECT_EQ(snapshot(Workbook::open(file)), pending);
    EXPECT_EQ(snapshot(wb), pending);
    const std::vector<Bytes> after = segmentsOf(sheetData(file));
    EXPECT_GE(after.size(), text >> 19);
    std::size_t kept = 0;
    for (const Bytes& seg : after) kept += std::find(before.begin(), before.end(), seg) != before.end();
    EXPECT_GE(kept + rewritten, after.size());
    EXPECT_LT(kept, after.size());
  };
  wb.setInteger(1, 3, 5, 1111);
  saveAndCheck("start", 1);
  wb.setText(1, rows / 2, 2, "中间的学生");
  wb.setInteger(1, rows / 2, 20, 7);  // a new column: the row's spans and the dimension grow
  saveAndCheck("middle", 3);  // the dimension lives in the first segment
  wb.setInteger(1, rows, 16, -5);
  wb.setInteger(1, rows + 3, 1, 42);  // a new row after the last
  saveAndCheck("end", 3);

  // A failed save changes nothing, on disk or in memory; the next save takes up where it was.
  wb.setInteger(1, rows / 3, 6, 333);
  const Bytes onDisk = readFile(file);
  ops->fail("rename");
  EXPECT_THROW(wb.save(), WorkbookError);
  EXPECT_TRUE(readFile(file) == onDisk);
  EXPECT_TRUE(wb.modified());
  ops->fail("");
  saveAndCheck("after a failed save", 1);

  // Every row at once: all segments written again, on both cores.
  for (int r = 3; r <= rows; ++r) wb.setInteger(1, r, 5, static_cast<std::int16_t>(r % 6 + 1));
  saveAndCheck("group column", std::size_t{1} << 20);  // every segment may change
  wb.setInteger(1, rows - 10, 9, 9);
  saveAndCheck("after the group column", 1);

  const Workbook final = Workbook::open(file);
  EXPECT_EQ(openpyxlCells(file, dir.path()), ourCells(final));
  const auto gn = gnumericSheets(file, dir.path());
  ASSERT_EQ(gn.size(), 3u);
  auto d = compareSheet(final, 1, gn.at(final.sheetName(1)));
  EXPECT_TRUE(d.empty()) << "gnumeric: " << d.front();
}

// The segment writer against a plain splice of the text: the entry inflates to the edited text
// with its CRC, segments no edit touches keep their bytes, a run cut down to almost nothing
// takes a neighbour in, and one thread writes exactly what two do.
TEST(Xlsx, SegmentWriterMatchesAPlainSpliceOnAnyNumberOfThreads) {
  using namespace velquor::roster::detail;
  std::string text;
  for (int r = 1; text.size() < 8 * kSegmentText; ++r)
    text += "<row r=\"" + std::to_string(r) + "\"><c><v>" + std::to_string(r * 7919 % 1000) + "</v></c></row>";
  auto inflated = [](const std::string& comp, std::size_t size) {
    std::string out(size + 1, '\0');
    z_stream z{};
    inflateInit2(&z, -MAX_WBITS);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(comp.data()));
    z.avail_in = static_cast<uInt>(comp.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const bool ended = inflate(&z, Z_FINISH) == Z_STREAM_END && z.avail_in == 0;
    out.resize(z.total_out);
    inflateEnd(&z);
    return ended ? out : std::string("(not one whole deflate stream)");
  };
  auto crcOf = [](const std::string& s) { return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size()))); };

  std::size_t at = 0;
  OldPart fresh;
  fresh.size = text.size();
  fresh.read = [&](char* to, std::size_t n) {
    std::memcpy(to, text.data() + at, n);
    at += n;
  };
  std::vector<TextEdit> none;
  const Segmented first = rewriteSegmented(fresh, none);
  ASSERT_EQ(first.map.size(), 8u);
  EXPECT_EQ(inflated(first.part.data, text.size()), text);
  EXPECT_EQ(first.part.crc, crcOf(text));
  ASSERT_TRUE(mapDescribes(first.map, text.size(), first.part.data.size(), first.part.crc));

  // A tag rewritten from its old text in segment 1; segments 3 and 4 cut down to a few bytes;
  // text added at the very end.
  const std::vector<XSegment>& m = first.map;
  std::vector<TextEdit> edits = {
      {m[1].textBegin + 100, m[1].textBegin + 140, {}, [](std::string_view old) { return "[" + std::string(old) + "]"; }},
      {m[3].textBegin + 10, m[4].textEnd - 10, "<cut/>", nullptr},
      {m[7].textEnd, m[7].textEnd, "<tail/>", nullptr}};
  std::string want = text.substr(0, m[1].textBegin + 100) + "[" + text.substr(m[1].textBegin + 100, 40) + "]" +
                     text.substr(m[1].textBegin + 140, m[3].textBegin - m[1].textBegin - 130) + "<cut/>" +
                     text.substr(m[4].textEnd - 10) + "<tail/>";
  OldPart mapped;
  mapped.map = &first.map;
  mapped.compressed = first.part.data;
  std::vector<TextEdit> edits2 = edits;
  const Segmented one = rewriteSegmented(mapped, edits, 1), two = rewriteSegmented(mapped, edits2, 2);
  EXPECT_EQ(one.part.data, two.part.data);
  EXPECT_EQ(inflated(one.part.data, want.size()), want);
  EXPECT_EQ(one.part.crc, crcOf(want));
  EXPECT_TRUE(mapDescribes(one.map, want.size(), one.part.data.size(), one.part.crc));
  EXPECT_EQ(one.map.size(), 6u);  // 3 and 4 cut down, joined with 5
  for (const XSegment& s : one.map) EXPECT_GE(s.textEnd - s.textBegin, kSegmentText / 4);
  auto bytes = [](const Segmented& w, std::size_t k) { return w.part.data.substr(w.map[k].compBegin, w.map[k].compEnd - w.map[k].compBegin); };
  EXPECT_EQ(bytes(one, 0), bytes(first, 0));
  EXPECT_EQ(bytes(one, 2), bytes(first, 2));
  EXPECT_EQ(bytes(one, 4), bytes(first, 6));
  EXPECT_NE(bytes(one, 5), bytes(first, 7));
}
