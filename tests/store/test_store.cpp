// The program's store on real files: absences by day, the call history, and the failures it
// survives (a damaged file, a read-only folder, a full disk on a small tmpfs).
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#ifdef Q_OS_WIN
// No tmpfs and no root there: folders and files are made read-only through their attributes.
static unsigned geteuid() { return 1; }
#else
#include <unistd.h>
#endif

#include "store/programstore.h"

using namespace velquor::store;

namespace {

std::filesystem::path dbIn(const QTemporaryDir& dir) { return QDir(dir.path()).filePath(QStringLiteral("velquor.db")).toStdString(); }

QByteArray bytesOf(const std::filesystem::path& path) {
  QFile f(QString::fromStdString(path.string()));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

PendingWrite mark(const std::string& score) {
  PendingWrite w;
  w.roster = "/r.xls";
  w.sheet = "一班";
  w.date = "12月05";
  w.number = "1";
  w.name = "甲";
  w.score = score;
  return w;
}

// A small tmpfs of its own (needs root), unmounted at the end.
struct SmallDisk {
  QTemporaryDir dir;
  bool mounted = false;
  explicit SmallDisk(const char* size) {
    if (geteuid() != 0) return;
    mounted = QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                                          QStringLiteral("size=") + QLatin1String(size), QStringLiteral("tmpfs"),
                                                          dir.path()}) == 0;
  }
  bool remount(const char* options) {
    return QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("remount,") + QLatin1String(options),
                                                       dir.path()}) == 0;
  }
  ~SmallDisk() {
    if (mounted) QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), dir.path()});
  }
};

}  // namespace

class TestStore : public QObject {
  Q_OBJECT
 private slots:
  void absencesAreKeptForTheirDayOnly() {
    QTemporaryDir dir;
    const StudentKey a{"/r.xls", "一班", "1", "甲"}, b{"/r.xls", "一班", "2", "乙"};
    {
      auto s = Store::open(dbIn(dir), "2026-12-04");
      QCOMPARE(s.problem, Problem::None);
      s.store->setAbsent("2026-12-04", a, true);
      s.store->setAbsent("2026-12-05", b, true);
      s.store->setAbsent("2026-12-05", a, true);
      s.store->setAbsent("2026-12-05", a, false);
      QCOMPARE(s.store->absences("2026-12-05"), std::vector<StudentKey>{b});
    }
    auto next = Store::open(dbIn(dir), "2026-12-05");
    QVERIFY(next.store->absences("2026-12-04").empty());
    QCOMPARE(next.store->absences("2026-12-05"), std::vector<StudentKey>{b});
  }

  void theCallHistoryCountsCallsOfAWindowAndKeepsTakenBackCalls() {
    QTemporaryDir dir;
    auto s = Store::open(dbIn(dir), "2026-12-05");
    Store& store = *s.store;
    auto call = [&](const char* time, const char* number, const char* sheet = "一班") {
      return store.recordCall({0, time, "/r.xls", sheet, number, std::string("学生") + number, 0, false});
    };
    call("2026-09-01T08:00:00", "1");
    call("2026-11-30T23:59:59", "1");
    call("2026-12-01T00:00:00", "1");
    call("2026-12-05T10:00:00", "1");
    const auto back = call("2026-12-05T10:01:00", "2");
    call("2026-12-05T10:02:00", "2", "二班");
    store.takeBackCall(back);
    const auto counts = store.callsPerStudent("/r.xls", "一班", "2026-12-01", "2026-12-05");
    QCOMPARE(counts.size(), std::size_t(1));  // the call taken back does not count
    QCOMPARE(counts[0].number, std::string("1"));
    QCOMPARE(counts[0].calls, 2);  // the window's first and last day included, no more
    QCOMPARE(counts[0].lastTime, std::string("2026-12-05T10:00:00"));
    const auto calls = store.calls("/r.xls", "一班");
    QCOMPARE(calls.size(), std::size_t(5));
    QVERIFY(calls.back().takenBack);
    store.clearCalls("/r.xls", "一班");
    QVERIFY(store.calls("/r.xls", "一班").empty());
    QCOMPARE(store.calls("/r.xls", "二班").size(), std::size_t(1));
  }

