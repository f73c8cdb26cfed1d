#include "roster/xlsx/xml.h"

#include <pugixml.hpp>
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <tuple>

#include "roster/cell/utf16.h"
#include "roster/workbook.h"

namespace velquor::roster::detail {

bool isMainNs(std::string_view ns) {
  return ns == "http://schemas.openxmlformats.org/spreadsheetml/2006/main" ||
         ns == "http://purl.oclc.org/ooxml/spreadsheetml/main";
}

bool isRelNs(std::string_view ns) {
  return ns == "http://schemas.openxmlformats.org/officeDocument/2006/relationships" ||
         ns == "http://purl.oclc.org/ooxml/officeDocument/relationships";
}

const char* attribute(XmlAttrs attrs, std::string_view local, bool (*nsTest)(std::string_view)) {
  for (const XmlAttr& a : attrs) {
    if (a.name.local != local) continue;
    if (nsTest ? nsTest(a.name.ns) : a.name.ns.empty()) return a.value;
  }
  return nullptr;
}

void XmlScanner::stop(const std::string& why) {
  if (error_.empty()) error_ = why;
}

namespace {

constexpr std::string_view kXmlNs = "http://www.w3.org/XML/1998/namespace";

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool startsWithAt(std::string_view t, std::size_t i, std::string_view s) {
  return i <= t.size() && t.substr(i).starts_with(s);
}

// The encoding named by the XML declaration at the start of `t`, "" when none is named.
std::string declaredEncoding(std::string_view t) {
  if (t.starts_with("\xEF\xBB\xBF")) t.remove_prefix(3);
  if (!t.starts_with("<?xml")) return {};
  t = t.substr(0, t.find("?>"));
  const std::size_t e = t.find("encoding");
  if (e == std::string_view::npos) return {};
  std::size_t i = e + 8;
  while (i < t.size() && (isSpace(t[i]) || t[i] == '=')) ++i;
  if (i >= t.size() || (t[i] != '"' && t[i] != '\'')) return {};
  const std::size_t close = t.find(t[i], i + 1);
  if (close == std::string_view::npos) return {};
  return std::string(t.substr(i + 1, close - i - 1));
}

}  // namespace

// Walks the tree pugixml has read and gives the scanner its events. pugixml tells where each
// element's name and each text's value start in the text; where tags end is found here, in text
// pugixml has already accepted, and every end tag found is checked against the element's name.
// A large text can be read in pieces: each piece after the first is parsed behind copies of the
// start tags of the elements still open, which the walk takes as those elements again.
class XmlWalk {
 public:
  XmlWalk(XmlScanner& scan, std::string_view text, const std::string& part, bool positions)
      : s_(scan), all_(text), t_(text), part_(part), positions_(positions) {
    stack_.reserve(16);
    attrs_.reserve(8);
  }

  void whole(pugi::xml_encoding encoding) {
    const pugi::xml_parse_result r = doc_->load_buffer(all_.data(), all_.size(), kFlags, encoding);
    if (!r) refuse(r);
    begin();
    while (!stack_.empty() && s_.error_.empty()) {
      if (!step()) damaged("an element that is not closed");
    }
    finish();
  }

