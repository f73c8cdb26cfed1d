// Writing an .xlsx package in place: the text of each edited worksheet is spliced (new or
// replaced <c> elements, new rows, the dimension), everything else stays byte for byte; a
// formula cell overwritten by a value takes the calculation chain with it.
#include <algorithm>
#include <cstdio>
#include <strings.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cctype>
#include <charconv>
#include <cstring>
#include <functional>
#include <optional>
#include <set>
#include <string_view>

#include "roster/xlsx/xlsx.h"
#include "roster/xlsx/xlsx_zip.h"
#include "roster/xlsx/xml.h"

namespace velquor::roster::detail {

namespace {

struct Op {
  std::uint32_t pos, end;
  std::string text;
  XPatch::Kind kind = XPatch::Other;
  std::uint32_t row = 0, tagLen = 0;
  std::vector<XPatchCell> cells;
  // Set when the new text is made from the old text of [pos, end), read only when the segment
  // holding it is inflated.
  std::function<std::string(std::string_view)> make = nullptr;
};

void appendNumber(std::string& to, long long v) {
  char num[24];
  to.append(num, std::to_chars(num, num + sizeof num, v).ptr);
}

// "B12" appended to `to` (a group column writes tens of thousands of cells: no string made).
void appendCellRef(std::string& to, std::uint32_t row, std::uint32_t col) {
  char letters[8];
  int n = 0;
  for (; col > 0 && n < 8; col = (col - 1) / 26) letters[n++] = static_cast<char>('A' + (col - 1) % 26);
  while (n > 0) to += letters[--n];
  appendNumber(to, row);
}

std::string cellRef(std::uint32_t row, std::uint32_t col) {
  std::string ref;
  appendCellRef(ref, row, col);
  return ref;
}

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
    bool firstIn = false, lastIn = false;  // each new column must fall inside one listed range
    std::uint32_t a = 0, b = 0;
    for (const char* p = value.c_str(); *p;) {
      int used = 0;
      if (std::sscanf(p, " %u:%u%n", &a, &b, &used) != 2 || used <= 0) return tag;
      lo = std::min(lo, a);
      hi = std::max(hi, b);
      firstIn = firstIn || (first >= a && first <= b);
      lastIn = lastIn || (last >= a && last <= b);
      p += used;
    }
    if (firstIn && lastIn) return tag;
    return tag.substr(0, j + 1) + std::to_string(lo) + ":" + std::to_string(hi) + tag.substr(close);
  }
  return tag;
}

