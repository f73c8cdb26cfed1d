// Parsing the Workbook stream: globals (formats, sheets, shared strings) and the cells of
// every worksheet. Every length and index is checked against the data it points into.
#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "roster/cell/utf16.h"
#include "roster/src/impl.h"

namespace velquor::roster {
namespace detail {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw WorkbookError("The file is not a readable workbook (" + what + ").", ErrorKind::Damaged);
}

// Reads across the record boundaries of an SST (or STRING) record and its CONTINUEs.
class SegmentReader {
 public:
  struct Segment {
    const std::uint8_t* data;
    std::size_t size;
    std::uint32_t streamPos;  // of the first data byte
  };
  explicit SegmentReader(std::vector<Segment> segs) : segs_(std::move(segs)) {}

  bool atEnd() {
    normalize();
    return seg_ >= segs_.size();
  }
  std::uint32_t streamPos() {
    normalize();
    return seg_ < segs_.size() ? segs_[seg_].streamPos + static_cast<std::uint32_t>(off_) : 0;
  }
  bool byte(std::uint8_t& v) {
    normalize();
    if (seg_ >= segs_.size()) return false;
    v = segs_[seg_].data[off_++];
    return true;
  }
  bool u16(std::uint16_t& v) {
    std::uint8_t a, b;
    if (!byte(a) || !byte(b)) return false;
    v = static_cast<std::uint16_t>(a | (b << 8));
    return true;
  }
  bool u32(std::uint32_t& v) {
    std::uint16_t a, b;
    if (!u16(a) || !u16(b)) return false;
    v = a | (static_cast<std::uint32_t>(b) << 16);
    return true;
  }
  bool skip(std::size_t n) {
    while (n > 0) {
      normalize();
      if (seg_ >= segs_.size()) return false;
      std::size_t k = std::min(n, segs_[seg_].size - off_);
      off_ += k;
      n -= k;
    }
    return true;
  }
  // cch characters; a record boundary inside them is followed by a fresh flags byte.
  bool chars(std::size_t cch, bool high, std::u16string& out) {
    while (cch > 0) {
      if (seg_ >= segs_.size()) return false;
      if (off_ >= segs_[seg_].size) {
        ++seg_;
        off_ = 0;
        if (seg_ >= segs_.size()) return false;
        if (segs_[seg_].size > 0) high = (segs_[seg_].data[off_++] & 1) != 0;
        continue;
      }
      const Segment& s = segs_[seg_];
      const std::size_t unit = high ? 2 : 1;
      const std::size_t n = std::min((s.size - off_) / unit, cch);
      if (n == 0) {  // a stray odd byte before the boundary
        off_ = s.size;
        continue;
      }
      for (std::size_t i = 0; i < n; ++i)
        out.push_back(high ? static_cast<char16_t>(rd16(s.data + off_ + 2 * i)) : static_cast<char16_t>(s.data[off_ + i]));
      off_ += n * unit;
      cch -= n;
    }
    return true;
  }

 private:
  void normalize() {
    while (seg_ < segs_.size() && off_ >= segs_[seg_].size) {
      ++seg_;
      off_ = 0;
    }
  }
  std::vector<Segment> segs_;
  std::size_t seg_ = 0, off_ = 0;
};

// XLUnicodeString inside one record: cch (8 or 16 bits), flags, characters.
bool readPlainString(const std::uint8_t* p, std::size_t len, bool shortCount, std::string& out) {
  std::size_t head = shortCount ? 2 : 3;
  if (len < head) return false;
  std::size_t cch = shortCount ? p[0] : rd16(p);
  std::uint8_t flags = p[head - 1];
  bool high = flags & 1;
  std::size_t skipRuns = 0, skipExt = 0;
  std::size_t pos = head;
  if (flags & 8) {
    if (pos + 2 > len) return false;
    skipRuns = rd16(p + pos) * 4u;
    pos += 2;
  }
  if (flags & 4) {
    if (pos + 4 > len) return false;
    skipExt = rd32(p + pos);
    pos += 4;
  }
  (void)skipRuns;
  (void)skipExt;
  std::size_t bytes = cch * (high ? 2 : 1);
  if (pos + bytes > len) {
    bytes = (len - pos) / (high ? 2 : 1) * (high ? 2 : 1);
    cch = bytes / (high ? 2 : 1);
  }
  std::u16string s;
  s.reserve(cch);
  for (std::size_t i = 0; i < cch; ++i) s.push_back(high ? static_cast<char16_t>(rd16(p + pos + 2 * i)) : p[pos + i]);
  out = utf16ToUtf8(s);
  return true;
}

double rkValue(std::uint32_t rk) {
  double v;
  if (rk & 2) {
    v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
    std::memcpy(&v, &bits, sizeof v);
  }
  return (rk & 1) ? v / 100 : v;
}

const char* errorName(std::uint8_t code) {
  switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    case 0x2A: return "#N/A";
    default: return "#ERR";
  }
}

