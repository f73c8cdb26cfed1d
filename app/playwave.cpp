#include "app/playwave.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "app/services.h"

namespace velquor {

QString findDataFile(const QString& relativeName) {
  QString name = relativeName;
  name.replace(QLatin1Char('\\'), QLatin1Char('/'));
  const QFileInfo here(QDir::current(), name);
  if (here.isFile()) return here.absoluteFilePath();
  if (QCoreApplication::instance()) {
    const QFileInfo beside(QDir(QCoreApplication::applicationDirPath()), name);
    if (beside.isFile()) return beside.absoluteFilePath();
  }
  return QString();
}

void PlayWave(SoundPlayer* player, const QString& path) {
  if (!player) return;
  try {
    player->play(findDataFile(path));
  } catch (...) {
    // A cue is never worth interrupting the teacher's action.
  }
}

}  // namespace velquor
