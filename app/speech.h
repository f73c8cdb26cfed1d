// Reading a called name aloud: the text spoken for a call, and the system's voice.
#pragma once

#include <QString>
#include <memory>

#include "app/services.h"

namespace velquor {

// The text spoken for the call the name label shows: the student's name (the caption's last
// line) in the name-list category, the number followed by "号", or the seat as the caption
// reads it ("2行5列"); between the teacher's text before and after it.
QString spokenText(int category, const QString& caption, const QString& before, const QString& after);

// The system's voice through Qt TextToSpeech, speaking Chinese; where the program is built
// without Qt TextToSpeech, a speaker that says why it has no voice. The engine is opened on
// the first question, not when the speaker is made.
std::unique_ptr<Speaker> makeSystemSpeaker();

}  // namespace velquor