struct RecordView {
  std::uint32_t pos;
  std::uint16_t type;
  std::uint16_t len;
  const std::uint8_t* data;
};

class RecordWalker {
 public:
  RecordWalker(const ByteView& s, std::uint32_t pos) : s_(s), pos_(pos) {}
  bool next(RecordView& r) {
    if (pos_ + 4 > s_.size()) return false;
    r.pos = pos_;
    r.type = rd16(s_.data() + pos_);
    r.len = rd16(s_.data() + pos_ + 2);
    if (pos_ + 4 + r.len > s_.size()) fail("a record runs past the end of the stream");
    r.data = s_.data() + pos_ + 4;
    pos_ += 4 + r.len;
    return true;
  }
  std::uint32_t pos() const { return pos_; }
  bool peek(std::uint16_t& type) const {
    if (pos_ + 4 > s_.size()) return false;
    type = rd16(s_.data() + pos_);
    return true;
  }

 private:
  const ByteView& s_;
  std::uint32_t pos_;
};

}  // namespace

bool isBuiltinDateFormat(std::uint32_t f) {
  return (f >= 14 && f <= 22) || (f >= 27 && f <= 36) || (f >= 45 && f <= 47) || (f >= 50 && f <= 58);
}

bool isDateFormatString(const std::string& f) {
  std::string lower;
  for (char c : f) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  if (lower == "general" || lower == "@") return false;
  for (std::size_t i = 0; i < f.size(); ++i) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(f[i])));
    if (c == '"') {
      std::size_t j = f.find('"', i + 1);
      if (j == std::string::npos) return false;
      i = j;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;
    } else if (c == '[') {
      std::size_t j = f.find(']', i + 1);
      if (j == std::string::npos) return false;
      std::string inner = lower.substr(i + 1, j - i - 1);
      if (!inner.empty() && inner.find_first_not_of("hms") == std::string::npos) return true;  // elapsed time
      i = j;
    } else if (c == ';') {
      return false;  // only the first section decides
    } else if (c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 's') {
      return true;
    }
  }
  return false;
}

std::string formatNumber(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  if (v == std::floor(v) && std::fabs(v) < 1e15) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", v);
    return std::string(buf) == "-0" ? "0" : buf;
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

}  // namespace detail

using namespace detail;

namespace {

void indexRows(Sheet& sh) {
  const std::uint32_t rows = sh.cells.empty() ? 0 : (sh.cells.back().key >> 8) + 1;
  sh.rowStart.assign(rows + 1, 0);
  sh.lastColumn = 0;
  for (const CellSlot& c : sh.cells) {
    ++sh.rowStart[(c.key >> 8) + 1];
    sh.lastColumn = std::max(sh.lastColumn, static_cast<int>(c.key & 0xFF) + 1);
  }
  for (std::uint32_t k = 0; k < rows; ++k) sh.rowStart[k + 1] += sh.rowStart[k];
}

}  // namespace

