// The system's voice, for real: speech-dispatcher with espeak-ng's Mandarin voice, on an
// audio device of its own that discards the sound, in a home folder of its own.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/speech.h"

using namespace velquor;

class TestSpeech : public QObject {
  Q_OBJECT
 private slots:
  void aChineseVoiceReadsTheCallAloud() {
    if (!QFile::exists(QStringLiteral("/usr/bin/speech-dispatcher")) ||
        !QFile::exists(QStringLiteral("/usr/lib/speech-dispatcher-modules/sd_espeak-ng")))
      QSKIP("speech-dispatcher with espeak-ng is not installed");
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const auto write = [&home](const QString& path, const QByteArray& text) {
      QFile f(home.filePath(path));
      return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    };
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("config/speech-dispatcher")));
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("run")));
    QFile::setPermissions(home.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(write(QStringLiteral(".asoundrc"), "pcm.!default { type null }\n"));
    QVERIFY(write(QStringLiteral("config/speech-dispatcher/speechd.conf"),
                  "AudioOutputMethod \"alsa\"\nAddModule \"espeak-ng\" \"sd_espeak-ng\" \"espeak-ng.conf\"\n"
                  "DefaultModule espeak-ng\nTimeout 3\n"));
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.filePath(QStringLiteral("run")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", home.filePath(QStringLiteral("cache")).toLocal8Bit());

    const std::unique_ptr<Speaker> speaker = makeSystemSpeaker();
    QCOMPARE(speaker->unavailableReason(), QString());
    speaker->say(spokenText(0, QStringLiteral("3 号 \r\n李小明"), QStringLiteral("请"), QStringLiteral("回答")));
    QTRY_COMPARE_WITH_TIMEOUT(speaker->spoken(), 1, 30000);
    QCOMPARE(speaker->unavailableReason(), QString());
  }
};

QTEST_MAIN(TestSpeech)
#include "test_speech.moc"
