#pragma once

class QWidget;

namespace keldar {

class Host;

// Help > Tutorial: shows the tutorial text in a viewer and returns at once.
void openTutorial(Host &host, QWidget *parent);

} // namespace keldar
