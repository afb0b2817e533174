#include "generator/publish/diskspace.h"

#include <QFile>

#include <cerrno>

#include <sys/stat.h>
#include <sys/statvfs.h>

namespace keldar::generator {

bool diskFull(int error)
{
    return error == ENOSPC || error == EDQUOT || error == EROFS;
}

DiskSpace diskSpace(const QString &folder)
{
    DiskSpace space;
    struct statvfs info = {};
    if (::statvfs(QFile::encodeName(folder).constData(), &info) == 0 && info.f_frsize > 0) {
        space.free = static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
        space.block = static_cast<qint64>(info.f_frsize);
    }
    return space;
}

bool nameTaken(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

} // namespace keldar::generator
