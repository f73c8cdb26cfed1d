// The input of the .xlsx fuzzers. An input starting like a ZIP archive is taken as it is (the
// fixtures seed the archive level); any other input is the text of the parts of a small
// package, separated by NUL bytes: the first worksheet, the shared strings, the styles and the
// workbook. Parts the input leaves out come from a fixed two-sheet workbook. Packing them with
// libzip lets the mutations reach the XML instead of dying on a checksum.
#pragma once

#include <zip.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace xlsxfuzz {

inline const char* kTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
    "<Override PartName=\"/xl/calcChain.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml\"/>"
    "</Types>";
inline const char* kRootRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"xl/workbook.xml\"/>"
    "</Relationships>";
inline const char* kWorkbookRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" Target=\"/xl/worksheets/sheet2.xml\"/>"
    "<Relationship Id=\"rId3\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"
    "<Relationship Id=\"rId4\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" Target=\"sharedStrings.xml\"/>"
    "<Relationship Id=\"rId5\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/calcChain\" Target=\"calcChain.xml\"/>"
    "</Relationships>";
inline const char* kWorkbook =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><workbookPr date1904=\"0\"/><sheets>"
    "<sheet name=\"一班\" sheetId=\"1\" r:id=\"rId1\"/><sheet name=\"二班\" sheetId=\"2\" state=\"hidden\" r:id=\"rId2\"/></sheets></workbook>";
inline const char* kStyles =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"mm&quot;月&quot;dd\"/></numFmts>"
    "<cellXfs count=\"3\"><xf numFmtId=\"0\"/><xf numFmtId=\"164\"/><xf numFmtId=\"14\"/></cellXfs></styleSheet>";
inline const char* kStrings =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"3\" uniqueCount=\"3\">"
    "<si><t>学号</t></si><si><r><t>张</t></r><r><rPr><b/></rPr><t>三</t></r><rPh><t>zhang</t></rPh></si><si><t xml:space=\"preserve\"> </t></si></sst>";
inline const char* kSheet =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<dimension ref=\"A1:F4\"/><cols><col min=\"5\" max=\"5\" width=\"9\" style=\"2\"/></cols><sheetData>"
    "<row r=\"2\" spans=\"1:6\"><c r=\"A2\" t=\"s\"><v>0</v></c><c r=\"F2\" s=\"1\"><v>46361</v></c></row>"
    "<row r=\"3\" spans=\"1:6\"><c r=\"A3\"><v>1</v></c><c r=\"B3\" t=\"s\"><v>1</v></c><c r=\"D3\"><f>A3+1</f><v>2</v></c></row>"
    "<row r=\"4\" s=\"2\" customFormat=\"1\"><c><v>2</v></c><c t=\"inlineStr\"><is><t>李四</t></is></c><c t=\"str\"><f>B4</f><v>x</v></c></row>"
    "<row r=\"6\"/></sheetData></worksheet>";
inline const char* kCalcChain =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?><calcChain xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<c r=\"D3\" i=\"1\"/><c r=\"C4\"/></calcChain>";

inline std::vector<std::uint8_t> package(const std::vector<std::pair<std::string, std::string>>& parts) {
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(nullptr, 0, 0, &err);
  zip_t* za = zip_open_from_source(src, ZIP_TRUNCATE, &err);
  zip_error_fini(&err);
  std::vector<std::uint8_t> out;
  if (!za) {
    zip_source_free(src);
    return out;
  }
  zip_source_keep(src);
  for (const auto& [name, text] : parts) {
    const zip_int64_t i = zip_file_add(za, name.c_str(), zip_source_buffer(za, text.data(), text.size(), 0), ZIP_FL_ENC_UTF_8);
    if (i >= 0) zip_set_file_compression(za, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0);
  }
  zip_stat_t st;
  if (zip_close(za) == 0 && zip_source_stat(src, &st) == 0 && zip_source_open(src) == 0) {
    out.resize(static_cast<std::size_t>(st.size));
    if (zip_source_read(src, out.data(), out.size()) != static_cast<zip_int64_t>(out.size())) out.clear();
    zip_source_close(src);
  } else {
    zip_discard(za);
  }
  zip_source_free(src);
  return out;
}

inline std::vector<std::uint8_t> input(const std::uint8_t* data, std::size_t size) {
  if (size >= 2 && data[0] == 'P' && data[1] == 'K') return std::vector<std::uint8_t>(data, data + size);
  std::string given[4];
  bool present[4] = {false, false, false, false};
  std::size_t k = 0, start = 0;
  for (std::size_t i = 0; i <= size && k < 4; ++i) {
    if (i == size || data[i] == 0) {
      given[k].assign(reinterpret_cast<const char*>(data) + start, i - start);
      present[k++] = true;
      start = i + 1;
    }
  }
  return package({{"[Content_Types].xml", kTypes},
                  {"_rels/.rels", kRootRels},
                  {"xl/workbook.xml", present[3] ? given[3] : kWorkbook},
                  {"xl/_rels/workbook.xml.rels", kWorkbookRels},
                  {"xl/styles.xml", present[2] ? given[2] : kStyles},
                  {"xl/sharedStrings.xml", present[1] ? given[1] : kStrings},
                  {"xl/worksheets/sheet1.xml", present[0] ? given[0] : kSheet},
                  {"xl/worksheets/sheet2.xml", kSheet},
                  {"xl/calcChain.xml", kCalcChain}});
}

}  // namespace xlsxfuzz
