#include "generation/module1.h"

#include "ui/host.h"

#include <QDir>
#include <QFileInfo>

namespace keldar::Module1 {

QString SelectFolder(Host &host, QWidget *ownerWindow, const QString &prompt)
{
    const QString chosen = host.chooseFolder(ownerWindow, prompt);
    if (chosen.isEmpty())
        return QString();
    // cleanPath drops a trailing separator but keeps the one of a root.
    const QString absolute = QFileInfo(QDir::fromNativeSeparators(chosen)).absoluteFilePath();
    return QDir::toNativeSeparators(QDir::cleanPath(absolute));
}

} // namespace keldar::Module1
