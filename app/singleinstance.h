// One window per user and data folder. The first start takes a lock file in the data folder
// and listens on a local socket; a later start finds the lock held, hands its command line's
// roster path to the running window (which comes to the front and opens it) and ends. A lock
// left by a process that was killed is taken over.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

namespace velquor {
class FrmMd;

// Opens the roster a start was given, as if chosen through "选择名单" (switching to the name
// list first); waits while a modal window is open. Brings the window to the front.
void openGivenRoster(FrmMd& window, const QString& path);

class SingleInstance : public QObject {
  Q_OBJECT
 public:
  explicit SingleInstance(const QString& dataFolder, QObject* parent = nullptr);
  ~SingleInstance() override;
  // True when this process is to run the window; false when a running one took over
  // `rosterPath` ("" for none) and this process should end.
  bool claim(const QString& rosterPath);
  QString serverName() const { return serverName_; }

 signals:
  // Another start asked this window to come forward, with its roster path ("" for none).
  void activated(const QString& rosterPath);

 private:
  bool handOver(const QString& rosterPath);
  void listen();
  QString serverName_;
  QLockFile lock_;
  QLocalServer* server_ = nullptr;
};

}  // namespace velquor
