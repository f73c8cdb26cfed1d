// A new workbook written from a table, such as an export of the class's statistics: an empty
// .xlsx package whose one sheet is then filled and saved through the workbook component's own
// editing and saving path, so it reads back exactly as the component writes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velquor::roster {

// A cell of the table: a whole number in the 16-bit range is stored as a number, any other
// text as text (an empty text leaves the cell empty).
using TableRows = std::vector<std::vector<std::string>>;

// The bytes of an .xlsx package with one empty worksheet named `sheetName`.
std::vector<std::uint8_t> emptyXlsx(const std::string& sheetName);

// Writes `rows` (row 1 first) into a new .xlsx file at `path`. The file is made beside it and
// takes its place only when complete, so a failure leaves whatever was at `path` untouched.
// Throws WorkbookError.
void writeNewXlsx(const std::filesystem::path& path, const std::string& sheetName, const TableRows& rows);

}  // namespace velquor::roster
