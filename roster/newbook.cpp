#include "roster/newbook.h"

#include <zip.h>

#include <charconv>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <system_error>

#include "roster/xlsx/xlsx_zip.h"
#include "roster/xlsx/xml.h"
#include "roster/workbook.h"

namespace velquor::roster {

namespace {

const char* const kContentTypes =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
    R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
    R"(<Default Extension="xml" ContentType="application/xml"/>)"
    R"(<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
    R"(<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>)"
    R"(<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>)"
    R"(</Types>)";

const char* const kRootRels =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/>)"
    R"(</Relationships>)";

const char* const kWorkbookRels =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
    R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>)"
    R"(<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>)"
    R"(</Relationships>)";

const char* const kStyles =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">)"
    R"(<fonts count="1"><font><sz val="11"/><name val="Calibri"/></font></fonts>)"
    R"(<fills count="2"><fill><patternFill patternType="none"/></fill><fill><patternFill patternType="gray125"/></fill></fills>)"
    R"(<borders count="1"><border><left/><right/><top/><bottom/><diagonal/></border></borders>)"
    R"(<cellStyleXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0"/></cellStyleXfs>)"
    R"(<cellXfs count="1"><xf numFmtId="0" fontId="0" fillId="0" borderId="0" xfId="0"/></cellXfs>)"
    R"(<cellStyles count="1"><cellStyle name="Normal" xfId="0" builtinId="0"/></cellStyles>)"
    R"(</styleSheet>)";

const char* const kSheet =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\n"
    R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
    R"(<dimension ref="A1"/><sheetData></sheetData></worksheet>)";

std::string workbookXml(const std::string& sheetName) {
  std::string out =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
      "\n"
      R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
      R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
      R"(<sheets><sheet name=")";
  detail::appendEscaped(out, sheetName);
  out += R"(" sheetId="1" r:id="rId1"/></sheets></workbook>)";
  return out;
}

[[noreturn]] void cannot(const std::string& what, ErrorKind kind = ErrorKind::Other) {
  throw WorkbookError("Cannot write the new workbook (" + what + ").", kind);
}

// A whole number as create() stores one: no sign but '-', no leading zero.
bool asInteger(const std::string& v, std::int16_t& n) {
  int value = 0;
  auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
  if (ec != std::errc() || end != v.data() + v.size() || value < -32768 || value > 32767) return false;
  if ((v[0] == '0' && v.size() > 1) || (v[0] == '-' && (v.size() == 1 || v[1] == '0'))) return false;
  n = static_cast<std::int16_t>(value);
  return true;
}

ErrorKind kindOf(const std::error_code& ec) {
  if (ec == std::errc::no_space_on_device) return ErrorKind::DiskFull;
  if (ec == std::errc::permission_denied || ec == std::errc::read_only_file_system) return ErrorKind::NoPermission;
  if (ec == std::errc::no_such_file_or_directory) return ErrorKind::NotFound;
  return ErrorKind::Other;
}

}  // namespace

std::vector<std::uint8_t> emptyXlsx(const std::string& sheetName) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* src = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (!src) cannot(zip_error_strerror(&error));
  zip_t* za = zip_open_from_source(src, ZIP_TRUNCATE, &error);
  if (!za) {
    zip_source_free(src);
    cannot(zip_error_strerror(&error));
  }
  zip_source_keep(src);  // read back after zip_close
  const std::string workbook = workbookXml(sheetName);
  const std::pair<const char*, std::string_view> parts[] = {
      {"[Content_Types].xml", kContentTypes}, {"_rels/.rels", kRootRels},
      {"xl/workbook.xml", workbook},          {"xl/_rels/workbook.xml.rels", kWorkbookRels},
      {"xl/styles.xml", kStyles},             {"xl/worksheets/sheet1.xml", kSheet},
  };
  for (const auto& [name, text] : parts) {
    zip_source_t* part = zip_source_buffer(za, text.data(), text.size(), 0);
    if (!part || zip_file_add(za, name, part, ZIP_FL_ENC_UTF_8) < 0) {
      if (part) zip_source_free(part);
      zip_discard(za);
      zip_source_free(src);
      cannot(name);
    }
  }
  if (zip_close(za) != 0) {
    zip_discard(za);
    zip_source_free(src);
    cannot("closing the archive");
  }
  std::optional<std::vector<std::uint8_t>> out = detail::takeArchiveBytes(src);
  if (!out) cannot("reading the archive back");
  return std::move(*out);
}

void writeNewXlsx(const std::filesystem::path& path, const std::string& sheetName, const TableRows& rows) {
  Workbook book = Workbook::fromBytes(emptyXlsx(sheetName));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      const std::string& v = rows[r][c];
      if (v.empty()) continue;
      const int row = static_cast<int>(r) + 1, col = static_cast<int>(c) + 1;
      std::int16_t n = 0;
      if (asInteger(v, n))
        book.setInteger(1, row, col, n);
      else
        book.setText(1, row, col, v);
    }
  }
  const std::vector<std::uint8_t> image = book.serialize();

  // Beside the target, so the rename that puts it in place stays on one file system.
  std::random_device seed;
  std::filesystem::path name(".");
  name += path.filename();
  name += "." + std::to_string(seed() % 1000000) + ".tmp";
  const std::filesystem::path temp = path.parent_path() / name;
  if (std::filesystem::exists(temp)) cannot(temp.filename().string() + " exists");
  {
    errno = 0;
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (out) out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    if (out) out.close();
    if (!out) {
      const int e = errno;
      std::error_code ignored;
      std::filesystem::remove(temp, ignored);
      cannot(e ? std::strerror(e) : "writing " + temp.filename().string(),
             kindOf(std::error_code(e, std::generic_category())));
    }
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    cannot(ec.message(), kindOf(ec));
  }
}

}  // namespace velquor::roster
