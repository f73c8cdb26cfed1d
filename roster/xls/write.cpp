// Writing the edits back: the Workbook stream is rebuilt by splicing. Unchanged records are
// copied byte for byte; only the edited cell records, their ROW and DBCELL records, DIMENSIONS,
// INDEX, the shared string table and the sheet positions in BOUNDSHEET change.
#include <algorithm>
#include <array>

#include "roster/xls/xlsbook.h"

namespace velquor::roster {
namespace detail {
namespace {

[[noreturn]] void refuse(const std::string& why) { throw WorkbookError("Cannot write this workbook: " + why + "."); }

struct Unit {
  std::uint16_t row = 0, c1 = 0, c2 = 0, type = 0;
  std::uint32_t pos = 0, end = 0;  // original bytes, with the records that belong to it (STRING, ...)
  std::uint32_t keepEnd = 0;       // then records of other kinds written among the cells, kept as they are
  Bytes own;                       // the new record when replaced
};

// Records that belong to the cell before them and go when it is replaced.
bool belongsToCell(std::uint16_t t) { return t == kString || t == kShrFmla || t == kArray || t == kTable || t == kContinue; }

struct RowRec {
  std::uint16_t row = 0;
  std::uint32_t pos = 0;
  Bytes own;
};

struct Block {
  std::uint32_t start = 0, end = 0;  // its original bytes, DBCELL included
  bool loaded = false;               // rows and units parsed (only for blocks that change)
  std::vector<RowRec> rows;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> loose;  // other records before its first cell
  std::vector<Unit> units;
  std::uint32_t dbPos = 0;
  bool hasDb = false;
  bool touched = false;
  int minRow = 1 << 20, maxRow = -1;
  void cover(int r) {
    minRow = std::min(minRow, r);
    maxRow = std::max(maxRow, r);
  }
};

// The records of a worksheet split into: the part before the cell table, the blocks of the
// cell table, the part after it.
struct Layout {
  std::uint32_t prefixEnd = 0, suffixStart = 0;
  std::uint32_t dimPos = 0, indexPos = 0, defColWidthPos = 0;
  std::vector<Block> blocks;
  bool usesDb = false;
  std::vector<std::array<std::uint16_t, 3>> colInfo;  // first, last, xf
  std::uint16_t defaultRowHeight = 255;
};

Bytes record(std::uint16_t type, const Bytes& payload) {
  Bytes b;
  b.reserve(payload.size() + 4);
  put16(b, type);
  put16(b, static_cast<std::uint16_t>(payload.size()));
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

Bytes cellHead(std::uint16_t row, std::uint16_t col, std::uint16_t xf) {
  Bytes p;
  put16(p, row);
  put16(p, col);
  put16(p, xf);
  return p;
}

Bytes rkRecords(std::uint16_t row, std::uint16_t first, const std::vector<std::pair<std::uint16_t, std::uint32_t>>& cells) {
  if (cells.size() == 1) {
    Bytes p = cellHead(row, first, cells[0].first);
    put32(p, cells[0].second);
    return record(kRk, p);
  }
  Bytes p;
  put16(p, row);
  put16(p, first);
  for (const auto& [xf, rk] : cells) {
    put16(p, xf);
    put32(p, rk);
  }
  put16(p, static_cast<std::uint16_t>(first + cells.size() - 1));
  return record(kMulRk, p);
}

Bytes blankRecords(std::uint16_t row, std::uint16_t first, const std::vector<std::uint16_t>& xfs) {
  if (xfs.size() == 1) return record(kBlank, cellHead(row, first, xfs[0]));
  Bytes p;
  put16(p, row);
  put16(p, first);
  for (std::uint16_t xf : xfs) put16(p, xf);
  put16(p, static_cast<std::uint16_t>(first + xfs.size() - 1));
  return record(kMulBlank, p);
}

}  // namespace

class SheetWriter {
 public:
  SheetWriter(const XlsBook& wb, const Sheet& sh) : wb_(wb), sh_(sh), s_(wb.stream) {}

