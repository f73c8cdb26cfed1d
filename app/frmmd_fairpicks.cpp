// Fair picks, wired here in one place: the 点名方式 entry "少点过的优先" (remembered per class),
// the least-called-first draw of a random name-list pick, and 名单设置 > "点名统计…".
// The counts come from the call history; the design's pick is untouched while the entry is off.
#include <QAction>
#include <QComboBox>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <map>

#include "app/frmmd.h"
#include "app/frmtj.h"
#include "app/programdata.h"
#include "core/filepath.h"
#include "core/log.h"
#include "results/classstats.h"
#include "rollcall/fairpick.h"
#include "roster/workbook.h"
#include "roster/workbookset.h"
#include "store/programstore.h"

namespace velquor {

using rollcall::CallWindow;

class FairPicks : public QObject {
 public:
  explicit FairPicks(FrmMd& window) : QObject(&window), w(window) {}

  FrmMd& w;
  QAction* entry = nullptr;  // 少点过的优先
  QAction* stats = nullptr;  // 点名统计…
  // The call history; without one nobody has been called before, and every pick is the design's.
  const rollcall::CallCounts* counts = nullptr;
  std::unique_ptr<rollcall::StoreCallCounts> storeCounts;
  std::function<bool(const std::string& roster, const std::string& sheet, QString& failure)> clearHistory;
  std::map<QString, QVariant> unsaved;  // settings kept for the run when there is no settings store
  QPointer<FrmTj> window;

  QString classKey() const {
    const QByteArray id = (w.dayRoster_ + QLatin1Char('\n') + w.daySheet_).toUtf8();
    return QStringLiteral("fairPicks/") + QString::fromLatin1(QCryptographicHash::hash(id, QCryptographicHash::Sha1).toHex());
  }
  QVariant setting(const QString& key, const QVariant& fallback) const {
    if (w.services_.settings) return w.services_.settings()->value(key, fallback);
    const auto it = unsaved.find(key);
    return it == unsaved.end() ? fallback : it->second;
  }
  void setSetting(const QString& key, const QVariant& value) {
    if (w.services_.settings)
      w.services_.settings()->setValue(key, value);
    else
      unsaved[key] = value;
  }
  bool on() const { return !w.daySheet_.isEmpty() && setting(classKey(), false).toBool(); }
  void showEntry() { entry->setChecked(on()); }
  void toggle() {
    if (w.daySheet_.isEmpty()) {
      entry->setChecked(false);
      return;
    }
    setSetting(classKey(), !on());
    showEntry();
  }

  CallWindow callWindow() const {
    CallWindow cw;
    cw.kind = setting(QStringLiteral("callWindow/kind"), QString()).toString() == QLatin1String("days")
                  ? CallWindow::Kind::LastDays
                  : CallWindow::Kind::Term;
    const QDate start = QDate::fromString(setting(QStringLiteral("callWindow/termStart"), QString()).toString(), Qt::ISODate);
    if (start.isValid())
      cw.termStart = std::chrono::year{start.year()} / std::chrono::month{static_cast<unsigned>(start.month())} /
                     std::chrono::day{static_cast<unsigned>(start.day())};
    cw.days = std::clamp(setting(QStringLiteral("callWindow/days"), 28).toInt(), 1, 3660);
    return cw;
  }
  void rememberWindow(const CallWindow& cw) {
    setSetting(QStringLiteral("callWindow/kind"), cw.kind == CallWindow::Kind::LastDays ? QStringLiteral("days")
                                                                                     : QStringLiteral("term"));
    // A term start equal to the default one is not pinned: next term moves on by itself.
    const auto defaultStart = rollcall::defaultTermStart(std::chrono::year_month_day(today()));
    if (cw.termStart && *cw.termStart != defaultStart) {
      const QDate d(static_cast<int>(cw.termStart->year()), static_cast<int>(static_cast<unsigned>(cw.termStart->month())),
                    static_cast<int>(static_cast<unsigned>(cw.termStart->day())));
      setSetting(QStringLiteral("callWindow/termStart"), d.toString(Qt::ISODate));
    } else {
      setSetting(QStringLiteral("callWindow/termStart"), QString());
    }
    setSetting(QStringLiteral("callWindow/days"), cw.days);
  }

