#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace keldar {

class Host;

// The file name of the tutorial that ships with the program.
inline const QString TutorialFileName = QStringLiteral("Tutorial_KELDAR.txt");

// Where the tutorial may be, best first: the program's own tutorial path on
// its drive, the installed data folder beside the executable's folder, and
// the copy the build tree keeps in the same place.
QStringList tutorialCandidates(const Host &host);

// Help > Tutorial: opens the tutorial in the desktop's viewer for text and
// returns at once.  When it is nowhere to be found or no viewer starts, a
// message says so and names the file.
void openTutorial(Host &host, QWidget *parent);

} // namespace keldar