// A group column writes tens of thousands of cells: each is built in one string.
std::string newCell(const std::string& p, std::uint32_t row, std::uint32_t col, std::uint32_t xf, const XEdit& e) {
  std::string c;
  c.reserve(48 + 3 * p.size() + e.str.size());
  c += '<';
  c += p;
  c += "c r=\"";
  appendCellRef(c, row, col);
  c += '"';
  if (xf != 0) {
    c += " s=\"";
    appendNumber(c, xf);
    c += '"';
  }
  if (e.text) {
    const bool preserve = !e.str.empty() && (std::isspace(static_cast<unsigned char>(e.str.front())) ||
                                             std::isspace(static_cast<unsigned char>(e.str.back())) ||
                                             e.str.find_first_of("\n\t") != std::string::npos);
    c += " t=\"inlineStr\"><" + p + "is><" + p + "t" + (preserve ? " xml:space=\"preserve\">" : ">");
    appendEscaped(c, e.str);
    c += "</" + p + "t></" + p + "is></" + p + "c>";
  } else {
    c += "><";
    c += p;
    c += "v>";
    appendNumber(c, e.value);
    c += "</";
    c += p;
    c += "v></";
    c += p;
    c += "c>";
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

Op cellOp(std::uint32_t at, std::uint32_t end, const std::string& p, std::uint32_t row, std::uint32_t col, std::uint32_t xf, const XEdit& e) {
  Op o{at, end, newCell(p, row, col, xf, e), XPatch::Cell, row, 0, {}};
  o.cells.push_back({col, xf, 0, static_cast<std::uint32_t>(o.text.size()), e});
  return o;
}

// The changes the edits of `s` make to its text, sorted by position; row and sheetData start
// tags are rewritten from their old text when it is read.
std::vector<Op> spliceSheet(const XSheet& s, bool& formulaOverwritten, XSheetPatch& patch) {
  const std::string& p = s.prefix;
  std::vector<Op> ops;
  ops.reserve(2 * s.edits.size() + 4);
  std::vector<Op> newRows;  // rows inserted at the end of sheetData
  std::uint32_t minRow = ~0u, maxRow = 0, minCol = ~0u, maxCol = 0;
  // The edits come in row order: each search starts where the last one ended.
  auto rowHint = s.rows.begin();
  auto cellHint = s.cells.begin();
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
    auto r = gallop(rowHint, s.rows.end(), [row](const XRow& x) { return x.r < row; });
    rowHint = r;
    if (r != s.rows.end() && r->r == row) {
      if (r->hasSpans || r->selfClosing) {
        Op o{r->begin, r->tagEnd, {}, XPatch::RowTag, row, 0, {}};
        o.make = [spans = r->hasSpans, selfClosing = r->selfClosing, first, last](std::string_view tag) {
          std::string newTag = spans ? widenSpans(std::string(tag), first, last) : std::string(tag);
          return selfClosing ? openTag(std::move(newTag)) : newTag;
        };
        ops.push_back(std::move(o));
      }
      const std::uint64_t lo = static_cast<std::uint64_t>(row) << 16, hi = static_cast<std::uint64_t>(row + 1) << 16;
      auto cellsBegin = gallop(cellHint, s.cells.end(), [lo](const XCell& c) { return c.key() < lo; });
      auto cellsEnd = gallop(cellsBegin, s.cells.end(), [hi](const XCell& c) { return c.key() < hi; });
      cellHint = cellsEnd;
      for (auto it = e; it != rowEnd; ++it) {
        const auto col = static_cast<std::uint32_t>(it->first & 0xFFFF);
        auto c = std::lower_bound(cellsBegin, cellsEnd, it->first, [](const XCell& x, std::uint64_t k) { return x.key() < k; });
        if (c != cellsEnd && c->key() == it->first) {
          if (c->flags & kXFormula) formulaOverwritten = true;
          ops.push_back(cellOp(c->begin, c->end, p, row, col, c->xf, it->second));
        } else {
          const std::uint32_t at = c != cellsEnd ? c->begin : r->cellsEnd;
          ops.push_back(cellOp(at, at, p, row, col, newCellXf(s, row, col), it->second));
        }
      }
      if (r->selfClosing) ops.push_back({r->tagEnd, r->tagEnd, "</" + p + "row>", XPatch::CloseRow, row, 0, {}});
    } else {
      Op o{0, 0, "<" + p + "row r=\"" + std::to_string(row) + "\">", XPatch::NewRow, row, 0, {}};
      o.tagLen = static_cast<std::uint32_t>(o.text.size());
      for (auto it = e; it != rowEnd; ++it) {
        const auto col = static_cast<std::uint32_t>(it->first & 0xFFFF);
        const std::uint32_t xf = newCellXf(s, row, col);
        const auto off = static_cast<std::uint32_t>(o.text.size());
        o.text += newCell(p, row, col, xf, it->second);
        o.cells.push_back({col, xf, off, static_cast<std::uint32_t>(o.text.size()) - off, it->second});
      }
      o.text += "</" + p + "row>";
      o.pos = o.end = r != s.rows.end() ? r->begin : s.dataRowsEnd;
      if (r != s.rows.end()) ops.push_back(std::move(o));
      else newRows.push_back(std::move(o));
    }
    e = rowEnd;
  }
  if (!newRows.empty() && s.dataSelfClosing) {
    Op open{s.dataBegin, s.dataTagEnd, {}, XPatch::OpenData, 0, 0, {}};
    open.make = [](std::string_view tag) { return openTag(std::string(tag)); };
    ops.push_back(std::move(open));
    for (Op& o : newRows) ops.push_back(std::move(o));
    ops.push_back({s.dataTagEnd, s.dataTagEnd, "</" + p + "sheetData>", XPatch::CloseData, 0, 0, {}});
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
      ops.push_back({s.dimBegin, s.dimEnd, "<" + p + "dimension ref=\"" + ref + "\"/>", XPatch::Dimension, 0, 0, {}});
      patch.dimRef = ref;
    }
  }
  // The changes come in text order but for the dimension, which stands before sheetData: a
  // group column makes tens of thousands of them, so they are sorted only when they must be.
  auto byPos = [](const Op& a, const Op& b) { return a.pos < b.pos; };
  if (!ops.empty() && ops.back().kind == XPatch::Dimension && ops.back().pos <= ops.front().pos)
    std::rotate(ops.begin(), ops.end() - 1, ops.end());
  if (!std::is_sorted(ops.begin(), ops.end(), byPos)) std::stable_sort(ops.begin(), ops.end(), byPos);
  return ops;
}