  // False when a cut proved not to fall between two elements.
  bool pieces(std::string_view cutAfter, std::size_t piece) {
    cutAfter_ = cutAfter;
    std::size_t end = cut(piece);
    if (end == std::string_view::npos) {
      whole(pugi::encoding_utf8);
      return true;
    }
    t_ = all_.substr(0, end);
    pugi::xml_parse_result r = doc_->load_buffer(t_.data(), t_.size(), kFlags, pugi::encoding_utf8);
    if (r.status != pugi::status_end_element_mismatch) return false;
    begin();
    for (;;) {
      while (!stack_.empty() && s_.error_.empty() && step()) {
      }
      if (stack_.empty() || !s_.error_.empty()) break;
      if (end == all_.size()) damaged("an element that is not closed");
      // Every open element has seen all of this piece: on to the next.
      const std::size_t from = end;
      end = cut(from + piece);
      const bool last = end == std::string_view::npos;
      if (last) end = all_.size();
      buf_.clear();
      for (const Frame& f : stack_) buf_.append(all_.substr(f.begin, f.tagEnd - f.begin));
      const std::size_t prefix = buf_.size();
      buf_.append(all_.substr(from, end - from));
      auto next = std::make_unique<pugi::xml_document>();
      r = next->load_buffer(buf_.data(), buf_.size(), kFlags, pugi::encoding_utf8);
      if (r.status != (last ? pugi::status_ok : pugi::status_end_element_mismatch)) return false;
      if (!reenter(*next)) return false;
      doc_ = std::move(next);  // the frames' names now point into this piece's tree
      t_ = buf_;
      delta_ = static_cast<std::ptrdiff_t>(from) - static_cast<std::ptrdiff_t>(prefix);
      cursor_ = prefix;
    }
    finish();
    return true;
  }

 private:
  static constexpr unsigned kFlags =
      pugi::parse_default | pugi::parse_declaration | pugi::parse_doctype | pugi::parse_ws_pcdata_single;

  struct Frame {
    pugi::xml_node next;  // the next child to visit
    std::string_view qname;
    XmlName name;
    std::size_t nsMark;
    std::size_t begin, tagEnd;  // the start tag in the whole text
    bool continued = false;     // read on in a later piece: it has had element children
  };

  [[noreturn]] void refuse(const pugi::xml_parse_result& r) const {
    throw WorkbookError("The file is not a readable workbook (" + part_ + ": " + r.description() + " at byte " +
                            std::to_string(r.offset) + ").",
                        ErrorKind::Damaged);
  }

  [[noreturn]] void damaged(const std::string& why) const {
    throw WorkbookError("The file is not a readable workbook (" + part_ + ": " + why + ").", ErrorKind::Damaged);
  }

  // The prolog, then the document element's start.
  void begin() {
    const pugi::xml_node root = doc_->document_element();
    base_ = positions_ ? root.name() - root.offset_debug() : nullptr;
    std::size_t prolog = t_.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    for (pugi::xml_node n = doc_->first_child(); n; n = n.next_sibling()) {
      if (n.type() == pugi::node_doctype)
        throw WorkbookError("The workbook part " + part_ + " declares a DTD or entities; such files are refused.",
                            ErrorKind::Unsupported);
      if (n.type() == pugi::node_declaration && positions_) {
        const std::size_t close = t_.find("?>", prolog);
        if (close == std::string_view::npos) damaged("an unreadable XML declaration");
        prolog = close + 2;
      }
    }
    if (!root) damaged("no document element");
    if (positions_ && skipMisc(prolog) != static_cast<std::size_t>(root.offset_debug() - 1))
      damaged("something other than markup before the document element");
    ns_.assign({{"", ""}, {"xml", kXmlNs}});
    element(root);
  }

  void finish() const {
    if (s_.error_.empty() && positions_ && skipMisc(cursor_) != t_.size()) damaged("something after the document element");
  }

  // The end of the next cut at or after `from`: just after an end tag whose local name is the
  // one pieces are cut after; npos when there is none.
  std::size_t cut(std::size_t from) const {
    const std::string tail = std::string(cutAfter_) + ">";
    for (std::size_t h = all_.find(tail, from); h != std::string_view::npos; h = all_.find(tail, h + 1)) {
      std::size_t i = h;
      if (i >= 1 && all_[i - 1] == ':') {
        --i;
        while (i > 0 && all_[i - 1] != '/' && all_[i - 1] != '<' && !isSpace(all_[i - 1]) && all_[i - 1] != '>') --i;
      }
      if (i >= 2 && all_[i - 1] == '/' && all_[i - 2] == '<') return h + tail.size();
    }
    return std::string_view::npos;
  }

