// Text in the workbooks' UTF-16 (BIFF strings, owner files) and the component's UTF-8.
#pragma once

#include <string>

namespace velquor::roster::detail {

// Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(const std::u16string& s);
// Throws WorkbookError for text that is not UTF-8.
std::u16string utf8ToUtf16(const std::string& s);

}  // namespace velquor::roster::detail
