#include "roster/xlsx/xlsx_zip.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "roster/cell/bytes.h"
#include "roster/xlsx/xlsx.h"
#include "roster/workbook.h"

namespace velquor::roster::detail {

namespace {

[[noreturn]] void damaged(const std::string& what) {
  throw WorkbookError("The file is not a readable workbook (" + what + ").", ErrorKind::Damaged);
}

std::string lowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The archive has a ZIP64 end record: libzip could not promise to write it back as it is.
bool hasZip64End(const std::vector<std::uint8_t>& b) {
  if (b.size() < 22) return false;
  const std::size_t lowest = b.size() > 22 + 65535 ? b.size() - 22 - 65535 : 0;
  for (std::size_t i = b.size() - 22 + 1; i-- > lowest;) {
    if (rd32(b.data() + i) != 0x06054b50) continue;
    if (i + 22 + rd16(b.data() + i + 20) != b.size()) continue;  // its comment must end the file
    if (i >= 20 && rd32(b.data() + i - 20) == 0x07064b50) return true;
    const std::uint16_t entries = rd16(b.data() + i + 10);
    const std::uint32_t cdSize = rd32(b.data() + i + 12), cdOffset = rd32(b.data() + i + 16);
    return entries == 0xFFFF || cdSize == 0xFFFFFFFFu || cdOffset == 0xFFFFFFFFu;
  }
  return false;
}

// A part deflated here with zlib (libzip's own deflate takes seconds on a 24 MB sheet) and
// handed to libzip as data already compressed, with its size and CRC: libzip stores it as it is.
struct Deflated {
  const DeflatedPart* part = nullptr;
  std::size_t at = 0;
  zip_error_t error;
};

zip_int64_t deflatedSource(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* d = static_cast<Deflated*>(state);
  switch (cmd) {
    case ZIP_SOURCE_OPEN:
      d->at = 0;
      return 0;
    case ZIP_SOURCE_READ: {
      const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(len), d->part->data.size() - d->at);
      std::memcpy(data, d->part->data.data() + d->at, n);
      d->at += n;
      return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
    case ZIP_SOURCE_FREE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = static_cast<zip_stat_t*>(data);
      zip_stat_init(st);
      st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC | ZIP_STAT_MTIME |
                  ZIP_STAT_ENCRYPTION_METHOD;
      st->size = d->part->size;
      st->comp_size = d->part->data.size();
      st->comp_method = ZIP_CM_DEFLATE;
      st->encryption_method = ZIP_EM_NONE;
      st->crc = d->part->crc;
      st->mtime = std::time(nullptr);
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return zip_error_to_data(&d->error, data, len);
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                            ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
      zip_error_set(&d->error, ZIP_ER_OPNOTSUPP, 0);
      return -1;
  }
}

struct ZipError {
  zip_error_t e;
  ZipError() { zip_error_init(&e); }
  ~ZipError() { zip_error_fini(&e); }
  std::string text() { return zip_error_strerror(&e); }
};

}  // namespace

ZipReader::ZipReader(const std::vector<std::uint8_t>& image) {
  if (hasZip64End(image))
    throw WorkbookError("The workbook is a ZIP64 archive, which this program cannot write back.", ErrorKind::Unsupported);
  ZipError err;
  zip_source_t* src = zip_source_buffer_create(image.data(), image.size(), 0, &err.e);
  if (!src) damaged(err.text());
  za_ = zip_open_from_source(src, ZIP_RDONLY | ZIP_CHECKCONS, &err.e);
  if (!za_) {
    zip_source_free(src);
    if (zip_error_code_zip(&err.e) == ZIP_ER_EXISTS) damaged("the archive holds an entry twice");
    damaged("the archive: " + err.text());
  }
  const zip_int64_t n = zip_get_num_entries(za_, 0);
  if (n < 0 || n > 65535) {
    zip_discard(za_);
    damaged("too many archive entries");
  }
  for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(n); ++i) {
    zip_stat_t st;
    if (zip_stat_index(za_, i, ZIP_FL_ENC_RAW, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
      zip_discard(za_);
      damaged("an archive entry without a name");
    }
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
      zip_discard(za_);
      throw WorkbookError("The workbook's archive is encrypted; remove the password first.", ErrorKind::Unsupported);
    }
    // Part names are the same without regard to case: two entries of one name make the
    // package mean different things to different programs.
    if (!byName_.emplace(lowerAscii(st.name), i).second) {
      zip_discard(za_);
      damaged(std::string("the archive holds the entry ") + st.name + " twice");
    }
  }
  inflater_ = libdeflate_alloc_decompressor();
  if (!inflater_) {
    zip_discard(za_);
    throw WorkbookError("Out of memory while reading the workbook.");
  }
}

