// Small text files the program keeps for itself (pending writes, absences): one record a
// line, fields separated by tabs, written whole through replaceFile() ("core/replacefile.h"),
// so a crash leaves the old file or the new one.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquor {

// A field with backslash, tab, CR and LF escaped, and the way back for a whole line.
std::string escapedField(const std::string& text);
std::vector<std::string> splitFields(std::string_view line);

// The complete lines of a text (a last line without its line feed is dropped: a write
// cut short never counts).
std::vector<std::string_view> completeLines(std::string_view text);

// Empty when the file cannot be read.
std::optional<std::string> readTextFile(const std::filesystem::path& path);

// Replaces the file's content (creating its folder); an empty content removes the file.
// Throws std::runtime_error.
void replaceTextFile(const std::filesystem::path& path, const std::string& content);

}  // namespace velquor
