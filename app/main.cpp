// Starts the program: the splash window, then the main window.
#include <QApplication>
#include <memory>

#include "app/frmfm.h"
#include "app/frmmd.h"
#include "app/services.h"
#include "app/widgets.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(velquor::applicationTitle());
  velquor::RealServices realServices;
  std::unique_ptr<velquor::FrmMd> mainWindow;
  auto* splash = new velquor::FrmFm([&] {
    mainWindow = std::make_unique<velquor::FrmMd>(realServices.services());
    mainWindow->show();
  });
  splash->show();
  return app.exec();
}
