// Waiting writes in the store and the way they are placed, without the window: placement by
// number and name, claims that keep two users of one store from applying a write twice, and
// the hand-over of the text files an earlier version wrote.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "core/filepath.h"
#include "results/pending.h"
#include "roster/workbookset.h"
#include "tests/support/rosterfiles.h"

using namespace velquor;
using namespace velquor::results;
using velquor::roster::Workbook;

namespace {

PendingWrite markFor(const std::string& roster, const std::string& number, const std::string& name, const std::string& score) {
  PendingWrite w;
  w.roster = roster;
  w.sheet = "一班";
  w.date = "12月05";
  w.number = number;
  w.name = name;
  w.score = score;
  return w;
}

Workbook::SheetRows rowsOf(const std::vector<std::pair<std::string, std::string>>& students) {
  Workbook::SheetRows rows = {{"一班"}, {"学号", "姓名", "", "", "组别", "12月01"}};
  for (const auto& [number, name] : students) rows.push_back({number, name, "", "", "", "1"});
  return rows;
}

std::unique_ptr<store::Store> openStore(const QString& folder) {
  auto opened = store::Store::open(QDir(folder).filePath(QStringLiteral("velquor.db")).toStdString(), "2026-12-05");
  if (opened.problem != store::Problem::None) qFatal("store: %s", opened.detail.c_str());
  return std::move(opened.store);
}

double cellOf(const QString& path, int row, int col) { return Workbook::open(velquor::pathFromUtf8(path.toStdString())).cell(1, row, col).number; }

}  // namespace

