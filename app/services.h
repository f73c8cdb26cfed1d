// Seams between the main window and what a test cannot drive on a headless machine:
// message boxes and the file dialog, the desktop, the clock, the random generator and
// the sound player. The program uses the real implementations (services_real.cpp);
// tests pass fakes.
#pragma once

#include <QDateTime>
#include <QString>

class QWidget;

namespace velquor {

enum class MessageIcon { None, Critical };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A modal message box with only an OK button.
  virtual void message(QWidget* parent, const QString& text, const QString& title, MessageIcon icon) = 0;
  // The open-file dialog; returns the chosen path, or an empty text when cancelled.
  // `filter` is in the form "Excel文件|*.xls *.xlsx".
  virtual QString openFileName(QWidget* parent, const QString& filter) = 0;
  // A modal question with Yes and No buttons (No is the default); true for Yes.
  virtual bool confirm(QWidget* parent, const QString& text, const QString& title) = 0;
  // Opens a document in the desktop's default program for it; false when that fails.
  virtual bool openDocument(const QString& path) = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual QDateTime now() const = 0;  // local date and time
};

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual void reseed(double seed) = 0;
  virtual double next() = 0;  // uniform in [0, 1)
};

class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  // Starts playing the wave file and returns at once; a new cue cuts off the one
  // still playing. An empty path asks for the player's default sound.
  virtual void play(const QString& path) = 0;
};

struct Services {
  // The folder of the default roster; empty means the program's own folder.
  QString programFolder;
  Dialogs* dialogs = nullptr;
  Clock* clock = nullptr;
  RandomSource* random = nullptr;
  SoundPlayer* sound = nullptr;
};

// The real implementations, owned by the returned holder.
class RealServices {
 public:
  RealServices();
  ~RealServices();
  RealServices(const RealServices&) = delete;
  RealServices& operator=(const RealServices&) = delete;
  Services services() const;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace velquor
