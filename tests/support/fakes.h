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
  std::vector<QString> questions;  // texts of confirm(), in turn
  bool confirmAnswer = false;
  bool confirm(QWidget*, const QString& text, const QString&) override {
    questions.push_back(text);
    return confirmAnswer;
  }
  bool openDocument(const QString& path) override {
    openedDocuments.append(path);
    return openDocumentResult;
  }
  QString lastFilter;
};

class FakeClock : public Clock {
 public:
  QDateTime current{QDate(2026, 12, 5), QTime(9, 0, 0)};
  QDateTime now() const override { return current; }
  void advance(int seconds) { current = current.addSecs(seconds); }
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

struct FakeServices {
  QTemporaryDir programFolder;  // where the default roster is looked for
  FakeDialogs dialogs;
  FakeClock clock;
  FakeRandom random;
  FakeSound sound;
  Services services() { return Services{programFolder.path(), &dialogs, &clock, &random, &sound}; }
};

}  // namespace velquor::test
