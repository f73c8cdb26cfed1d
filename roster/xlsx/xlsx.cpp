// Reading an .xlsx package: the relationships from the package root to the workbook, its
// worksheets, styles and shared strings; the cells of every worksheet with the byte range of
// each element, for the writer.
#include "roster/xlsx/xlsx.h"

#include <zip.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <set>
#include <thread>
#include <unordered_map>

#include "roster/cell/utf16.h"
#include "roster/cell/value.h"
#include "roster/xlsx/parallel.h"
#include "roster/xlsx/xlsx_zip.h"
#include "roster/xlsx/xml.h"

namespace velquor::roster::detail {

namespace {

[[noreturn]] void fail(const std::string& what) {
  throw WorkbookError("The file is not a readable workbook (" + what + ").", ErrorKind::Damaged);
}

// Without the XML white space (space, tab, line feed, carriage return) at either end.
std::string_view trimXmlSpace(std::string_view s) {
  const std::size_t a = s.find_first_not_of(" \t\n\r");
  if (a == std::string_view::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t\n\r") - a + 1);
}

bool parseUnsigned(std::string_view s, std::uint32_t& v) {
  s = trimXmlSpace(s);
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && p == s.data() + s.size() && !s.empty();
}

bool parseDouble(std::string_view s, double& v) {
  s = trimXmlSpace(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && p == s.data() + s.size() && !s.empty() && std::isfinite(v);
}

bool isTrue(const char* v) { return v && (std::strcmp(v, "1") == 0 || std::strcmp(v, "true") == 0); }

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool endsWith(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// A relationship target resolved against the folder of its source part: an entry name.
std::string resolveTarget(const std::string& sourcePart, std::string target) {
  std::string decoded;
  for (std::size_t i = 0; i < target.size(); ++i) {
    if (target[i] == '%' && i + 2 < target.size() && std::isxdigit(static_cast<unsigned char>(target[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(target[i + 2]))) {
      decoded.push_back(static_cast<char>(std::stoi(target.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      decoded.push_back(target[i] == '\\' ? '/' : target[i]);
    }
  }
  std::string path;
  if (!decoded.empty() && decoded[0] == '/') {
    path = decoded.substr(1);
  } else {
    const std::size_t slash = sourcePart.rfind('/');
    path = (slash == std::string::npos ? std::string() : sourcePart.substr(0, slash + 1)) + decoded;
  }
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    const std::string seg = path.substr(start, slash - start);
    if (seg == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!seg.empty() && seg != ".") {
      parts.push_back(seg);
    }
    start = slash + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : "/") + p;
  return out;
}

std::string relsOf(const std::string& part) {
  const std::size_t slash = part.rfind('/');
  if (slash == std::string::npos) return "_rels/" + part + ".rels";
  return part.substr(0, slash + 1) + "_rels/" + part.substr(slash + 1) + ".rels";
}

struct Relationship {
  std::string id, type, target;  // target resolved to an entry name
};

class RelsScanner : public XmlScanner {
 public:
  RelsScanner(std::string source) : source_(std::move(source)) {}
  std::vector<Relationship> rels;

 private:
  void start(const XmlName& n, XmlAttrs attrs) override {
    if (n.local != "Relationship") return;
    const char* mode = attribute(attrs, "TargetMode");
    if (mode && std::strcmp(mode, "External") == 0) return;
    const char* id = attribute(attrs, "Id");
    const char* type = attribute(attrs, "Type");
    const char* target = attribute(attrs, "Target");
    if (!id || !type || !target) return;
    rels.push_back({id, type, resolveTarget(source_, target)});
  }
  std::string source_;
};

class WorkbookScanner : public XmlScanner {
 public:
  struct SheetRef {
    std::string name, relId;
    bool hidden;
  };
  std::vector<SheetRef> sheets;
  bool date1904 = false;
  bool main = false;

 private:
  void start(const XmlName& n, XmlAttrs attrs) override {
    if (!isMainNs(n.ns)) return;
    if (n.local == "workbook") {
      main = true;
    } else if (n.local == "workbookPr") {
      date1904 = isTrue(attribute(attrs, "date1904"));
    } else if (n.local == "sheet") {
      const char* name = attribute(attrs, "name");
      const char* id = attribute(attrs, "id", &isRelNs);
      const char* state = attribute(attrs, "state");
      if (!name || !id) stop("a sheet without name or relationship");
      else sheets.push_back({name, id, state && (std::strcmp(state, "hidden") == 0 || std::strcmp(state, "veryHidden") == 0)});
    }
  }
};

class StylesScanner : public XmlScanner {
 public:
  std::unordered_map<std::uint32_t, bool> customDate;
  std::vector<std::uint32_t> xfFormat;

 private:
  void start(const XmlName& n, XmlAttrs attrs) override {
    if (!isMainNs(n.ns)) return;
    if (n.local == "numFmt") {
      const char* id = attribute(attrs, "numFmtId");
      const char* code = attribute(attrs, "formatCode");
      std::uint32_t v;
      if (id && code && parseUnsigned(id, v)) customDate[v] = isDateFormatString(code);
    } else if (n.local == "cellXfs") {
      inXfs_ = true;
    } else if (n.local == "xf" && inXfs_) {
      const char* id = attribute(attrs, "numFmtId");
      std::uint32_t v = 0;
      if (id && !parseUnsigned(id, v)) v = 0;
      xfFormat.push_back(v);
    }
  }
  void end(const XmlName& n) override {
    if (isMainNs(n.ns) && n.local == "cellXfs") inXfs_ = false;
  }
  bool inXfs_ = false;
};

// Visible text of a string item: its <t>, or the <t> of its runs; phonetic runs are skipped.
class StringsScanner : public XmlScanner {
 public:
  std::vector<std::string>* out = nullptr;

 private:
  void start(const XmlName& n, XmlAttrs) override {
    if (!isMainNs(n.ns)) return;
    if (n.local == "si") {
      inSi_ = true;
      cur_.clear();
    } else if (n.local == "rPh") {
      ++skip_;
    } else if (n.local == "t" && inSi_ && skip_ == 0) {
      inT_ = true;
    }
  }
  void end(const XmlName& n) override {
    if (!isMainNs(n.ns)) return;
    if (n.local == "si") {
      inSi_ = false;
      out->push_back(decodeEscapes(std::move(cur_)));
      cur_.clear();
    } else if (n.local == "rPh") {
      --skip_;
    } else if (n.local == "t") {
      inT_ = false;
    }
  }
  void text(const char* s, int len) override {
    if (inT_) cur_.append(s, static_cast<std::size_t>(len));
  }
  std::string cur_;
  bool inSi_ = false, inT_ = false;
  int skip_ = 0;
};

// "B12" -> column 2, row 12. False for anything else.
bool parseRef(std::string_view s, std::uint32_t& col, std::uint32_t& row) {
  std::size_t i = 0;
  col = 0;
  while (i < s.size() && ((s[i] >= 'A' && s[i] <= 'Z') || (s[i] >= 'a' && s[i] <= 'z')) && i < 4) {
    col = col * 26 + static_cast<std::uint32_t>((s[i] | 0x20) - 'a' + 1);
    ++i;
  }
  if (i == 0 || col > static_cast<std::uint32_t>(kMaxColumns)) return false;
  if (i < s.size() && s[i] == '$') ++i;
  return parseUnsigned(s.substr(i), row) && row >= 1 && row <= static_cast<std::uint32_t>(kMaxRows);
}

class SheetScanner : public XmlScanner {
 public:
  SheetScanner(XSheet& sh, const std::vector<std::string>& sst) : sh_(sh), sst_(sst) {}

 private:
  enum class In { Other, V, F, IsText };

  void unwritable(const char* why) {
    if (sh_.notWritable.empty()) sh_.notWritable = why;
  }

  // Elements count only at their place: worksheet (depth 1) > sheetData, dimension, cols (2) >
  // row, col (3) > c (4) > v, f, is (5) > t, r, rPh (6) > t (7).
  void start(const XmlName& n, XmlAttrs attrs) override {
    const int depth = ++depth_;
    const bool main = isMainNs(n.ns);
    const std::string_view l = n.local;
    if (depth == 1) {
      if (!main || l != "worksheet") stop("not a worksheet");
      return;
    }
    if (inCell_) {
      if (depth == 5 && main && l == "v") {
        in_ = In::V;
        val_.clear();
      } else if (depth == 5 && main && l == "f") {
        in_ = In::F;
        cell_.flags |= kXFormula;
        const char* t = attribute(attrs, "t");
        if (t && std::strcmp(t, "normal") != 0) cell_.flags |= kXSharedFormula;
      } else if (depth == 5 && main && l == "is") {
        inIs_ = true;
        isText_.clear();
      } else if (inIs_ && main && l == "t" && (depth == 6 || (depth == 7 && inRun_))) {
        in_ = In::IsText;
      } else if (inIs_ && depth == 6 && main && l == "r") {
        inRun_ = true;
      }
      return;
    }
    if (inRow_) {
      if (depth == 4 && main && l == "c" && !rowHasOther_) {
        startCell(attrs);
      } else if (depth == 4) {  // an extension element: cells after it cannot be spliced in
        if (main && l == "c") unwritable("a row holds cells after other elements");
        if (!rowHasOther_) rows().cellsEnd = pos();
        rowHasOther_ = true;
        if (main && l == "c") startCell(attrs);
      }
      return;
    }
    if (depth == 3 && inData_ && main && l == "row") {
      startRow(attrs);
    } else if (depth == 3 && inCols_ && main && l == "col") {
      const char* mn = attribute(attrs, "min");
      const char* mx = attribute(attrs, "max");
      const char* st = attribute(attrs, "style");
      std::uint32_t a, b, x;
      if (mn && mx && st && parseUnsigned(mn, a) && parseUnsigned(mx, b) && parseUnsigned(st, x) && x != 0)
        sh_.cols.push_back({a, b, x});
    } else if (depth == 2 && main && l == "sheetData") {
      if (sh_.hasData) stop("two sheetData elements");
      inData_ = true;
      sh_.hasData = true;
      sh_.dataBegin = pos();
      sh_.dataTagEnd = pos() + count();
      sh_.prefix = n.prefix.empty() ? std::string() : std::string(n.prefix) + ":";
    } else if (depth == 2 && main && l == "dimension" && !sawDim_) {
      const char* ref = attribute(attrs, "ref");
      sh_.dimBegin = pos();
      dimTagEnd_ = pos() + count();
      sh_.dimRef = ref ? ref : "";
      inDim_ = sawDim_ = true;
    } else if (depth == 2 && main && l == "cols") {
      inCols_ = true;
    } else if (depth == 3 && inData_) {
      stop("sheetData holds something other than rows");
    }
  }

  XRow& rows() { return sh_.rows.back(); }

  void startRow(XmlAttrs attrs) {
    XRow r{};
    const char* rv = attribute(attrs, "r");
    std::uint32_t v = prevRow_ + 1;
    if (rv && !parseUnsigned(rv, v)) stop("a row number that is not a number");
    if (v < 1 || v > static_cast<std::uint32_t>(kMaxRows)) stop("a row number outside the sheet");
    if (v <= prevRow_) unwritable("its rows are not in order");
    prevRow_ = v;
    prevCol_ = 0;
    r.r = v;
    r.begin = pos();
    r.tagEnd = r.cellsEnd = pos() + count();
    const char* s = attribute(attrs, "s");
    r.customFormat = isTrue(attribute(attrs, "customFormat"));
    if (!s || !parseUnsigned(s, r.xf)) r.xf = 0;
    r.hasSpans = attribute(attrs, "spans") != nullptr;
    sh_.rows.push_back(r);
    inRow_ = true;
    rowHasOther_ = false;
  }

  void startCell(XmlAttrs attrs) {
    cell_ = XCell{};
    std::uint32_t col = prevCol_ + 1, row = prevRow_;
    if (const char* r = attribute(attrs, "r")) {
      if (!parseRef(r, col, row)) stop("a cell reference that cannot be read");
      if (row != prevRow_) unwritable("a cell stands in another row than its reference says");
    }
    if (col > static_cast<std::uint32_t>(kMaxColumns)) stop("a cell outside the sheet");
    if (col <= prevCol_) unwritable("the cells of a row are not in order");
    prevCol_ = col;
    cell_.row = row;
    cell_.col = col;
    cell_.begin = pos();
    cellTagLen_ = count();
    const char* s = attribute(attrs, "s");
    if (!s || !parseUnsigned(s, cell_.xf)) cell_.xf = 0;
    const char* t = attribute(attrs, "t");
    type_ = t ? t : "n";
    inCell_ = true;
    hasV_ = false;
    inIs_ = false;
    isText_.clear();
    val_.clear();
  }

  void end(const XmlName&) override {
    const int depth = depth_--;
    if (inCell_) {
      if (depth == 4) {
        cell_.end = count() == 0 ? cell_.begin + cellTagLen_ : pos() + count();
        finishCell();
        inCell_ = false;
      } else if (depth == 5) {
        if (in_ == In::V) hasV_ = true;
        in_ = In::Other;
        inIs_ = false;
      } else if (depth == 6) {
        inRun_ = false;
        in_ = In::Other;
      } else if (depth == 7) {
        in_ = In::Other;
      }
      return;
    }
    if (inRow_ && depth == 3) {
      XRow& r = rows();
      if (count() == 0) {
        r.selfClosing = true;
        r.end = r.tagEnd;
      } else {
        if (!rowHasOther_) r.cellsEnd = pos();
        r.end = pos() + count();
      }
      inRow_ = false;
    } else if (inData_ && depth == 2) {
      inData_ = false;
      if (count() == 0) {
        sh_.dataSelfClosing = true;
        sh_.dataEnd = sh_.dataRowsEnd = sh_.dataTagEnd;
      } else {
        sh_.dataRowsEnd = pos();
        sh_.dataEnd = pos() + count();
      }
    } else if (inDim_ && depth == 2) {
      sh_.dimEnd = count() == 0 ? dimTagEnd_ : pos() + count();
      inDim_ = false;
    } else if (inCols_ && depth == 2) {
      inCols_ = false;
    }
  }

  void text(const char* s, int len) override {
    if (in_ == In::V) val_.append(s, static_cast<std::size_t>(len));
    else if (in_ == In::IsText) isText_.append(s, static_cast<std::size_t>(len));
  }

  void finishCell() {
    XCell& c = cell_;
    c.kind = static_cast<std::uint8_t>(Cell::Kind::Empty);
    auto pooled = [&](std::string text, Cell::Kind kind) {
      c.kind = static_cast<std::uint8_t>(kind);
      c.flags |= kXPooled;
      c.str = static_cast<std::uint32_t>(sh_.pool.size());
      sh_.pool.push_back(std::move(text));
    };
    if (type_ == "inlineStr") {
      pooled(std::move(isText_), Cell::Kind::Text);
    } else if (!hasV_) {
      // A styled empty cell (a formula without a cached value reads as empty too).
    } else if (type_ == "s") {
      std::uint32_t i;
      if (!parseUnsigned(val_, i) || i >= sst_.size()) {
        stop("a shared string index outside the table");
        return;
      }
      c.kind = static_cast<std::uint8_t>(Cell::Kind::Text);
      c.str = i;
    } else if (type_ == "str") {
      pooled(std::move(val_), Cell::Kind::Text);
    } else if (type_ == "e") {
      pooled(std::move(val_), Cell::Kind::Error);
    } else if (type_ == "b") {
      double v;
      if (!parseDouble(val_, v)) {
        stop("a boolean cell without 0 or 1");
        return;
      }
      c.kind = static_cast<std::uint8_t>(Cell::Kind::Boolean);
      c.num = v != 0 ? 1 : 0;
    } else if (type_ == "d") {
      double v;
      if (!isoDateSerial(val_, v)) {
        stop("a date cell that cannot be read");
        return;
      }
      c.kind = static_cast<std::uint8_t>(Cell::Kind::Number);
      c.num = v;
      c.flags |= kXDate;
    } else if (type_ == "n") {
      double v;
      if (!parseDouble(val_, v)) {
        stop("a number cell that cannot be read");
        return;
      }
      c.kind = static_cast<std::uint8_t>(Cell::Kind::Number);
      c.num = v;
    } else {
      stop("an unknown cell type");
      return;
    }
    sh_.cells.push_back(c);
  }

  // "2026-12-05" or "2026-12-05T08:30:00" as a serial number of the 1900 date system (the
  // strict format's date cells; the workbook's own date system is applied by the caller).
  static bool isoDateSerial(const std::string& s, double& v) {
    int y, m, d, hh = 0, mm = 0;
    double ss = 0;
    if (std::sscanf(s.c_str(), "%d-%d-%d", &y, &m, &d) != 3) return false;
    if (y < 1900 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return false;
    const std::size_t t = s.find('T');
    if (t != std::string::npos) std::sscanf(s.c_str() + t + 1, "%d:%d:%lf", &hh, &mm, &ss);
    // Days from 1899-12-30 with the 1900 system's 29 February counted.
    auto days = [](int yy, int mo, int dd) {
      yy -= mo <= 2;
      const int era = yy / 400;
      const int yoe = yy - era * 400;
      const int doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + dd - 1;
      const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
      return era * 146097 + doe - 719468;
    };
    double serial = days(y, m, d) - days(1899, 12, 30);
    if (serial < 61) serial -= 1;
    v = serial + (hh * 3600 + mm * 60 + ss) / 86400.0;
    return true;
  }

  XSheet& sh_;
  const std::vector<std::string>& sst_;
  XCell cell_{};
  std::string type_, val_, isText_;
  In in_ = In::Other;
  std::uint32_t prevRow_ = 0, prevCol_ = 0;
  std::uint32_t cellTagLen_ = 0, dimTagEnd_ = 0;  // start tag of the cell; end of <dimension .../>
  bool inData_ = false, inRow_ = false, inCell_ = false, inIs_ = false, inRun_ = false, hasV_ = false;
  bool inDim_ = false, sawDim_ = false, inCols_ = false, rowHasOther_ = false;
  int depth_ = 0;
};

}  // namespace

std::unique_ptr<Book> openXlsx(std::vector<std::uint8_t> image) { return XlsxBook::parse(std::move(image)); }

bool looksLikeZip(const std::vector<std::uint8_t>& b) {
  return b.size() >= 4 && b[0] == 'P' && b[1] == 'K' && ((b[2] == 3 && b[3] == 4) || (b[2] == 5 && b[3] == 6));
}

const XCell* XSheet::find(std::uint32_t row, std::uint32_t col) const {
  const std::uint64_t k = (static_cast<std::uint64_t>(row) << 16) | col;
  // A sheet read row by row asks for the cells just after the last one found: start there.
  const auto from = findHint < cells.size() && cells[findHint].key() <= k ? cells.begin() + static_cast<std::ptrdiff_t>(findHint) : cells.begin();
  const auto it = gallop(from, cells.end(), [k](const XCell& c) { return c.key() < k; });
  if (it == cells.end() || it->key() != k) return nullptr;
  findHint = static_cast<std::size_t>(it - cells.begin());
  return &*it;
}

void XlsxBook::parseSheet(XSheet& sh, const std::string& xml) const {
  auto reset = [&] {
    sh.cells.clear();
    sh.rows.clear();
    sh.pool.clear();
    sh.cols.clear();
    sh.dimBegin = sh.dimEnd = 0;
    sh.dimRef.clear();
    sh.hasData = sh.dataSelfClosing = false;
    sh.notWritable.clear();
  };
  reset();
  sh.cells.reserve(xml.size() / 48);  // a cell takes some 20 to 60 bytes of text
  // A large sheet is read a few rows at a time, so that its tree never holds all of it. (The
  // fuzzers cut tiny pieces, to try the cuts on every input.)
#ifdef VELQUOR_XML_PIECE
  constexpr std::size_t kPiece = VELQUOR_XML_PIECE;
#else
  constexpr std::size_t kPiece = std::size_t{2} << 20;
#endif
  bool utf8 = true;
  auto scan = [&](bool inPieces) {
    SheetScanner scanner(sh, sst_);
    bool read = true;
    if (inPieces) read = scanner.runInPieces(xml, sh.part, "row", kPiece);
    else scanner.run(xml, sh.part);
    utf8 = scanner.utf8();
    return read;
  };
  if (!scan(true)) {  // a cut fell inside a comment or the like: read it whole
    reset();
    scan(false);
  }
  if (!sh.hasData) fail(sh.part + " has no sheetData");
  if (!utf8) sh.notWritable = "its text is not in UTF-8";
  if (!std::is_sorted(sh.cells.begin(), sh.cells.end(), [](const XCell& a, const XCell& b) { return a.key() < b.key(); })) {
    std::stable_sort(sh.cells.begin(), sh.cells.end(), [](const XCell& a, const XCell& b) { return a.key() < b.key(); });
    if (sh.notWritable.empty()) sh.notWritable = "its cells are not in order";
  }
  // The same cell twice: the last one counts, as in the spreadsheet programs.
  auto last = std::unique(sh.cells.rbegin(), sh.cells.rend(), [](const XCell& a, const XCell& b) { return a.key() == b.key(); });
  if (last != sh.cells.rend()) {
    sh.cells.erase(sh.cells.begin(), last.base());
    if (sh.notWritable.empty()) sh.notWritable = "a cell appears twice";
  }
  sh.lastRow = sh.lastCol = 0;
  for (XCell& c : sh.cells) {
    if (isDateXf(c.xf) && c.kind == static_cast<std::uint8_t>(Cell::Kind::Number)) c.flags |= kXDate;
    sh.lastRow = std::max(sh.lastRow, static_cast<int>(c.row));
    sh.lastCol = std::max(sh.lastCol, static_cast<int>(c.col));
  }
}

std::unique_ptr<XlsxBook> XlsxBook::parse(std::vector<std::uint8_t> image) {
  auto book = std::make_unique<XlsxBook>();
  book->image_ = std::move(image);
  XlsxBook& b = *book;
  ZipReader zip(b.image_);
  std::uint64_t budget = kMaxInflatedTotal;

  // The package's relationships name the workbook part.
  if (!zip.has("_rels/.rels")) fail("no package relationships; not an Office Open XML workbook");
  RelsScanner root("");
  root.run(zip.read("_rels/.rels", budget), "_rels/.rels");
  std::string workbookPart;
  for (const Relationship& r : root.rels)
    if (endsWith(r.type, "/officeDocument")) workbookPart = r.target;
  if (workbookPart.empty()) fail("no workbook in the package");
  if (endsWith(lower(workbookPart), ".bin"))
    throw WorkbookError("The workbook is in the binary .xlsb format; save it as an .xlsx workbook first.",
                        ErrorKind::Unsupported);
  WorkbookScanner wbs;
  wbs.run(zip.read(workbookPart, budget), workbookPart);
  if (!wbs.main) fail(workbookPart + " is not a SpreadsheetML workbook");
  b.date1904_ = wbs.date1904;

  b.workbookRels = relsOf(workbookPart);
  RelsScanner rels(workbookPart);
  if (zip.has(b.workbookRels)) rels.run(zip.read(b.workbookRels, budget), b.workbookRels);
  std::unordered_map<std::string, const Relationship*> byId;
  std::string styles, strings;
  for (const Relationship& r : rels.rels) {
    byId[r.id] = &r;
    if (endsWith(r.type, "/styles")) styles = r.target;
    else if (endsWith(r.type, "/sharedStrings")) strings = r.target;
    else if (endsWith(r.type, "/calcChain")) {
      b.calcChain = zip.storedName(r.target);
      b.calcChainRelId = r.id;
    }
  }

  if (!styles.empty() && zip.has(styles)) {
    StylesScanner st;
    st.run(zip.read(styles, budget), styles);
    b.xfDate_.resize(st.xfFormat.size());
    for (std::size_t i = 0; i < st.xfFormat.size(); ++i) {
      auto it = st.customDate.find(st.xfFormat[i]);
      b.xfDate_[i] = it != st.customDate.end() ? it->second : isBuiltinDateFormat(st.xfFormat[i]);
    }
  }
  if (!strings.empty() && zip.has(strings)) {
    StringsScanner ss;
    ss.out = &b.sst_;
    ss.run(zip.read(strings, budget), strings);
  }

  // Worksheets in the workbook's order; chart, dialog and macro sheets are not classes.
  std::set<std::string> seen;
  for (const auto& ref : wbs.sheets) {
    if (!b.calcChain.empty() && ref.relId == b.calcChainRelId) b.calcChainNamedBySheet_ = true;
    auto it = byId.find(ref.relId);
    if (it == byId.end()) fail("the sheet " + ref.name + " has no relationship");
    if (!endsWith(it->second->type, "/worksheet")) continue;
    XSheet sh;
    sh.name = ref.name;
    sh.hidden = ref.hidden;
    sh.part = zip.storedName(it->second->target);
    if (sh.part.empty()) fail("the sheet part " + it->second->target + " is missing from the archive");
    if (!seen.insert(lower(sh.part)).second) fail("two sheets share the part " + sh.part);
    b.sheets_.push_back(std::move(sh));
  }
  b.parseSheets(zip, budget);
  return book;
}

void XlsxBook::parseSheets(const ZipReader& zip, std::uint64_t& budget) {
  // The archive is read one sheet after another (libzip serves one thread at a time); with more
  // than one sheet two threads parse, so a roster of several classes opens in about half the
  // time, and each holds one sheet's text at a time. The first failure in the sheets' order
  // counts, as when they are read one by one.
  const std::size_t threads = std::min(2u, std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::exception_ptr> errors(sheets_.size());
  InTurn reads;
  parallelFor(
      sheets_.size(),
      [&](std::size_t i) {
        try {
          std::string text;
          if (reads.take(i, [&] { text = zip.read(sheets_[i].part, budget); })) parseSheet(sheets_[i], text);
        } catch (...) {
          errors[i] = std::current_exception();
        }
      },
      threads);
  for (const std::exception_ptr& e : errors)
    if (e) std::rethrow_exception(e);
}

const XSheet& XlsxBook::at(int sheet) const {
  if (sheet < 1 || sheet > sheetCount())
    throw WorkbookError("The workbook has no worksheet number " + std::to_string(sheet) + ".");
  return sheets_[static_cast<std::size_t>(sheet - 1)];
}
XSheet& XlsxBook::at(int sheet) { return const_cast<XSheet&>(static_cast<const XlsxBook*>(this)->at(sheet)); }

int XlsxBook::lastRow(int sheet) const {
  const XSheet& s = at(sheet);
  int last = s.lastRow;
  if (!s.edits.empty()) last = std::max(last, static_cast<int>(s.edits.rbegin()->first >> 16));
  return last;
}

int XlsxBook::lastColumn(int sheet) const {
  const XSheet& s = at(sheet);
  int last = s.lastCol;
  for (const auto& e : s.edits) last = std::max(last, static_cast<int>(e.first & 0xFFFF));
  return last;
}

Cell XlsxBook::cell(int sheet, int row, int col) const {
  const XSheet& s = at(sheet);
  Cell c;
  if (row < 1 || row > kMaxRows || col < 1 || col > kMaxColumns) return c;
  const auto r = static_cast<std::uint32_t>(row), k = static_cast<std::uint32_t>(col);
  const XCell* x = s.find(r, k);
  if (!s.edits.empty()) {
    auto e = s.edits.find((static_cast<std::uint64_t>(r) << 16) | k);
    if (e != s.edits.end()) {
      if (e->second.text) {
        c.kind = Cell::Kind::Text;
        c.text = e->second.str;
      } else {
        c.kind = Cell::Kind::Number;
        c.number = e->second.value;
        c.isDate = isDateXf(x ? x->xf : newCellXf(s, r, k));
      }
      return c;
    }
  }
  if (!x) return c;
  const auto textOf = [&](const XCell& t) -> const std::string& { return (t.flags & kXPooled) ? s.pool[t.str] : sst_[t.str]; };
  return slotCell(*x, kXDate, textOf, [&](const XCell& t, Cell& e) { e.text = textOf(t); });
}

std::uint32_t newCellXf(const XSheet& s, std::uint32_t row, std::uint32_t col) {
  auto r = std::lower_bound(s.rows.begin(), s.rows.end(), row, [](const XRow& x, std::uint32_t v) { return x.r < v; });
  if (r != s.rows.end() && r->r == row && r->customFormat) return r->xf;
  for (const XSheet::ColStyle& c : s.cols)
    if (col >= c.min && col <= c.max) return c.xf;
  return 0;
}

XSheet& XlsxBook::writableCell(int sheet, int row, int col) {
  XSheet& s = at(sheet);
  if (row < 1 || row > kMaxRows || col < 1 || col > kMaxColumns)
    throw WorkbookError("Cell row " + std::to_string(row) + ", column " + std::to_string(col) + " is outside the sheet.");
  if (!s.notWritable.empty())
    throw WorkbookError("Cannot write this worksheet: " + s.notWritable + ".", ErrorKind::CannotWrite);
  const XCell* x = s.find(static_cast<std::uint32_t>(row), static_cast<std::uint32_t>(col));
  if (x && (x->flags & kXSharedFormula))
    throw WorkbookError("Cannot write this workbook: the cell is part of a shared or array formula.", ErrorKind::CannotWrite);
  // Overwriting a formula takes the calculation chain out, and with it a relationship that a
  // sheet of this (broken) workbook names: the workbook would not open again.
  if (x && (x->flags & kXFormula) && calcChainNamedBySheet_)
    throw WorkbookError("Cannot write this workbook: a sheet names its calculation chain.", ErrorKind::CannotWrite);
  return s;
}

void XlsxBook::setText(int sheet, int row, int col, const std::string& utf8) {
  XSheet& s = writableCell(sheet, row, col);
  if (utf8ToUtf16(utf8).size() > 32767) throw WorkbookError("The text is longer than a cell can hold.");
  s.edits[(static_cast<std::uint64_t>(row) << 16) | static_cast<std::uint32_t>(col)] = XEdit{true, 0, utf8};
}

void XlsxBook::setInteger(int sheet, int row, int col, std::int16_t value) {
  XSheet& s = writableCell(sheet, row, col);
  s.edits[(static_cast<std::uint64_t>(row) << 16) | static_cast<std::uint32_t>(col)] = XEdit{false, value, {}};
}

bool XlsxBook::modified() const {
  return std::any_of(sheets_.begin(), sheets_.end(), [](const XSheet& s) { return !s.edits.empty(); });
}

}  // namespace velquor::roster::detail
