// The Windows side of the platform seam, run under Wine: where a portable and an installed
// program keep their files and settings, and what reaches PlaySoundW.
#include <windows.h>
#include <mmsystem.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <vector>

#include "app/platform.h"
#include "app/playwave.h"
#include "app/services.h"
#include "app/settings.h"

using namespace velquor;

namespace {

struct Call {
  std::wstring sound;  // the file name; empty for a sound from memory or a stop
  unsigned flags;
  QByteArray head;     // the first bytes of a sound from memory
};

}  // namespace

class TestPlatformWin : public QObject {
  Q_OBJECT
 private slots:
  void aPortableProgramKeepsItsFilesInTheDataFolderBesideItWhenItCanWriteThere() {
    QTemporaryDir program, appData;
    const QString data = QDir(program.path()).filePath(QStringLiteral("data"));
    // Made when missing, and nothing of the write test is left behind.
    QCOMPARE(platform::chooseDataFolder(program.path(), false, appData.path()), QDir::cleanPath(data));
    QVERIFY(QDir(data).exists());
    QVERIFY(QDir(data).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    // An installed program uses %APPDATA%\Velquor whatever stands beside it.
    QCOMPARE(platform::chooseDataFolder(program.path(), true, appData.path()), appData.path());

    // A "data" that cannot be a folder, and a program folder on a drive that is not there.
    QTemporaryDir blocked;
    QFile file(QDir(blocked.path()).filePath(QStringLiteral("data")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QCOMPARE(platform::chooseDataFolder(blocked.path(), false, appData.path()), appData.path());
    QCOMPARE(platform::chooseDataFolder(QStringLiteral("Q:/gone"), false, appData.path()), appData.path());
  }

  void theInstallersUninstallerMarksAnInstalledProgram() {
    QTemporaryDir program;
    QVERIFY(!platform::isInstalled(program.path()));
    QFile uninstaller(QDir(program.path()).filePath(QStringLiteral("uninstall.exe")));
    QVERIFY(uninstaller.open(QIODevice::WriteOnly));
    uninstaller.close();
    QVERIFY(platform::isInstalled(program.path()));
  }

  void portableSettingsAreAnIniFileInTheDataFolderAndInstalledOnesAreInTheRegistry() {
    QTemporaryDir program, data;
    RememberedSettings s;
    s.className = QStringLiteral("高一(3)班");
    s.category = 0;
    s.scale = 1.5;
    {
      const auto store = platform::openSettings(program.path(), data.path());
      QCOMPARE(store->format(), QSettings::IniFormat);
      QCOMPARE(QDir::cleanPath(store->fileName()), QDir(data.path()).filePath(QStringLiteral("velquor.ini")));
      writeSettings(*store, s);
    }
    QVERIFY(QFile(QDir(data.path()).filePath(QStringLiteral("velquor.ini"))).size() > 0);
    QCOMPARE(readSettings(*platform::openSettings(program.path(), data.path())), std::optional(s));

    QFile uninstaller(QDir(program.path()).filePath(QStringLiteral("uninstall.exe")));
    QVERIFY(uninstaller.open(QIODevice::WriteOnly));
    uninstaller.close();
    const auto installed = platform::openSettings(program.path(), data.path());
    QCOMPARE(installed->format(), QSettings::NativeFormat);
    QCOMPARE(installed->fileName(), QStringLiteral("\\HKEY_CURRENT_USER\\Software\\Velquor\\Velquor"));
    installed->clear();
    writeSettings(*installed, s);
    HKEY key = nullptr;
    QCOMPARE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Velquor\\Velquor", 0, KEY_READ, &key), LONG(ERROR_SUCCESS));
    wchar_t value[64] = {};
    DWORD size = sizeof value;
    const LONG read = RegQueryValueExW(key, L"class", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    installed->clear();
    installed->sync();
    QCOMPARE(read, LONG(ERROR_SUCCESS));
    QCOMPARE(QString::fromWCharArray(value), s.className);
  }

  void cuesReachPlaySoundWAsFilesPlayedAsynchronouslyAndTheDefaultFromMemory() {
    std::vector<Call> calls;
    auto player = platform::makeWinmmSoundPlayer([&](const wchar_t* sound, unsigned flags) {
      Call call{std::wstring(), flags, QByteArray()};
      if (flags & SND_MEMORY) call.head = QByteArray(reinterpret_cast<const char*>(sound), 4);
      else if (sound) call.sound = sound;
      calls.push_back(call);
      return true;
    });
    const QString saved = QDir::currentPath();
    QTemporaryDir current;
    QDir(current.path()).mkpath(QStringLiteral("sound"));
    QFile cue(QDir(current.path()).filePath(QStringLiteral("sound/type.wav")));
    QVERIFY(cue.open(QIODevice::WriteOnly));
    cue.close();
    QDir::setCurrent(current.path());
    PlayWave(player.get(), QStringLiteral("sound\\type.wav"));
    PlayWave(player.get(), QStringLiteral("sound\\gone.wav"));
    QDir::setCurrent(saved);
    player.reset();

    QCOMPARE(calls.size(), size_t(3));
    QCOMPARE(QString::fromStdWString(calls[0].sound),
             QDir::toNativeSeparators(QDir(current.path()).filePath(QStringLiteral("sound/type.wav"))));
    QCOMPARE(calls[0].flags, unsigned(SND_ASYNC | SND_FILENAME));
    QCOMPARE(calls[1].flags, unsigned(SND_ASYNC | SND_MEMORY));
    QCOMPARE(calls[1].head, QByteArray("RIFF"));
    // Going away stops the sound from memory before its bytes are freed.
    QCOMPARE(calls[2].flags, 0u);
    QVERIFY(calls[2].sound.empty());
  }

  void winmmPlaysTheProgramsCueAndRefusesAFileThatIsNotThere() {
    const std::wstring cue =
        QDir::toNativeSeparators(QStringLiteral(VELQUOR_SOURCE_DIR "/sound/yes.wav")).toStdWString();
    const std::wstring gone =
        QDir::toNativeSeparators(QStringLiteral(VELQUOR_SOURCE_DIR "/sound/gone.wav")).toStdWString();
    QVERIFY(!PlaySoundW(gone.c_str(), nullptr, SND_SYNC | SND_FILENAME | SND_NODEFAULT));
    if (waveOutGetNumDevs() == 0) QSKIP("no wave output device here: winmm cannot play at all");
    QVERIFY(PlaySoundW(cue.c_str(), nullptr, SND_SYNC | SND_FILENAME | SND_NODEFAULT));
  }
};

QTEST_MAIN(TestPlatformWin)
#include "test_platform_win.moc"
