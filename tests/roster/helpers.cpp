#include "tests/roster/helpers.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace rostertest {

using velquor::roster::Cell;
using velquor::roster::Workbook;

TempDir::TempDir() {
  std::random_device rd;
  for (;;) {
    path_ = fs::temp_directory_path() / ("velquor-roster-" + std::to_string(rd()));
    if (fs::create_directory(path_)) break;
  }
}
fs::path TempDir::operator/(const std::string& name) const { return path_ / utf8Path(name); }

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

fs::path dataDir() { return fs::path(VELQUOR_TEST_DATA); }

std::vector<std::uint8_t> readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Grid parseCsv(const std::string& text) {
  Grid g;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field.push_back('"');
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field.push_back(c);
      }
    } else if (c == '"') {
      quoted = true;
      any = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
      any = true;
    } else if (c == '\n' || c == '\r') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      row.push_back(field);
      g.push_back(row);
      row.clear();
      field.clear();
      any = false;
    } else {
      field.push_back(c);
      any = true;
    }
  }
  if (any || !field.empty()) {
    row.push_back(field);
    g.push_back(row);
  }
  return g;
}

Grid readCsv(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return parseCsv(ss.str());
}

bool haveProgram(const std::string& name) {
#ifdef _WIN32
  (void)name;
  return false;  // the spreadsheet programs run on the Linux side only
#else
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
#endif
}

std::map<std::string, Grid> gnumericSheets(const fs::path& xls, const fs::path& work) {
  std::map<std::string, Grid> out;
  fs::path dir = work / "gnumeric";
  fs::create_directories(dir);
  std::string cmd = "ssconvert -S -T Gnumeric_stf:stf_csv '" + xls.string() + "' '" + (dir / "s.%s.csv").string() + "' >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return out;
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string n = e.path().filename().string();
    out[n.substr(2, n.size() - 6)] = readCsv(e.path());
  }
  return out;
}

std::map<std::string, Grid> libreofficeSheets(const fs::path& xls, const fs::path& work) {
  std::map<std::string, Grid> out;
  fs::path dir = work / "libreoffice";
  fs::create_directories(dir);
  std::string cmd = "soffice -env:UserInstallation=file://" + (work / "lo-profile").string() +
                    " --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1' --outdir '" +
                    dir.string() + "' '" + xls.string() + "' >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return out;
  const std::string stem = xls.stem().string() + "-";
  for (const auto& e : fs::directory_iterator(dir)) {
    std::string n = e.path().stem().string();
    if (n.rfind(stem, 0) == 0) out[n.substr(stem.size())] = readCsv(e.path());
  }
  return out;
}

namespace {

std::vector<long> numbersIn(const std::string& s) {
  std::vector<long> v;
  for (std::size_t i = 0; i < s.size();) {
    if (std::isdigit(static_cast<unsigned char>(s[i]))) {
      long n = 0;
      while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) n = n * 10 + (s[i++] - '0');
      v.push_back(n);
    } else {
      ++i;
    }
  }
  return v;
}

bool agrees(const Workbook& wb, int sheet, int row, int col, const std::string& e, std::string& ours) {
  const Cell c = wb.cell(sheet, row, col);
  ours = c.toText();
  switch (c.kind) {
    case Cell::Kind::Empty:
      return e.empty();
    case Cell::Kind::Text:
    case Cell::Kind::Error:
      return c.text == e;
    case Cell::Kind::Boolean:
      return e == (c.number != 0 ? "TRUE" : "FALSE") || e == (c.number != 0 ? "1" : "0");
    case Cell::Kind::Number:
      break;
  }
  if (c.isDate) {
    // Programs print dates in their own order (2026/12/04, 12/04/2026): compare month and day.
    ours = wb.cellMonthDay(sheet, row, col);
    std::vector<long> n = numbersIn(e);
    if (n.size() < 3) return false;
    long m, d;
    if (n[0] >= 1000) {
      m = n[1];
      d = n[2];
    } else {
      m = n[0];
      d = n[1];
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02ld月%02ld", m, d);
    return ours == buf;
  }
  char* end = nullptr;
  const double v = std::strtod(e.c_str(), &end);
  if (e.empty() || *end != '\0') return false;
  return std::fabs(v - c.number) <= 1e-9 * std::max(1.0, std::fabs(c.number));
}

}  // namespace

std::vector<std::string> compareSheet(const Workbook& wb, int sheet, const Grid& expected) {
  std::vector<std::string> diffs;
  int rows = std::max<int>(static_cast<int>(expected.size()), wb.lastRow(sheet));
  int cols = wb.lastColumn(sheet);
  for (const auto& r : expected) cols = std::max<int>(cols, static_cast<int>(r.size()));
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= cols; ++c) {
      const std::string e = static_cast<std::size_t>(r) <= expected.size() && static_cast<std::size_t>(c) <= expected[static_cast<std::size_t>(r - 1)].size()
                                ? expected[static_cast<std::size_t>(r - 1)][static_cast<std::size_t>(c - 1)]
                                : std::string();
      std::string ours;
      if (!agrees(wb, sheet, r, c, e, ours))
        diffs.push_back(wb.sheetName(sheet) + " R" + std::to_string(r) + "C" + std::to_string(c) + ": program \"" + e +
                        "\", component \"" + ours + "\"");
    }
  }
  return diffs;
}

std::map<std::tuple<int, int, int>, std::string> snapshot(const Workbook& wb) {
  std::map<std::tuple<int, int, int>, std::string> m;
  for (int s = 1; s <= wb.sheetCount(); ++s) {
    const int rows = wb.lastRow(s), cols = wb.lastColumn(s);  // each walks the pending edits
    for (int r = 1; r <= rows; ++r)
      for (int c = 1; c <= cols; ++c) {
        Cell x = wb.cell(s, r, c);
        if (!x.empty()) m[{s, r, c}] = std::to_string(static_cast<int>(x.kind)) + (x.isDate ? "D:" : ":") + x.toText();
      }
  }
  return m;
}

}  // namespace rostertest
