// The compound file (OLE2 structured storage) around the Workbook stream: reading streams,
// replacing one stream by patching the file in place, and building a new file.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "roster/cell/bytes.h"

namespace velquor::roster::detail {

class CompoundFile {
 public:
  // Parses the header, FAT, mini FAT and directory. Throws WorkbookError on a malformed file.
  explicit CompoundFile(Bytes image);

  // Directory index of the root's child stream called `name` (case-insensitive), or -1.
  int findRootStream(const std::u16string& name) const;
  Bytes readStream(int entry) const;
  // The stream in place when its sectors follow each other in the file, else null.
  const std::uint8_t* contiguousStream(int entry) const;
  std::size_t streamSize(int entry) const { return static_cast<std::size_t>(entries_.at(static_cast<std::size_t>(entry)).size); }
  // Every stream directly under the root: name and directory index.
  std::vector<std::pair<std::u16string, int>> rootStreams() const;
  // The whole file with stream `entry` holding `data`. Every other byte that does not describe
  // the stream's place stays as it was; new sectors go to the end of the file.
  // `scratch`: a buffer whose memory the result may reuse (saves fresh pages on large files).
  Bytes replaceStream(int entry, const Bytes& data, Bytes scratch = {}) const;
  // Hands the image's memory over for reuse; the object must not be used afterwards.
  Bytes releaseImage() { return std::move(image_); }

  const Bytes& image() const { return image_; }
  // A stream's mini FAT chain runs to a mini sector outside the mini stream. Its data lies
  // beyond the stream's end, where growing the workbook would overwrite it, so such a file is
  // not written. Entries that no chain reaches do not count.
  bool miniFatPointsOutside() const;
  // The 128 bytes of directory entry `entry` as stored.
  Bytes rawEntry(int entry) const;
  int entryCount() const { return static_cast<int>(entries_.size()); }
  std::uint32_t sectorSize() const { return sectorSize_; }

  // A new file holding `streams` as children of the root; sectorShift 9 (512) or 12 (4096).
  static Bytes build(const std::vector<std::pair<std::u16string, Bytes>>& streams, int sectorShift);

 private:
  struct Entry {
    std::u16string name;
    std::uint8_t type = 0;
    std::uint32_t left = 0, right = 0, child = 0, start = 0;
    std::uint64_t size = 0;
  };
  std::vector<std::uint32_t> chain(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                   std::uint32_t limit) const;
  bool inMini(const Entry& e, int index) const;
  // The entries the directory tree reaches from the root, in the order of a depth-first walk.
  std::vector<std::uint32_t> reachableEntries() const;
  void checkExclusive(int entry) const;

  Bytes image_;
  std::uint32_t sectorSize_ = 512;
  std::uint32_t sectorCount_ = 0;
  int version_ = 3;
  std::vector<std::uint32_t> fat_;
  std::vector<std::uint32_t> fatSectors_;    // in DIFAT order
  std::vector<std::uint32_t> difatSectors_;  // the DIFAT chain
  std::vector<std::uint32_t> miniFat_;
  std::vector<std::uint32_t> miniFatSectors_;
  std::vector<std::uint32_t> dirSectors_;
  std::vector<Entry> entries_;
  std::vector<std::uint32_t> miniContainer_;  // regular sectors holding the mini stream
};

}  // namespace velquor::roster::detail