// The cells of the sheet whose BOF is at `offset` (BOUNDSHEET type `type`); `starts` are the
// positions of every sheet, to guess its size.
void Workbook::Impl::parseSheet(Sheet& sh, std::uint32_t offset, std::uint8_t type, const std::vector<std::uint32_t>& starts) {
  RecordWalker sw(stream, offset);
  RecordView r;
  if (!sw.next(r) || r.type != kBof || r.len < 4) fail("a sheet does not start with a BOF record");
  sh.start = offset;
  sh.worksheet = type == 0 && rd16(r.data + 2) == 0x0010;
  int depth = 1;
  std::vector<CellSlot>& cells = sh.cells;
  if (sh.worksheet) {
    // Most records of a sheet are cells of about 14 bytes: one allocation in the usual case.
    std::uint32_t guess = 0;
    for (std::uint32_t other : starts)
      if (other > offset && (guess == 0 || other - offset < guess)) guess = other - offset;
    if (guess == 0 || guess > stream.size() - offset) guess = static_cast<std::uint32_t>(stream.size() - offset);
    cells.reserve(guess / 12 + 16);
  }
  bool sorted = true;
  std::uint32_t lastKey = 0;
  auto add = [&](std::uint16_t row, std::uint16_t col, std::uint8_t kind, std::uint8_t flags, std::uint16_t xf,
                 std::uint32_t str, double num) {
    if (col >= 256) return;
    std::uint32_t key = (static_cast<std::uint32_t>(row) << 8) | col;
    if (!cells.empty() && key <= lastKey) sorted = false;
    lastKey = key;
    if (kind == static_cast<std::uint8_t>(Cell::Kind::Number) && isDateXf(xf)) flags |= kIsDate;
    CellSlot slot{key, kind, flags, xf, {num}};
    if (kind == static_cast<std::uint8_t>(Cell::Kind::Text)) slot.str = str;
    cells.push_back(slot);
  };
  constexpr auto kText = static_cast<std::uint8_t>(Cell::Kind::Text);
  constexpr auto kNum = static_cast<std::uint8_t>(Cell::Kind::Number);
  constexpr auto kBool = static_cast<std::uint8_t>(Cell::Kind::Boolean);
  constexpr auto kErr = static_cast<std::uint8_t>(Cell::Kind::Error);
  while (depth > 0) {
    if (!sw.next(r)) fail("a sheet has no end");
    if (r.type == kBof) {
      ++depth;
      continue;
    }
    if (r.type == kEof) {
      --depth;
      continue;
    }
    if (depth != 1) continue;
    if (r.type == kIndex && sh.indexPos == 0) sh.indexPos = r.pos;
    if (!sh.worksheet) continue;
    const std::uint8_t* p = r.data;
    switch (r.type) {
      case kLabelSst:
        if (r.len >= 10) {
          std::uint32_t i = rd32(p + 6);
          if (i < sst.size())
            add(rd16(p), rd16(p + 2), kText, 0, rd16(p + 4), i, 0);
          else
            danglingLabels = true;  // new strings would give this cell a value: none are added
        }
        break;
      case kLabel:
      case kRString:
        if (r.len >= 9) {
          std::string s;
          readPlainString(p + 6, r.len - 6u, false, s);
          pool.push_back(std::move(s));
          add(rd16(p), rd16(p + 2), kText, kFromPool, rd16(p + 4), static_cast<std::uint32_t>(pool.size() - 1), 0);
        }
        break;
      case kNumber:
        if (r.len >= 14) add(rd16(p), rd16(p + 2), kNum, 0, rd16(p + 4), 0, rdDouble(p + 6));
        break;
      case kRk:
        if (r.len >= 10) add(rd16(p), rd16(p + 2), kNum, 0, rd16(p + 4), 0, rkValue(rd32(p + 6)));
        break;
      case kMulRk:
        if (r.len >= 6) {
          std::size_t n = (r.len - 2u) / 6;
          std::uint16_t row = rd16(p), first = rd16(p + 2);
          for (std::size_t k = 0; k < n && first + k < 256; ++k)
            add(row, static_cast<std::uint16_t>(first + k), kNum, 0, rd16(p + 4 + 6 * k), 0, rkValue(rd32(p + 6 + 6 * k)));
        }
        break;
      case kBoolErr:
        if (r.len >= 8) {
          if (p[7])
            add(rd16(p), rd16(p + 2), kErr, 0, rd16(p + 4), 0, p[6]);
          else
            add(rd16(p), rd16(p + 2), kBool, 0, rd16(p + 4), 0, p[6] ? 1 : 0);
        }
        break;
      case kFormula:
        if (r.len >= 20) {
          std::uint8_t flags = 0;
          std::uint16_t cce = r.len >= 22 ? rd16(p + 20) : 0;
          if (cce > 0 && r.len >= 23 && (p[22] == 0x01 || p[22] == 0x02)) flags |= kSharedFormula;
          std::uint16_t t;
          if (sw.peek(t) && (t == kShrFmla || t == kArray || t == kTable)) flags |= kSharedFormula;
          std::uint16_t row = rd16(p), col = rd16(p + 2), xf = rd16(p + 4);
          if (rd16(p + 12) != 0xFFFF) {
            add(row, col, kNum, flags, xf, 0, rdDouble(p + 6));
          } else if (p[6] == 1) {
            add(row, col, kBool, flags, xf, 0, p[8] ? 1 : 0);
          } else if (p[6] == 2) {
            add(row, col, kErr, flags, xf, 0, p[8]);
          } else if (p[6] == 3) {
            pool.emplace_back();
            add(row, col, kText, flags | kFromPool, xf, static_cast<std::uint32_t>(pool.size() - 1), 0);
          } else if (p[6] == 0) {
            // The text result follows in a STRING record, after any SHRFMLA/ARRAY/TABLE.
            RecordWalker look(stream, sw.pos());
            RecordView n;
            std::string s;
            while (look.next(n)) {
              if (n.type == kString) {
                readPlainString(n.data, n.len, false, s);
                break;
              }
              if (n.type != kShrFmla && n.type != kArray && n.type != kTable) break;
            }
            pool.push_back(std::move(s));
            add(row, col, kText, flags | kFromPool, xf, static_cast<std::uint32_t>(pool.size() - 1), 0);
          } else {
            // An unknown kind of result reads as empty; the cell is still known as a formula.
            add(row, col, static_cast<std::uint8_t>(Cell::Kind::Empty), flags, xf, 0, 0);
          }
        }
        break;
      default:
        break;
    }
  }
  sh.end = sw.pos();
  if (!sorted) {
    std::stable_sort(cells.begin(), cells.end(), [](const CellSlot& x, const CellSlot& y) { return x.key < y.key; });
    // A cell given twice: the later record wins.
    std::vector<CellSlot> unique;
    unique.reserve(cells.size());
    for (const CellSlot& c : cells) {
      if (!unique.empty() && unique.back().key == c.key)
        unique.back() = c;
      else
        unique.push_back(c);
    }
    cells.swap(unique);
  }
  indexRows(sh);
}

