// Starts the program: the splash window, then the main window. One window runs per user and
// data folder: a second start hands its roster file (if any) to it and ends.
// `--reset` starts with the design's defaults and forgets the remembered settings.
#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <memory>

#include "app/commandline.h"
#include "app/frmfm.h"
#include "app/frmmd.h"
#include "app/programdata.h"
#include "app/platform.h"
#include "app/services.h"
#include "app/settings.h"
#include "app/singleinstance.h"
#include "app/widgets.h"
#include "core/log.h"

int main(int argc, char* argv[]) {
  if (const auto exitCode = velquor::answerCommandLine(argc, argv)) return *exitCode;
  QApplication app(argc, argv);
  QApplication::setApplicationName(velquor::applicationTitle());
  // Ties the windows to the installed desktop entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("velquor"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("velquor")));
  const velquor::StartOptions options = velquor::parseStartOptions(QApplication::arguments());
  // The program's own files and the user's settings: the platform's standard places, or beside
  // a portable Windows program.
  const QString programFolder = QCoreApplication::applicationDirPath();
  const QString portableData = velquor::platform::dataFolder(programFolder);
  const QString dataFolder =
      portableData.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) : portableData;
  QDir().mkpath(dataFolder);
  velquor::log::setFile(velquor::ProgramData::logPath(dataFolder).toStdU16String());
  velquor::SingleInstance instance(dataFolder);
  if (!instance.claim(options.rosterPath)) return 0;
  velquor::RealServices realServices;
  velquor::Services services = realServices.services();
  services.dataFolder = portableData;
  services.settings = [programFolder, data = services.dataFolder] {
    return velquor::platform::openSettings(programFolder, data);
  };
  services.resetSettings = options.reset;
  std::unique_ptr<velquor::FrmMd> mainWindow;
  QString handedOver = options.rosterPath;  // kept until the main window is up
  auto* splash = new velquor::FrmFm([&] {
    mainWindow = std::make_unique<velquor::FrmMd>(services);
    mainWindow->show();
    if (!handedOver.isEmpty())
      QTimer::singleShot(0, mainWindow.get(), [&, path = handedOver] { velquor::openGivenRoster(*mainWindow, path); });
    handedOver.clear();
  });
  QObject::connect(&instance, &velquor::SingleInstance::activated, &app, [&](const QString& path) {
    if (mainWindow) velquor::openGivenRoster(*mainWindow, path);
    else if (!path.isEmpty()) handedOver = path;
  });
  splash->show();
  return app.exec();
}
