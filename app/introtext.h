// Reading the introduction text file for the introduction window.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace velquor {

// Decodes the file's bytes: UTF-8 (with or without byte-order mark) when the bytes are
// valid UTF-8, otherwise the Chinese GBK code page.
QString decodeIntroduction(const QByteArray& bytes);

// Splits text into lines; CR LF, a lone CR and a lone LF each end a line, and the
// terminator is dropped. A final terminator does not start another line.
QStringList splitLines(const QString& text);

// The text box contents for the given lines: every line preceded by CR LF, so the box
// starts with an empty line; no lines give an empty box.
QString introductionBoxText(const QStringList& lines);

}  // namespace velquor
