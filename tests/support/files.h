#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

namespace keldar::test {

// A file's bytes; nothing when it cannot be read.
inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes a file, with the folders above it; false when it cannot.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The folder of the built programs: as CTest says, or beside the tests'.
inline QString binDir()
{
    return qEnvironmentVariable("KELDAR_BIN_DIR",
                                QCoreApplication::applicationDirPath() + QStringLiteral("/../bin"));
}

inline QString generatorPath()
{
    return binDir() + QStringLiteral("/keldar-generate");
}

// The tutorial as the build tree ships it; "" when it is missing.
inline QString shippedTutorial()
{
    return QString::fromUtf8(
        readAll(binDir() + QStringLiteral("/../share/keldar/Tutorial_KELDAR.txt")));
}

} // namespace keldar::test
