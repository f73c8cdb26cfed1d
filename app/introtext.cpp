#include "app/introtext.h"

#include <QStringDecoder>

#include "app/platform.h"

namespace velquor {

QString decodeIntroduction(const QByteArray& bytes) {
  QByteArray data = bytes;
  if (data.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(data.mid(3));
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8(data);
  if (!utf8.hasError()) return text;
  return platform::decodeGb18030(data);
}

QStringList splitLines(const QString& text) {
  QStringList lines;
  QString current;
  bool open = false;  // characters seen since the last terminator
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
      if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) ++i;
      lines.append(current);
      current.clear();
      open = false;
    } else {
      current.append(c);
      open = true;
    }
  }
  if (open) lines.append(current);
  return lines;
}

QString introductionBoxText(const QStringList& lines) {
  QString text;
  for (const QString& line : lines) text += QStringLiteral("\r\n") + line;
  return text;
}

}  // namespace velquor
