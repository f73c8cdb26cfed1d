#include "app/playwave.h"

#include "app/services.h"

namespace velquor {

void PlayWave(SoundPlayer* player, const QString& path) {
  if (!player) return;
  try {
    player->play(findDataFile(path));
  } catch (...) {
    // A cue is never worth interrupting the teacher's action.
  }
}

}  // namespace velquor
