// The settings the window remembers between runs, and the command line that can make it
// start with the design's defaults instead.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QSettings;

namespace velquor {

struct RememberedSettings {
  QString rosterPath;  // the roster file last used; empty for the default
  QString className;   // the class last chosen
  int category = 2;    // rollcall::kNameList, kNumber or kSeat
  bool inOrder = false;
  bool rolling = true;
  int display = -1;    // the 显示方式 entry last chosen, -1 for none since the category
  int groupMode = 0;   // 0 a number of groups, 1 persons per group
  int groupValue = 0;  // the accepted number; 0 for none
  QString timerAmount = QStringLiteral("5");
  int timerUnit = 0;
  int timerMode = 0;
  double scale = 1.0;
  bool fullScreen = false;
  bool speak = false;      // 朗读姓名
  QString speakBefore;     // said before the name ("请")
  QString speakAfter;      // said after it ("回答")
  int bubbleSeconds = 6;   // how long the floating button's bubble stays; 0 until the next tap
  QString floatingPlaces;  // the floating button's place for each screen layout
  bool operator==(const RememberedSettings&) const = default;
};

// The remembered settings, each value kept within what the window can show; empty when
// nothing has been remembered yet.
std::optional<RememberedSettings> readSettings(QSettings& store);
void writeSettings(QSettings& store, const RememberedSettings& settings);

struct StartOptions {
  bool reset = false;  // --reset: the design's defaults, remembered settings forgotten
  QString rosterPath;  // a roster file given on the command line (absolute), "" for none
};
StartOptions parseStartOptions(const QStringList& arguments);

}  // namespace velquor
