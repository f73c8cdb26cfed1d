// Writing an .xlsx package in place: the text of each edited worksheet is spliced (new or
// replaced <c> elements, new rows, the dimension), everything else stays byte for byte; a
// formula cell overwritten by a value takes the calculation chain with it.
#include <algorithm>
#include <cstdio>
#include <strings.h>

#include <cctype>
#include <cstring>
#include <set>

#include "roster/src/impl.h"
#include "roster/src/xlsx.h"
#include "roster/src/xlsx_zip.h"
#include "roster/src/xml.h"

namespace velquor::roster::detail {

namespace {

struct Op {
  std::uint32_t pos, end;
  std::string text;
};

std::string columnName(std::uint32_t col) {
  std::string s;
  for (; col > 0; col = (col - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (col - 1) % 26));
  return s;
}

std::string cellRef(std::uint32_t row, std::uint32_t col) { return columnName(col) + std::to_string(row); }

// "A1:O50" or "B3": the rectangle, false when it cannot be read.
bool parseRange(const std::string& ref, std::uint32_t& r1, std::uint32_t& c1, std::uint32_t& r2, std::uint32_t& c2) {
  auto one = [](const std::string& s, std::uint32_t& r, std::uint32_t& c) {
    std::size_t i = 0;
    c = 0;
    while (i < s.size() && s[i] >= 'A' && s[i] <= 'Z' && i < 4) c = c * 26 + static_cast<std::uint32_t>(s[i++] - 'A' + 1);
    if (i == 0 || i == s.size()) return false;
    r = 0;
    for (; i < s.size(); ++i) {
      if (s[i] < '0' || s[i] > '9' || r > 10000000) return false;
      r = r * 10 + static_cast<std::uint32_t>(s[i] - '0');
    }
    return r >= 1 && c >= 1;
  };
  const std::size_t colon = ref.find(':');
  if (colon == std::string::npos) {
    if (!one(ref, r1, c1)) return false;
    r2 = r1;
    c2 = c1;
    return true;
  }
  return one(ref.substr(0, colon), r1, c1) && one(ref.substr(colon + 1), r2, c2);
}

// A start tag written as <x/> made into <x>.
std::string openTag(std::string tag) {
  if (tag.size() >= 2 && tag.compare(tag.size() - 2, 2, "/>") == 0) {
    tag.resize(tag.size() - 2);
    while (!tag.empty() && (tag.back() == ' ' || tag.back() == '\t' || tag.back() == '\n' || tag.back() == '\r')) tag.pop_back();
    tag += ">";
  }
  return tag;
}

// The row's start tag with its spans hint widened to take columns first..last. The tag was
// checked by the XML parser; quotes are followed so that only the attribute itself matches.
std::string widenSpans(const std::string& tag, std::uint32_t first, std::uint32_t last) {
  char quote = 0;
  for (std::size_t i = 1; i + 5 < tag.size(); ++i) {
    const char c = tag[i];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      continue;
    }
    const char before = tag[i - 1];
    if (tag.compare(i, 5, "spans") != 0 || !(before == ' ' || before == '\t' || before == '\n' || before == '\r')) continue;
    std::size_t j = i + 5;
    while (j < tag.size() && std::isspace(static_cast<unsigned char>(tag[j]))) ++j;
    if (j >= tag.size() || tag[j] != '=') continue;
    ++j;
    while (j < tag.size() && std::isspace(static_cast<unsigned char>(tag[j]))) ++j;
    if (j >= tag.size() || (tag[j] != '"' && tag[j] != '\'')) return tag;
    const std::size_t close = tag.find(tag[j], j + 1);
    if (close == std::string::npos) return tag;
    const std::string value = tag.substr(j + 1, close - j - 1);
    std::uint32_t lo = first, hi = last;
    bool covered = true;
    std::uint32_t a = 0, b = 0;
    for (const char* p = value.c_str(); *p;) {
      int used = 0;
      if (std::sscanf(p, " %u:%u%n", &a, &b, &used) != 2 || used <= 0) return tag;
      lo = std::min(lo, a);
      hi = std::max(hi, b);
      p += used;
    }
    // Every new column must fall inside one of the listed ranges.
    for (std::uint32_t col : {first, last}) {
      bool in = false;
      for (const char* p = value.c_str(); *p;) {
        int used = 0;
        if (std::sscanf(p, " %u:%u%n", &a, &b, &used) != 2 || used <= 0) break;
        in = in || (col >= a && col <= b);
        p += used;
      }
      covered = covered && in;
    }
    if (covered) return tag;
    return tag.substr(0, j + 1) + std::to_string(lo) + ":" + std::to_string(hi) + tag.substr(close);
  }
  return tag;
}

std::string newCell(const std::string& p, std::uint32_t row, std::uint32_t col, std::uint32_t xf, const XEdit& e) {
  std::string c = "<" + p + "c r=\"" + cellRef(row, col) + "\"";
  if (xf != 0) c += " s=\"" + std::to_string(xf) + "\"";
  if (e.text) {
    const bool preserve = !e.str.empty() && (std::isspace(static_cast<unsigned char>(e.str.front())) ||
                                             std::isspace(static_cast<unsigned char>(e.str.back())) ||
                                             e.str.find_first_of("\n\t") != std::string::npos);
    c += " t=\"inlineStr\"><" + p + "is><" + p + "t" + (preserve ? " xml:space=\"preserve\">" : ">");
    appendEscaped(c, e.str);
    c += "</" + p + "t></" + p + "is></" + p + "c>";
  } else {
    c += "><" + p + "v>" + std::to_string(e.value) + "</" + p + "v></" + p + "c>";
  }
  return c;
}

std::string applyOps(const std::string& xml, std::vector<Op>& ops) {
  std::stable_sort(ops.begin(), ops.end(), [](const Op& a, const Op& b) { return a.pos < b.pos; });
  std::size_t extra = 0;
  for (const Op& o : ops) extra += o.text.size();
  std::string out;
  out.reserve(xml.size() + extra);
  std::uint32_t at = 0;
  for (const Op& o : ops) {
    if (o.pos < at || o.end < o.pos || o.end > xml.size())
      throw WorkbookError("Cannot write this worksheet: its structure cannot be spliced safely.", ErrorKind::CannotWrite);
    out.append(xml, at, o.pos - at);
    out += o.text;
    at = o.end;
  }
  out.append(xml, at, std::string::npos);
  return out;
}

std::string spliceSheet(const XSheet& s, const std::string& xml, bool& formulaOverwritten) {
  const std::string& p = s.prefix;
  std::vector<Op> ops;
  std::vector<Op> newRows;  // rows inserted at the end of sheetData
  std::uint32_t minRow = ~0u, maxRow = 0, minCol = ~0u, maxCol = 0;
  for (auto e = s.edits.begin(); e != s.edits.end();) {
    const auto row = static_cast<std::uint32_t>(e->first >> 16);
    auto rowEnd = e;
    while (rowEnd != s.edits.end() && (rowEnd->first >> 16) == row) ++rowEnd;
    const std::uint32_t first = static_cast<std::uint32_t>(e->first & 0xFFFF);
    const std::uint32_t last = static_cast<std::uint32_t>(std::prev(rowEnd)->first & 0xFFFF);
    minRow = std::min(minRow, row);
    maxRow = std::max(maxRow, row);
    minCol = std::min(minCol, first);
    maxCol = std::max(maxCol, last);
    auto r = std::lower_bound(s.rows.begin(), s.rows.end(), row, [](const XRow& x, std::uint32_t v) { return x.r < v; });
    if (r != s.rows.end() && r->r == row) {
      const std::string tag = xml.substr(r->begin, r->tagEnd - r->begin);
      std::string newTag = r->hasSpans ? widenSpans(tag, first, last) : tag;
      if (r->selfClosing) newTag = openTag(newTag);
      if (newTag != tag) ops.push_back({r->begin, r->tagEnd, std::move(newTag)});
      const std::uint64_t lo = static_cast<std::uint64_t>(row) << 16, hi = static_cast<std::uint64_t>(row + 1) << 16;
      auto cellsBegin = std::lower_bound(s.cells.begin(), s.cells.end(), lo, [](const XCell& c, std::uint64_t k) { return c.key() < k; });
      auto cellsEnd = std::lower_bound(cellsBegin, s.cells.end(), hi, [](const XCell& c, std::uint64_t k) { return c.key() < k; });
      for (auto it = e; it != rowEnd; ++it) {
        const auto col = static_cast<std::uint32_t>(it->first & 0xFFFF);
        auto c = std::lower_bound(cellsBegin, cellsEnd, it->first, [](const XCell& x, std::uint64_t k) { return x.key() < k; });
        if (c != cellsEnd && c->key() == it->first) {
          if (c->flags & kXFormula) formulaOverwritten = true;
          ops.push_back({c->begin, c->end, newCell(p, row, col, c->xf, it->second)});
        } else {
          const std::uint32_t at = c != cellsEnd ? c->begin : r->cellsEnd;
          ops.push_back({at, at, newCell(p, row, col, newCellXf(s, row, col), it->second)});
        }
      }
      if (r->selfClosing) ops.push_back({r->tagEnd, r->tagEnd, "</" + p + "row>"});
    } else {
      std::string text = "<" + p + "row r=\"" + std::to_string(row) + "\">";
      for (auto it = e; it != rowEnd; ++it)
        text += newCell(p, row, static_cast<std::uint32_t>(it->first & 0xFFFF), newCellXf(s, row, static_cast<std::uint32_t>(it->first & 0xFFFF)), it->second);
      text += "</" + p + "row>";
      if (r != s.rows.end()) ops.push_back({r->begin, r->begin, std::move(text)});
      else newRows.push_back({s.dataRowsEnd, s.dataRowsEnd, std::move(text)});
    }
    e = rowEnd;
  }
  if (!newRows.empty() && s.dataSelfClosing) {
    ops.push_back({s.dataBegin, s.dataTagEnd, openTag(xml.substr(s.dataBegin, s.dataTagEnd - s.dataBegin))});
    for (Op& o : newRows) ops.push_back(std::move(o));
    ops.push_back({s.dataTagEnd, s.dataTagEnd, "</" + p + "sheetData>"});
  } else {
    for (Op& o : newRows) ops.push_back(std::move(o));
  }
  if (s.dimEnd > s.dimBegin) {
    std::uint32_t r1, c1, r2, c2;
    if (!parseRange(s.dimRef, r1, c1, r2, c2)) {
      r1 = c1 = 1;
      r2 = static_cast<std::uint32_t>(std::max(s.lastRow, 1));
      c2 = static_cast<std::uint32_t>(std::max(s.lastCol, 1));
    }
    if (minRow < r1 || maxRow > r2 || minCol < c1 || maxCol > c2) {
      const std::string ref = cellRef(std::min(r1, minRow), std::min(c1, minCol)) + ":" + cellRef(std::max(r2, maxRow), std::max(c2, maxCol));
      ops.push_back({s.dimBegin, s.dimEnd, "<" + p + "dimension ref=\"" + ref + "\"/>"});
    }
  }
  return applyOps(xml, ops);
}

// Collects the byte ranges of the elements called `local` whose attribute `attr` equals
// `value` (without regard to ASCII case when `anyCase`).
class ElementFinder : public XmlScanner {
 public:
  ElementFinder(std::string local, std::string attr, std::string value, bool anyCase)
      : local_(std::move(local)), attr_(std::move(attr)), value_(std::move(value)), anyCase_(anyCase) {}
  std::vector<Op> ranges;