// The sheet's part written again with `ops`, and the changes kept for moving the offsets.
Segmented writeSheet(const XSheet& s, const ZipReader& zip, std::uint64_t& budget, std::vector<Op>& ops, XSheetPatch& patch) {
  std::vector<TextEdit> edits;
  edits.reserve(ops.size());
  for (Op& o : ops) edits.push_back({o.pos, o.end, std::move(o.text), std::move(o.make)});
  // The segments this program wrote last time are used when the stored entry is still the
  // one they describe; else the whole text is read (and cut into segments).
  const ZipReader::Raw raw = s.segments.empty() ? ZipReader::Raw{} : zip.readRaw(s.part);
  OldPart old;
  if (raw.deflated && mapDescribes(s.segments, raw.size, raw.data.size(), raw.crc)) {
    old.map = &s.segments;
    old.compressed = raw.data;
  }
  std::optional<ZipReader::Stream> in;
  if (!old.map) {
    in.emplace(zip.stream(s.part, budget));
    old.size = in->size();
    old.read = [&in](char* to, std::size_t n) { in->read(to, n); };
  }
  Segmented out = rewriteSegmented(old, edits);
  if (in) in->finish();  // the whole text was read: its CRC is checked before it is used
  patch.ops.reserve(ops.size());
  for (std::size_t i = 0; i < ops.size(); ++i)
    patch.ops.push_back({ops[i].kind, ops[i].pos, ops[i].end, static_cast<std::uint32_t>(edits[i].text.size()), ops[i].row,
                         ops[i].tagLen, std::move(ops[i].cells)});
  return out;
}

// Collects the byte ranges of the elements called `local` whose attribute `attr` equals
// `value` (without regard to ASCII case when `anyCase`).
class ElementFinder : public XmlScanner {
 public:
  ElementFinder(std::string local, std::string attr, std::string value, bool anyCase)
      : local_(std::move(local)), attr_(std::move(attr)), value_(std::move(value)), anyCase_(anyCase) {}
  std::vector<Op> ranges;

 private:
  void start(const XmlName& n, XmlAttrs attrs) override {
    ++depth_;
    if (matchDepth_ || n.local != local_) return;
    const char* v = attribute(attrs, attr_);
    if (!v) return;
    const bool same = anyCase_ ? strcasecmp(v, value_.c_str()) == 0 : value_ == v;
    if (!same) return;
    matchDepth_ = depth_;
    ranges.push_back({pos(), pos() + count(), {}, XPatch::Other, 0, 0, {}});
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
  if (!finder.utf8())
    throw WorkbookError("The workbook part " + part + " is not UTF-8 text; it cannot be changed.", ErrorKind::CannotWrite);
  return applyOps(xml, finder.ranges);
}

}  // namespace

XlsxBook::Output XlsxBook::build() const {
  Output out;
  if (!modified()) {
    out.image = image_;
    return out;
  }
  std::map<std::string, const DeflatedPart*> replaced;
  std::map<std::string, DeflatedPart> parts;
  bool formulaOverwritten = false;
  ZipReader zip(image_);
  std::uint64_t budget = kMaxInflatedTotal;
  for (std::size_t i = 0; i < sheets_.size(); ++i) {
    const XSheet& s = sheets_[i];
    if (s.edits.empty()) continue;
    const int position = static_cast<int>(i + 1);
    std::vector<Op> ops = spliceSheet(s, formulaOverwritten, out.patches[position]);
    Segmented written = writeSheet(s, zip, budget, ops, out.patches[position]);
    out.segments[position] = std::move(written.map);
    replaced[s.part] = &(parts[s.part] = std::move(written.part));
  }
  std::set<std::string> dropped;
  if (formulaOverwritten && !calcChain.empty()) {
    // The chain lists the formula cells in calculation order; one of them is a value now. The
    // spreadsheet programs rebuild a missing chain, so it goes with its relationship and type.
    const std::string rels = zip.storedName(workbookRels);
    replaced[rels] = &(parts[rels] = deflateWhole(
                           removeElements(zip.read(rels, budget), rels, ElementFinder("Relationship", "Id", calcChainRelId, false))));
    const std::string types = zip.storedName("[Content_Types].xml");
    if (!types.empty())
      replaced[types] = &(parts[types] = deflateWhole(removeElements(zip.read(types, budget), types,
                                                                     ElementFinder("Override", "PartName", "/" + calcChain, true))));
    dropped.insert(calcChain);
    out.calcChainDropped = true;
  }
  out.image = rewriteZip(image_, replaced, dropped);
  return out;
}