void Workbook::Impl::parse(Bytes image, Impl* previous, const SaveLayout* saved) {
  cfb = std::make_unique<CompoundFile>(std::move(image));
  streamEntry = cfb->findRootStream(u"Workbook");
  if (streamEntry < 0) {
    if (cfb->findRootStream(u"EncryptedPackage") >= 0)
      throw WorkbookError("The workbook is protected by a password (encrypted); remove the password first.",
                          ErrorKind::Unsupported);
    if (cfb->findRootStream(u"Book") >= 0)
      throw WorkbookError("The workbook is in the old Excel 5.0/95 format; save it as an Excel 97-2003 workbook first.",
                        ErrorKind::Unsupported);
    fail("no Workbook stream");
  }
  if (const std::uint8_t* inPlace = cfb->contiguousStream(streamEntry))
    stream.view(inPlace, cfb->streamSize(streamEntry));
  else
    stream.own(cfb->readStream(streamEntry));
  RecordWalker w(stream, 0);
  RecordView r;
  if (!w.next(r) || r.type != kBof || r.len < 8) fail("no BOF record");
  if (rd16(r.data) != 0x0600) fail("not an Excel 97-2003 (BIFF8) workbook");
  if (rd16(r.data + 2) != 0x0005) fail("the stream does not start with the workbook globals");

  struct BoundSheet {
    std::uint32_t recPos, offset;
    std::uint8_t type;
    std::string name;
    bool hidden = false;
  };
  std::vector<BoundSheet> bound;
  bool eof = false;
  while (!eof && w.next(r)) {
    switch (r.type) {
      case kFilePass:
        throw WorkbookError("The workbook is protected by a password (encrypted); remove the password first.",
                            ErrorKind::Unsupported);
      case kEof:
        eof = true;
        globalsEofPos = r.pos;
        break;
      case kDateMode:
        if (r.len >= 2) date1904 = rd16(r.data) != 0;
        break;
      case kXf:
        if (r.len >= 4) xfFormat.push_back(rd16(r.data + 2));
        break;
      case kFormat:
        if (r.len >= 5) {
          std::string f;
          readPlainString(r.data + 2, r.len - 2u, false, f);
          customDate[rd16(r.data)] = isDateFormatString(f);
        }
        break;
      case kBoundSheet:
        if (r.len >= 8) {
          BoundSheet b{r.pos, rd32(r.data), static_cast<std::uint8_t>(r.data[5]), {}, (r.data[4] & 3) != 0};
          readPlainString(r.data + 6, r.len - 6u, true, b.name);
          bound.push_back(std::move(b));
        }
        break;
      case kExtSst:
        extSstPos = r.pos;
        break;
      case kSst: {
        if (!sstRecords.empty()) break;  // a second SST is ignored
        std::vector<SegmentReader::Segment> segs;
        sstRecords.emplace_back(r.pos, r.len);
        segs.push_back({r.data, r.len, r.pos + 4});
        std::uint16_t t;
        RecordView c;
        while (w.peek(t) && t == kContinue && w.next(c)) {
          sstRecords.emplace_back(c.pos, c.len);
          segs.push_back({c.data, c.len, c.pos + 4});
        }
        SegmentReader sr(std::move(segs));
        if (!sr.u32(sstTotal) || !sr.u32(sstUnique)) break;
        std::size_t limit = std::min<std::size_t>(sstUnique, stream.size() / 3 + 1);
        sst.reserve(limit);
        bool ok = true;
        while (sst.size() < sstUnique && !sr.atEnd()) {
          std::uint32_t at = sr.streamPos();
          std::uint16_t cch, runs = 0;
          std::uint8_t flags;
          std::uint32_t ext = 0;
          if (!sr.u16(cch) || !sr.byte(flags) || ((flags & 8) && !sr.u16(runs)) || ((flags & 4) && !sr.u32(ext))) {
            ok = false;
            break;
          }
          std::u16string s;
          s.reserve(cch);
          if (!sr.chars(cch, flags & 1, s) || !sr.skip(runs * 4u) || !sr.skip(ext)) {
            ok = false;
            break;
          }
          sst.push_back(utf16ToUtf8(s));
          sstPlain.push_back((flags & 0x0C) == 0);
          sstPos.push_back(at);
        }
        sstClean = ok && sst.size() == sstUnique && sr.atEnd();
        break;
      }
      default:
        break;
    }
  }
  if (!eof) fail("the workbook globals have no end");
  globalsEnd = w.pos();
  if (sstRecords.empty()) sstClean = true;
  xfDate.resize(xfFormat.size());
  for (std::size_t i = 0; i < xfFormat.size(); ++i) {
    auto it = customDate.find(xfFormat[i]);
    xfDate[i] = it != customDate.end() ? it->second : isBuiltinDateFormat(xfFormat[i]);
  }

  // Substreams: in stream order, inside the stream, after the globals, never overlapping.
  std::vector<std::size_t> order(bound.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return bound[a].offset < bound[b].offset; });
  sheets.resize(bound.size());
  std::vector<std::uint32_t> starts;
  for (const BoundSheet& b : bound) starts.push_back(b.offset);
  std::uint32_t prevEnd = globalsEnd;
  for (std::size_t oi : order) {
    const BoundSheet& b = bound[oi];
    Sheet& sh = sheets[oi];
    sh.name = b.name;
    sh.hidden = b.hidden;
    sh.boundSheetPos = b.recPos;
    if (!previous) {
      // Damage inside one sheet's records costs that sheet only: the other classes still load.
      try {
        if (b.offset < prevEnd || b.offset >= stream.size()) fail("a sheet's position is outside the stream or overlaps another sheet");
        parseSheet(sh, b.offset, b.type, starts);
        prevEnd = sh.end;
      } catch (const WorkbookError& e) {
        if (e.kind() != ErrorKind::Damaged) throw;
        sh = Sheet{};
        sh.name = b.name;
        sh.hidden = b.hidden;
        sh.boundSheetPos = b.recPos;
        sh.start = sh.end = b.offset;
        sh.worksheet = b.type == 0;
        sh.damaged = true;
      }
      continue;
    }
    {
      // Saved by `previous`: its cells with the edits merged in.
      Sheet& o = previous->sheets[oi];
      sh.start = b.offset;
      sh.end = saved->end[oi];
      sh.indexPos = saved->indexPos[oi];
      sh.worksheet = o.worksheet;
      sh.layoutChecked = o.layoutChecked;
      auto slotFor = [&](std::uint32_t key, const Edit& ed) {
        const std::uint16_t xf = saved->xf[oi].at(key);
        CellSlot slot{key, static_cast<std::uint8_t>(ed.text ? Cell::Kind::Text : Cell::Kind::Number), 0, xf, {static_cast<double>(ed.value)}};
        if (ed.text)
          slot.str = ed.sst;
        else if (isDateXf(xf))
          slot.flags = kIsDate;
        return slot;
      };
      const bool allExist = std::all_of(o.edits.begin(), o.edits.end(), [&](const auto& e) { return o.find(e.first) != nullptr; });
      if (allExist) {
        // Only existing cells changed (the usual mark): update them in place.
        for (const auto& [key, ed] : o.edits) *const_cast<CellSlot*>(o.find(key)) = slotFor(key, ed);
        sh.cells = std::move(o.cells);
        sh.rowStart = std::move(o.rowStart);
        sh.lastColumn = o.lastColumn;
        prevEnd = sh.end;
        continue;
      }
      sh.cells.reserve(o.cells.size() + o.edits.size());
      auto e = o.edits.begin();
      for (const CellSlot& c : o.cells) {
        for (; e != o.edits.end() && e->first < c.key; ++e) sh.cells.push_back(slotFor(e->first, e->second));
        if (e != o.edits.end() && e->first == c.key) {
          sh.cells.push_back(slotFor(e->first, e->second));
          ++e;
        } else {
          sh.cells.push_back(c);
        }
      }
      for (; e != o.edits.end(); ++e) sh.cells.push_back(slotFor(e->first, e->second));
      prevEnd = sh.end;
      indexRows(sh);
      continue;
    }
  }
  if (previous) {
    pool = std::move(previous->pool);
    danglingLabels = previous->danglingLabels;
  }
  if (danglingLabels) sstClean = false;
  for (std::size_t i = 0; i < sheets.size(); ++i)
    if (sheets[i].worksheet) worksheets.push_back(static_cast<int>(i));
}

