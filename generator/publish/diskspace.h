#pragma once

#include <QString>
#include <QtGlobal>

// What a run asks of the disk before and while it writes.
namespace keldar::generator {

// Errors after which no further file can be written to the disk.
bool diskFull(int error);

struct DiskSpace {
    qint64 free = -1; // bytes free for this user; -1 when unknown
    qint64 block = 1; // every file takes whole blocks
};

DiskSpace diskSpace(const QString &folder);

// Whether anything, even a dangling link, holds the name.
bool nameTaken(const QString &path);

} // namespace keldar::generator