  // Splits the sheet into prefix, row blocks and suffix, and refuses layouts it cannot splice
  // safely. Blocks are only delimited here; load() parses the ones an edit touches.
  Layout analyse() const {
    Layout L;
    // Where the cell table ends: after the last ROW or cell record of the sheet (and the
    // records belonging to it). Some writers put other records, such as MERGEDCELLS, among
    // the rows; before that point they are kept in place. Found from the first such record on,
    // once: for most files that is the end of the table, and only the rest of the sheet is read.
    std::uint32_t tableEnd = 0;
    bool tableEndKnown = false;
    auto findTableEnd = [&](std::uint32_t from) {
      tableEndKnown = true;
      tableEnd = from;
      int d = 1;
      for (std::uint32_t q = from; q < sh_.end && d > 0;) {
        const std::uint16_t type = rd16(s_.data() + q), len = rd16(s_.data() + q + 2);
        if (type == kBof) ++d;
        if (type == kEof) --d;
        if (d == 1 && type != kBof) {
          if (type == kRow || isCellRecord(type))
            tableEnd = q + 4 + len;
          else if ((belongsToCell(type) || type == kDbCell) && q == tableEnd)
            tableEnd = q + 4 + len;
        }
        q += 4 + len;
      }
    };
    std::uint32_t pos = sh_.start;
    int depth = 0;
    enum { kPrefix, kTable, kSuffix } phase = kPrefix;
    Block cur;
    bool curCells = false, started = false, lastWasCell = false;
    int prevRow = -1, prevCol = -1, lastRow = -1, prevRowRec = -1;
    auto closeBlock = [&](std::uint32_t at) {
      if (cur.start != at) {
        cur.end = at;
        if (cur.maxRow < 0) refuse("a row block holds no rows");
        if (cur.minRow <= lastRow && cur.maxRow >= 0) refuse("row blocks are out of order");
        if (cur.maxRow >= 0) lastRow = cur.maxRow;
        L.blocks.push_back(cur);
      }
      cur = Block{};
      cur.start = at;
      curCells = false;
      prevRow = prevCol = prevRowRec = -1;
    };
    while (pos < sh_.end) {
      const std::uint16_t type = rd16(s_.data() + pos), len = rd16(s_.data() + pos + 2);
      const std::uint8_t* p = s_.data() + pos + 4;
      const std::uint32_t next = pos + 4 + len;
      if (type == kBof) ++depth;
      if (type == kEof) --depth;
      if (depth == 0 && phase == kTable) {  // the sheet's EOF right after its cell table
        closeBlock(pos);
        phase = kSuffix;
        L.suffixStart = pos;
      }
      if (type == kBof && depth == 2 && phase == kTable) {  // a substream right after the cells
        if (!tableEndKnown) findTableEnd(pos);
        if (pos < tableEnd) refuse("a substream lies inside the cell table");
        closeBlock(pos);
        phase = kSuffix;
        L.suffixStart = pos;
      }
      const bool top = depth == 1 && type != kBof;
      if (top && phase == kPrefix) {
        if (type == kRow || isCellRecord(type)) {
          phase = kTable;
          L.prefixEnd = pos;
          started = true;
          cur.start = pos;
        } else {
          if (type == kDimensions && len >= 14) L.dimPos = pos;
          if (type == kIndex && len >= 16 && !L.indexPos) L.indexPos = pos;
          if (type == kDefColWidth) L.defColWidthPos = pos;
          if (type == kColInfo && len >= 8) L.colInfo.push_back({rd16(p), rd16(p + 2), rd16(p + 6)});
          if (type == kDefaultRowHeight && len >= 4) L.defaultRowHeight = rd16(p + 2) & 0x7FFF;
        }
      }
      if (top && phase == kTable) {
        if (type == kRow) {
          if (len != 16) refuse("a ROW record has an unexpected size");
          if (curCells) closeBlock(pos);
          if (static_cast<int>(rd16(p)) <= prevRowRec) refuse("ROW records are out of order");
          prevRowRec = rd16(p);
          cur.cover(rd16(p));
          lastWasCell = false;
        } else if (isCellRecord(type)) {
          if (len < 6) refuse("a cell record is too short");
          const int row = rd16(p), c1 = rd16(p + 2);
          int c2 = c1;
          if (type == kMulRk || type == kMulBlank) {
            const std::size_t each = type == kMulRk ? 6 : 2;
            const std::size_t n = (len - 6u) / each;
            if (n == 0 || (len - 6u) % each != 0 || rd16(p + len - 2) != c1 + n - 1) refuse("a MULRK or MULBLANK record is malformed");
            c2 = c1 + static_cast<int>(n) - 1;
          } else if (len < (type == kBlank ? 6 : 8)) {
            refuse("a cell record is too short");
          }
          if (c2 >= 256) refuse("a cell lies beyond column IV");
          if (row < prevRow || (row == prevRow && c1 <= prevCol)) refuse("cells are out of order");
          prevRow = row;
          prevCol = c2;
          curCells = true;
          cur.cover(row);
          lastWasCell = true;
        } else if (belongsToCell(type)) {
          if (!lastWasCell) refuse("a record follows no cell");
        } else if (type == kDbCell) {
          cur.hasDb = true;
          cur.dbPos = pos;
          L.usesDb = true;
          closeBlock(next);
          lastWasCell = false;
        } else if ((tableEndKnown || (findTableEnd(pos), true)) && pos < tableEnd) {
          lastWasCell = false;  // written among the rows: kept where it is
        } else {
          closeBlock(pos);
          phase = kSuffix;
          L.suffixStart = pos;
        }
      } else if (top && phase == kSuffix && (type == kRow || isCellRecord(type))) {
        refuse("cells follow the end of the cell table");
      }
      pos = next;
    }
    if (phase == kTable) refuse("the sheet ends inside its cell table");
    if (!started) {
      if (!L.dimPos) refuse("a sheet has no DIMENSIONS record");
      L.prefixEnd = L.suffixStart = L.dimPos + 4 + rd16(s_.data() + L.dimPos + 2);
    }
    return L;
  }