bool Workbook::Impl::isDateXf(std::uint16_t xf) const { return xf < xfDate.size() && xfDate[xf]; }

Cell Workbook::Impl::makeCell(const Sheet& s, std::uint32_t key) const {
  Cell c;
  if (!s.edits.empty()) {
    auto e = s.edits.find(key);
    if (e != s.edits.end()) {
      if (e->second.text) {
        c.kind = Cell::Kind::Text;
        c.text = e->second.sst < sst.size() ? sst[e->second.sst] : newStrings[e->second.sst - sst.size()];
      } else {
        c.kind = Cell::Kind::Number;
        c.number = e->second.value;
        const CellSlot* old = s.find(key);
        c.isDate = old && isDateXf(old->xf);
      }
      return c;
    }
  }
  const CellSlot* it = s.find(key);
  if (!it) return c;
  c.kind = static_cast<Cell::Kind>(it->kind);
  switch (c.kind) {
    case Cell::Kind::Text:
      c.text = (it->flags & kFromPool) ? pool[it->str] : sst[it->str];
      break;
    case Cell::Kind::Number:
      c.number = it->num;
      c.isDate = it->flags & kIsDate;
      break;
    case Cell::Kind::Boolean:
      c.number = it->num;
      break;
    case Cell::Kind::Error:
      c.number = it->num;
      c.text = errorName(static_cast<std::uint8_t>(it->num));
      break;
    case Cell::Kind::Empty:
      break;
  }
  return c;
}

}  // namespace velquor::roster
