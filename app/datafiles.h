// Where the program finds its data files (sounds, introduction text) and the teacher's
// roster, whether it runs from a portable folder or from an installed package.
#pragma once

#include <QString>
#include <QStringList>

namespace velquor {

// Folders searched for a relative data file, in this order: `currentFolder`, `programFolder`,
// the installed data folder beside the program (`programFolder`/../share/velquor), then the
// standard data locations of the desktop (…/velquor under each, the user's own first).
// Duplicates are left out.
QStringList dataFolders(const QString& currentFolder, const QString& programFolder);

// Finds a data file given by a relative name such as "sound/start.wav" (a backslash counts
// as a folder separator) in the folders above for the process's current folder and the
// program's folder. Returns the full path, or an empty text when it is nowhere.
QString findDataFile(const QString& relativeName);

// The default roster's file names, in order of preference.
QStringList defaultRosterNames();

// True when the program runs from an installation rather than from a portable folder that
// also holds its roster (platform::isInstalled).
bool isInstalledProgram(const QString& programFolder);

struct DefaultRoster {
  QString path;              // the roster found, or where the default roster belongs
  bool exists = false;       // a roster is at `path`
  bool offerSample = false;  // nothing found by an installed program: offer the sample at `path`
};

// The default roster: one of the default names in the program's folder (a portable copy
// keeps working), else in the documents folder. With neither, a portable program keeps the
// program's folder as the place and an installed one the documents folder.
DefaultRoster locateDefaultRoster(const QString& programFolder, const QString& documentsFolder);

// The user's documents folder as the desktop names it.
QString userDocumentsFolder();

// Writes the sample roster built into the program to `path` as an ordinary writable file,
// creating its folder. An existing file is never replaced. False when nothing was written.
bool copySampleRoster(const QString& path);

}  // namespace velquor
