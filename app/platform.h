// What the program does differently on Windows and on the POSIX desktops: the sound player,
// opening a document in the desktop's program for it, installed or portable, where the
// program's own files and settings go, and answering the command line. One implementation
// file per platform: platform_win.cpp, platform_posix.cpp.
#pragma once

#include <QString>
#include <functional>
#include <memory>

class QSettings;

namespace velquor {

class SoundPlayer;

namespace platform {

// The program's sound player: winmm's PlaySoundW on Windows, Qt Multimedia elsewhere.
std::unique_ptr<SoundPlayer> makeSoundPlayer();

// Opens a document (the roster) in the desktop's default program for it; false when that fails.
bool openDocument(const QString& path);

// True when the program runs from an installation rather than from a portable folder: on
// Windows the installer's uninstaller stands beside the program, elsewhere the installed data
// folder (../share/velquor).
bool isInstalled(const QString& programFolder);

// Where the program keeps its own files (pending writes, absences, the portable settings).
// Empty means the platform's application data folder (%APPDATA%\Velquor on Windows).
QString dataFolder(const QString& programFolder);

// The remembered settings: the registry for the installed Windows program, an INI file in the
// data folder for the portable one, the desktop's settings file elsewhere.
std::unique_ptr<QSettings> openSettings(const QString& programFolder, const QString& dataFolder);

// Text in the Chinese code page (GBK and its superset GB18030), such as a 说明文档.txt written on
// Chinese Windows: through Qt's ICU converter on Linux, through Windows' own code pages
// (54936, else 936) on Windows, where Qt has no such converter.
QString decodeGb18030(const QByteArray& bytes);

// Shows the answer to a command-line option (--version, --help, --paths): on standard output,
// or on Windows, where the program has no console, on the console it was started from, else
// in a message box.
void showCommandLineText(const QString& text);

#ifdef _WIN32
// The choice behind dataFolder() on Windows: the folder `data` beside a portable program when
// it exists or can be made and a file can be written in it, else `appData`. An installed
// program always uses `appData`.
QString chooseDataFolder(const QString& programFolder, bool installed, const QString& appData);

// The Windows player playing through `play` (PlaySoundW's sound and flags; winmm's own in the
// program, a recorder in tests). A file plays with SND_ASYNC | SND_FILENAME, so a new cue cuts
// off the last; an empty path plays the program's default sound from memory.
using PlaySoundFunction = std::function<bool(const wchar_t* sound, unsigned flags)>;
std::unique_ptr<SoundPlayer> makeWinmmSoundPlayer(PlaySoundFunction play);
#endif

}  // namespace platform
}  // namespace velquor