 private:
  void start(const XmlName& n, const char** attrs) override {
    ++depth_;
    if (matchDepth_ || n.local != local_) return;
    const char* v = attribute(attrs, attr_);
    if (!v) return;
    const bool same = anyCase_ ? strcasecmp(v, value_.c_str()) == 0 : value_ == v;
    if (!same) return;
    matchDepth_ = depth_;
    ranges.push_back({pos(), pos() + count(), {}});
  }
  void end(const XmlName&) override {
    if (matchDepth_ == depth_) {
      if (count() != 0) ranges.back().end = pos() + count();
      matchDepth_ = 0;
    }
    --depth_;
  }
  std::string local_, attr_, value_;
  bool anyCase_;
  int depth_ = 0, matchDepth_ = 0;
};

std::string removeElements(const std::string& xml, const std::string& part, ElementFinder finder) {
  finder.run(xml, part);
  return applyOps(xml, finder.ranges);
}

}  // namespace

XlsxBook::Output XlsxBook::build() const {
  Output out;
  if (!modified()) {
    out.image = image_;
    return out;
  }
  std::map<std::string, const std::string*> replaced;  // the texts are not copied: sheets are large
  std::map<std::string, std::string> others;
  bool formulaOverwritten = false;
  ZipReader zip(image_);
  std::uint64_t budget = kMaxInflatedTotal;
  for (std::size_t i = 0; i < sheets_.size(); ++i) {
    const XSheet& s = sheets_[i];
    if (s.edits.empty()) continue;
    const std::string& xml = out.sheetXml[static_cast<int>(i + 1)] = spliceSheet(s, zip.read(s.part, budget), formulaOverwritten);
    replaced[s.part] = &xml;
  }
  std::set<std::string> dropped;
  if (formulaOverwritten && !calcChain.empty()) {
    // The chain lists the formula cells in calculation order; one of them is a value now. The
    // spreadsheet programs rebuild a missing chain, so it goes with its relationship and type.
    const std::string rels = zip.storedName(workbookRels);
    others[rels] = removeElements(zip.read(rels, budget), rels, ElementFinder("Relationship", "Id", calcChainRelId, false));
    const std::string types = zip.storedName("[Content_Types].xml");
    if (!types.empty())
      others[types] = removeElements(zip.read(types, budget), types, ElementFinder("Override", "PartName", "/" + calcChain, true));
    for (const auto& [name, text] : others) replaced[name] = &text;
    dropped.insert(calcChain);
    out.calcChainDropped = true;
  }
  out.image = rewriteZip(image_, replaced, dropped);
  return out;
}

void XlsxBook::adopt(Output out) {
  // In place, to keep one copy of a large sheet in memory; should the parse fail, the caller
  // reads the saved file afresh.
  for (XSheet& s : sheets_) s.edits.clear();
  for (auto& [position, xml] : out.sheetXml) {
    XSheet& s = at(position);
    s.cells = {};
    s.rows = {};
    s.pool = {};
    parseSheet(s, xml);
    xml = std::string();
  }
  if (out.calcChainDropped) calcChain.clear();
  image_ = std::move(out.image);
}

}  // namespace velquor::roster::detail
