#include "app/tutorial.h"

#include "app/drivepaths.h"
#include "app/host.h"

namespace keldar {

void openTutorial(Host &host, QWidget *parent)
{
    Q_UNUSED(parent);
    host.openDocument(host.drivePaths().map(paths::Tutorial));
}

} // namespace keldar
