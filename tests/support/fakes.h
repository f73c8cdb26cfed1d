// Test doubles for the main window's seams: scripted dialogs, a clock set by hand,
// a scripted random generator and a sound player that records the cues.
#pragma once

#include <QDateTime>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <vector>

#include "app/services.h"

namespace velquor::test {

struct Message {
  QString text;
  QString title;
  MessageIcon icon;
};

class FakeDialogs : public Dialogs {
 public:
  std::vector<Message> messages;
  std::deque<QString> fileAnswers;  // next answers of the file dialog; empty text when none are left
  int fileDialogCount = 0;
  QStringList openedDocuments;
  bool openDocumentResult = true;

  void message(QWidget*, const QString& text, const QString& title, MessageIcon icon) override {
    messages.push_back({text, title, icon});
  }
  QString openFileName(QWidget*, const QString& filter) override {
    ++fileDialogCount;
    lastFilter = filter;
    if (fileAnswers.empty()) return QString();
    QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
  }
  bool openDocument(const QString& path) override {
    openedDocuments.append(path);
    return openDocumentResult;
  }
  std::vector<Message> questions;
  std::deque<bool> askAnswers;  // next answers to questions; No when none are left
  bool ask(QWidget*, const QString& text, const QString& title, bool /*yesIsDefault*/) override {
    questions.push_back({text, title, MessageIcon::None});
    if (askAnswers.empty()) return false;
    const bool answer = askAnswers.front();
    askAnswers.pop_front();
    return answer;
  }
  QString lastFilter;
};

class FakeClock : public Clock {
 public:
  QDateTime current{QDate(2026, 12, 5), QTime(9, 0, 0)};
  qint64 monotonic = 0;  // milliseconds of real time passed
  QDateTime now() const override { return current; }
  qint64 monotonicMs() const override { return monotonic; }
  // Time passes: both readings move on. A step back only sets the wall clock back.
  void advance(int seconds) { advanceMs(qint64(seconds) * 1000); }
  void advanceMs(qint64 milliseconds) {
    current = current.addMSecs(milliseconds);
    if (milliseconds > 0) monotonic += milliseconds;
  }
};

// Returns the scripted values in turn, then `fallback`; records reseeds.
class FakeRandom : public RandomSource {
 public:
  std::deque<double> values;
  double fallback = 0.0;
  int reseeds = 0;
  void reseed(double) override { ++reseeds; }
  double next() override {
    if (values.empty()) return fallback;
    double v = values.front();
    values.pop_front();
    return v;
  }
};

// A seeded generator for runs that must cover every candidate.
class SeededRandom : public RandomSource {
 public:
  explicit SeededRandom(unsigned seed) : state_(seed ? seed : 1) {}
  void reseed(double) override {}
  double next() override {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<double>(state_ >> 11) / 9007199254740992.0;
  }

 private:
  unsigned long long state_;
};

class FakeSound : public SoundPlayer {
 public:
  QStringList played;  // file names as given to the player ("" for the default sound)
  void play(const QString& path) override { played.append(path.isEmpty() ? QString() : QFileInfo(path).fileName()); }
};

// A voice that records what it is asked to say; `reason` makes it a speaker without voice.
class FakeSpeaker : public Speaker {
 public:
  QStringList said;
  QString reason;
  QString unavailableReason() override { return reason; }
  void say(const QString& text) override { said.append(text); }
  int spoken() const override { return static_cast<int>(said.size()); }
};

struct FakeServices {
  QTemporaryDir programFolder;  // where the default roster is looked for
  QTemporaryDir documentsFolder;  // where it is looked for next
  QTemporaryDir dataFolder;       // the program's own files
  FakeDialogs dialogs;
  FakeClock clock;
  FakeRandom random;
  FakeSound sound;
  FakeSpeaker speaker;
  Services services() {
    return Services{programFolder.path(), &dialogs, &clock, &random, &sound, documentsFolder.path(), dataFolder.path(), {}, false,
                    &speaker};
  }
};

}  // namespace velquor::test
