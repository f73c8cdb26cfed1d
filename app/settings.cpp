#include "app/settings.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSettings>
#include <type_traits>

namespace velquor {
namespace {

constexpr double kLargestScale = 8.0;

// Every remembered value under its key, with the range an integer or factor must keep;
// reading and writing go through this one list.
template <typename Settings, typename Visit>
void eachValue(Settings& s, Visit&& visit) {
  visit("roster", s.rosterPath);
  visit("class", s.className);
  visit("category", s.category, 0, 2);
  visit("inOrder", s.inOrder);
  visit("rolling", s.rolling);
  visit("display", s.display, -1, 2);
  visit("groupMode", s.groupMode, 0, 1);
  visit("groupValue", s.groupValue, 0, 32767);
  visit("timerAmount", s.timerAmount);
  visit("timerUnit", s.timerUnit, 0, 2);
  visit("timerMode", s.timerMode, 0, 1);
  visit("scale", s.scale, 1.0, kLargestScale);
  visit("fullScreen", s.fullScreen);
  visit("speak", s.speak);
  visit("speakBefore", s.speakBefore);
  visit("speakAfter", s.speakAfter);
  visit("bubbleSeconds", s.bubbleSeconds, 0, 600);
  visit("floatingPlaces", s.floatingPlaces);
}

// Reads each value; one missing or out of its range keeps the design's value.
struct Reader {
  QSettings& store;
  QVariant value(const char* key) const { return store.value(QLatin1String(key)); }
  void operator()(const char* key, QString& v) const {
    if (const QVariant stored = value(key); stored.isValid()) v = stored.toString().left(260);
  }
  void operator()(const char* key, bool& v) const {
    if (const QVariant stored = value(key); stored.isValid()) v = stored.toBool();
  }
  template <typename Number>
  void operator()(const char* key, Number& v, Number low, Number high) const {
    bool ok = false;
    const QVariant stored = value(key);
    const Number read = std::is_integral_v<Number> ? static_cast<Number>(stored.toInt(&ok)) : static_cast<Number>(stored.toDouble(&ok));
    if (ok && read >= low && read <= high) v = read;
  }
};

struct Writer {
  QSettings& store;
  template <typename Value>
  void operator()(const char* key, const Value& v) const {
    store.setValue(QLatin1String(key), v);
  }
  template <typename Number>
  void operator()(const char* key, const Number& v, Number, Number) const {
    store.setValue(QLatin1String(key), v);
  }
};

}  // namespace

std::optional<RememberedSettings> readSettings(QSettings& store) {
  if (!store.contains(QStringLiteral("category"))) return std::nullopt;
  RememberedSettings s;
  eachValue(s, Reader{store});
  return s;
}

void writeSettings(QSettings& store, const RememberedSettings& s) {
  eachValue(s, Writer{store});
  store.sync();
}

StartOptions parseStartOptions(const QStringList& arguments) {
  QCommandLineParser parser;
  const QCommandLineOption reset(QStringLiteral("reset"), QStringLiteral("以设计的默认设置启动，忘记上次的设置"));
  parser.addOption(reset);
  // Anything else on the command line is ignored, but for a roster file to open.
  parser.parse(arguments);
  const QString roster = parser.positionalArguments().value(0);
  return StartOptions{parser.isSet(reset), roster.isEmpty() ? QString() : QFileInfo(roster).absoluteFilePath()};
}

}  // namespace velquor
