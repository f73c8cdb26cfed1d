// The journal of waiting writes and the way they are placed, without the window.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "results/pending.h"
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

}  // namespace

class TestPending : public QObject {
  Q_OBJECT
 private slots:
  void theJournalKeepsEveryFieldAndDropsALineCutShort() {
    PendingWrite mark = markFor("/班级/a\tb\\c.xls", "7", "王\n小明", "-1.5");
    mark.id = 3;
    mark.commitHash = 123456789012345ULL;
    PendingWrite groups;
    groups.id = 4;
    groups.kind = PendingKind::Groups;
    groups.roster = "/r.xls";
    groups.sheet = "二班";
    groups.date = "12月05";
    groups.groups = {{"1", "甲", 1}, {"2", "乙", 2}};
    const std::string text = encodeJournal({mark, groups});
    const auto back = decodeJournal(text);
    QCOMPARE(back.size(), std::size_t(2));
    QCOMPARE(back[0].roster, mark.roster);
    QCOMPARE(back[0].name, mark.name);
    QCOMPARE(back[0].score, mark.score);
    QCOMPARE(back[0].commitHash, mark.commitHash);
    QCOMPARE(back[1].groups.size(), std::size_t(2));
    QCOMPARE(back[1].groups[1].name, std::string("乙"));
    QCOMPARE(back[1].groups[1].group, 2);
    // A write cut off by a crash leaves the complete lines readable.
    QCOMPARE(decodeJournal(text.substr(0, text.size() - 3)).size(), std::size_t(1));
    QVERIFY(decodeJournal("something else\n" + text.substr(text.find('\n') + 1)).empty());
  }

  void writesArePlacedByNumberAndNameAndAnInterruptedSaveIsNotRepeated() {
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("r.xls"));
    test::writeWorkbook(path, {{"一班", rowsOf({{"1", "甲"}, {"2", "乙"}, {"3", "丙"}})}});
    PendingJournal journal(QDir(dir.path()).filePath(QStringLiteral("data/pending.txt")).toStdString());
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
    {
      Workbook book = Workbook::open(path.toStdString());
      QCOMPARE(flushPending(journal, book), 3);
    }
    // The hash recorded before a save is the hash of the file that save wrote.
    {
      Workbook book = Workbook::open(path.toStdString());
      book.setInteger(1, 3, 5, 1);
      const std::uint64_t expected = contentHash(book.serialize());
      book.save();
      QCOMPARE(fileHash(path.toStdString()), std::optional<std::uint64_t>(expected));
    }
    const Workbook book = Workbook::open(path.toStdString());
    QCOMPARE(book.cell(1, 4, 7).number, 7.0);
    QCOMPARE(book.cell(1, 2, 7).text, std::string("12月05"));
    QCOMPARE(book.cell(1, 5, 5).number, 2.0);
    QCOMPARE(journal.writes().size(), std::size_t(3));
    QVERIFY(journal.writes()[0].unmatched);
    QCOMPARE(PendingJournal(journal.file()).writes().size(), std::size_t(3));  // stored

    // A save under way when the program stopped: the file on disk is the one that save
    // wrote, so the write is done; against any other file it waits again.
    journal.writes()[0].commitHash = *fileHash(path.toStdString());
    journal.writes()[2].commitHash = 42;
    journal.store();
    PendingJournal next(journal.file());
    next.settleInterruptedSaves();
    QCOMPARE(next.writes().size(), std::size_t(2));
    QCOMPARE(next.writes()[0].commitHash, std::uint64_t(0));
    QCOMPARE(PendingJournal(journal.file()).writes().size(), std::size_t(2));
  }
};

QTEST_MAIN(TestPending)
#include "test_pending.moc"
