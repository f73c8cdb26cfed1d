// A worksheet part deflated in independent segments, so that a later save recompresses only
// the segments an edit touches. Each segment but the last ends with a full flush: the next one
// starts on a byte boundary with no history, so it inflates alone (raw inflate) and its
// compressed bytes can be copied next to new ones; the concatenation is one deflate stream.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velquor::roster::detail {

// One segment: its range of the plain text, its range of the entry's compressed data, the
// CRC-32 of its text.
struct XSegment {
  std::uint32_t textBegin = 0, textEnd = 0;
  std::uint32_t compBegin = 0, compEnd = 0;
  std::uint32_t crc = 0;
};
// The segments of a part as this program last wrote it, in order and adjacent; empty when
// unknown (a part written by another program, or not yet written).
using XSegmentMap = std::vector<XSegment>;

// The text a segment is cut at, about; the pieces of a changed run of segments are kept
// between half and one and a half of it, and a run under a quarter of it takes a neighbour in.
// (The fuzz build makes it small, so that small inputs have many segments.)
#ifndef VELQUOR_XLSX_SEGMENT_TEXT
#define VELQUOR_XLSX_SEGMENT_TEXT (256u << 10)
#endif
constexpr std::uint32_t kSegmentText = VELQUOR_XLSX_SEGMENT_TEXT;

// A part's new content, deflated, ready to be stored as it is.
struct DeflatedPart {
  std::string data;
  std::uint64_t size = 0;  // of the text
  std::uint32_t crc = 0;
};

// `text` deflated in one piece.
DeflatedPart deflateWhole(std::string_view text);

// One change of a sheet's text: the old range [pos, end) becomes `text`, or, when `make` is
// set, what `make` returns for the old text of that range (read only when its segment is).
struct TextEdit {
  std::uint32_t pos = 0, end = 0;
  std::string text;
  std::function<std::string(std::string_view)> make;
};

// The old part: its compressed data and segment map when the map describes it, else its text
// read front to back (never held whole: a large sheet's text is tens of megabytes).
struct OldPart {
  const XSegmentMap* map = nullptr;  // null or empty: the text comes from `read`
  std::string_view compressed;       // the entry's raw deflate data, with `map`
  std::uint64_t size = 0;            // of the text, without `map`
  std::function<void(char*, std::size_t)> read;  // the next bytes of the text, without `map`
};

// The part with `edits` (sorted by pos, not overlapping) applied, deflated in segments; only
// the segments the edits touch are inflated and deflated again, every other keeps its
// compressed bytes. Fills in each deferred edit's `text`. Throws WorkbookError (CannotWrite)
// when an edit falls outside the text, Damaged when a segment does not inflate to its map.
struct Segmented {
  DeflatedPart part;
  XSegmentMap map;
};
// `threads` 0: as many as the machine has cores.
Segmented rewriteSegmented(const OldPart& old, std::vector<TextEdit>& edits, std::size_t threads = 0);

// The entry's map matches its stored data (method deflate, sizes, CRC).
bool mapDescribes(const XSegmentMap& map, std::uint64_t size, std::uint64_t compSize, std::uint32_t crc);

}  // namespace velquor::roster::detail