  // Parses one block's ROW and cell records, each cell with the records attached to it.
  void load(Block& b) const {
    if (b.loaded) return;
    b.loaded = true;
    for (std::uint32_t pos = b.start; pos < b.end;) {
      const std::uint16_t type = rd16(s_.data() + pos), len = rd16(s_.data() + pos + 2);
      const std::uint8_t* p = s_.data() + pos + 4;
      const std::uint32_t next = pos + 4 + len;
      if (type == kRow) {
        b.rows.push_back(RowRec{rd16(p), pos, {}});
      } else if (isCellRecord(type)) {
        Unit u;
        u.type = type;
        u.row = rd16(p);
        u.c1 = rd16(p + 2);
        u.c2 = type == kMulRk ? static_cast<std::uint16_t>(u.c1 + (len - 6u) / 6 - 1)
               : type == kMulBlank ? static_cast<std::uint16_t>(u.c1 + (len - 6u) / 2 - 1) : u.c1;
        u.pos = pos;
        u.end = u.keepEnd = next;
        b.units.push_back(std::move(u));
      } else if (type == kDbCell) {
      } else if (b.units.empty()) {
        b.loose.emplace_back(pos, next);
      } else if (belongsToCell(type) && b.units.back().keepEnd == b.units.back().end) {
        b.units.back().end = b.units.back().keepEnd = next;
      } else {
        b.units.back().keepEnd = next;
      }
      pos = next;
    }
  }

