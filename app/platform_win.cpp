// The Windows side of the platform seam: winmm plays the cues, the shell opens documents, the
// installed program keeps its settings in the registry and the portable one beside itself.
#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <string>

#include "app/platform.h"
#include "app/services.h"
#include "app/widgets.h"

namespace velquor::platform {
namespace {

class WinmmSoundPlayer final : public SoundPlayer {
 public:
  explicit WinmmSoundPlayer(PlaySoundFunction play) : play_(std::move(play)) {}
  // A cue still playing from memory must stop before its bytes go.
  ~WinmmSoundPlayer() override {
    if (!defaultSound_.isEmpty()) play_(nullptr, 0);
  }

  void play(const QString& path) override {
    if (path.isEmpty()) {
      if (defaultSound_.isEmpty()) {
        QFile sound(QStringLiteral(":/velquor/default.wav"));
        if (sound.open(QIODevice::ReadOnly)) defaultSound_ = sound.readAll();
      }
      if (!defaultSound_.isEmpty())
        play_(reinterpret_cast<const wchar_t*>(defaultSound_.constData()), SND_ASYNC | SND_MEMORY);
      return;
    }
    const std::wstring file = QDir::toNativeSeparators(path).toStdWString();
    play_(file.c_str(), SND_ASYNC | SND_FILENAME);
  }

 private:
  PlaySoundFunction play_;
  QByteArray defaultSound_;  // the default sound, kept while it may be playing
};

std::wstring wide(const QString& text) { return text.toStdWString(); }

}  // namespace

std::unique_ptr<SoundPlayer> makeWinmmSoundPlayer(PlaySoundFunction play) {
  return std::make_unique<WinmmSoundPlayer>(std::move(play));
}

std::unique_ptr<SoundPlayer> makeSoundPlayer() {
  return makeWinmmSoundPlayer(
      [](const wchar_t* sound, unsigned flags) { return PlaySoundW(sound, nullptr, flags) != FALSE; });
}

bool openDocument(const QString& path) {
  const std::wstring file = wide(QDir::toNativeSeparators(path));
  const auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;  // ShellExecuteW's own convention: larger than 32 is success
}

bool isInstalled(const QString& programFolder) {
  return !programFolder.isEmpty() && QFileInfo(QDir(programFolder).filePath(QStringLiteral("uninstall.exe"))).isFile();
}

QString chooseDataFolder(const QString& programFolder, bool installed, const QString& appData) {
  if (installed || programFolder.isEmpty()) return appData;
  const QString data = QDir::cleanPath(QDir(programFolder).filePath(QStringLiteral("data")));
  if (!QDir().mkpath(data)) return appData;
  // Restore software, a write-protected stick or a folder without rights: only writing tells.
  QTemporaryFile probe(data + QStringLiteral("/write-test-XXXXXX.tmp"));
  if (!probe.open()) return appData;
  return data;
}

QString dataFolder(const QString& programFolder) {
  return chooseDataFolder(programFolder, isInstalled(programFolder),
                          QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

std::unique_ptr<QSettings> openSettings(const QString& programFolder, const QString& dataFolder) {
  if (isInstalled(programFolder) || dataFolder.isEmpty())
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, applicationTitle(),
                                       applicationTitle());  // HKEY_CURRENT_USER\Software\Velquor\Velquor
  return std::make_unique<QSettings>(QDir(dataFolder).filePath(QStringLiteral("velquor.ini")), QSettings::IniFormat);
}

QString decodeGb18030(const QByteArray& bytes) {
  if (bytes.isEmpty()) return QString();
  const int size = static_cast<int>(bytes.size());
  // GB18030 where the system has it, else GBK (936), which covers what such files hold.
  for (const UINT codePage : {54936u, 936u}) {
    const int length = MultiByteToWideChar(codePage, 0, bytes.constData(), size, nullptr, 0);
    if (length <= 0) continue;
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.constData(), size, text.data(), length);
    return QString::fromStdWString(text);
  }
  return QString::fromLatin1(bytes);
}

void showCommandLineText(const QString& text) {
  const std::wstring wtext = wide(text);
  DWORD mode = 0;
  DWORD written = 0;
  // Output redirected to a file or a pipe goes there, as UTF-8.
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN) {
    if (GetConsoleMode(out, &mode)) {
      WriteConsoleW(out, wtext.c_str(), static_cast<DWORD>(wtext.size()), &written, nullptr);
    } else {
      const QByteArray utf8 = text.toUtf8();
      WriteFile(out, utf8.constData(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
    return;
  }
  // Started from a console window: the program has none of its own, so it borrows that one.
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
      WriteConsoleW(console, wtext.c_str(), static_cast<DWORD>(wtext.size()), &written, nullptr);
      CloseHandle(console);
      FreeConsole();
      return;
    }
    FreeConsole();
  }
  const std::wstring title = wide(applicationTitle());
  MessageBoxW(nullptr, wtext.c_str(), title.c_str(), MB_OK | MB_ICONINFORMATION);
}

}  // namespace velquor::platform
