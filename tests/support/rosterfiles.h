// Roster workbooks for scenario tests: committed fixtures copied into a test's own folder.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTest>
#include <string>
#include <utility>
#include <vector>

#include "roster/workbook.h"

namespace velquor::test {

// Copies tests/data/`fixture` to `folder`/`name` (writable) and returns the copy's path.
inline QString copyFixture(const QString& fixture, const QString& folder,
                           const QString& name = QStringLiteral("点名册.xls")) {
  const QString from = QStringLiteral(VELQUOR_TEST_DATA "/") + fixture;
  const QString to = QDir(folder).filePath(name);
  QFile::remove(to);
  if (!QFile::copy(from, to)) qFatal("cannot copy fixture %s", qPrintable(from));
  QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
  return to;
}

// Writes a new workbook made by the roster component (for layouts no fixture has).
inline void writeWorkbook(const QString& path,
                          const std::vector<std::pair<std::string, roster::Workbook::SheetRows>>& sheets) {
  const auto bytes = roster::Workbook::create(sheets);
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

inline QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace velquor::test
