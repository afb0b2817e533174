#pragma once

#include <QString>

class QWidget;

namespace keldar {

class Host;

namespace Module1 {

// Asks the user for a folder in the host's folder chooser, owned by
// `ownerWindow` and showing `prompt`.  The folder's full path in the
// system's notation (a root keeps its trailing separator, other folders have
// none), or "" when the user cancelled.
QString SelectFolder(Host &host, QWidget *ownerWindow, const QString &prompt);

} // namespace Module1
} // namespace keldar
