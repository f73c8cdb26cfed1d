// Seams between the main window and what a test cannot drive on a headless machine:
// message boxes and the file dialog, the desktop, the clock, the random generator and
// the sound player and the voice. The program uses the real implementations (services_real.cpp);
// tests pass fakes.
#pragma once

#include <QDateTime>
#include <QString>
#include <functional>
#include <memory>

class QSettings;
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
  // Opens a document in the desktop's default program for it; false when that fails.
  virtual bool openDocument(const QString& path) = 0;
  // A modal question with Yes and No buttons; true for Yes. `yesIsDefault` picks the button
  // that Enter presses: No where Yes could do harm.
  virtual bool ask(QWidget* parent, const QString& text, const QString& title, bool yesIsDefault) = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual QDateTime now() const = 0;  // local date and time
  // Milliseconds from a fixed point, never set back nor moved by a change of the wall
  // clock; for measuring how long something took.
  virtual qint64 monotonicMs() const = 0;
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

// The voice that reads a called name aloud.
class Speaker {
 public:
  virtual ~Speaker() = default;
  // Empty when a voice can speak; otherwise why none can, in words for the teacher.
  virtual QString unavailableReason() = 0;
  // Starts speaking and returns at once; a new text cuts off the one still being spoken.
  virtual void say(const QString& text) = 0;
  // How many texts have been spoken to their end.
  virtual int spoken() const = 0;
};

struct Services {
  // The folder of the default roster; empty means the program's own folder.
  QString programFolder;
  Dialogs* dialogs = nullptr;
  Clock* clock = nullptr;
  RandomSource* random = nullptr;
  SoundPlayer* sound = nullptr;
  // Where the default roster is looked for after the program's folder; empty means the
  // user's documents folder.
  QString documentsFolder;
  // Where the program keeps its own files (pending writes, absences); empty means the
  // platform's application data folder.
  QString dataFolder;
  // Where the window's settings are remembered between runs; none when empty (nothing is
  // read or written). `resetSettings` starts with the design's defaults and forgets them.
  std::function<std::unique_ptr<QSettings>()> settings;
  bool resetSettings = false;
  // The voice for reading names aloud; none means no voice is available.
  Speaker* speaker = nullptr;
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
