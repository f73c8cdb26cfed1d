// Starts the program: the splash window, then the main window.
// `--reset` starts with the design's defaults and forgets the remembered settings.
#include <QApplication>
#include <QIcon>
#include <QSettings>
#include <memory>

#include "app/commandline.h"
#include "app/frmfm.h"
#include "app/frmmd.h"
#include "app/platform.h"
#include "app/services.h"
#include "app/settings.h"
#include "app/widgets.h"

int main(int argc, char* argv[]) {
  if (const auto exitCode = velquor::answerCommandLine(argc, argv)) return *exitCode;
  QApplication app(argc, argv);
  QApplication::setApplicationName(velquor::applicationTitle());
  // Ties the windows to the installed desktop entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("velquor"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("velquor")));
  const velquor::StartOptions options = velquor::parseStartOptions(QApplication::arguments());
  velquor::RealServices realServices;
  velquor::Services services = realServices.services();
  // The program's own files and the user's settings: the platform's standard places, or beside
  // a portable Windows program.
  const QString programFolder = QCoreApplication::applicationDirPath();
  services.dataFolder = velquor::platform::dataFolder(programFolder);
  services.settings = [programFolder, data = services.dataFolder] {
    return velquor::platform::openSettings(programFolder, data);
  };
  services.resetSettings = options.reset;
  std::unique_ptr<velquor::FrmMd> mainWindow;
  auto* splash = new velquor::FrmFm([&] {
    mainWindow = std::make_unique<velquor::FrmMd>(services);
    mainWindow->show();
  });
  splash->show();
  return app.exec();
}