  // The sheet with its edits; `indexAt` gets the INDEX record's place, `xfs` each edit's format.
  Bytes build(Layout L, int& labelDelta, std::vector<std::uint32_t>& positionFields, std::uint32_t& indexOut,
              std::map<std::uint32_t, std::uint16_t>& xfs) const {
    for (const auto& [key, edit] : sh_.edits)
      xfs[key] = apply(L, static_cast<std::uint16_t>(key >> 8), static_cast<std::uint16_t>(key & 0xFF), edit, labelDelta);
    Bytes out;
    out.reserve(sh_.end - sh_.start + 64 * sh_.edits.size() + 64);
    auto copy = [&](std::uint32_t from, std::uint32_t to) { out.insert(out.end(), s_.begin() + from, s_.begin() + to); };

    // Prefix, with INDEX and DIMENSIONS rewritten.
    int minRow = 1 << 20, maxRow = -1, minCol = 1 << 20, maxCol = -1;
    for (const auto& [key, edit] : sh_.edits) {
      minRow = std::min<int>(minRow, static_cast<int>(key >> 8));
      maxRow = std::max<int>(maxRow, static_cast<int>(key >> 8));
      minCol = std::min<int>(minCol, static_cast<int>(key & 0xFF));
      maxCol = std::max<int>(maxCol, static_cast<int>(key & 0xFF));
    }
    std::size_t indexAt = 0, dbCount = 0;
    for (const Block& b : L.blocks) dbCount += b.hasDb;
    std::uint32_t pos = sh_.start;
    std::uint32_t defColWidthOut = 0;
    while (pos < L.prefixEnd) {
      const std::uint16_t len = rd16(s_.data() + pos + 2);
      const std::uint8_t* p = s_.data() + pos + 4;
      if (pos == L.defColWidthPos) defColWidthOut = static_cast<std::uint32_t>(out.size());
      if (pos == L.indexPos) {
        indexAt = out.size();
        Bytes q(p, p + 16);
        std::uint32_t mic = rd32(q.data() + 4), mac = rd32(q.data() + 8);
        if (maxRow >= 0) {
          if (mac <= mic) {
            mic = static_cast<std::uint32_t>(minRow);
            mac = static_cast<std::uint32_t>(maxRow) + 1;
          }
          mic = std::min<std::uint32_t>(mic, static_cast<std::uint32_t>(minRow));
          mac = std::max<std::uint32_t>(mac, static_cast<std::uint32_t>(maxRow) + 1);
        }
        wr32(q.data() + 4, mic);
        wr32(q.data() + 8, mac);
        q.resize(16 + 4 * dbCount, 0);
        Bytes r = record(kIndex, q);
        out.insert(out.end(), r.begin(), r.end());
      } else if (pos == L.dimPos && maxRow >= 0) {
        Bytes q(p, p + len);
        std::uint32_t rMic = rd32(q.data()), rMac = rd32(q.data() + 4);
        std::uint16_t cMic = rd16(q.data() + 8), cMac = rd16(q.data() + 10);
        if (rMac <= rMic || cMac <= cMic) {
          rMic = static_cast<std::uint32_t>(minRow);
          rMac = static_cast<std::uint32_t>(maxRow) + 1;
          cMic = static_cast<std::uint16_t>(minCol);
          cMac = static_cast<std::uint16_t>(maxCol + 1);
        }
        wr32(q.data(), std::min<std::uint32_t>(rMic, static_cast<std::uint32_t>(minRow)));
        wr32(q.data() + 4, std::max<std::uint32_t>(rMac, static_cast<std::uint32_t>(maxRow) + 1));
        wr16(q.data() + 8, static_cast<std::uint16_t>(std::min<int>(cMic, minCol)));
        wr16(q.data() + 10, static_cast<std::uint16_t>(std::max<int>(cMac, maxCol + 1)));
        Bytes r = record(kDimensions, q);
        out.insert(out.end(), r.begin(), r.end());
      } else {
        copy(pos, pos + 4 + len);
      }
      pos += 4 + len;
    }
    std::vector<std::uint32_t> dbOut;
    for (const Block& b : L.blocks) {
      if (!b.touched) {
        if (b.hasDb) dbOut.push_back(static_cast<std::uint32_t>(out.size()) + (b.dbPos - b.start));
        copy(b.start, b.end);
        continue;
      }
      const std::uint32_t firstRow = static_cast<std::uint32_t>(out.size());
      for (const RowRec& r : b.rows) {
        if (!r.own.empty())
          out.insert(out.end(), r.own.begin(), r.own.end());
        else
          copy(r.pos, r.pos + 20);
      }
      for (const auto& [from, to] : b.loose) copy(from, to);
      std::vector<std::uint32_t> unitStart;
      unitStart.reserve(b.units.size());
      for (const Unit& u : b.units) {
        unitStart.push_back(static_cast<std::uint32_t>(out.size()));
        if (!u.own.empty()) {
          out.insert(out.end(), u.own.begin(), u.own.end());
          copy(u.end, u.keepEnd);
        } else {
          copy(u.pos, u.keepEnd);
        }
      }
      if (!b.hasDb) continue;
      dbOut.push_back(static_cast<std::uint32_t>(out.size()));
      // Offsets: back to the first ROW record; then to each row's first cell, the first one
      // counted from the second ROW record, the others from the previous row's first cell.
      Bytes q;
      put32(q, static_cast<std::uint32_t>(out.size()) - firstRow);
      std::uint32_t prev = firstRow + 20;
      std::size_t k = 0;
      for (const RowRec& r : b.rows) {
        while (k < b.units.size() && b.units[k].row < r.row) ++k;
        const std::uint32_t at = k < unitStart.size() ? unitStart[k] : static_cast<std::uint32_t>(out.size());
        put16(q, static_cast<std::uint16_t>(at - prev));
        prev = at;
      }
      Bytes rec = record(kDbCell, q);
      out.insert(out.end(), rec.begin(), rec.end());
    }
    copy(L.suffixStart, sh_.end);
    indexOut = static_cast<std::uint32_t>(indexAt);

    // Stream positions held in INDEX, relative to the sheet start for now.
    if (indexAt) {
      std::uint8_t* q = out.data() + indexAt + 4;
      const std::uint32_t ibXf = rd32(q + 12);
      if (L.defColWidthPos) {
        wr32(q + 12, defColWidthOut);
        positionFields.push_back(static_cast<std::uint32_t>(indexAt + 4 + 12));
      } else if (ibXf >= sh_.start && ibXf < sh_.end) {
        wr32(q + 12, ibXf - sh_.start);
        positionFields.push_back(static_cast<std::uint32_t>(indexAt + 4 + 12));
      }
      for (std::size_t i = 0; i < dbOut.size(); ++i) {
        wr32(q + 16 + 4 * i, dbOut[i]);
        positionFields.push_back(static_cast<std::uint32_t>(indexAt + 4 + 16 + 4 * i));
      }
    }
    return out;
  }

