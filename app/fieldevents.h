#pragma once

#include <QObject>
#include <functional>

class QWidget;

namespace keldar {

// The two events an entry field raises, delivered as the program's handlers
// expect them.
namespace fieldevents {

// `handler` runs whenever `field` receives the focus: by Tab, by a click,
// from code (also while its window is inactive: then as the window becomes
// active), or back from a modal box.  Not when the user merely returns to the
// window, nor when a menu closes.
void onGotFocus(QWidget *field, std::function<void()> handler);

// `handler` runs before the focus leaves `field` for another control of the
// same window through the user's doing: a click on another control (button,
// box, option button, tab), Tab or Shift+Tab, an access key.  It does not
// run when code moves the focus, a menu item is chosen, another window is
// activated or the window closes.  Setting `cancel` keeps the focus in the
// field and drops what caused the move: the click, key or access key does
// not reach its target.
void onValidate(QWidget *field, std::function<void(bool &cancel)> handler);

// Selects the whole text of a line edit, also when a click gave it the
// focus (the click would otherwise place the caret and drop the selection).
void selectWholeText(QWidget *field);

} // namespace fieldevents
} // namespace keldar
