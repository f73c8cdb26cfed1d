#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <map>
#include <QMessageBox>
#include <QSoundEffect>
#include <QUrl>
#include <memory>
#include <random>

#include "app/services.h"
#include "app/speech.h"

namespace velquor {
namespace {

class QtDialogs final : public Dialogs {
 public:
  void message(QWidget* parent, const QString& text, const QString& title, MessageIcon icon) override {
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon, title, text,
                    QMessageBox::Ok, parent);
    box.exec();
  }

  QString openFileName(QWidget* parent, const QString& filter) override {
    // "Description|pattern" becomes Qt's "Description (pattern)".
    QString qtFilter = filter;
    const int bar = filter.indexOf(QLatin1Char('|'));
    if (bar >= 0) qtFilter = filter.left(bar) + QStringLiteral(" (") + filter.mid(bar + 1) + QLatin1Char(')');
    return QFileDialog::getOpenFileName(parent, QString(), QString(), qtFilter);
  }

  bool openDocument(const QString& path) override { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

  bool ask(QWidget* parent, const QString& text, const QString& title, bool yesIsDefault) override {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(yesIsDefault ? QMessageBox::Yes : QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
  }
};

class SystemClock final : public Clock {
 public:
  SystemClock() { started_.start(); }
  QDateTime now() const override { return QDateTime::currentDateTime(); }
  qint64 monotonicMs() const override { return started_.elapsed(); }

 private:
  QElapsedTimer started_;  // a monotonic clock where the platform has one
};

class Mt19937Random final : public RandomSource {
 public:
  Mt19937Random() : engine_(std::random_device{}()) {}
  // The caller reseeds from the time of day before every pick. Mixing the seed into
  // the running state keeps that cheap reseed from making draws predictable.
  void reseed(double seed) override {
    std::seed_seq seq{static_cast<unsigned>(engine_()), static_cast<unsigned>(seed * 1000.0)};
    engine_.seed(seq);
  }
  double next() override { return std::uniform_real_distribution<double>(0.0, 1.0)(engine_); }

 private:
  std::mt19937 engine_;
};

// One sound effect per file, loaded on first use and kept, so a cue starts at once.
class QtSoundPlayer final : public SoundPlayer {
 public:
  void play(const QString& path) override {
    const QString source = path.isEmpty() ? QStringLiteral("qrc:/velquor/default.wav") : path;
    if (current_) current_->stop();
    auto& effect = effects_[source];
    if (!effect) {
      effect = std::make_unique<QSoundEffect>();
      effect->setSource(path.isEmpty() ? QUrl(source) : QUrl::fromLocalFile(source));
    }
    current_ = effect.get();
    current_->play();
  }

 private:
  std::map<QString, std::unique_ptr<QSoundEffect>> effects_;
  QSoundEffect* current_ = nullptr;
};

}  // namespace

struct RealServices::Impl {
  QtDialogs dialogs;
  SystemClock clock;
  Mt19937Random random;
  QtSoundPlayer sound;
  std::unique_ptr<Speaker> speaker = makeSystemSpeaker();
};

RealServices::RealServices() : impl_(new Impl) {}
RealServices::~RealServices() { delete impl_; }

Services RealServices::services() const {
  return Services{QString(), &impl_->dialogs, &impl_->clock, &impl_->random, &impl_->sound, QString(), QString(), {}, false,
                  impl_->speaker.get()};
}

}  // namespace velquor