  void aDamagedDatabaseIsSetAsideAndANewOneStarted() {
    QTemporaryDir dir;
    const auto file = dbIn(dir);
    // Bad bytes where the file should be a database.
    {
      QFile f(QString::fromStdString(file.string()));
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(QByteArray(8192, '\x5a'));
    }
    auto s = Store::open(file, "2026-12-05");
    QCOMPARE(s.problem, Problem::Damaged);
    QVERIFY(!s.store->inMemoryOnly());
    QCOMPARE(s.setAside.filename().string(), std::string("velquor.db.damaged-2026-12-05"));
    QCOMPARE(bytesOf(s.setAside), QByteArray(8192, '\x5a'));
    s.store->addPending(mark("3"));
    s.store.reset();
    // A database whose pages were overwritten in the middle: set aside under the next name.
    {
      QFile f(QString::fromStdString(file.string()));
      QVERIFY(f.open(QIODevice::ReadWrite));
      QVERIFY(f.size() >= 4096 * 3);
      f.seek(4096);
      f.write(QByteArray(static_cast<int>(f.size()) - 4096, '\xff'));
    }
    auto again = Store::open(file, "2026-12-05");
    QCOMPARE(again.problem, Problem::Damaged);
    QCOMPARE(again.setAside.filename().string(), std::string("velquor.db.damaged-2026-12-05-2"));
    QVERIFY(again.store->pending().empty());
    QCOMPARE(Store::open(file, "2026-12-05").problem, Problem::None);
  }

  void aReadOnlyFolderKeepsTheDataInMemoryAndTheFileAsItIs() {
    SmallDisk disk("1m");
    QTemporaryDir plain;
    const QString folder = disk.mounted ? disk.dir.path() : plain.path();
    const std::filesystem::path file = QDir(folder).filePath(QStringLiteral("velquor.db")).toStdString();
    Store::open(file, "2026-12-05").store->addPending(mark("3"));
    const QByteArray before = bytesOf(file);
    if (disk.mounted) QVERIFY(disk.remount("ro"));
#ifdef Q_OS_WIN
    else {
      QFile::setPermissions(QString::fromStdU16String(file.u16string()), QFile::ReadOwner);
      QFile probe(QString::fromStdU16String(file.u16string()));
      if (probe.open(QIODevice::ReadWrite)) {
        probe.close();
        QFile::setPermissions(QString::fromStdU16String(file.u16string()), QFile::ReadOwner | QFile::WriteOwner);
        QSKIP("the read-only attribute does not stop this user writing (root under Wine)");
      }
    }
#else
    else if (geteuid() != 0) QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    else QSKIP("root without a tmpfs: the folder cannot be made read-only");
#endif
    auto s = Store::open(file, "2026-12-05");
    QVERIFY(s.store->inMemoryOnly());
    QCOMPARE(s.problem, Problem::ReadOnly);
    QVERIFY(s.setAside.empty());
    // The waiting mark is not taken into memory: written from there it would be written
    // again once the file can be used.
    QVERIFY(s.store->pending().empty());
    s.store->addPending(mark("4"));
    QCOMPARE(s.store->pending().size(), std::size_t(1));
    QCOMPARE(bytesOf(file), before);
    if (disk.mounted) QVERIFY(disk.remount("rw"));
#ifdef Q_OS_WIN
    else QFile::setPermissions(QString::fromStdU16String(file.u16string()), QFile::ReadOwner | QFile::WriteOwner);
#else
    else QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
    QCOMPARE(Store::open(file, "2026-12-05").store->pending().size(), std::size_t(1));
  }

  void aFullDiskRefusesTheChangeAndKeepsWhatWasStored() {
    SmallDisk disk("512k");
    if (!disk.mounted) QSKIP("needs root for a tmpfs of its own");
    const std::filesystem::path file = QDir(disk.dir.path()).filePath(QStringLiteral("velquor.db")).toStdString();
    auto s = Store::open(file, "2026-12-05");
    QCOMPARE(s.problem, Problem::None);
    s.store->addPending(mark("3"));
    {
      QFile fill(QDir(disk.dir.path()).filePath(QStringLiteral("fill")));
      QVERIFY(fill.open(QIODevice::WriteOnly));
      const QByteArray block(4096, 'x');
      while (fill.write(block) == block.size() && fill.flush()) {
      }
    }
    bool refused = false;
    try {
      // Large enough that the log cannot take it in space it already has.
      for (int i = 0; i < 200; ++i) s.store->addPending(mark(std::string(2000, '1')));
    } catch (const StoreError& e) {
      refused = true;
      QCOMPARE(e.problem(), Problem::DiskFull);
    }
    QVERIFY(refused);
    QVERIFY(!s.store->pending().empty());
    QCOMPARE(s.store->pending().front().score, std::string("3"));
    s.store.reset();
    // Opened again while the disk is full: never set aside as damaged; a change is refused
    // as full, or kept in memory when the file could not be opened at all.
    auto again = Store::open(file, "2026-12-05");
    QVERIFY(again.setAside.empty());
    try {
      again.store->setAbsent("2026-12-05", {"/r.xls", "一班", "1", "甲"}, true);
      QVERIFY(again.store->inMemoryOnly());
    } catch (const StoreError& e) {
      QCOMPARE(e.problem(), Problem::DiskFull);
    }
    QFile::remove(QDir(disk.dir.path()).filePath(QStringLiteral("fill")));
    again.store.reset();
    QCOMPARE(Store::open(file, "2026-12-05").store->pending().front().score, std::string("3"));
  }
};

QTEST_MAIN(TestStore)
#include "test_store.moc"
