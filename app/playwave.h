// The sound cue.
#pragma once

#include <QString>

#include "app/datafiles.h"

namespace velquor {

class SoundPlayer;

// Plays a wave file without waiting. A missing file plays the player's default sound;
// no failure reaches the caller.
void PlayWave(SoundPlayer* player, const QString& path);

}  // namespace velquor
