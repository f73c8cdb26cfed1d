#include "roster/xls/cfb.h"

#include <algorithm>
#include <functional>

#include "roster/workbook.h"

namespace velquor::roster::detail {
namespace {

constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kEnd = 0xFFFFFFFE;
constexpr std::uint32_t kFatSect = 0xFFFFFFFD;
constexpr std::uint32_t kDifSect = 0xFFFFFFFC;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::uint32_t kCutoff = 4096;
constexpr std::uint32_t kMini = 64;
constexpr std::size_t kHeaderDifat = 109;
constexpr std::size_t kMaxImage = std::size_t{256} << 20;
constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

[[noreturn]] void fail(const std::string& what) {
  throw WorkbookError("The file is not a readable workbook (" + what + ").");
}

char16_t upper(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool sameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

// Directory order of sibling names: shorter first, then by upper-cased code units.
bool nameLess(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  for (std::size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return upper(a[i]) < upper(b[i]);
  return false;
}

}  // namespace

CompoundFile::CompoundFile(Bytes image) : image_(std::move(image)) {
  if (image_.size() < 512) fail("shorter than a compound file header");
  if (image_.size() > kMaxImage) fail("larger than 256 MB");
  if (!std::equal(kSignature, kSignature + 8, image_.begin())) fail("no compound file signature");
  const std::uint8_t* h = image_.data();
  const std::uint16_t shift = rd16(h + 30);
  if (shift != 9 && shift != 12) fail("unsupported sector size");
  if (rd16(h + 32) != 6) fail("unsupported mini sector size");
  if (rd32(h + 56) != kCutoff) fail("unsupported mini stream cutoff");
  version_ = shift == 12 ? 4 : 3;
  sectorSize_ = 1u << shift;
  if (image_.size() < sectorSize_) fail("truncated header");
  // A last sector cut short is read as if padded with zeros.
  sectorCount_ = static_cast<std::uint32_t>((image_.size() - sectorSize_ + sectorSize_ - 1) / sectorSize_);
  image_.resize((static_cast<std::size_t>(sectorCount_) + 1) * sectorSize_, 0);
  h = image_.data();
  const std::uint32_t perSector = sectorSize_ / 4;

  const std::uint32_t fatCount = rd32(h + 44);
  if (fatCount == 0 || fatCount > sectorCount_) fail("bad FAT sector count");
  auto addFatSector = [&](std::uint32_t s) {
    if (fatSectors_.size() >= fatCount) return;
    if (s >= sectorCount_) fail("FAT sector outside the file");
    fatSectors_.push_back(s);
  };
  for (std::size_t i = 0; i < kHeaderDifat; ++i) addFatSector(rd32(h + 76 + 4 * i));
  std::vector<bool> seenDifat(sectorCount_, false);
  std::uint32_t d = rd32(h + 68);
  while (fatSectors_.size() < fatCount) {
    if (d >= sectorCount_) fail("DIFAT chain outside the file");
    if (seenDifat[d]) fail("DIFAT chain loops");
    seenDifat[d] = true;
    difatSectors_.push_back(d);
    const std::uint8_t* p = image_.data() + (static_cast<std::size_t>(d) + 1) * sectorSize_;
    for (std::uint32_t i = 0; i + 1 < perSector; ++i) addFatSector(rd32(p + 4 * i));
    d = rd32(p + 4 * (perSector - 1));
  }
  fat_.reserve(static_cast<std::size_t>(fatCount) * perSector);
  for (std::uint32_t s : fatSectors_) {
    const std::uint8_t* p = image_.data() + (static_cast<std::size_t>(s) + 1) * sectorSize_;
    for (std::uint32_t i = 0; i < perSector; ++i) fat_.push_back(rd32(p + 4 * i));
  }

  dirSectors_ = chain(rd32(h + 48), fat_, sectorCount_);
  if (dirSectors_.empty()) fail("no directory");
  const std::uint32_t perDir = sectorSize_ / 128;
  entries_.reserve(dirSectors_.size() * perDir);
  for (std::uint32_t s : dirSectors_) {
    for (std::uint32_t k = 0; k < perDir; ++k) {
      const std::uint8_t* p = image_.data() + (static_cast<std::size_t>(s) + 1) * sectorSize_ + k * 128;
      Entry e;
      std::uint16_t nameBytes = rd16(p + 64);
      std::size_t chars = nameBytes >= 2 && nameBytes <= 64 ? nameBytes / 2 - 1 : 0;
      for (std::size_t i = 0; i < chars; ++i) e.name.push_back(static_cast<char16_t>(rd16(p + 2 * i)));
      e.type = p[66];
      e.left = rd32(p + 68);
      e.right = rd32(p + 72);
      e.child = rd32(p + 76);
      e.start = rd32(p + 116);
      e.size = version_ == 3 ? rd32(p + 120) : rd64(p + 120);
      entries_.push_back(std::move(e));
    }
  }
  if (entries_[0].type != 5) fail("no root entry");
  const std::uint32_t miniFatStart = rd32(h + 60);
  if (miniFatStart != kEnd && miniFatStart != kFree) {
    miniFatSectors_ = chain(miniFatStart, fat_, sectorCount_);
    for (std::uint32_t s : miniFatSectors_) {
      const std::uint8_t* p = image_.data() + (static_cast<std::size_t>(s) + 1) * sectorSize_;
      for (std::uint32_t i = 0; i < perSector; ++i) miniFat_.push_back(rd32(p + 4 * i));
    }
  }
  const Entry& root = entries_[0];
  if (root.size > 0 && root.start != kEnd && root.start != kFree) {
    miniContainer_ = chain(root.start, fat_, sectorCount_);
    if (static_cast<std::uint64_t>(miniContainer_.size()) * sectorSize_ < root.size) fail("mini stream shorter than its size");
  }
}

std::vector<std::uint32_t> CompoundFile::reachableEntries() const {
  // Depth first from the root's child through the siblings and the storages' children; a
  // damaged tree may name an entry twice or one past the end: each is taken once, if at all.
  std::vector<std::uint32_t> found;
  std::vector<bool> seen(entries_.size(), false);
  std::vector<std::uint32_t> todo{entries_[0].child};
  while (!todo.empty()) {
    const std::uint32_t i = todo.back();
    todo.pop_back();
    if (i == kNoStream || i >= entries_.size() || seen[i]) continue;
    seen[i] = true;
    found.push_back(i);
    const Entry& e = entries_[i];
    todo.push_back(e.left);
    todo.push_back(e.right);
    if (e.type == 1) todo.push_back(e.child);
  }
  return found;
}

bool CompoundFile::miniFatPointsOutside() const {
  // Only the chains of the streams stored in the mini stream count: entries no chain reaches
  // are unused whatever they hold (some writers fill a whole mini FAT sector with END-OF-CHAIN)
  // and stay as they are. A chain that loops is left to the check before writing.
  const std::uint64_t count = (entries_[0].size + kMini - 1) / kMini;
  std::vector<bool> reached(miniFat_.size(), false);
  for (const std::uint32_t i : reachableEntries()) {
    const Entry& e = entries_[i];
    if (e.type != 2 || e.size == 0 || !inMini(e, static_cast<int>(i))) continue;
    for (std::uint32_t m = e.start; m != kEnd; m = miniFat_[m]) {
      if (m >= count || m >= miniFat_.size()) return true;
      if (reached[m]) break;
      reached[m] = true;
    }
  }
  return false;
}

std::vector<std::uint32_t> CompoundFile::chain(std::uint32_t start, const std::vector<std::uint32_t>& table,
                                               std::uint32_t limit) const {
  std::vector<std::uint32_t> out;
  if (start == kEnd) return out;
  std::vector<bool> seen(std::min<std::size_t>(limit, table.size()), false);
  for (std::uint32_t s = start; s != kEnd; s = table[s]) {
    if (s >= seen.size()) fail("sector chain points outside the file");
    if (seen[s]) fail("sector chain loops");
    seen[s] = true;
    out.push_back(s);
  }
  return out;
}

bool CompoundFile::inMini(const Entry& e, int index) const { return index != 0 && e.size < kCutoff; }

int CompoundFile::findRootStream(const std::u16string& name) const {
  std::vector<bool> seen(entries_.size(), false);
  std::vector<std::uint32_t> todo{entries_[0].child};
  while (!todo.empty()) {
    std::uint32_t i = todo.back();
    todo.pop_back();
    if (i == kNoStream || i >= entries_.size()) continue;
    if (seen[i]) fail("directory tree loops");
    seen[i] = true;
    const Entry& e = entries_[i];
    if (e.type == 2 && sameName(e.name, name)) return static_cast<int>(i);
    todo.push_back(e.left);
    todo.push_back(e.right);
  }
  return -1;
}

Bytes CompoundFile::rawEntry(int entry) const {
  const std::uint32_t perDir = sectorSize_ / 128;
  const std::uint8_t* p = image_.data() + (static_cast<std::size_t>(dirSectors_.at(static_cast<std::size_t>(entry) / perDir)) + 1) * sectorSize_ +
                          (static_cast<std::size_t>(entry) % perDir) * 128;
  return Bytes(p, p + 128);
}

std::vector<std::pair<std::u16string, int>> CompoundFile::rootStreams() const {
  std::vector<std::pair<std::u16string, int>> out;
  std::vector<bool> seen(entries_.size(), false);
  std::vector<std::uint32_t> todo{entries_[0].child};
  while (!todo.empty()) {
    std::uint32_t i = todo.back();
    todo.pop_back();
    if (i == kNoStream || i >= entries_.size() || seen[i]) continue;
    seen[i] = true;
    if (entries_[i].type == 2) out.emplace_back(entries_[i].name, static_cast<int>(i));
    todo.push_back(entries_[i].left);
    todo.push_back(entries_[i].right);
  }
  return out;
}

const std::uint8_t* CompoundFile::contiguousStream(int index) const {
  const Entry& e = entries_.at(static_cast<std::size_t>(index));
  if (inMini(e, index) || e.size > image_.size()) return nullptr;
  std::vector<std::uint32_t> c = chain(e.start, fat_, sectorCount_);
  if (c.empty() || c.size() * static_cast<std::size_t>(sectorSize_) < e.size) return nullptr;
  for (std::size_t i = 1; i < c.size(); ++i)
    if (c[i] != c[0] + i) return nullptr;
  return image_.data() + (static_cast<std::size_t>(c[0]) + 1) * sectorSize_;
}

Bytes CompoundFile::readStream(int index) const {
  const Entry& e = entries_.at(static_cast<std::size_t>(index));
  if (e.size > image_.size()) fail("stream larger than the file");
  const std::size_t size = static_cast<std::size_t>(e.size);
  Bytes out;
  out.reserve(size);
  if (inMini(e, index)) {
    std::vector<std::uint32_t> c = chain(e.start, miniFat_, static_cast<std::uint32_t>(miniFat_.size()));
    if (c.size() * kMini < size) fail("stream shorter than its size");
    for (std::size_t i = 0; i * kMini < size; ++i) {
      const std::uint64_t off = static_cast<std::uint64_t>(c[i]) * kMini;
      const std::uint64_t sec = off / sectorSize_;
      if (sec >= miniContainer_.size() || off + kMini > entries_[0].size) fail("mini sector outside the mini stream");
      const std::uint8_t* p = image_.data() + (static_cast<std::size_t>(miniContainer_[sec]) + 1) * sectorSize_ +
                              off % sectorSize_;
      out.insert(out.end(), p, p + std::min<std::size_t>(kMini, size - i * kMini));
    }
  } else {
    std::vector<std::uint32_t> c = chain(e.start, fat_, sectorCount_);
    if (c.size() * static_cast<std::size_t>(sectorSize_) < size) fail("stream shorter than its size");
    for (std::size_t i = 0; i * sectorSize_ < size; ++i) {
      const std::uint8_t* p = image_.data() + (static_cast<std::size_t>(c[i]) + 1) * sectorSize_;
      out.insert(out.end(), p, p + std::min<std::size_t>(sectorSize_, size - i * sectorSize_));
    }
  }
  return out;
}

void CompoundFile::checkExclusive(int index) const {
  // Every sector (and mini sector) of the stream must belong to it alone: writing into a sector
  // that a crafted or damaged file shares with another structure would damage that one too.
  // Every other stream's chain must be whole: sectors appended for the workbook could otherwise
  // complete a chain that runs past the end of the file.
  const Entry& e = entries_.at(static_cast<std::size_t>(index));
  std::vector<std::uint8_t> regular(sectorCount_, 0), mini(miniFat_.size(), 0);
  auto mark = [&](std::vector<std::uint8_t>& owner, const std::vector<std::uint32_t>& sectors, std::uint8_t who) {
    for (std::uint32_t s : sectors) {
      if (s >= owner.size()) continue;
      if (owner[s] && owner[s] != who) throw WorkbookError("Cannot write this workbook: its file structure is damaged (sectors used twice).");
      owner[s] = who;
    }
  };
  auto chainOf = [&](const Entry& o, int i) {
    try {
      return inMini(o, i) ? chain(o.start, miniFat_, static_cast<std::uint32_t>(miniFat_.size())) : chain(o.start, fat_, sectorCount_);
    } catch (const WorkbookError&) {
      throw WorkbookError("Cannot write this workbook: its file structure is damaged (a broken sector chain).");
    }
  };
  mark(inMini(e, index) ? mini : regular, chainOf(e, index), 1);
  // The mini stream's own sectors are written too: they may not be shared with the tables either.
  for (const auto* list : {&fatSectors_, &difatSectors_, &dirSectors_, &miniFatSectors_, &miniContainer_})
    mark(regular, *list, list == &miniContainer_ ? 3 : 2);
  for (const std::uint32_t i : reachableEntries()) {
    const Entry& o = entries_[i];
    if (static_cast<int>(i) == index || o.type != 2 || o.size == 0) continue;  // empty: no sectors
    const bool small = inMini(o, static_cast<int>(i));
    mark(small ? mini : regular, chainOf(o, static_cast<int>(i)), 4);
  }
}

Bytes CompoundFile::replaceStream(int index, const Bytes& data, Bytes scratch) const {
  checkExclusive(index);
  const Entry& e = entries_.at(static_cast<std::size_t>(index));
  const std::uint32_t ss = sectorSize_;
  const std::uint32_t perSector = ss / 4;
  const std::size_t perDifat = perSector - 1;
  Bytes img = std::move(scratch);
  img.assign(image_.begin(), image_.end());
  std::vector<std::uint32_t> fat = fat_;
  std::vector<std::uint32_t> fatSecs = fatSectors_;
  std::vector<std::uint32_t> difSecs = difatSectors_;
  std::vector<std::uint32_t> miniFat = miniFat_;
  std::uint32_t count = sectorCount_;
  if (data.size() > kMaxImage) throw WorkbookError("The workbook would grow past 256 MB.");
  auto sector = [&](std::uint32_t s) { return img.data() + (static_cast<std::size_t>(s) + 1) * ss; };
  auto appendSector = [&]() {
    std::uint32_t s = count++;
    img.resize((static_cast<std::size_t>(count) + 1) * ss, 0);
    return s;
  };
  // A new sector at the end of the file; the FAT (and DIFAT) grow to cover it.
  auto allocate = [&]() {
    std::uint32_t s = appendSector();
    while (fat.size() < count) {
      fatSecs.push_back(appendSector());
      fat.resize(fat.size() + perSector, kFree);
      if (fatSecs.size() > kHeaderDifat + difSecs.size() * perDifat) difSecs.push_back(appendSector());
    }
    fat[s] = kEnd;
    return s;
  };
  auto writeRegular = [&](const std::vector<std::uint32_t>& old) {
    const std::size_t need = (data.size() + ss - 1) / ss;
    std::vector<std::uint32_t> c(old.begin(), old.begin() + static_cast<std::ptrdiff_t>(std::min(need, old.size())));
    while (c.size() < need) c.push_back(allocate());
    for (std::size_t i = 0; i < need; ++i) {
      fat[c[i]] = i + 1 < need ? c[i + 1] : kEnd;
      std::uint8_t* p = sector(c[i]);
      const std::size_t n = std::min<std::size_t>(ss, data.size() - i * ss);
      std::copy_n(data.data() + i * ss, n, p);
      std::fill(p + n, p + ss, 0);
    }
    for (std::size_t i = need; i < old.size(); ++i) {
      fat[old[i]] = kFree;
      std::fill(sector(old[i]), sector(old[i]) + ss, 0);
    }
    return need ? c[0] : kEnd;
  };

  // The mini stream: its mini FAT sectors, its container sectors, the root entry's start and size.
  std::vector<std::uint32_t> miniFatSecs = miniFatSectors_;
  std::vector<std::uint32_t> container = miniContainer_;
  std::uint64_t rootSize = entries_[0].size;
  std::uint32_t rootStart = entries_[0].start;

  std::uint32_t start;
  const bool oldMini = inMini(e, index);
  const bool newMini = data.size() < kCutoff;
  if (!oldMini && !newMini) {
    start = writeRegular(chain(e.start, fat_, sectorCount_));
  } else if (oldMini && !newMini) {
    start = writeRegular({});
    for (std::uint32_t m : chain(e.start, miniFat_, static_cast<std::uint32_t>(miniFat_.size()))) miniFat[m] = kFree;
  } else if (!oldMini && newMini) {
    throw WorkbookError("Cannot save: the workbook stream would shrink below 4096 bytes.");
  } else {
    std::vector<std::uint32_t> c = chain(e.start, miniFat_, static_cast<std::uint32_t>(miniFat_.size()));
    const std::size_t need = (data.size() + kMini - 1) / kMini;
    // Room for growth: free mini sectors inside the mini stream's current size.
    for (std::uint32_t m = 0; c.size() < need && m < miniFat.size(); ++m) {
      if (miniFat[m] == kFree && (static_cast<std::uint64_t>(m) + 1) * kMini <= entries_[0].size &&
          std::find(c.begin(), c.end(), m) == c.end())
        c.push_back(m);
    }
    // Otherwise the mini stream grows at its end: more mini FAT and more container sectors.
    std::uint32_t nextMini = static_cast<std::uint32_t>((rootSize + kMini - 1) / kMini);
    while (c.size() < need) {
      const std::uint32_t m = nextMini++;
      while (miniFat.size() <= m) {
        const std::uint32_t s = allocate();
        if (miniFatSecs.empty())
          wr32(img.data() + 60, s);
        else
          fat[miniFatSecs.back()] = s;
        miniFatSecs.push_back(s);
        miniFat.resize(miniFat.size() + perSector, kFree);
      }
      while ((static_cast<std::uint64_t>(m) + 1) * kMini > static_cast<std::uint64_t>(container.size()) * ss) {
        const std::uint32_t s = allocate();
        if (container.empty())
          rootStart = s;
        else
          fat[container.back()] = s;
        container.push_back(s);
      }
      rootSize = (static_cast<std::uint64_t>(m) + 1) * kMini;
      c.push_back(m);
    }
    for (std::size_t i = 0; i < c.size(); ++i) {
      miniFat[c[i]] = i < need ? (i + 1 < need ? c[i + 1] : kEnd) : kFree;
      const std::uint64_t off = static_cast<std::uint64_t>(c[i]) * kMini;
      std::uint8_t* p = sector(container.at(off / ss)) + off % ss;
      const std::size_t n = i < need ? std::min<std::size_t>(kMini, data.size() - i * kMini) : 0;
      if (n) std::copy_n(data.data() + i * kMini, n, p);
      std::fill(p + n, p + kMini, 0);
    }
    start = need ? c[0] : kEnd;
  }
  if (count >= 0xFFFFFFF0u) throw WorkbookError("The workbook would grow too large.");

  // FAT and DIFAT: mark their own sectors, then write back every table sector.
  for (std::uint32_t s : fatSecs) fat[s] = kFatSect;
  for (std::uint32_t s : difSecs) fat[s] = kDifSect;
  for (std::size_t i = 0; i < fatSecs.size(); ++i)
    for (std::uint32_t k = 0; k < perSector; ++k) wr32(sector(fatSecs[i]) + 4 * k, fat[i * perSector + k]);
  for (std::size_t i = 0; i < miniFatSecs.size(); ++i)
    for (std::uint32_t k = 0; k < perSector; ++k) {
      const std::size_t j = i * perSector + k;
      if (j < miniFat.size()) wr32(sector(miniFatSecs[i]) + 4 * k, miniFat[j]);
    }
  const std::uint32_t perDir = ss / 128;
  if (miniFatSecs.size() != miniFatSectors_.size()) wr32(img.data() + 64, static_cast<std::uint32_t>(miniFatSecs.size()));
  if (rootSize != entries_[0].size || rootStart != entries_[0].start) {
    std::uint8_t* root = sector(dirSectors_[0]);
    wr32(root + 116, rootStart);
    if (version_ == 3)
      wr32(root + 120, static_cast<std::uint32_t>(rootSize));
    else
      wr64(root + 120, rootSize);
  }
  if (fatSecs.size() != fatSectors_.size()) {
    std::uint8_t* h = img.data();
    wr32(h + 44, static_cast<std::uint32_t>(fatSecs.size()));
    for (std::size_t i = 0; i < kHeaderDifat; ++i) wr32(h + 76 + 4 * i, i < fatSecs.size() ? fatSecs[i] : kFree);
    for (std::size_t j = 0; j < difSecs.size(); ++j) {
      std::uint8_t* p = sector(difSecs[j]);
      for (std::size_t k = 0; k < perDifat; ++k) {
        const std::size_t f = kHeaderDifat + j * perDifat + k;
        wr32(p + 4 * k, f < fatSecs.size() ? fatSecs[f] : kFree);
      }
      wr32(p + 4 * perDifat, j + 1 < difSecs.size() ? difSecs[j + 1] : kEnd);
    }
    if (difSecs.size() != difatSectors_.size()) {
      wr32(h + 68, difSecs.empty() ? kEnd : difSecs[0]);
      wr32(h + 72, static_cast<std::uint32_t>(difSecs.size()));
    }
  }
  // The stream's directory entry: start sector and size only.
  std::uint8_t* de = sector(dirSectors_[static_cast<std::size_t>(index) / perDir]) + (static_cast<std::size_t>(index) % perDir) * 128;
  wr32(de + 116, start);
  if (version_ == 3)
    wr32(de + 120, static_cast<std::uint32_t>(data.size()));
  else
    wr64(de + 120, data.size());
  return img;
}

Bytes CompoundFile::build(const std::vector<std::pair<std::u16string, Bytes>>& streams, int sectorShift) {
  const std::uint32_t ss = 1u << sectorShift;
  const std::uint32_t perSector = ss / 4;
  // Mini stream: every small stream padded to 64 bytes.
  Bytes container;
  std::vector<std::uint32_t> miniFat;
  std::vector<std::uint32_t> miniStart(streams.size(), kEnd);
  for (std::size_t i = 0; i < streams.size(); ++i) {
    const Bytes& d = streams[i].second;
    if (d.size() >= kCutoff || d.empty()) continue;
    std::uint32_t first = static_cast<std::uint32_t>(miniFat.size());
    std::size_t n = (d.size() + kMini - 1) / kMini;
    for (std::size_t k = 0; k < n; ++k) miniFat.push_back(k + 1 < n ? first + static_cast<std::uint32_t>(k) + 1 : kEnd);
    miniStart[i] = first;
    container.insert(container.end(), d.begin(), d.end());
    container.resize(miniFat.size() * kMini, 0);
  }
  auto sectorsFor = [&](std::size_t bytes) { return static_cast<std::uint32_t>((bytes + ss - 1) / ss); };
  const std::uint32_t dirCount = sectorsFor((streams.size() + 1) * 128);
  const std::uint32_t miniFatCount = sectorsFor(miniFat.size() * 4);
  const std::uint32_t containerCount = sectorsFor(container.size());
  std::uint32_t total = dirCount + miniFatCount + containerCount;
  for (const auto& s : streams)
    if (s.second.size() >= kCutoff) total += sectorsFor(s.second.size());
  std::uint32_t fatCount = 1;
  while (static_cast<std::uint64_t>(fatCount) * perSector < total + fatCount) ++fatCount;
  if (fatCount > kHeaderDifat) throw WorkbookError("Workbook too large to create.");
  const std::uint32_t count = fatCount + total;
  Bytes img((static_cast<std::size_t>(count) + 1) * ss, 0);
  std::vector<std::uint32_t> fat(static_cast<std::size_t>(fatCount) * perSector, kFree);
  for (std::uint32_t i = 0; i < fatCount; ++i) fat[i] = kFatSect;
  std::uint32_t next = fatCount;
  auto place = [&](const std::uint8_t* p, std::size_t n, std::uint32_t sectors) {
    if (sectors == 0) return kEnd;
    std::uint32_t first = next;
    for (std::uint32_t k = 0; k < sectors; ++k) fat[next + k] = k + 1 < sectors ? next + k + 1 : kEnd;
    if (n) std::copy_n(p, n, img.data() + (static_cast<std::size_t>(first) + 1) * ss);
    next += sectors;
    return first;
  };
  // Directory: root, then the streams as a balanced tree under it.
  Bytes dir(static_cast<std::size_t>(dirCount) * ss, 0);
  std::vector<std::size_t> order(streams.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return nameLess(streams[a].first, streams[b].first); });
  std::vector<std::uint32_t> left(streams.size() + 1, kNoStream), right(streams.size() + 1, kNoStream);
  std::function<std::uint32_t(std::size_t, std::size_t)> tree = [&](std::size_t lo, std::size_t hi) -> std::uint32_t {
    if (lo >= hi) return kNoStream;
    std::size_t mid = (lo + hi) / 2;
    std::uint32_t node = static_cast<std::uint32_t>(order[mid] + 1);
    left[node] = tree(lo, mid);
    right[node] = tree(mid + 1, hi);
    return node;
  };
  const std::uint32_t top = tree(0, order.size());
  const std::uint32_t dirStart = place(nullptr, 0, dirCount);
  const std::uint32_t miniFatStart = place(nullptr, 0, miniFatCount);
  const std::uint32_t containerStart = place(container.data(), container.size(), containerCount);
  auto writeEntry = [&](std::size_t i, const std::u16string& name, std::uint8_t type, std::uint32_t child,
                        std::uint32_t start, std::uint64_t size) {
    std::uint8_t* p = dir.data() + i * 128;
    for (std::size_t k = 0; k < name.size() && k < 31; ++k) wr16(p + 2 * k, name[k]);
    wr16(p + 64, static_cast<std::uint16_t>((std::min<std::size_t>(name.size(), 31) + 1) * 2));
    p[66] = type;
    p[67] = 1;
    wr32(p + 68, left[i]);
    wr32(p + 72, right[i]);
    wr32(p + 76, child);
    wr32(p + 116, start);
    wr64(p + 120, size);
  };
  left[0] = right[0] = kNoStream;
  writeEntry(0, u"Root Entry", 5, top, containerStart, container.size());
  for (std::size_t i = 0; i < streams.size(); ++i) {
    const Bytes& d = streams[i].second;
    std::uint32_t start = d.size() >= kCutoff ? place(d.data(), d.size(), sectorsFor(d.size())) : (d.empty() ? kEnd : miniStart[i]);
    writeEntry(i + 1, streams[i].first, 2, kNoStream, start, d.size());
  }
  for (std::size_t i = (streams.size() + 1); i < dir.size() / 128; ++i) {
    std::uint8_t* p = dir.data() + i * 128;
    wr32(p + 68, kNoStream);
    wr32(p + 72, kNoStream);
    wr32(p + 76, kNoStream);
  }
  std::copy(dir.begin(), dir.end(), img.data() + (static_cast<std::size_t>(dirStart) + 1) * ss);
  for (std::size_t k = 0; k < miniFatCount * perSector; ++k)
    wr32(img.data() + (static_cast<std::size_t>(miniFatStart) + 1) * ss + 4 * k, k < miniFat.size() ? miniFat[k] : kFree);
  for (std::size_t k = 0; k < fat.size(); ++k) wr32(img.data() + (k / perSector + 1) * ss + 4 * (k % perSector), fat[k]);
  std::uint8_t* h = img.data();
  std::copy(kSignature, kSignature + 8, h);
  wr16(h + 24, 0x3E);
  wr16(h + 26, sectorShift == 12 ? 4 : 3);
  wr16(h + 28, 0xFFFE);
  wr16(h + 30, static_cast<std::uint16_t>(sectorShift));
  wr16(h + 32, 6);
  wr32(h + 40, sectorShift == 12 ? dirCount : 0);
  wr32(h + 44, fatCount);
  wr32(h + 48, dirStart);
  wr32(h + 56, kCutoff);
  wr32(h + 60, miniFatCount ? miniFatStart : kEnd);
  wr32(h + 64, miniFatCount);
  wr32(h + 68, kEnd);
  wr32(h + 72, 0);
  for (std::size_t i = 0; i < kHeaderDifat; ++i) wr32(h + 76 + 4 * i, i < fatCount ? static_cast<std::uint32_t>(i) : kFree);
  return img;
}

}  // namespace velquor::roster::detail
