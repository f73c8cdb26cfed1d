// Starts the program: the splash window, then the main window.
#include <QApplication>
#include <QIcon>
#include <memory>

#include "app/commandline.h"
#include "app/frmfm.h"
#include "app/frmmd.h"
#include "app/services.h"
#include "app/widgets.h"

int main(int argc, char* argv[]) {
  if (const auto exitCode = velquor::answerCommandLine(argc, argv)) return *exitCode;
  QApplication app(argc, argv);
  QApplication::setApplicationName(velquor::applicationTitle());
  // Ties the windows to the installed desktop entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("velquor"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("velquor")));
  velquor::RealServices realServices;
  std::unique_ptr<velquor::FrmMd> mainWindow;
  auto* splash = new velquor::FrmFm([&] {
    mainWindow = std::make_unique<velquor::FrmMd>(realServices.services());
    mainWindow->show();
  });
  splash->show();
  return app.exec();
}
