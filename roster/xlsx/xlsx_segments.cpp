#include "roster/xlsx/xlsx_segments.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <memory>

#include "roster/xlsx/parallel.h"
#include "roster/workbook.h"

namespace velquor::roster::detail {

namespace {

[[noreturn]] void cannotSplice() {
  throw WorkbookError("Cannot write this worksheet: its structure cannot be spliced safely.", ErrorKind::CannotWrite);
}

std::uint32_t crcOf(std::string_view text) { return libdeflate_crc32(0, text.data(), text.size()); }

// Raw deflate at level 2: on a large roster's XML it takes the time of level 1 (65 ms for
// 24 MB on one core) for 8% less output; level 3 takes half as long again, level 6 four times.
class Deflater {
 public:
  Deflater() {
    if (deflateInit2(&z_, 2, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw WorkbookError("Out of memory while writing the workbook.");
  }
  ~Deflater() { deflateEnd(&z_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // `text` as an independent piece: ended by a full flush, or by the stream's end when `last`.
  std::string piece(std::string_view text, bool last) {
    deflateReset(&z_);
    // Deflated into a buffer kept for the next piece, then copied at its size: the piece is
    // kept until the entry is written, and XML shrinks to a tenth.
    std::string& out = buffer_;
    out.resize(std::max<std::size_t>(out.size(), deflateBound(&z_, static_cast<uLong>(text.size())) + 64));
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z_.avail_in = static_cast<uInt>(text.size());
    const int flush = last ? Z_FINISH : Z_FULL_FLUSH;
    for (;;) {
      z_.next_out = reinterpret_cast<Bytef*>(out.data() + z_.total_out);
      z_.avail_out = static_cast<uInt>(out.size() - z_.total_out);
      const int rc = deflate(&z_, flush);
      if (rc == Z_STREAM_ERROR) throw WorkbookError("Cannot write the workbook (deflate failed).", ErrorKind::CannotWrite);
      if (z_.avail_out != 0 && z_.avail_in == 0 && (!last || rc == Z_STREAM_END)) break;
      out.resize(out.size() * 2);
    }
    return out.substr(0, z_.total_out);
  }

 private:
  z_stream z_{};
  std::string buffer_;
};

// One segment inflated alone (by libdeflate, some three times faster than zlib); it must give
// exactly its map's text. A segment but the last ends on a byte boundary after its full flush:
// an empty final stored block after it makes it a whole deflate stream.
void inflateSegment(libdeflate_decompressor* inflater, std::string_view comp, const XSegment& seg, bool last, std::string& out) {
  static constexpr char kEnd[] = {1, 0, 0, '\xFF', '\xFF'};
  std::string stream(comp);
  if (!last) stream.append(kEnd, sizeof kEnd);
  const std::size_t want = seg.textEnd - seg.textBegin, at = out.size();
  out.resize(at + want);
  std::size_t in = 0, got = 0;
  const bool ok = libdeflate_deflate_decompress_ex(inflater, stream.data(), stream.size(), out.data() + at, want, &in, &got) ==
                      LIBDEFLATE_SUCCESS &&
                  in == stream.size() && got == want;
  if (!ok || crcOf(std::string_view(out).substr(at)) != seg.crc)
    throw WorkbookError("The workbook changed in memory since it was written (a segment does not match).", ErrorKind::Damaged);
}

struct Piece {
  std::uint32_t textLen = 0, crc = 0;
  std::string comp;
};

// A run of adjacent segments written again, with the edits that fall in it.
struct Group {
  std::size_t first = 0, last = 0;    // segments, inclusive
  std::size_t editBegin = 0, editEnd = 0;
  std::vector<Piece> pieces;
};

}  // namespace

DeflatedPart deflateWhole(std::string_view text) {
  Deflater d;
  return {d.piece(text, true), text.size(), crcOf(text)};
}

bool mapDescribes(const XSegmentMap& map, std::uint64_t size, std::uint64_t compSize, std::uint32_t crc) {
  if (map.empty() || map.front().textBegin != 0 || map.front().compBegin != 0) return false;
  uLong combined = crc32(0, nullptr, 0);
  for (std::size_t i = 0; i < map.size(); ++i) {
    const XSegment& s = map[i];
    if (s.textEnd < s.textBegin || s.compEnd <= s.compBegin) return false;
    if (i > 0 && (s.textBegin != map[i - 1].textEnd || s.compBegin != map[i - 1].compEnd)) return false;
    combined = crc32_combine(combined, s.crc, static_cast<z_off_t>(s.textEnd - s.textBegin));
  }
  return map.back().textEnd == size && map.back().compEnd == compSize && combined == crc;
}

Segmented rewriteSegmented(const OldPart& old, std::vector<TextEdit>& edits, std::size_t threads) {
  const bool mapped = old.map && !old.map->empty();
  // Without a map the text is cut into segments of about kSegmentText, all written.
  XSegmentMap cuts;
  if (!mapped) {
    if (old.size > 0xFFFFFFFFu) cannotSplice();
    const auto total = static_cast<std::uint32_t>(old.size);
    for (std::uint32_t at = 0;;) {
      const std::uint32_t end = total - at > kSegmentText + kSegmentText / 2 ? at + kSegmentText : total;
      cuts.push_back({at, end, 0, 0, 0});
      if ((at = end) == total) break;
    }
  }
  const XSegmentMap& segs = mapped ? *old.map : cuts;
  const std::uint32_t total = segs.back().textEnd;
  const std::size_t n = segs.size();

  // Which segments the edits touch; an edit across a boundary joins the two segments.
  std::vector<std::uint8_t> touched(n, mapped ? 0 : 1), joined(n, 0);
  std::vector<std::size_t> home(edits.size());  // the segment each edit starts in
  std::uint32_t prevEnd = 0;
  for (std::size_t i = 0; i < edits.size(); ++i) {
    const TextEdit& e = edits[i];
    if (e.pos < prevEnd || e.end < e.pos || e.end > total) cannotSplice();
    prevEnd = e.end;
    auto inSeg = [&](std::uint32_t x) {
      return static_cast<std::size_t>(std::upper_bound(segs.begin(), segs.end(), x, [](std::uint32_t v, const XSegment& s) { return v < s.textEnd; }) -
                                      segs.begin());
    };
    const std::size_t a = std::min(inSeg(e.pos), n - 1);
    const std::size_t b = e.end > e.pos ? std::min(inSeg(e.end - 1), n - 1) : a;
    home[i] = a;
    for (std::size_t k = a; k <= b; ++k) touched[k] = 1;
    for (std::size_t k = a; k < b; ++k) joined[k] = 1;
  }

  // Runs of touched segments; a run whose new text would be tiny takes a neighbour in, so that
  // segments do not shrink to nothing over many saves.
  std::vector<Group> groups;
  for (bool changed = true; changed;) {
    changed = false;
    groups.clear();
    for (std::size_t k = 0; k < n; ++k) {
      if (!touched[k]) continue;
      Group g{k, k, 0, 0, {}};
      while (g.last + 1 < n && joined[g.last]) ++g.last;
      k = g.last;
      groups.push_back(std::move(g));
    }
    std::size_t ei = 0;
    for (Group& g : groups) {
      while (ei < edits.size() && home[ei] < g.first) ++ei;
      g.editBegin = ei;
      std::int64_t len = segs[g.last].textEnd - segs[g.first].textBegin;
      for (; ei < edits.size() && home[ei] <= g.last; ++ei)
        len += static_cast<std::int64_t>(edits[ei].make ? edits[ei].end - edits[ei].pos : edits[ei].text.size()) -
               (edits[ei].end - edits[ei].pos);
      g.editEnd = ei;
      if (len >= kSegmentText / 4 || n == 1 || (g.first == 0 && g.last == n - 1)) continue;
      const std::size_t k = g.last + 1 < n ? g.last : g.first - 1;
      touched[k] = touched[k + 1] = joined[k] = 1;
      changed = true;
    }
  }

  // Each run: its old text (its segments inflated, or its turn of the text read in order), the
  // edits spliced in, cut again into pieces of about kSegmentText, each deflated alone. While
  // one thread deflates its run the next one reads.
  InTurn reads;
  parallelFor(groups.size(), [&](std::size_t gi) {
    Group& g = groups[gi];
    std::string inflated;
    const std::uint32_t base = segs[g.first].textBegin;
    if (mapped) {
      const std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(libdeflate_alloc_decompressor(),
                                                                                                  libdeflate_free_decompressor);
      if (!inflater) throw WorkbookError("Out of memory while writing the workbook.");
      inflated.reserve(segs[g.last].textEnd - base);
      for (std::size_t k = g.first; k <= g.last; ++k)
        inflateSegment(inflater.get(), old.compressed.substr(segs[k].compBegin, segs[k].compEnd - segs[k].compBegin), segs[k], k == n - 1,
                       inflated);
    } else {
      const bool read = reads.take(gi, [&] {
        inflated.resize(segs[g.last].textEnd - base);
        old.read(inflated.data(), inflated.size());
      });
      if (!read) throw WorkbookError("Cannot write the workbook (reading the worksheet failed).", ErrorKind::CannotWrite);
    }
    const std::string_view text = inflated;
    std::string spliced;
    spliced.reserve(text.size() + text.size() / 16);
    std::uint32_t at = 0;
    for (std::size_t i = g.editBegin; i < g.editEnd; ++i) {
      TextEdit& e = edits[i];
      const std::uint32_t pos = e.pos - base, end = e.end - base;
      spliced.append(text, at, pos - at);
      if (e.make) e.text = e.make(text.substr(pos, end - pos));
      spliced += e.text;
      at = end;
    }
    spliced.append(text, at, std::string_view::npos);
    std::string().swap(inflated);
    const std::size_t len = spliced.size();
    const std::size_t count = std::max<std::size_t>(1, (len + kSegmentText / 2) / kSegmentText);
    const std::size_t step = (len + count - 1) / count;
    Deflater d;
    for (std::size_t p = 0; p < count; ++p) {
      const std::string_view piece = std::string_view(spliced).substr(std::min(len, p * step), step);
      g.pieces.push_back({static_cast<std::uint32_t>(piece.size()), crcOf(piece), d.piece(piece, g.last == n - 1 && p + 1 == count)});
    }
  }, threads);

  // The new entry: copied segments and new pieces in order.
  Segmented out;
  std::size_t compSize = 0;
  for (const Group& g : groups)
    for (const Piece& p : g.pieces) compSize += p.comp.size();
  if (mapped) compSize += old.compressed.size();
  out.part.data.reserve(compSize);
  uLong crc = crc32(0, nullptr, 0);
  std::uint64_t textAt = 0;
  auto add = [&](std::string_view comp, std::uint32_t textLen, std::uint32_t segCrc) {
    if (textAt + textLen > 0xFFFFFFFFu || out.part.data.size() + comp.size() > 0xFFFFFFFFu) cannotSplice();
    out.map.push_back({static_cast<std::uint32_t>(textAt), static_cast<std::uint32_t>(textAt + textLen),
                       static_cast<std::uint32_t>(out.part.data.size()), static_cast<std::uint32_t>(out.part.data.size() + comp.size()), segCrc});
    out.part.data += comp;
    crc = crc32_combine(crc, segCrc, static_cast<z_off_t>(textLen));
    textAt += textLen;
  };
  std::size_t k = 0;
  for (const Group& g : groups) {
    for (; k < g.first; ++k) add(old.compressed.substr(segs[k].compBegin, segs[k].compEnd - segs[k].compBegin), segs[k].textEnd - segs[k].textBegin, segs[k].crc);
    for (const Piece& p : g.pieces) add(p.comp, p.textLen, p.crc);
    k = g.last + 1;
  }
  for (; k < n; ++k) add(old.compressed.substr(segs[k].compBegin, segs[k].compEnd - segs[k].compBegin), segs[k].textEnd - segs[k].textBegin, segs[k].crc);
  out.part.size = textAt;
  out.part.crc = static_cast<std::uint32_t>(crc);
  return out;
}

}  // namespace velquor::roster::detail
