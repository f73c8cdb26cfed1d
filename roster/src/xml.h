// A thin streaming layer over expat for the parts of an .xlsx package: namespace-aware element
// names, attribute lookup and the byte range of every element, so that a writer can splice
// the original text. Documents with a DTD or entity declarations are refused.
#pragma once

#include <expat.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace velquor::roster::detail {

// An element or attribute name as expat reports it with namespace triplets.
struct XmlName {
  std::string_view ns, local, prefix;
};
XmlName splitName(const char* qname);

// SpreadsheetML main namespace, transitional or strict.
bool isMainNs(std::string_view ns);
// The officeDocument relationships namespace (r:id), transitional or strict.
bool isRelNs(std::string_view ns);

// Value of the attribute `local` (no namespace, or `ns` matching `nsTest`), or null.
const char* attribute(const char** attrs, std::string_view local, bool (*nsTest)(std::string_view) = nullptr);

class XmlScanner {
 public:
  virtual ~XmlScanner() = default;
  // Parses `text` (the whole part) and calls the handlers. Throws WorkbookError (Damaged for
  // malformed XML, Unsupported for a DTD or entities); `part` names the part in the message.
  void run(std::string_view text, const std::string& part);
  // The declared encoding is UTF-8 (or none) and no byte order mark says otherwise.
  bool utf8() const { return utf8_; }

 protected:
  virtual void start(const XmlName& name, const char** attrs) = 0;
  virtual void end(const XmlName& name) { (void)name; }
  virtual void text(const char* s, int len) {
    (void)s;
    (void)len;
  }
  // Byte offset of the current event in the text, and its length (0 for the end of an
  // empty-element tag such as <c/>).
  std::uint32_t pos() const { return static_cast<std::uint32_t>(XML_GetCurrentByteIndex(parser_)); }
  std::uint32_t count() const { return static_cast<std::uint32_t>(XML_GetCurrentByteCount(parser_)); }
  // Stops parsing with an error (Damaged) after the current handler returns.
  void stop(const std::string& why);

 private:
  XML_Parser parser_ = nullptr;
  std::string error_;
  bool refused_ = false;
  bool utf8_ = true;
  friend struct XmlCallbacks;
};

// Appends `s` to `out` escaped for element text or an attribute value; a carriage return as a
// character reference (so it survives), other control characters XML cannot hold as _xHHHH_.
void appendEscaped(std::string& out, std::string_view s);
// Decodes the _xHHHH_ escapes of SpreadsheetML text. The spreadsheet programs decode them in
// the shared strings only, not in inline strings or formula results: so does the component.
std::string decodeEscapes(std::string s);

}  // namespace velquor::roster::detail
