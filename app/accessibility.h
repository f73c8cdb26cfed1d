// What a screen reader hears: the names of the window's boxes, drop-downs and lists, and
// the student called on the name label.
#pragma once

#include <QString>

class QObject;
class QWidget;

namespace velquor {

class FrmMd;

// Names every text box, drop-down and list after its label or frame. The range boxes are
// named for the active category (rows and columns, or the lowest and highest number).
void nameEntryControls(FrmMd& window);

// Makes a label announce its text: a reader hears its name (the text shown) again, also
// when it equals the last one (the same student called twice).
void announce(QWidget* label);

// Sees every announcement as it is sent; returns the one seen before. Events reach Qt's own
// handlers only while a screen reader is active, so a test without one watches here.
using AnnouncementWatcher = void (*)(QObject* label);
AnnouncementWatcher watchAnnouncements(AnnouncementWatcher watcher);

}  // namespace velquor
