#include "app/playwave.h"

#include "app/services.h"
#include "core/log.h"

namespace velquor {

void PlayWave(SoundPlayer* player, const QString& path) {
  if (!player) return;
  try {
    player->play(findDataFile(path));
  } catch (const std::exception& e) {
    // A cue is never worth interrupting the teacher's action.
    log::write("sound", e.what());
  } catch (...) {
    log::write("sound", "failed: " + path.toStdString());
  }
}

}  // namespace velquor
