// The XML parts of an .xlsx package read with pugixml and walked as a stream of events:
// namespace-aware element names, attribute lookup and the byte range of every tag in the
// original text, so that a writer can splice it. Documents with a DTD are refused.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velquor::roster::detail {

// An element or attribute name: its namespace (resolved), local part and prefix.
struct XmlName {
  std::string_view ns, local, prefix;
};
struct XmlAttr {
  XmlName name;
  const char* value;
};
using XmlAttrs = std::span<const XmlAttr>;

// SpreadsheetML main namespace, transitional or strict.
bool isMainNs(std::string_view ns);
// The officeDocument relationships namespace (r:id), transitional or strict.
bool isRelNs(std::string_view ns);

// Value of the attribute `local` (no namespace, or `ns` matching `nsTest`), or null.
const char* attribute(XmlAttrs attrs, std::string_view local, bool (*nsTest)(std::string_view) = nullptr);

class XmlScanner {
 public:
  virtual ~XmlScanner() = default;
  // Parses `text` (the whole part) and calls the handlers in document order. Throws
  // WorkbookError (Damaged for malformed XML, Unsupported for a DTD); `part` names the part in
  // the message.
  void run(std::string_view text, const std::string& part);
  // The same for a large part, read in pieces of about `piece` bytes cut after end tags whose
  // local name is `cutAfter`, so that the tree of one piece only is in memory. False when a cut
  // proved not to fall between two elements: the handlers have then seen part of the events,
  // and the caller starts again with a new scanner and run().
  bool runInPieces(std::string_view text, const std::string& part, std::string_view cutAfter, std::size_t piece);
  // The text is UTF-8 (no other declared encoding, no byte order mark saying otherwise). Only
  // then are the positions given by pos() and count() byte offsets of the text.
  bool utf8() const { return utf8_; }

 protected:
  virtual void start(const XmlName& name, XmlAttrs attrs) = 0;
  virtual void end(const XmlName& name) { (void)name; }
  virtual void text(const char* s, int len) {
    (void)s;
    (void)len;
  }
  // Byte offset of the current tag in the text, and its length: the start tag in start(), the
  // end tag in end() (length 0 for the end of an empty-element tag such as <c/>).
  std::uint32_t pos() const { return pos_; }
  std::uint32_t count() const { return count_; }
  // Stops parsing with an error (Damaged) after the current handler returns.
  void stop(const std::string& why);

 private:
  friend class XmlWalk;
  std::uint32_t pos_ = 0, count_ = 0;
  std::string error_;
  bool utf8_ = true;
};

// Appends `s` to `out` escaped for element text or an attribute value; a carriage return as a
// character reference (so it survives), other control characters XML cannot hold as _xHHHH_.
void appendEscaped(std::string& out, std::string_view s);
// Decodes the _xHHHH_ escapes of SpreadsheetML text. The spreadsheet programs decode them in
// the shared strings only, not in inline strings or formula results: so does the component.
std::string decodeEscapes(std::string s);

}  // namespace velquor::roster::detail
