#include "app/settings.h"

#include <QCommandLineParser>
#include <QSettings>
#include <algorithm>

namespace velquor {
namespace {

constexpr double kLargestScale = 8.0;

int within(const QVariant& value, int low, int high, int fallback) {
  bool ok = false;
  const int v = value.toInt(&ok);
  return ok && v >= low && v <= high ? v : fallback;
}

}  // namespace

std::optional<RememberedSettings> readSettings(QSettings& store) {
  if (!store.contains(QStringLiteral("category"))) return std::nullopt;
  RememberedSettings s;
  s.rosterPath = store.value(QStringLiteral("roster")).toString();
  s.className = store.value(QStringLiteral("class")).toString();
  s.category = within(store.value(QStringLiteral("category")), 0, 2, s.category);
  s.inOrder = store.value(QStringLiteral("inOrder"), s.inOrder).toBool();
  s.rolling = store.value(QStringLiteral("rolling"), s.rolling).toBool();
  s.display = within(store.value(QStringLiteral("display")), -1, 2, s.display);
  s.groupMode = within(store.value(QStringLiteral("groupMode")), 0, 1, s.groupMode);
  s.groupValue = within(store.value(QStringLiteral("groupValue")), 0, 32767, s.groupValue);
  s.timerAmount = store.value(QStringLiteral("timerAmount"), s.timerAmount).toString().left(20);
  s.timerUnit = within(store.value(QStringLiteral("timerUnit")), 0, 2, s.timerUnit);
  s.timerMode = within(store.value(QStringLiteral("timerMode")), 0, 1, s.timerMode);
  bool ok = false;
  const double scale = store.value(QStringLiteral("scale")).toDouble(&ok);
  s.scale = ok ? std::clamp(scale, 1.0, kLargestScale) : s.scale;
  s.fullScreen = store.value(QStringLiteral("fullScreen"), s.fullScreen).toBool();
  return s;
}

void writeSettings(QSettings& store, const RememberedSettings& s) {
  store.setValue(QStringLiteral("roster"), s.rosterPath);
  store.setValue(QStringLiteral("class"), s.className);
  store.setValue(QStringLiteral("category"), s.category);
  store.setValue(QStringLiteral("inOrder"), s.inOrder);
  store.setValue(QStringLiteral("rolling"), s.rolling);
  store.setValue(QStringLiteral("display"), s.display);
  store.setValue(QStringLiteral("groupMode"), s.groupMode);
  store.setValue(QStringLiteral("groupValue"), s.groupValue);
  store.setValue(QStringLiteral("timerAmount"), s.timerAmount);
  store.setValue(QStringLiteral("timerUnit"), s.timerUnit);
  store.setValue(QStringLiteral("timerMode"), s.timerMode);
  store.setValue(QStringLiteral("scale"), s.scale);
  store.setValue(QStringLiteral("fullScreen"), s.fullScreen);
  store.sync();
}

StartOptions parseStartOptions(const QStringList& arguments) {
  QCommandLineParser parser;
  const QCommandLineOption reset(QStringLiteral("reset"), QStringLiteral("以设计的默认设置启动，忘记上次的设置"));
  parser.addOption(reset);
  // Anything else on the command line is ignored: the program has no other options.
  parser.parse(arguments);
  return StartOptions{parser.isSet(reset)};
}

}  // namespace velquor