 private:
  const std::uint8_t* unitData(const Unit& u) const { return u.own.empty() ? s_.data() + u.pos : u.own.data(); }

  std::uint16_t checkedXf(std::uint16_t xf) const {
    if (xf < wb_.xfFormat.size()) return xf;
    return wb_.xfFormat.size() > 15 ? 15 : 0;
  }

  std::uint16_t defaultXf(const Layout& L, const Block* b, std::uint16_t row, std::uint16_t col) const {
    if (b) {
      for (const RowRec& r : b->rows) {
        if (r.row != row) continue;
        const std::uint8_t* p = (r.own.empty() ? s_.data() + r.pos : r.own.data()) + 4;
        if (p[12] & 0x80) return checkedXf(rd16(p + 14) & 0x0FFF);
      }
    }
    for (const auto& ci : L.colInfo)
      if (col >= ci[0] && col <= ci[1]) return checkedXf(ci[2]);
    return checkedXf(15);
  }

  // Applies one edit; returns the cell format it was given.
  std::uint16_t apply(Layout& L, std::uint16_t row, std::uint16_t col, const Edit& e, int& labelDelta) const {
    // The block that holds (or will hold) this row.
    std::vector<Block>& B = L.blocks;
    auto it = std::upper_bound(B.begin(), B.end(), static_cast<int>(row), [](int r, const Block& b) { return r < b.minRow; });
    std::ptrdiff_t i = (it - B.begin()) - 1;
    std::ptrdiff_t chosen = -1;
    if (i >= 0 && B[static_cast<std::size_t>(i)].maxRow >= row) chosen = i;
    else if (i >= 0 && B[static_cast<std::size_t>(i)].minRow / 32 == row / 32) chosen = i;
    else if (i + 1 < static_cast<std::ptrdiff_t>(B.size()) && B[static_cast<std::size_t>(i + 1)].minRow / 32 == row / 32) chosen = i + 1;
    if (chosen < 0) {
      Block nb;
      nb.loaded = true;
      nb.hasDb = L.usesDb;
      chosen = i + 1;
      B.insert(B.begin() + chosen, std::move(nb));
    }
    Block& b = B[static_cast<std::size_t>(chosen)];
    load(b);
    b.touched = true;
    b.cover(row);

    std::uint16_t given = 0;
    auto newCell = [&](std::uint16_t xf) {
      given = xf;
      Bytes p = cellHead(row, col, xf);
      if (e.text) {
        put32(p, e.sst);
        ++labelDelta;
        return record(kLabelSst, p);
      }
      put32(p, (static_cast<std::uint32_t>(static_cast<std::int32_t>(e.value)) << 2) | 2u);
      return record(kRk, p);
    };

    // Units are in (row, column) order: the first one not wholly before the cell holds it, or
    // is where a new one goes.
    auto u = std::lower_bound(b.units.begin(), b.units.end(), 0, [&](const Unit& x, int) { return x.row < row || (x.row == row && x.c2 < col); });
    if (u != b.units.end() && u->row == row && u->c1 <= col) {
      const std::uint8_t* r = unitData(*u);
      const std::uint8_t* p = r + 4;
      std::vector<Unit> parts;
      auto part = [&](std::uint16_t c1, std::uint16_t c2, Bytes bytes) {
        Unit n;
        n.row = row;
        n.c1 = c1;
        n.c2 = c2;
        n.type = rd16(bytes.data());
        n.own = std::move(bytes);
        parts.push_back(std::move(n));
      };
      if (u->type == kMulRk || u->type == kMulBlank) {
        const bool rk = u->type == kMulRk;
        auto xfAt = [&](std::uint16_t c) { return rd16(p + 4 + (rk ? 6 : 2) * (c - u->c1)); };
        auto range = [&](std::uint16_t c1, std::uint16_t c2) {
          if (rk) {
            std::vector<std::pair<std::uint16_t, std::uint32_t>> v;
            for (std::uint16_t c = c1; c <= c2; ++c) v.emplace_back(xfAt(c), rd32(p + 6 + 6 * (c - u->c1)));
            return rkRecords(row, c1, v);
          }
          std::vector<std::uint16_t> v;
          for (std::uint16_t c = c1; c <= c2; ++c) v.push_back(xfAt(c));
          return blankRecords(row, c1, v);
        };
        if (col > u->c1) part(u->c1, static_cast<std::uint16_t>(col - 1), range(u->c1, static_cast<std::uint16_t>(col - 1)));
        part(col, col, newCell(checkedXf(xfAt(col))));
        if (col < u->c2) part(static_cast<std::uint16_t>(col + 1), u->c2, range(static_cast<std::uint16_t>(col + 1), u->c2));
      } else {
        if (u->type == kFormula) {
          const std::uint16_t len = rd16(r + 2);
          if (len >= 23 && rd16(p + 20) > 0 && (p[22] == 0x01 || p[22] == 0x02)) refuse("the cell is part of a shared or array formula");
          if (u->own.empty() && u->end > u->pos + 4 + len) {
            const std::uint16_t t = rd16(s_.data() + u->pos + 4 + len);
            if (t == kShrFmla || t == kArray || t == kTable) refuse("the cell holds a shared or array formula");
          }
        }
        if (u->type == kLabelSst) --labelDelta;
        part(col, col, newCell(checkedXf(rd16(p + 4))));
      }
      // The records kept after the cell follow the last part.
      parts.back().end = u->end;
      parts.back().keepEnd = u->keepEnd;
      *u = std::move(parts[0]);  // in place; the parts of a split run follow it
      if (parts.size() > 1) b.units.insert(u + 1, std::make_move_iterator(parts.begin() + 1), std::make_move_iterator(parts.end()));
    } else {
      const std::uint16_t xf = defaultXf(L, &b, row, col);
      Unit n;
      n.row = row;
      n.c1 = n.c2 = col;
      n.own = newCell(xf);
      n.type = rd16(n.own.data());
      b.units.insert(u, std::move(n));
    }

    // The row's ROW record: added when missing, its column range widened.
    auto rr = std::find_if(b.rows.begin(), b.rows.end(), [&](const RowRec& x) { return x.row >= row; });
    if (rr == b.rows.end() || rr->row != row) {
      Bytes p;
      put16(p, row);
      put16(p, col);
      put16(p, static_cast<std::uint16_t>(col + 1));
      put16(p, L.defaultRowHeight);
      put16(p, 0);
      put16(p, 0);
      put32(p, 0x000F0100u);
      RowRec n{row, 0, record(kRow, p)};
      b.rows.insert(rr, std::move(n));
    } else {
      const std::uint8_t* p = (rr->own.empty() ? s_.data() + rr->pos : rr->own.data()) + 4;
      std::uint16_t mic = rd16(p + 2), mac = rd16(p + 4);
      std::uint16_t nmic = mac <= mic ? col : std::min<std::uint16_t>(mic, col);
      std::uint16_t nmac = mac <= mic ? static_cast<std::uint16_t>(col + 1) : std::max<std::uint16_t>(mac, static_cast<std::uint16_t>(col + 1));
      if (nmic != mic || nmac != mac) {
        if (rr->own.empty()) rr->own.assign(s_.begin() + rr->pos, s_.begin() + rr->pos + 20);
        wr16(rr->own.data() + 4 + 2, nmic);
        wr16(rr->own.data() + 4 + 4, nmac);
      }
    }
    return given;
  }