  // Takes the elements of `doc` that copy the open start tags as the open frames again: their
  // names, namespaces and the place of the next child.
  bool reenter(const pugi::xml_document& doc) {
    pugi::xml_node n = doc.document_element();
    base_ = n.name() - n.offset_debug();
    ns_.resize(2);
    for (std::size_t k = 0; k < stack_.size(); ++k) {
      Frame& f = stack_[k];
      if (!n || n.type() != pugi::node_element || std::string_view(n.name()) != f.qname) return false;
      f.nsMark = ns_.size();
      for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
        const std::string_view an = a.name();
        if (isXmlns(an)) ns_.emplace_back(an.size() == 5 ? std::string_view() : an.substr(6), a.value());
      }
      f.qname = n.name();
      f.name = resolve(f.qname, true);
      const pugi::xml_node child = n.first_child();
      f.next = k + 1 < stack_.size() ? child.next_sibling() : child;
      f.continued = true;
      n = child;
    }
    return true;
  }

  std::size_t offset(const char* p) const {
    const std::ptrdiff_t d = p - base_;
    if (d < 0 || static_cast<std::size_t>(d) > t_.size()) damaged("an XML node outside its text");
    return static_cast<std::size_t>(d);
  }

  std::uint32_t global(std::size_t local) const { return static_cast<std::uint32_t>(static_cast<std::ptrdiff_t>(local) + delta_); }

  bool at(std::size_t i, char c) const { return i < t_.size() && t_[i] == c; }

  // Past white space, comments, processing instructions and empty CDATA sections.
  std::size_t skipMisc(std::size_t i) const {
    for (;;) {
      while (i < t_.size() && isSpace(t_[i])) ++i;
      if (!at(i, '<') || !(at(i + 1, '!') || at(i + 1, '?'))) return i;
      std::string_view close;
      if (startsWithAt(t_, i, "<!--")) close = "-->";
      else if (at(i + 1, '?')) close = "?>";
      else if (startsWithAt(t_, i, "<![CDATA[]]>")) close = "]]>";
      else return i;
      const std::size_t c = t_.find(close, i + 2);
      if (c == std::string_view::npos) return t_.size() + 1;
      i = c + close.size();
    }
  }

  XmlName resolve(std::string_view qname, bool element) const {
    std::size_t colon = 0;  // names are short: a loop beats a library call
    while (colon < qname.size() && qname[colon] != ':') ++colon;
    if (colon == qname.size()) colon = std::string_view::npos;
    const std::string_view prefix = colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
    const std::string_view local = colon == std::string_view::npos ? qname : qname.substr(colon + 1);
    if (prefix.empty() && !element) return {{}, local, {}};
    for (auto b = ns_.rbegin(); b != ns_.rend(); ++b)
      if (b->first == prefix) {
        if (!prefix.empty() && b->second.empty()) break;
        return {b->second, local, prefix};
      }
    if (prefix.empty()) return {{}, local, {}};
    damaged("an unbound namespace prefix");
  }

  static bool isXmlns(std::string_view n) { return n.starts_with("xmlns") && (n.size() == 5 || n[5] == ':'); }