ZipReader::~ZipReader() {
  if (inflater_) libdeflate_free_decompressor(inflater_);
  if (za_) zip_discard(za_);
}

long ZipReader::find(const std::string& name) const {
  auto it = byName_.find(lowerAscii(name));
  return it == byName_.end() ? -1 : static_cast<long>(it->second);
}

std::string ZipReader::storedName(const std::string& name) const {
  const long i = find(name);
  if (i < 0) return {};
  const char* n = zip_get_name(za_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
  return n ? n : "";
}

zip_uint64_t ZipReader::checked(const std::string& name, std::uint64_t budget, zip_stat_t& st) const {
  const long i = find(name);
  if (i < 0) damaged("the part " + name + " is missing from the archive");
  const auto index = static_cast<zip_uint64_t>(i);
  if (zip_stat_index(za_, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE) || !(st.valid & ZIP_STAT_COMP_SIZE))
    damaged("the part " + name + " cannot be read");
  // Checked before inflating: the declared size bounds what is read, and an entry that claims
  // to grow more than deflate honestly does on XML is refused.
  if (st.size > kMaxPartSize || st.size > budget)
    throw WorkbookError("The workbook part " + name + " is larger than a roster can be (" + std::to_string(st.size) +
                            " bytes inflated).",
                        ErrorKind::Unsupported);
  if (st.size > (std::uint64_t{1} << 20) && st.size / kMaxRatio > st.comp_size)
    throw WorkbookError("The workbook part " + name + " is compressed " + std::to_string(st.size / std::max<zip_uint64_t>(st.comp_size, 1)) +
                            " times: refused as a possible zip bomb.",
                        ErrorKind::Unsupported);
  return index;
}

std::string ZipReader::read(const std::string& name, std::uint64_t& budget) const {
  zip_stat_t st;
  const zip_uint64_t index = checked(name, budget, st);
  // libzip finds the entry's compressed bytes; libdeflate inflates them (some three times
  // faster than zlib) and the size and checksum are checked here.
  if (!(st.valid & ZIP_STAT_COMP_METHOD) || !(st.valid & ZIP_STAT_CRC)) damaged("the part " + name + " cannot be read");
  if (st.comp_method != ZIP_CM_STORE && st.comp_method != ZIP_CM_DEFLATE)
    throw WorkbookError("The workbook part " + name + " uses a compression this program cannot read.", ErrorKind::Unsupported);
  std::string raw;
  bool ok = compressedBytes(index, st.comp_size, raw);
  std::string out;
  if (ok && st.comp_method == ZIP_CM_STORE) {
    ok = raw.size() == st.size;
    out = std::move(raw);
  } else if (ok) {
    out.resize(static_cast<std::size_t>(st.size));
    std::size_t inflated = 0;
    ok = libdeflate_deflate_decompress(inflater_, raw.data(), raw.size(), out.data(), out.size(), &inflated) == LIBDEFLATE_SUCCESS &&
         inflated == out.size();
  }
  if (ok) ok = libdeflate_crc32(0, out.data(), out.size()) == st.crc;
  if (!ok) damaged("the part " + name + " is damaged (size or checksum)");
  budget -= st.size;
  return out;
}

bool ZipReader::compressedBytes(zip_uint64_t index, std::uint64_t size, std::string& out) const {
  zip_file_t* f = zip_fopen_index(za_, index, ZIP_FL_COMPRESSED);
  if (!f) return false;
  out.resize(static_cast<std::size_t>(size));
  std::size_t got = 0;
  while (got < out.size()) {
    const zip_int64_t r = zip_fread(f, out.data() + got, out.size() - got);
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  zip_fclose(f);
  return got == out.size();
}

ZipReader::Stream ZipReader::stream(const std::string& name, std::uint64_t& budget) const {
  zip_stat_t st;
  const zip_uint64_t index = checked(name, budget, st);
  Stream s;
  s.name_ = name;
  s.size_ = st.size;
  // Inflated by libzip as it is read, which checks the CRC at the end.
  s.f_ = zip_fopen_index(za_, index, 0);
  if (!s.f_) {
    const int ze = zip_error_code_zip(zip_get_error(za_));
    if (ze == ZIP_ER_COMPNOTSUPP || ze == ZIP_ER_ENCRNOTSUPP)
      throw WorkbookError("The workbook part " + name + " uses a compression this program cannot read.", ErrorKind::Unsupported);
    damaged("the part " + name + " cannot be opened");
  }
  budget -= st.size;
  return s;
}

ZipReader::Stream::Stream(Stream&& o) noexcept : f_(o.f_), name_(std::move(o.name_)), size_(o.size_) { o.f_ = nullptr; }

ZipReader::Stream::~Stream() {
  if (f_) zip_fclose(f_);
}

void ZipReader::Stream::read(char* to, std::size_t n) {
  for (std::size_t got = 0; got < n;) {
    const zip_int64_t r = f_ ? zip_fread(f_, to + got, n - got) : -1;
    if (r <= 0) damaged("the part " + name_ + " is damaged (size or checksum)");
    got += static_cast<std::size_t>(r);
  }
}

void ZipReader::Stream::finish() {
  // Reading past the declared size must find the end (and makes libzip check the CRC).
  char extra;
  if (!f_ || zip_fread(f_, &extra, 1) != 0) damaged("the part " + name_ + " is damaged (size or checksum)");
}

ZipReader::Raw ZipReader::readRaw(const std::string& name) const {
  Raw raw;
  const long i = find(name);
  zip_stat_t st;
  if (i < 0 || zip_stat_index(za_, static_cast<zip_uint64_t>(i), 0, &st) != 0) return raw;
  const zip_uint64_t need = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
  if ((st.valid & need) != need || st.comp_method != ZIP_CM_DEFLATE || st.comp_size > kMaxPartSize) return raw;
  if (!compressedBytes(static_cast<zip_uint64_t>(i), st.comp_size, raw.data)) return Raw{};
  raw.size = st.size;
  raw.crc = st.crc;
  raw.deflated = true;
  return raw;
}

std::vector<std::uint8_t> rewriteZip(const std::vector<std::uint8_t>& image, const std::map<std::string, const DeflatedPart*>& replaced,
                                     const std::set<std::string>& dropped) {
  ZipError err;
  // libzip's buffer source hands the unchanged beginning of the archive on to the new one and
  // frees it with it: the source gets a copy of its own to free (freep = 1).
  void* copy = std::malloc(std::max<std::size_t>(image.size(), 1));
  if (!copy) throw WorkbookError("Out of memory while writing the workbook.");
  if (!image.empty()) std::memcpy(copy, image.data(), image.size());
  zip_source_t* src = zip_source_buffer_create(copy, image.size(), 1, &err.e);
  if (!src) {
    std::free(copy);
    throw WorkbookError("Cannot write the workbook: " + err.text());
  }
  zip_t* za = zip_open_from_source(src, 0, &err.e);
  if (!za) {
    zip_source_free(src);
    throw WorkbookError("Cannot write the workbook: " + err.text(), ErrorKind::CannotWrite);
  }
  zip_source_keep(src);  // the new archive is read from it after zip_close
  auto failWith = [&](const std::string& what) {
    const std::string why = zip_error_strerror(zip_get_error(za));
    zip_discard(za);
    zip_source_free(src);
    throw WorkbookError("Cannot write the workbook (" + what + ": " + why + ").", ErrorKind::CannotWrite);
  };
  std::vector<Deflated> deflated(replaced.size());  // alive until zip_close
  std::size_t k = 0;
  for (const auto& [name, content] : replaced) {
    const zip_int64_t idx = zip_name_locate(za, name.c_str(), ZIP_FL_ENC_RAW);
    if (idx < 0) failWith(name);
    Deflated& d = deflated[k++];
    d.part = content;
    zip_error_init(&d.error);
    zip_source_t* part = zip_source_function(za, &deflatedSource, &d);
    if (!part) failWith(name);
    if (zip_file_replace(za, static_cast<zip_uint64_t>(idx), part, 0) != 0) {
      zip_source_free(part);
      failWith(name);
    }
    if (zip_set_file_compression(za, static_cast<zip_uint64_t>(idx), ZIP_CM_DEFLATE, 0) != 0) failWith(name);
  }
  for (const std::string& name : dropped) {
    const zip_int64_t idx = zip_name_locate(za, name.c_str(), ZIP_FL_ENC_RAW);
    if (idx >= 0 && zip_delete(za, static_cast<zip_uint64_t>(idx)) != 0) failWith(name);
  }
  if (zip_close(za) != 0) failWith("closing the archive");
  std::optional<std::vector<std::uint8_t>> out = takeArchiveBytes(src);
  if (!out) throw WorkbookError("Cannot write the workbook (reading the new archive back).", ErrorKind::CannotWrite);
  return std::move(*out);
}

std::optional<std::vector<std::uint8_t>> takeArchiveBytes(zip_source_t* src) {
  std::vector<std::uint8_t> out;
  zip_stat_t st;
  bool ok = zip_source_stat(src, &st) == 0 && (st.valid & ZIP_STAT_SIZE) && zip_source_open(src) == 0;
  if (ok) {
    out.resize(static_cast<std::size_t>(st.size));
    ok = zip_source_read(src, out.data(), out.size()) == static_cast<zip_int64_t>(out.size());
    zip_source_close(src);
  }
  zip_source_free(src);
  if (!ok) return std::nullopt;
  return out;
}

}  // namespace velquor::roster::detail
