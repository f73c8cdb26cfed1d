// The ZIP package of an .xlsx workbook through libzip: reading parts with the zip-bomb checks
// done before anything is inflated, and writing a new package in which only named entries
// change while every other entry keeps its compressed data, method and place.
#pragma once

#include <zip.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

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

 private:
  long find(const std::string& name) const;
  zip_t* za_ = nullptr;
  libdeflate_decompressor* inflater_ = nullptr;
  std::unordered_map<std::string, zip_uint64_t> byName_;  // lower-case name -> index
};

// A new package: entries named in `replaced` get the new content (deflated), entries named in
// `dropped` are left out, every other entry is copied with its compressed data unchanged; the
// order of the entries is kept.
std::vector<std::uint8_t> rewriteZip(const std::vector<std::uint8_t>& image,
                                     const std::map<std::string, const std::string*>& replaced,
                                     const std::set<std::string>& dropped);

}  // namespace velquor::roster::detail