void XlsxBook::applyPatch(XSheet& s, const XSheetPatch& patch) const {
  const std::vector<XPatch>& ops = patch.ops;
  // shift[i]: how far the text before ops[i] moved.
  std::vector<std::int64_t> shift(ops.size() + 1, 0);
  for (std::size_t i = 0; i < ops.size(); ++i)
    shift[i + 1] = shift[i] + static_cast<std::int64_t>(ops[i].len) - static_cast<std::int64_t>(ops[i].end - ops[i].pos);
  auto moved = [&](std::uint32_t x, std::size_t k) { return static_cast<std::uint32_t>(static_cast<std::int64_t>(x) + shift[k]); };
  // The positions come mostly in increasing order (the cells, then the rows): each search
  // goes on from where the last one stopped, and starts afresh only when asked to go back.
  struct Cursor {
    std::size_t k = 0;
    std::uint32_t x = 0;
  };
  auto seek = [&ops](Cursor& c, std::uint32_t x, auto before) {
    if (x < c.x) {
      c.k = static_cast<std::size_t>(std::partition_point(ops.begin(), ops.end(), [&](const XPatch& o) { return before(o, x); }) - ops.begin());
    } else {
      while (c.k < ops.size() && before(ops[c.k], x)) ++c.k;
    }
    c.x = x;
    return c.k;
  };
  Cursor beginAt, endAt;
  // Where an element starting at x now starts: text inserted at x comes before it.
  auto begin = [&](std::uint32_t x) {
    return moved(x, seek(beginAt, x, [](const XPatch& o, std::uint32_t v) { return o.end <= v; }));
  };
  // Where an element ending at x now ends: text inserted at x comes after it.
  auto end = [&](std::uint32_t x) {
    return moved(x, seek(endAt, x, [](const XPatch& o, std::uint32_t v) { return o.end < v || (o.end == v && o.pos < v); }));
  };
  for (XCell& c : s.cells) {
    c.begin = begin(c.begin);
    c.end = end(c.end);
  }
  for (XRow& r : s.rows) {
    r.begin = begin(r.begin);
    if (r.selfClosing) {
      r.tagEnd = r.cellsEnd = r.end = end(r.tagEnd);
    } else {
      r.tagEnd = end(r.tagEnd);
      r.cellsEnd = begin(r.cellsEnd);
      r.end = end(r.end);
    }
  }
  if (s.dimEnd > s.dimBegin) {
    s.dimBegin = begin(s.dimBegin);
    s.dimEnd = end(s.dimEnd);
  }
  s.dataBegin = begin(s.dataBegin);
  s.dataTagEnd = end(s.dataTagEnd);
  if (s.dataSelfClosing) {
    s.dataRowsEnd = s.dataEnd = s.dataTagEnd;
  } else {
    s.dataRowsEnd = begin(s.dataRowsEnd);
    s.dataEnd = end(s.dataEnd);
  }

  auto rowAt = [&](std::uint32_t row) -> XRow& {
    auto r = std::lower_bound(s.rows.begin(), s.rows.end(), row, [](const XRow& x, std::uint32_t v) { return x.r < v; });
    if (r == s.rows.end() || r->r != row) throw WorkbookError("A saved row is missing from the sheet.");
    return *r;
  };
  auto setValue = [&](XCell& c, const XPatchCell& pc) {
    const bool pooled = c.flags & kXPooled;  // a text written over text takes its place in the pool
    c.flags = 0;
    if (pc.edit.text) {
      c.kind = static_cast<std::uint8_t>(Cell::Kind::Text);
      c.flags = kXPooled;
      if (pooled) {
        s.pool[c.str] = pc.edit.str;
      } else {
        c.str = static_cast<std::uint32_t>(s.pool.size());
        s.pool.push_back(pc.edit.str);
      }
    } else {
      c.kind = static_cast<std::uint8_t>(Cell::Kind::Number);
      c.num = pc.edit.value;
      if (isDateXf(c.xf)) c.flags = kXDate;
    }
  };
  std::vector<XCell> newCells;
  std::vector<XRow> newRows;
  auto addCell = [&](std::uint32_t row, const XPatchCell& pc, std::uint32_t at) {
    XCell c{};
    c.row = row;
    c.col = pc.col;
    c.xf = pc.xf;
    c.begin = at;
    c.end = at + pc.len;
    setValue(c, pc);
    newCells.push_back(c);
  };
  for (std::size_t i = 0; i < ops.size(); ++i) {
    const XPatch& o = ops[i];
    const std::uint32_t at = moved(o.pos, i);
    switch (o.kind) {
      case XPatch::RowTag: {
        XRow& r = rowAt(o.row);
        r.begin = at;
        r.tagEnd = at + o.len;
        if (r.selfClosing) r.cellsEnd = r.end = r.tagEnd;
        break;
      }
      case XPatch::CloseRow: {
        XRow& r = rowAt(o.row);
        r.selfClosing = false;
        r.cellsEnd = at;
        r.end = at + o.len;
        break;
      }
      case XPatch::Cell: {
        const XPatchCell& pc = o.cells.front();
        if (o.end > o.pos) {
          auto c = std::lower_bound(s.cells.begin(), s.cells.end(), (static_cast<std::uint64_t>(o.row) << 16) | pc.col,
                                    [](const XCell& x, std::uint64_t k) { return x.key() < k; });
          if (c == s.cells.end() || c->row != o.row || c->col != pc.col) throw WorkbookError("A saved cell is missing from the sheet.");
          c->begin = at;
          c->end = at + o.len;
          setValue(*c, pc);
        } else {
          addCell(o.row, pc, at);
        }
        break;
      }
      case XPatch::NewRow: {
        XRow r{};
        r.r = o.row;
        r.begin = at;
        r.tagEnd = at + o.tagLen;
        r.end = at + o.len;
        r.cellsEnd = o.cells.empty() ? r.tagEnd : at + o.cells.back().off + o.cells.back().len;
        newRows.push_back(r);
        for (const XPatchCell& pc : o.cells) addCell(o.row, pc, at + pc.off);
        break;
      }
      case XPatch::OpenData:
        s.dataBegin = at;
        s.dataTagEnd = at + o.len;
        break;
      case XPatch::CloseData:
        s.dataSelfClosing = false;
        s.dataRowsEnd = at;
        s.dataEnd = at + o.len;
        break;
      case XPatch::Dimension:
        s.dimBegin = at;
        s.dimEnd = at + o.len;
        s.dimRef = patch.dimRef;
        break;
      case XPatch::Other:
        break;
    }
  }
  auto byKey = [](const XCell& a, const XCell& b) { return a.key() < b.key(); };
  if (!newCells.empty()) {
    std::sort(newCells.begin(), newCells.end(), byKey);
    const auto mid = s.cells.insert(s.cells.end(), newCells.begin(), newCells.end());
    std::inplace_merge(s.cells.begin(), mid, s.cells.end(), byKey);
  }
  if (!newRows.empty()) {
    auto byRow = [](const XRow& a, const XRow& b) { return a.r < b.r; };
    std::sort(newRows.begin(), newRows.end(), byRow);
    const auto mid = s.rows.insert(s.rows.end(), newRows.begin(), newRows.end());
    std::inplace_merge(s.rows.begin(), mid, s.rows.end(), byRow);
  }
  for (const XCell& c : newCells) {
    s.lastRow = std::max(s.lastRow, static_cast<int>(c.row));
    s.lastCol = std::max(s.lastCol, static_cast<int>(c.col));
  }
}