  // The start of `el`: namespace declarations, its name and attributes resolved, the start tag's
  // extent; then the scanner's start handler, and the end handler too for an empty element.
  void element(const pugi::xml_node& el) {
    const std::string_view qname = el.name();
    // The attributes with their names as written; resolved below, once the element's own
    // namespace declarations are known.
    attrs_.clear();
    bool declares = false;
    const char* lastValue = nullptr;
    for (pugi::xml_attribute a = el.first_attribute(); a; a = a.next_attribute()) {
      const std::string_view n = a.name();
      lastValue = a.value();
      declares = declares || isXmlns(n);
      attrs_.push_back({{{}, n, {}}, lastValue});
    }
    std::size_t begin = 0, tagEnd = 0;
    bool empty = false;
    if (positions_) {
      begin = offset(qname.data()) - 1;
      if (t_[begin] != '<') damaged("an element out of place");
      std::size_t i = begin + 1 + qname.size();
      if (lastValue) {
        const std::size_t v = offset(lastValue);
        const char quote = v > 0 ? t_[v - 1] : 0;
        i = v;
        while (i < t_.size() && t_[i] != quote) ++i;
        if ((quote != '"' && quote != '\'') || i == t_.size()) damaged("an attribute out of place");
        ++i;
      }
      while (i < t_.size() && isSpace(t_[i])) ++i;
      if (at(i, '>')) {
        tagEnd = i + 1;
      } else if (at(i, '/') && at(i + 1, '>')) {
        empty = true;
        tagEnd = i + 2;
      } else {
        damaged("a start tag out of place");
      }
    } else {
      empty = !el.first_child();
    }
    const std::size_t mark = ns_.size();
    if (declares)
      for (const XmlAttr& a : attrs_)
        if (isXmlns(a.name.local)) ns_.emplace_back(a.name.local.size() == 5 ? std::string_view() : a.name.local.substr(6), a.value);
    const XmlName name = resolve(qname, true);
    std::size_t kept = 0;
    for (const XmlAttr& a : attrs_)
      if (!declares || !isXmlns(a.name.local)) attrs_[kept++] = {resolve(a.name.local, false), a.value};
    attrs_.resize(kept);
    if (attrs_.size() > 1) checkUnique();
    s_.pos_ = global(begin);
    s_.count_ = static_cast<std::uint32_t>(tagEnd - begin);
    s_.start(name, attrs_);
    cursor_ = tagEnd;
    if (empty) {
      s_.pos_ = global(tagEnd);
      s_.count_ = 0;
      s_.end(name);
      ns_.resize(mark);
      return;
    }
    stack_.push_back({el.first_child(), qname, name, mark, global(begin), global(tagEnd)});
  }

  void checkUnique() {
    auto same = [](const XmlAttr& a, const XmlAttr& b) {
      const std::string_view x = a.name.local, y = b.name.local;
      return x.size() == y.size() && (x.empty() || x[0] == y[0]) && x == y && a.name.ns == b.name.ns;
    };
    if (attrs_.size() <= 16) {
      for (std::size_t i = 0; i < attrs_.size(); ++i)
        for (std::size_t j = i + 1; j < attrs_.size(); ++j)
          if (same(attrs_[i], attrs_[j])) damaged("an attribute given twice");
      return;
    }
    std::vector<XmlAttr> sorted = attrs_;
    std::sort(sorted.begin(), sorted.end(), [](const XmlAttr& a, const XmlAttr& b) {
      return std::tie(a.name.local, a.name.ns) < std::tie(b.name.local, b.name.ns);
    });
    if (std::adjacent_find(sorted.begin(), sorted.end(), same) != sorted.end()) damaged("an attribute given twice");
  }

  // One node of the innermost open element, or that element's end. False when the element's
  // end is not in this piece of the text.
  bool step() {
    Frame& f = stack_.back();
    if (const pugi::xml_node n = f.next) {
      f.next = n.next_sibling();
      const pugi::xml_node_type type = n.type();
      if (type == pugi::node_element) {
        element(n);
      } else if (type == pugi::node_pcdata || type == pugi::node_cdata) {
        const char* v = n.value();
        const std::size_t len = std::strlen(v);
        // White space alone beside element children is not text: the whole read drops it too.
        const bool blank = f.continued && type == pugi::node_pcdata && std::all_of(v, v + len, isSpace);
        if (len > 0 && !blank) s_.text(v, static_cast<int>(len));
        if (positions_) {
          const std::size_t from = offset(v);
          const std::size_t e = type == pugi::node_pcdata ? t_.find('<', from) : t_.find("]]>", from);
          if (e == std::string_view::npos) damaged("text out of place");
          cursor_ = type == pugi::node_pcdata ? e : e + 3;
        }
      }
      return true;
    }
    std::size_t lt = 0, gt = 0;
    if (positions_) {
      lt = skipMisc(cursor_);
      if (lt == t_.size()) return false;
      const std::string_view q = f.qname;
      bool same = at(lt, '<') && at(lt + 1, '/') && lt + 2 + q.size() <= t_.size();
      for (std::size_t k = 0; same && k < q.size(); ++k) same = t_[lt + 2 + k] == q[k];
      gt = lt + 2 + q.size();
      while (gt < t_.size() && isSpace(t_[gt])) ++gt;
      if (!same || !at(gt, '>')) damaged("an end tag out of place");
      ++gt;
    }
    const XmlName name = f.name;
    const std::size_t mark = f.nsMark;
    stack_.pop_back();
    s_.pos_ = global(lt);
    s_.count_ = static_cast<std::uint32_t>(gt - lt);
    s_.end(name);
    ns_.resize(mark);
    cursor_ = gt;
    return true;
  }

