// New workbooks for tests and tools: a minimal BIFF8 skeleton (fonts, formats, sheets without
// cells), filled through the same editing path as real files.
#include <charconv>

#include "roster/xls/xlsbook.h"

namespace velquor::roster::detail {

namespace {

void rec(Bytes& out, std::uint16_t type, const Bytes& payload) {
  put16(out, type);
  put16(out, static_cast<std::uint16_t>(payload.size()));
  out.insert(out.end(), payload.begin(), payload.end());
}

Bytes bof(std::uint16_t kind) {
  Bytes p;
  put16(p, 0x0600);
  put16(p, kind);
  put16(p, 0x0DBB);
  put16(p, 0x07CC);
  put32(p, 0);
  put32(p, 0x06);
  return p;
}

Bytes hexBytes(const char* hex) {
  Bytes b;
  for (const char* p = hex; p[0] && p[1]; p += 2) {
    while (*p == ' ') ++p;
    unsigned v = 0;
    std::from_chars(p, p + 2, v, 16);
    b.push_back(static_cast<std::uint8_t>(v));
  }
  return b;
}

}  // namespace

Bytes createXls(const std::vector<std::pair<std::string, Workbook::SheetRows>>& sheets, int sectorShift) {
  if (sheets.empty()) throw WorkbookError("A workbook needs at least one sheet.");
  if (sectorShift != 9 && sectorShift != 12) throw WorkbookError("Unsupported sector size.");
  Bytes g;
  rec(g, kBof, bof(0x0005));
  { Bytes p; put16(p, 1200); rec(g, kCodePage, p); }
  rec(g, kWindow1, hexBytes("000000004000200038000000000001005802"));
  for (int i = 0; i < 5; ++i) {
    // Arial 10 pt, regular.
    Bytes p = hexBytes("C80000007FFF90010000000000000000");
    p.push_back(5);
    p.push_back(0);
    for (char c : std::string("Arial")) p.push_back(static_cast<std::uint8_t>(c));
    rec(g, kFont, p);
  }
  const Bytes styleXf = hexBytes("00000000F5FF200000000000000000000000C020");
  const Bytes cellXf = hexBytes("000000000100200000000000000000000000C020");
  for (int i = 0; i < 15; ++i) rec(g, kXf, styleXf);
  rec(g, kXf, cellXf);
  rec(g, kStyle, hexBytes("008000FF"));
  std::vector<std::size_t> boundAt;
  for (const auto& [name, rows] : sheets) {
    std::u16string n = utf8ToUtf16(name);
    if (n.empty() || n.size() > 31) throw WorkbookError("A sheet name must have 1 to 31 characters.");
    Bytes p;
    put32(p, 0);
    p.push_back(0);
    p.push_back(0);
    p.push_back(static_cast<std::uint8_t>(n.size()));
    p.push_back(1);
    for (char16_t c : n) put16(p, c);
    boundAt.push_back(g.size() + 4);
    rec(g, kBoundSheet, p);
  }
  rec(g, kSst, Bytes(8, 0));
  { Bytes p; put16(p, 8); rec(g, kExtSst, p); }
  rec(g, kEof, {});
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    wr32(g.data() + boundAt[i], static_cast<std::uint32_t>(g.size()));
    rec(g, kBof, bof(0x0010));
    rec(g, kIndex, Bytes(16, 0));
    { Bytes p; put16(p, 8); rec(g, kDefColWidth, p); }
    rec(g, kDimensions, Bytes(14, 0));
    Bytes w = hexBytes("B600000000004000000000000000000000000000");
    w.resize(18);
    if (i == 0) w[1] = 0x06;
    rec(g, kWindow2, w);
    rec(g, kEof, {});
  }
  XlsBook wb;
  wb.parse(CompoundFile::build({{u"Workbook", g}}, sectorShift));
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    const Workbook::SheetRows& rows = sheets[i].second;
    for (std::size_t r = 0; r < rows.size(); ++r) {
      for (std::size_t c = 0; c < rows[r].size(); ++c) {
        const std::string& v = rows[r][c];
        if (v.empty()) continue;
        int n = 0;
        auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
        const int sheet = static_cast<int>(i) + 1, row = static_cast<int>(r) + 1, col = static_cast<int>(c) + 1;
        if (ec == std::errc() && end == v.data() + v.size() && n >= -32768 && n <= 32767 && (v[0] != '0' || v.size() == 1))
          wb.setInteger(sheet, row, col, static_cast<std::int16_t>(n));
        else
          wb.setText(sheet, row, col, v);
      }
    }
  }
  return CompoundFile::build({{u"Workbook", wb.serializeStream()}}, sectorShift);
}

}  // namespace velquor::roster::detail
