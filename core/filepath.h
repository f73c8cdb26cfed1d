// File names between the program's UTF-8 texts and the file system. A std::filesystem::path
// made from a plain std::string reads it in the C library's code page on Windows, not as
// UTF-8, so a Chinese folder or roster name would not be found; these convert explicitly.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velquor {

inline std::filesystem::path pathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace velquor
