// Roster workbooks for scenario tests: committed fixtures copied into a test's own folder.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTest>

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

inline QByteArray fileBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace velquor::test