class TestPending : public QObject {
  Q_OBJECT
 private slots:
  void writesArePlacedByNumberAndNameAndStayStored() {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("r.xls"));
    test::writeWorkbook(path, {{"一班", rowsOf({{"1", "甲"}, {"2", "乙"}, {"3", "丙"}})}});
    auto store = openStore(dir.path());
    PendingJournal journal(*store);
    journal.add(markFor(path.toStdString(), "2", "乙", "3"));
    journal.add(markFor(path.toStdString(), "2", "乙", "4"));
    journal.add(markFor(path.toStdString(), "4", "丁", "5"));     // nobody
    journal.add(markFor("/elsewhere/r.xls", "1", "甲", "5"));     // another roster
    PendingWrite groups = markFor(path.toStdString(), "", "", "");
    groups.kind = PendingKind::Groups;
    groups.groups = {{"1", "甲", 1}, {"2", "乙", 2}, {"3", "丙", 2}};
    journal.add(groups);
    PendingWrite partial = groups;
    partial.groups.push_back({"4", "丁", 1});  // one student is gone: the column waits whole
    journal.add(partial);
    QCOMPARE(flushPending(journal, path.toStdString()), 3);
    QCOMPARE(cellOf(path, 4, 7), 7.0);
    QCOMPARE(Workbook::open(velquor::pathFromUtf8(path.toStdString())).cell(1, 2, 7).text, std::string("12月05"));
    QCOMPARE(cellOf(path, 5, 5), 2.0);
    QCOMPARE(journal.writes().size(), std::size_t(3));
    QVERIFY(journal.writes()[0].unmatched);
    QVERIFY(!journal.writes()[1].unmatched);  // another roster: not tried
    // Another user of the same database sees the same three, and nothing more is placed.
    auto other = openStore(dir.path());
    PendingJournal second(*other);
    QCOMPARE(second.writes().size(), std::size_t(3));
    QCOMPARE(flushPending(second, path.toStdString()), 0);
    QCOMPARE(cellOf(path, 4, 7), 7.0);
    // A change by one is seen by the other.
    second.remove({second.writes()[0].id});
    QVERIFY(journal.sync());
    QCOMPARE(journal.writes().size(), std::size_t(2));
  }

  void aWriteClaimedByALiveSaveIsLeftAloneUntilReleased() {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("r.xls"));
    test::writeWorkbook(path, {{"一班", rowsOf({{"1", "甲"}, {"2", "乙"}})}});
    auto first = openStore(dir.path());
    auto second = openStore(dir.path());
    PendingJournal a(*first), b(*second);
    a.add(markFor(path.toStdString(), "1", "甲", "5"));
    const std::string roster = roster::samePlace(velquor::pathFromUtf8(path.toStdString())).string();
    // The first claims it as a save of its own would, and is still saving.
    const auto claimed = first->claimPending(roster, *fileHash(path.toStdString()), [](std::vector<PendingWrite>& w) {
      return store::Store::Applied{{w.front().id}, 42};
    });
    QCOMPARE(claimed.ids.size(), std::size_t(1));
    QCOMPARE(flushPending(b, path.toStdString()), 0);
    QVERIFY(fileHash(path.toStdString()) != std::nullopt);
    QCOMPARE(cellOf(path, 3, 7), 0.0);
    // Its save failed: the write is free again and the other places it, once.
    first->releaseClaims(claimed.ids);
    QCOMPARE(flushPending(b, path.toStdString()), 1);
    QCOMPARE(flushPending(a, path.toStdString()), 0);
    QCOMPARE(cellOf(path, 3, 7), 5.0);
    QVERIFY(first->pending().empty());
  }

  // pending.txt and absent.txt as the earlier version wrote them (tests/data/legacy, made by
  // that version's journal and absence book, the roster's folder replaced by @ROSTERDIR@).
  void theEarlierVersionsFilesAreBroughtInOnceAndNothingWaitingIsLost() {
    QTemporaryDir dir;
    const QString data = QDir(dir.path()).filePath(QStringLiteral("data"));
    QDir().mkpath(data);
    const QString path = QDir(dir.path()).filePath(QStringLiteral("点名册.xls"));
    test::writeWorkbook(path, {{"一班", rowsOf({{"1", "甲"}, {"2", "乙"}, {"3", "丙"}})}});
    auto place = [&](const char* name) {
      QByteArray text = test::fileBytes(QStringLiteral(VELQUOR_TEST_DATA "/legacy/") + QLatin1String(name));
      text.replace("@ROSTERDIR@", QDir(dir.path()).canonicalPath().toUtf8());
      QFile out(QDir(data).filePath(QLatin1String(name)));
      QVERIFY(out.open(QIODevice::WriteOnly));
      out.write(text);
    };
#ifdef Q_OS_WIN
    QSKIP("the earlier versions ran on Linux only");
#endif
    place("pending.txt");
    place("absent.txt");
    {
      auto store = openStore(data);
      const store::Imported imported = store->importLegacyFiles(data.toStdString());
      QCOMPARE(imported.pending, 4);
      QCOMPARE(imported.absences, 2);
      QVERIFY(!QFile::exists(QDir(data).filePath(QStringLiteral("pending.txt"))));
      QVERIFY(QFile::exists(QDir(data).filePath(QStringLiteral("pending.txt.imported"))));
      QVERIFY(QFile::exists(QDir(data).filePath(QStringLiteral("absent.txt.imported"))));
      const auto absent = store->absences("2026-12-05");
      QCOMPARE(absent.size(), std::size_t(2));
      QCOMPARE(absent[1].name, std::string("王\t小明"));
      QCOMPARE(absent[0].roster, roster::samePlace(velquor::pathFromUtf8(path.toStdString())).string());
    }
    // A start whose renaming was cut short finds the same file again: it is only renamed.
    place("pending.txt");
    auto store = openStore(data);
    QCOMPARE(store->importLegacyFiles(data.toStdString()).pending, 0);
    QVERIFY(!QFile::exists(QDir(data).filePath(QStringLiteral("pending.txt"))));
    PendingJournal journal(*store);
    QCOMPARE(journal.writes().size(), std::size_t(4));
    // The mark whose save was under way when that version stopped did not write this file:
    // it waits again, and every write lands once.
    journal.settleInterruptedSaves();
    QCOMPARE(flushPending(journal, path.toStdString()), 4);
    QCOMPARE(flushPending(journal, path.toStdString()), 0);
    QCOMPARE(cellOf(path, 3, 7), 4.0);  // 甲
    QCOMPARE(cellOf(path, 4, 7), 3.0);  // 乙
    QCOMPARE(cellOf(path, 5, 7), 2.0);  // 丙, "+2分"
    QCOMPARE(cellOf(path, 4, 5), 2.0);  // 乙 in group 2
    QVERIFY(store->pending().empty());
  }

  // What a retry looks at before reading a roster: a lock file coming or going, the file
  // rewritten or made read-only.
  void theStampSeesLockFilesAndChangesWithoutReadingTheRoster() {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("r.xls"));
    test::writeWorkbook(path, {{"一班", rowsOf({{"1", "甲"}})}});
    const RosterStamp before = stampOf(path.toStdString());
    QVERIFY(before.exists);
    QCOMPARE(stampOf(path.toStdString()), before);
    QTest::qWait(20);
    QFile lock(QDir(dir.path()).filePath(QStringLiteral(".~lock.r.xls#")));
    QVERIFY(lock.open(QIODevice::WriteOnly));
    lock.close();
    const RosterStamp held = stampOf(path.toStdString());
    QVERIFY(!(held == before));
    QFile::setPermissions(path, QFile::ReadOwner);
    QVERIFY(!(stampOf(path.toStdString()) == held));
    QVERIFY(!stampOf(QDir(dir.path()).filePath(QStringLiteral("gone.xls")).toStdString()).exists);
  }
};

QTEST_MAIN(TestPending)
#include "test_pending.moc"