  const XlsBook& wb_;
  const Sheet& sh_;
  const ByteView& s_;
};

void checkSheetLayout(const XlsBook& wb, const Sheet& sh) { (void)SheetWriter(wb, sh).analyse(); }

namespace {

// The new strings appended to the SST records (a new CONTINUE when one is full, characters
// split with a fresh flags byte); returns each new string's (record, offset in payload).
std::vector<std::pair<std::size_t, std::size_t>> appendStrings(std::vector<Bytes>& payloads, const std::vector<std::string>& strings) {
  std::vector<std::pair<std::size_t, std::size_t>> at;
  for (const std::string& s8 : strings) {
    std::u16string s = utf8ToUtf16(s8);
    const bool high = std::any_of(s.begin(), s.end(), [](char16_t c) { return c > 0xFF; });
    const std::size_t unit = high ? 2 : 1;
    if (payloads.back().size() + 3 + unit > kMaxRecordData) payloads.emplace_back();
    Bytes* cur = &payloads.back();
    at.emplace_back(payloads.size() - 1, cur->size());
    put16(*cur, static_cast<std::uint16_t>(s.size()));
    cur->push_back(high ? 1 : 0);
    std::size_t i = 0;
    while (i < s.size()) {
      if (cur->size() + unit > kMaxRecordData) {
        payloads.emplace_back();
        cur = &payloads.back();
        cur->push_back(high ? 1 : 0);
      }
      const std::size_t n = std::min(s.size() - i, (kMaxRecordData - cur->size()) / unit);
      for (std::size_t k = 0; k < n; ++k) {
        if (high)
          put16(*cur, s[i + k]);
        else
          cur->push_back(static_cast<std::uint8_t>(s[i + k]));
      }
      i += n;
    }
  }
  return at;
}

}  // namespace
}  // namespace detail

using namespace detail;

Bytes detail::XlsBook::serializeStream(SaveLayout* layout) const {
  struct Rebuilt {
    Bytes bytes;
    std::vector<std::uint32_t> fields;
    std::uint32_t indexAt = 0;
  };
  SaveLayout scratch;
  SaveLayout& lay = layout ? *layout : scratch;
  lay.end.assign(sheets.size(), 0);
  lay.indexPos.assign(sheets.size(), 0);
  lay.xf.assign(sheets.size(), {});
  std::map<std::size_t, Rebuilt> rebuilt;
  int labelDelta = 0;
  std::size_t extra = 0;
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    if (sheets[i].edits.empty()) continue;
    SheetWriter w(*this, sheets[i]);
    Rebuilt r;
    r.bytes = w.build(w.analyse(), labelDelta, r.fields, r.indexAt, lay.xf[i]);
    extra += r.bytes.size();
    rebuilt.emplace(i, std::move(r));
  }
  Bytes out = std::move(spareStream);
  out.clear();
  out.reserve(stream.size() + extra + 1024);
  auto copy = [&](std::uint32_t from, std::uint32_t to) { out.insert(out.end(), stream.begin() + from, stream.begin() + to); };

