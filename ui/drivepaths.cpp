#include "ui/drivepaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace keldar {

namespace {

bool isOnDriveC(const QString &path)
{
    return path.size() >= 2 && path.at(0).toUpper() == u'C' && path.at(1) == u':';
}

} // namespace

DrivePaths::DrivePaths(QString driveRoot, QString programDir)
    // Absolute from the start: the run changes into the root before the
    // generator starts, and a relative root would then name another folder.
    : m_root(QDir(driveRoot).absolutePath()), m_programDir(QDir::cleanPath(programDir))
{}

DrivePaths DrivePaths::forThisHost()
{
    QString root = qEnvironmentVariable("KELDAR_DRIVE_C");
    if (root.isEmpty())
        root = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
               QStringLiteral("/keldar");
    return DrivePaths(root, QCoreApplication::applicationDirPath());
}

QString DrivePaths::map(const QString &drivePath) const
{
    if (drivePath.compare(paths::Generator, Qt::CaseInsensitive) == 0)
        return m_programDir + QStringLiteral("/keldar-generate");
    if (!isOnDriveC(drivePath))
        return drivePath;
    QString rest = drivePath.mid(2);
    rest.replace(u'\\', u'/');
    while (rest.startsWith(u'/'))
        rest.remove(0, 1);
    if (rest.isEmpty())
        return m_root;
    return QDir::cleanPath(m_root + u'/' + rest);
}

bool DrivePaths::ensureRoot() const
{
    return QDir().mkpath(m_root);
}

} // namespace keldar