const std::vector<std::uint8_t>& XlsxBook::prepareSave() {
  pending_ = build();
  return pending_->image;
}

std::unique_ptr<Book> XlsxBook::saved(const std::vector<std::uint8_t>& content) {
  try {
    adopt(std::move(*pending_));
    pending_.reset();
    return nullptr;
  } catch (const std::exception&) {
    return parse(content);  // read the saved image like any other
  }
}

void XlsxBook::adopt(Output out) {
  // The offsets move past the changes; nothing is parsed again. Should this fail, the caller
  // reads the saved file afresh.
  for (auto& [position, patch] : out.patches) {
    applyPatch(at(position), patch);
  }
  bool large = false;  // a sheet of a megabyte or more was written
  for (auto& [position, map] : out.segments) {
    large = large || (!map.empty() && map.back().textEnd >= (1u << 20));
    at(position).segments = std::move(map);
  }
  for (XSheet& s : sheets_) s.edits.clear();
  if (out.calcChainDropped) calcChain.clear();
  image_ = std::move(out.image);
  out = Output{};
#ifdef __GLIBC__
  // What the save of a large sheet freed goes back to the system: glibc keeps freed memory up
  // to twice its largest freed block (the sheet's text, read at open), which over repeated
  // saves held tens of megabytes resident for nothing. (A small roster's save skips the
  // 0.1 ms this takes.)
  if (large) malloc_trim(0);
#endif
}

}  // namespace velquor::roster::detail
