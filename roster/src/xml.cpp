#include "roster/src/xml.h"

#include <strings.h>

#include <cstring>
#include <limits>

#include "roster/src/impl.h"
#include "roster/workbook.h"

namespace velquor::roster::detail {

namespace {
constexpr char kSep = '\x01';
}

XmlName splitName(const char* qname) {
  std::string_view q(qname);
  const std::size_t a = q.find(kSep);
  if (a == std::string_view::npos) return {{}, q, {}};
  const std::size_t b = q.find(kSep, a + 1);
  if (b == std::string_view::npos) return {q.substr(0, a), q.substr(a + 1), {}};
  return {q.substr(0, a), q.substr(a + 1, b - a - 1), q.substr(b + 1)};
}

bool isMainNs(std::string_view ns) {
  return ns == "http://schemas.openxmlformats.org/spreadsheetml/2006/main" ||
         ns == "http://purl.oclc.org/ooxml/spreadsheetml/main";
}

bool isRelNs(std::string_view ns) {
  return ns == "http://schemas.openxmlformats.org/officeDocument/2006/relationships" ||
         ns == "http://purl.oclc.org/ooxml/officeDocument/relationships";
}

const char* attribute(const char** attrs, std::string_view local, bool (*nsTest)(std::string_view)) {
  for (; attrs[0]; attrs += 2) {
    const XmlName n = splitName(attrs[0]);
    if (n.local != local) continue;
    if (nsTest ? nsTest(n.ns) : n.ns.empty()) return attrs[1];
  }
  return nullptr;
}

struct XmlCallbacks {
  static void start(void* self, const XML_Char* name, const XML_Char** attrs) {
    static_cast<XmlScanner*>(self)->start(splitName(name), attrs);
  }
  static void end(void* self, const XML_Char* name) { static_cast<XmlScanner*>(self)->end(splitName(name)); }
  static void text(void* self, const XML_Char* s, int len) { static_cast<XmlScanner*>(self)->text(s, len); }
  static void doctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) { refuse(self); }
  static void entity(void* self, const XML_Char*, int, const XML_Char*, int, const XML_Char*, const XML_Char*,
                     const XML_Char*, const XML_Char*) {
    refuse(self);
  }
  static void decl(void* self, const XML_Char*, const XML_Char* encoding, int) {
    if (encoding && strcasecmp(encoding, "UTF-8") != 0) static_cast<XmlScanner*>(self)->utf8_ = false;
  }
  static void refuse(void* self) {
    auto* s = static_cast<XmlScanner*>(self);
    if (!s->refused_) {
      s->refused_ = true;
      XML_StopParser(s->parser_, XML_FALSE);
    }
  }
};

void XmlScanner::stop(const std::string& why) {
  if (error_.empty() && !refused_) {
    error_ = why;
    XML_StopParser(parser_, XML_FALSE);
  }
}

void XmlScanner::run(std::string_view textIn, const std::string& part) {
  if (textIn.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()) ||
      textIn.size() >= std::numeric_limits<std::uint32_t>::max())
    throw WorkbookError("The workbook part " + part + " is too large.", ErrorKind::Unsupported);
  if (textIn.size() >= 2 && ((textIn[0] == '\xFF' && textIn[1] == '\xFE') || (textIn[0] == '\xFE' && textIn[1] == '\xFF')))
    utf8_ = false;
  parser_ = XML_ParserCreateNS(nullptr, kSep);
  if (!parser_) throw WorkbookError("Out of memory while reading the workbook.");
  struct Free {
    XML_Parser p;
    ~Free() { XML_ParserFree(p); }
  } guard{parser_};
  XML_SetReturnNSTriplet(parser_, 1);
  XML_SetUserData(parser_, this);
  XML_SetElementHandler(parser_, &XmlCallbacks::start, &XmlCallbacks::end);
  XML_SetCharacterDataHandler(parser_, &XmlCallbacks::text);
  XML_SetStartDoctypeDeclHandler(parser_, &XmlCallbacks::doctype);
  XML_SetEntityDeclHandler(parser_, &XmlCallbacks::entity);
  XML_SetXmlDeclHandler(parser_, &XmlCallbacks::decl);
  XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
  const bool ok = XML_Parse(parser_, textIn.data(), static_cast<int>(textIn.size()), XML_TRUE) == XML_STATUS_OK;
  if (refused_)
    throw WorkbookError("The workbook part " + part + " declares a DTD or entities; such files are refused.",
                        ErrorKind::Unsupported);
  if (!error_.empty()) throw WorkbookError("The file is not a readable workbook (" + part + ": " + error_ + ").", ErrorKind::Damaged);
  if (!ok)
    throw WorkbookError("The file is not a readable workbook (" + part + ": " + XML_ErrorString(XML_GetErrorCode(parser_)) +
                            " at line " + std::to_string(XML_GetCurrentLineNumber(parser_)) + ").",
                        ErrorKind::Damaged);
}

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "_xHHHH_" at s[i]: the code unit, or -1.
int escapeAt(std::string_view s, std::size_t i) {
  if (i + 7 > s.size() || s[i] != '_' || s[i + 1] != 'x' || s[i + 6] != '_') return -1;
  int v = 0;
  for (std::size_t k = 2; k < 6; ++k) {
    const int h = hexValue(s[i + k]);
    if (h < 0) return -1;
    v = v * 16 + h;
  }
  return v;
}

}  // namespace

std::string decodeEscapes(std::string s) {
  if (s.find("_x") == std::string::npos) return s;
  std::string out;
  out.reserve(s.size());
  std::u16string units;  // consecutive escapes: a surrogate pair takes two
  for (std::size_t i = 0; i < s.size();) {
    const int v = escapeAt(s, i);
    if (v >= 0) {
      units.push_back(static_cast<char16_t>(v));
      i += 7;
      continue;
    }
    out += utf16ToUtf8(units);
    units.clear();
    out.push_back(s[i++]);
  }
  return out + utf16ToUtf8(units);
}

void appendEscaped(std::string& out, std::string_view s) {
  static const char* hex = "0123456789ABCDEF";
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '"') {
      out += "&quot;";
    } else if (c == '\r') {
      out += "&#13;";
    } else if (c < 0x20 && c != '\t' && c != '\n') {
      out += "_x00";
      out.push_back(hex[c >> 4]);
      out.push_back(hex[c & 15]);
      out.push_back('_');
    } else {
      out.push_back(ch);
    }
  }
}

}  // namespace velquor::roster::detail
