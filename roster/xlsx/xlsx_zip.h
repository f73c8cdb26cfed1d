// The ZIP package of an .xlsx workbook through libzip: reading parts with the zip-bomb checks
// done before anything is inflated, and writing a new package in which only named entries
// change while every other entry keeps its compressed data, method and place.
#pragma once

#include <zip.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "roster/xlsx/xlsx_segments.h"

struct libdeflate_decompressor;

namespace velquor::roster::detail {

class ZipReader {
 public:
  // Opens the archive in memory (`image` must outlive the reader). Throws WorkbookError for a
  // damaged archive, duplicate entry names, encrypted entries and ZIP64 archives.
  explicit ZipReader(const std::vector<std::uint8_t>& image);
  ~ZipReader();
  ZipReader(const ZipReader&) = delete;
  ZipReader& operator=(const ZipReader&) = delete;

  bool has(const std::string& name) const { return find(name) >= 0; }
  // The entry's name as stored, matched without regard to ASCII case ("" when missing).
  std::string storedName(const std::string& name) const;
  // The entry inflated. `budget` is what may still be inflated in all; it shrinks by the size
  // read. Throws (Damaged) for a missing entry, and before inflating for a part too large or
  // compressed past a sane ratio.
  std::string read(const std::string& name, std::uint64_t& budget) const;
  // The same entry read front to back in pieces (with the same checks), so that a large part
  // need not be held whole.
  class Stream {
   public:
    Stream(Stream&& o) noexcept;
    Stream& operator=(Stream&&) = delete;
    ~Stream();
    std::uint64_t size() const { return size_; }
    // The next `n` bytes; throws (Damaged) when they cannot be read.
    void read(char* to, std::size_t n);
    // After the last byte: the entry must end there; libzip checks its CRC.
    void finish();

   private:
    friend class ZipReader;
    Stream() = default;
    zip_file_t* f_ = nullptr;
    std::string name_;
    std::uint64_t size_ = 0;
  };
  Stream stream(const std::string& name, std::uint64_t& budget) const;
  // The entry's compressed data as stored, when it is deflated (`deflated` false otherwise,
  // or when it cannot be read).
  struct Raw {
    std::string data;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    bool deflated = false;
  };
  Raw readRaw(const std::string& name) const;

 private:
  long find(const std::string& name) const;
  // The entry's index, its stat in `st`, after the checks made before anything is inflated.
  zip_uint64_t checked(const std::string& name, std::uint64_t budget, zip_stat_t& st) const;
  // The `size` bytes of the entry's compressed data as stored; false when they cannot be read.
  bool compressedBytes(zip_uint64_t index, std::uint64_t size, std::string& out) const;
  zip_t* za_ = nullptr;
  libdeflate_decompressor* inflater_ = nullptr;
  std::unordered_map<std::string, zip_uint64_t> byName_;  // lower-case name -> index
};

// A new package: entries named in `replaced` get the new content (deflated already), entries named in
// `dropped` are left out, every other entry is copied with its compressed data unchanged; the
// order of the entries is kept.
std::vector<std::uint8_t> rewriteZip(const std::vector<std::uint8_t>& image,
                                     const std::map<std::string, const DeflatedPart*>& replaced,
                                     const std::set<std::string>& dropped);

// The bytes of an archive written into the memory source `src` (after zip_close); frees the
// source. Nothing when they cannot be read back.
std::optional<std::vector<std::uint8_t>> takeArchiveBytes(zip_source_t* src);

}  // namespace velquor::roster::detail