  // Globals, with the shared string table extended.
  const bool sstChange = sstClean && (!newStrings.empty() || labelDelta != 0);
  if (!sstChange) {
    copy(0, globalsEnd);
  } else {
    std::vector<Bytes> payloads;
    std::vector<std::uint16_t> types;
    std::uint32_t first, after;
    if (sstRecords.empty()) {
      first = after = globalsEofPos;
      payloads.emplace_back(8, 0);
      types.push_back(kSst);
    } else {
      first = sstRecords.front().first;
      after = sstRecords.back().first + 4 + sstRecords.back().second;
      for (const auto& [pos, len] : sstRecords) {
        payloads.emplace_back(stream.begin() + pos + 4, stream.begin() + pos + 4 + len);
        types.push_back(types.empty() ? kSst : kContinue);
      }
    }
    wr32(payloads[0].data(), static_cast<std::uint32_t>(std::max<std::int64_t>(0, static_cast<std::int64_t>(sstTotal) + labelDelta)));
    wr32(payloads[0].data() + 4, static_cast<std::uint32_t>(sst.size() + newStrings.size()));
    auto at = appendStrings(payloads, newStrings);
    types.resize(payloads.size(), kContinue);
    copy(0, first);
    std::vector<std::uint32_t> recStart;
    for (std::size_t k = 0; k < payloads.size(); ++k) {
      recStart.push_back(static_cast<std::uint32_t>(out.size()));
      Bytes r = record(types[k], payloads[k]);
      out.insert(out.end(), r.begin(), r.end());
    }
    // EXTSST: where every dsst-th string starts; cbOffset counts from its record's header.
    std::uint32_t extEnd = 0;
    std::uint16_t dsst = 8;
    if (extSstPos >= after) {
      extEnd = extSstPos + 4 + rd16(stream.data() + extSstPos + 2);
      if (rd16(stream.data() + extSstPos + 2) >= 2) dsst = std::max<std::uint16_t>(1, rd16(stream.data() + extSstPos + 4));
      copy(after, extSstPos);
    } else {
      copy(after, after);
    }
    if (extEnd || sstRecords.empty()) {
      const std::size_t total = sst.size() + newStrings.size();
      while ((total + dsst - 1) / dsst * 8 + 2 > kMaxRecordData) dsst = static_cast<std::uint16_t>(dsst * 2);
      Bytes q;
      put16(q, dsst);
      for (std::size_t i = 0; i < total; i += dsst) {
        std::uint32_t pos;
        if (i < sst.size()) {
          pos = sstPos[i];
        } else {
          const auto& [rec, off] = at[i - sst.size()];
          pos = recStart[rec] + 4 + static_cast<std::uint32_t>(off);
        }
        std::size_t rec = std::upper_bound(recStart.begin(), recStart.end(), pos) - recStart.begin() - 1;
        put32(q, pos);
        put16(q, static_cast<std::uint16_t>(pos - recStart[rec]));
        put16(q, 0);
      }
      Bytes r = record(kExtSst, q);
      out.insert(out.end(), r.begin(), r.end());
    }
    copy(extEnd ? extEnd : after, globalsEnd);
  }
  // Where each BOUNDSHEET now lies.
  std::vector<std::uint32_t> boundOut;
  for (std::uint32_t p = 0; p + 4 <= out.size();) {
    if (rd16(out.data() + p) == kBoundSheet && rd16(out.data() + p + 2) >= 8) boundOut.push_back(p);
    p += 4 + rd16(out.data() + p + 2);
  }

