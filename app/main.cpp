// Starts the program: the splash window, then the main window.
// `--reset` starts with the design's defaults and forgets the remembered settings.
#include <QApplication>
#include <QSettings>
#include <memory>

#include "app/frmfm.h"
#include "app/frmmd.h"
#include "app/services.h"
#include "app/settings.h"
#include "app/widgets.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(velquor::applicationTitle());
  QApplication::setOrganizationName(velquor::applicationTitle());
  const velquor::StartOptions options = velquor::parseStartOptions(QApplication::arguments());
  velquor::RealServices realServices;
  velquor::Services services = realServices.services();
  // The user's own settings, in the platform's standard place.
  services.settings = [] { return std::make_unique<QSettings>(); };
  services.resetSettings = options.reset;
  std::unique_ptr<velquor::FrmMd> mainWindow;
  auto* splash = new velquor::FrmFm([&] {
    mainWindow = std::make_unique<velquor::FrmMd>(services);
    mainWindow->show();
  });
  splash->show();
  return app.exec();
}
