// The sound cue and the lookup of the program's data files.
#pragma once

#include <QString>

namespace velquor {

class SoundPlayer;

// Finds a data file given by a relative name such as "sound/start.wav": first in the
// current folder, then in the program's folder. Returns the full path, or an empty
// text when it is in neither.
QString findDataFile(const QString& relativeName);

// Plays a wave file without waiting. A missing file plays the player's default sound;
// no failure reaches the caller.
void PlayWave(SoundPlayer* player, const QString& path);

}  // namespace velquor
