// The POSIX desktops' side of the platform seam: Qt Multimedia plays the cues, the desktop
// opens documents, settings live in the desktop's settings folder.
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSoundEffect>
#include <QStringDecoder>
#include <QUrl>
#include <cstdio>
#include <map>

#include "app/platform.h"
#include "app/services.h"
#include "app/widgets.h"

namespace velquor::platform {
namespace {

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

std::unique_ptr<SoundPlayer> makeSoundPlayer() { return std::make_unique<QtSoundPlayer>(); }

bool openDocument(const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); }

bool isInstalled(const QString& programFolder) {
  return QFileInfo(QDir::cleanPath(programFolder + QStringLiteral("/../share/velquor"))).isDir();
}

QString dataFolder(const QString&) { return QString(); }

// Named here rather than through an organization name, which would also move the program's
// data folder.
std::unique_ptr<QSettings> openSettings(const QString&, const QString&) {
  return std::make_unique<QSettings>(applicationTitle(), applicationTitle());
}

QString decodeGb18030(const QByteArray& bytes) {
  QStringDecoder gb18030("GB18030");
  if (gb18030.isValid()) return gb18030(bytes);
  return QString::fromLocal8Bit(bytes);
}

void showCommandLineText(const QString& text) {
  std::fputs(text.toUtf8().constData(), stdout);
  std::fflush(stdout);
}

}  // namespace velquor::platform
