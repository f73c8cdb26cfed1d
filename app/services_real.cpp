#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <memory>
#include <random>

#include "app/platform.h"
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

  bool openDocument(const QString& path) override { return platform::openDocument(path); }

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

}  // namespace

struct RealServices::Impl {
  QtDialogs dialogs;
  SystemClock clock;
  Mt19937Random random;
  std::unique_ptr<SoundPlayer> sound = platform::makeSoundPlayer();
  std::unique_ptr<Speaker> speaker = makeSystemSpeaker();
};

RealServices::RealServices() : impl_(new Impl) {}
RealServices::~RealServices() { delete impl_; }

Services RealServices::services() const {
  return Services{QString(), &impl_->dialogs, &impl_->clock, &impl_->random, impl_->sound.get(), QString(), QString(), {}, false,
                  impl_->speaker.get()};
}

}  // namespace velquor
