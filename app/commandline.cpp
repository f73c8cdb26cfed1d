#include "app/commandline.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTextStream>
#include <cstring>

#include "app/datafiles.h"
#include "app/platform.h"
#include "app/programdata.h"
#include "app/version.h"
#include "app/widgets.h"

namespace velquor {
namespace {

const char* const kUsage =
    "Usage: velquor [--version | --help | --paths | --reset] [ROSTER]\n"
    "Starts the classroom roll-call window. Options:\n"
    "  --version  print the version\n"
    "  --help     print this help\n"
    "  --paths    print where the sounds, the introduction text, the default roster, the program's\n"
    "             data and its log are found\n"
    "  --reset    start with the default settings and forget the remembered ones\n";

// One line per data file, one for the default roster and one each for the program's own
// folder and its settings, so an installation can be checked from a terminal.
void printPaths(QTextStream& out) {
  const QString program = QCoreApplication::applicationDirPath();
  const QStringList files{QStringLiteral("sound/start.wav"), QStringLiteral("sound/over.wav"),
                          QStringLiteral("sound/yes.wav"),   QStringLiteral("sound/type.wav"),
                          QStringLiteral("sound/type0.wav"), QStringLiteral("说明文档.txt")};
  for (const QString& name : files) {
    const QString found = findDataFile(name);
    out << name << ": " << (found.isEmpty() ? QStringLiteral("(missing)") : QDir::toNativeSeparators(found)) << '\n';
  }
  const DefaultRoster roster = locateDefaultRoster(program, userDocumentsFolder());
  out << "roster: " << QDir::toNativeSeparators(roster.path);
  if (roster.exists) out << " (found)";
  else if (roster.offerSample) out << " (missing; the sample roster is offered there)";
  else out << " (missing; the file dialog opens)";
  out << '\n';
  QString data = platform::dataFolder(program);
  if (data.isEmpty()) data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  out << "data: " << QDir::toNativeSeparators(data) << '\n';
  out << "database: " << QDir::toNativeSeparators(ProgramData::databasePath(data)) << '\n';
  out << "log: " << QDir::toNativeSeparators(ProgramData::logPath(data)) << '\n';
  out << "settings: " << QDir::toNativeSeparators(platform::openSettings(program, data)->fileName()) << '\n';
}

}  // namespace

std::optional<int> answerCommandLine(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--version") == 0) {
      platform::showCommandLineText(QStringLiteral("velquor %1\n").arg(QLatin1String(kVersion)));
      return 0;
    }
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      platform::showCommandLineText(QString::fromUtf8(kUsage));
      return 0;
    }
    if (std::strcmp(arg, "--paths") == 0) {
      QCoreApplication core(argc, argv);
      QCoreApplication::setApplicationName(applicationTitle());  // as the windows name it
      QString text;
      QTextStream out(&text);
      printPaths(out);
      out.flush();
      platform::showCommandLineText(text);
      return 0;
    }
  }
  return std::nullopt;
}

}  // namespace velquor