  rollcall::Day today() const {
    const QDate d = w.services_.clock->now().date();
    return std::chrono::sys_days(std::chrono::year{d.year()} / std::chrono::month{static_cast<unsigned>(d.month())} /
                                 std::chrono::day{static_cast<unsigned>(d.day())});
  }
  rollcall::CallsByStudent calls(const CallWindow& cw) const {
    if (!counts) return {};
    return counts->callsSince(w.dayRoster_.toStdString(), w.daySheet_.toStdString(), rollcall::windowStart(cw, today()));
  }
  void openStatistics();
};

void FrmMd::installFairPicks() {
  auto* fair = new FairPicks(*this);
  fairPicks_ = fair;
  fair->entry = MnFangShi->addAction(QStringLiteral("少点过的优先"));
  fair->entry->setObjectName(QStringLiteral("MnSdYx"));
  fair->entry->setCheckable(true);
  // The entry shows the loaded class's own choice whenever its menu opens.
  connect(MnFangShi, &QMenu::aboutToShow, fair, [fair] { fair->showEntry(); });
  // The click turns the class's choice over, whatever the entry showed last.
  connect(fair->entry, &QAction::triggered, fair, [fair] { fair->toggle(); });
  if (programData_) {
    store::Store& store = programData_->store();
    fair->storeCounts = std::make_unique<rollcall::StoreCallCounts>(store);
    fair->counts = fair->storeCounts.get();
    fair->clearHistory = [this, &store](const std::string& roster, const std::string& sheet, QString& failure) {
      try {
        store.clearCalls(roster, sheet);
        return true;
      } catch (const store::StoreError& e) {
        programData_->refused(e, "clearing the call history");
        failure = QString::fromStdString(e.what());
        return false;
      }
    };
  }
  fair->stats = MnMingdanshizhi->addAction(QStringLiteral("点名统计…"));
  fair->stats->setObjectName(QStringLiteral("MnDmTj"));
  connect(fair->stats, &QAction::triggered, fair, [fair] { fair->openStatistics(); });
}

std::optional<int> FrmMd::fairPosition(double r) {
  if (!fairPicks_ || rollCategory != rollcall::kNameList || !fairPicks_->on()) return std::nullopt;
  const auto* pool = std::get_if<rollcall::NamePool>(&pickPool);
  const auto* students = std::get_if<rollcall::NameTable>(&studentTable);
  if (!pool || !students || pickPoolCount < 1 || pickPoolCount >= static_cast<int>(pool->size())) return std::nullopt;
  rollcall::CallsByStudent calls;
  try {
    calls = fairPicks_->calls(fairPicks_->callWindow());
  } catch (const std::exception& e) {
    // The history cannot be read: the design's pick, and a line in the log.
    log::write("least-called-first pick", e.what(), dayRoster_.toStdString());
    return std::nullopt;
  }
  return rollcall::leastCalledPick(r, *pool, pickPoolCount, *students, calls);
}

void FairPicks::openStatistics() {
  if (window) {
    window->raise();
    window->activateWindow();
    return;
  }
  if (w.rollCategory != rollcall::kNameList || w.daySheet_.isEmpty() || w.studentCount < 2) {
    w.services_.dialogs->message(&w, QStringLiteral("请先打开一个班级的名单"), QStringLiteral("警告"),
                                 MessageIcon::Critical);
    return;
  }
  FrmTj::Source source;
  const QString roster = w.dayRoster_, sheet = w.daySheet_;
  const int studentCount = w.studentCount, todayColumn = w.todayColumn;
  source.rosterPath = roster;
  source.read = [this, roster, sheet, studentCount, todayColumn](const CallWindow& cw, QString& failure)
      -> std::optional<results::ClassStats> {
    try {
      bool alreadyOpen = false;
      if (!w.rosterApp) w.rosterApp = std::make_unique<roster::WorkbookSet>();
      roster::Workbook& book = w.rosterApp->get(pathFromUtf8(roster.toStdString()), alreadyOpen);
      int position = 0;
      for (int s = 1; s <= book.sheetCount(); ++s)
        if (QString::fromStdString(book.sheetName(s)) == sheet) position = s;
      if (position == 0) {
        failure = QStringLiteral("名单中已没有“%1”这张表").arg(sheet);
        return std::nullopt;
      }
      // Counted by the day's loaded list; students added to the sheet since come with the next load.
      const auto calls = counts ? counts->callsSince(roster.toStdString(), sheet.toStdString(),
                                                     rollcall::windowStart(cw, today()))
                                : rollcall::CallsByStudent{};
      return results::classStats(book, position, studentCount, todayColumn, calls);
    } catch (const std::exception& e) {
      failure = QStringLiteral("名单读不出来：%1").arg(QString::fromStdString(e.what()));
      return std::nullopt;
    }
  };
  source.clearHistory = [this, roster, sheet](QString& failure) {
    if (!clearHistory) {
      failure = QStringLiteral("没有点名记录");
      return false;
    }
    return clearHistory(roster.toStdString(), sheet.toStdString(), failure);
  };
  source.windowChanged = [this](const CallWindow& cw) { rememberWindow(cw); };
  if (w.programData_) {
    store::Store& store = w.programData_->store();
    source.revision = [&store] { return store.revision(); };
  }
  const QDate todayDate = w.services_.clock->now().date();
  window = new FrmTj(&w, sheet, w.classroomScale(), w.services_.dialogs, std::move(source), callWindow(), todayDate);
  window->show();
}

}  // namespace velquor
