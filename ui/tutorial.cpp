#include "ui/tutorial.h"

#include "ui/drivepaths.h"
#include "ui/host.h"

#include <QDir>
#include <QFileInfo>

// The data folder as seen from the folder of the executable, fixed when the
// program is configured so that a relocated installation still finds it.
#ifndef KELDAR_DATA_FROM_BINDIR
#define KELDAR_DATA_FROM_BINDIR "../share/keldar"
#endif

namespace keldar {

QStringList tutorialCandidates(const Host &host)
{
    const DrivePaths &paths = host.drivePaths();
    const QString programDir = paths.programDir();
    QStringList candidates{
        paths.map(paths::Tutorial),
        QDir::cleanPath(programDir + u'/' + QStringLiteral(KELDAR_DATA_FROM_BINDIR) + u'/' +
                        TutorialFileName),
        QDir::cleanPath(programDir + QStringLiteral("/../share/keldar/") + TutorialFileName),
    };
    candidates.removeDuplicates();
    return candidates;
}

void openTutorial(Host &host, QWidget *parent)
{
    const QStringList candidates = tutorialCandidates(host);
    for (const QString &path : candidates) {
        if (!QFileInfo(path).isFile())
            continue;
        if (!host.openDocument(path))
            host.messageBox(
                parent, QStringLiteral("Tutorial"),
                QStringLiteral("No viewer could be started for the tutorial, the file\n%1")
                    .arg(QDir::toNativeSeparators(path)));
        return;
    }
    host.messageBox(parent, QStringLiteral("Tutorial"),
                    QStringLiteral("The tutorial %1 was not found. It was looked for as:\n%2")
                        .arg(TutorialFileName, QDir::toNativeSeparators(candidates.join(u'\n'))));
}

} // namespace keldar
