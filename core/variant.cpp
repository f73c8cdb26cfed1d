#include "core/variant.h"

#include <cstdlib>

#include "core/numtext.h"

namespace velquor {

std::string Variant::toText() const {
  switch (kind) {
    case Kind::Empty:
      return {};
    case Kind::Text:
      return text;
    case Kind::Number:
      return plainDecimal(number);
  }
  return {};
}

bool Variant::isBlank() const {
  const std::string value = toText();
  return value.find_first_not_of(' ') == std::string::npos;
}

std::optional<double> Variant::toNumber() const {
  if (kind == Kind::Number) return number;
  if (kind != Kind::Text) return std::nullopt;
  const auto first = text.find_first_not_of(" \t");
  const auto last = text.find_last_not_of(" \t");
  if (first == std::string::npos) return std::nullopt;
  const std::string inner = text.substr(first, last - first + 1);
  if (inner.find_first_of("xXnNpP") != std::string::npos) return std::nullopt;  // no hex, inf, nan
  char* end = nullptr;
  const double value = std::strtod(inner.c_str(), &end);
  if (end != inner.c_str() + inner.size()) return std::nullopt;
  return value;
}

std::optional<int> Variant::toInteger() const {
  const std::optional<double> value = toNumber();
  if (!value) return std::nullopt;
  auto v = velquor::toInteger(*value);
  return v ? std::optional<int>(*v) : std::nullopt;
}

}  // namespace velquor
