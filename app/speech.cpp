#include "app/speech.h"

#include <QStringList>

#include "rollcall/pool.h"

#ifdef VELQUOR_HAS_SPEECH
#include <QLocale>
#include <QTextToSpeech>
#include <QVoice>
#endif

namespace velquor {

QString spokenText(int category, const QString& caption, const QString& before, const QString& after) {
  const QStringList lines = caption.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  QString called;
  if (category == rollcall::kNameList)
    called = lines.isEmpty() ? QString() : lines.last().trimmed();
  else if (category == rollcall::kNumber)
    called = caption.trimmed() + QStringLiteral("号");
  else
    called = lines.join(QString()).remove(QLatin1Char(' '));
  if (called.isEmpty()) return QString();
  return before.trimmed() + called + after.trimmed();
}

namespace {

#ifdef VELQUOR_HAS_SPEECH

bool isChinese(const QLocale& locale) { return locale.language() == QLocale::Chinese; }

// espeak-ng names its Mandarin voices by the language code "cmn", which QLocale does not
// know; the voice's name says what it speaks.
bool isChineseVoice(const QVoice& voice) {
  const QString name = voice.name().toLower();
  return name.contains(QLatin1String("chinese")) || name.contains(QLatin1String("mandarin")) ||
         name.startsWith(QLatin1String("cmn")) || name.startsWith(QLatin1String("zh"));
}

class QtSpeaker final : public Speaker {
 public:
  QString unavailableReason() override {
    open();
    return reason_;
  }

  void say(const QString& text) override {
    open();
    if (tts_ && !text.isEmpty()) tts_->say(text);
  }

  int spoken() const override { return spoken_; }

 private:
  // The first engine with a Chinese voice.
  void open() {
    if (opened_) return;
    opened_ = true;
    const QStringList engines = QTextToSpeech::availableEngines();
    if (engines.isEmpty()) {
      reason_ = QStringLiteral("没有安装语音合成引擎，无法朗读");
      return;
    }
    reason_ = QStringLiteral("语音合成引擎没有中文语音，无法朗读");
    for (const QString& engine : engines) {
      auto tts = std::make_unique<QTextToSpeech>(engine);
      if (tts->state() == QTextToSpeech::Error) {
        reason_ = QStringLiteral("语音合成服务无法使用：") + tts->errorString();
        continue;
      }
      if (chooseChineseVoice(*tts)) {
        tts_ = std::move(tts);
        QObject::connect(tts_.get(), &QTextToSpeech::stateChanged, tts_.get(), [this](QTextToSpeech::State state) {
          if (state == QTextToSpeech::Speaking) speaking_ = true;
          if (state == QTextToSpeech::Ready && speaking_) {
            speaking_ = false;
            ++spoken_;
          }
        });
        reason_.clear();
        return;
      }
    }
  }

  static bool chooseChineseVoice(QTextToSpeech& tts) {
    const QList<QLocale> locales = tts.availableLocales();
    for (const QLocale& locale : locales) {
      if (!isChinese(locale)) continue;
      tts.setLocale(locale);
      if (!tts.availableVoices().isEmpty()) return true;
    }
    for (const QLocale& locale : locales) {
      tts.setLocale(locale);
      for (const QVoice& voice : tts.availableVoices()) {
        if (!isChineseVoice(voice)) continue;
        tts.setVoice(voice);
        return true;
      }
    }
    return false;
  }

  bool opened_ = false;
  bool speaking_ = false;
  int spoken_ = 0;
  QString reason_;
  std::unique_ptr<QTextToSpeech> tts_;
};

#else

class QtSpeaker final : public Speaker {
 public:
  QString unavailableReason() override { return QStringLiteral("本程序没有语音合成功能，无法朗读"); }
  void say(const QString&) override {}
  int spoken() const override { return 0; }
};

#endif

}  // namespace

std::unique_ptr<Speaker> makeSystemSpeaker() { return std::make_unique<QtSpeaker>(); }

}  // namespace velquor