  XmlScanner& s_;
  std::string_view all_;      // the whole text
  std::string_view t_;        // the piece read now
  std::ptrdiff_t delta_ = 0;  // position in the whole text = position in t_ + delta_
  std::string buf_;           // a piece after the first, behind the open start tags
  std::string_view cutAfter_;
  std::unique_ptr<pugi::xml_document> doc_ = std::make_unique<pugi::xml_document>();
  const std::string& part_;
  bool positions_;
  const char* base_ = nullptr;
  std::size_t cursor_ = 0;  // where the last node seen ends
  std::vector<Frame> stack_;
  std::vector<std::pair<std::string_view, std::string_view>> ns_;  // prefix -> namespace, innermost last
  std::vector<XmlAttr> attrs_;
};

namespace {

// Checks that `text` can be read as XML and tells its encoding; the scanner's utf8() follows.
pugi::xml_encoding encodingOf(std::string_view text, const std::string& part, bool& utf8) {
  if (text.size() >= std::numeric_limits<std::uint32_t>::max() ||
      text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    throw WorkbookError("The workbook part " + part + " is too large.", ErrorKind::Unsupported);
  if (std::memchr(text.data(), 0, text.size()))
    throw WorkbookError("The file is not a readable workbook (" + part + ": a NUL character).", ErrorKind::Damaged);
  // Byte offsets are kept for UTF-8 text only; other encodings are converted and read, and the
  // writer leaves such parts alone.
  utf8 = true;
  if (text.size() >= 2 && ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF'))) {
    utf8 = false;
    return pugi::encoding_auto;
  }
  const std::string declared = declaredEncoding(text);
  if (declared.empty() || strcasecmp(declared.c_str(), "UTF-8") == 0) return pugi::encoding_utf8;
  utf8 = false;
  if (strcasecmp(declared.c_str(), "ISO-8859-1") == 0 || strcasecmp(declared.c_str(), "latin1") == 0)
    return pugi::encoding_latin1;
  if (strcasecmp(declared.c_str(), "UTF-16") == 0) return pugi::encoding_auto;
  if (strcasecmp(declared.c_str(), "US-ASCII") == 0) return pugi::encoding_utf8;
  throw WorkbookError("The file is not a readable workbook (" + part + ": the text encoding " + declared + " is not supported).",
                      ErrorKind::Damaged);
}

}  // namespace

void XmlScanner::run(std::string_view text, const std::string& part) {
  runInPieces(text, part, {}, std::numeric_limits<std::size_t>::max());
}

bool XmlScanner::runInPieces(std::string_view text, const std::string& part, std::string_view cutAfter, std::size_t piece) {
  const pugi::xml_encoding encoding = encodingOf(text, part, utf8_);
  if (encoding == pugi::encoding_utf8 && utf8_ && text.size() > piece) {
    if (!XmlWalk(*this, text, part, true).pieces(cutAfter, piece)) return false;
  } else {
    XmlWalk(*this, text, part, encoding == pugi::encoding_utf8).whole(encoding);
  }
  if (!error_.empty()) throw WorkbookError("The file is not a readable workbook (" + part + ": " + error_ + ").", ErrorKind::Damaged);
  return true;
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
