// Little-endian access to byte buffers, with the bounds checks done by the callers.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace velquor::roster::detail {

using Bytes = std::vector<std::uint8_t>;

// Read-only bytes: a view into a buffer that outlives it, or a buffer of its own.
class ByteView {
 public:
  ByteView() = default;
  void view(const std::uint8_t* p, std::size_t n) {
    owned_.clear();
    p_ = p;
    n_ = n;
  }
  void own(Bytes b) {
    owned_ = std::move(b);
    p_ = owned_.data();
    n_ = owned_.size();
  }
  const std::uint8_t* data() const { return p_; }
  std::size_t size() const { return n_; }
  const std::uint8_t* begin() const { return p_; }
  const std::uint8_t* end() const { return p_ + n_; }

 private:
  Bytes owned_;
  const std::uint8_t* p_ = nullptr;
  std::size_t n_ = 0;
};

inline std::uint16_t rd16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t rd32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t rd64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(rd32(p)) | (static_cast<std::uint64_t>(rd32(p + 4)) << 32);
}
inline double rdDouble(const std::uint8_t* p) {
  std::uint64_t v = rd64(p);
  double d;
  std::memcpy(&d, &v, sizeof d);
  return d;
}
inline void wr16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void wr32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void wr64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void put16(Bytes& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void putDouble(Bytes& b, double d) {
  std::uint64_t v;
  std::memcpy(&v, &d, sizeof v);
  for (int i = 0; i < 8; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

}  // namespace velquor::roster::detail