  // Substreams in stream order, gaps between them kept.
  std::vector<std::size_t> order(sheets.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return sheets[a].start < sheets[b].start; });
  std::vector<std::uint32_t> newStart(sheets.size(), 0);
  std::uint32_t prev = globalsEnd;
  for (std::size_t i : order) {
    const Sheet& sh = sheets[i];
    copy(prev, sh.start);
    const std::uint32_t at = static_cast<std::uint32_t>(out.size());
    newStart[i] = at;
    auto rb = rebuilt.find(i);
    if (rb != rebuilt.end()) {
      out.insert(out.end(), rb->second.bytes.begin(), rb->second.bytes.end());
      for (std::uint32_t f : rb->second.fields) wr32(out.data() + at + f, rd32(out.data() + at + f) + at);
      lay.indexPos[i] = rb->second.indexAt ? at + rb->second.indexAt : 0;
    } else {
      copy(sh.start, sh.end);
      const std::uint32_t delta = at - sh.start;
      lay.indexPos[i] = sh.indexPos ? sh.indexPos + delta : 0;
      if (sh.indexPos && delta != 0) {
        std::uint8_t* q = out.data() + at + (sh.indexPos - sh.start);
        const std::uint16_t len = rd16(q + 2);
        if (len >= 16) {
          if (rd32(q + 4 + 12)) wr32(q + 4 + 12, rd32(q + 4 + 12) + delta);
          for (std::size_t k = 16; k + 4 <= len; k += 4) wr32(q + 4 + k, rd32(q + 4 + k) + delta);
        }
      }
    }
    prev = sh.end;
    lay.end[i] = static_cast<std::uint32_t>(out.size());
  }
  copy(prev, static_cast<std::uint32_t>(stream.size()));
  if (boundOut.size() != sheets.size()) refuse("the sheet list is inconsistent");
  for (std::size_t i = 0; i < sheets.size(); ++i) wr32(out.data() + boundOut[i] + 4, newStart[i]);
  return out;
}

}  // namespace velquor::roster
