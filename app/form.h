#pragma once

#include <QAction>
#include <QCloseEvent>
#include <QWidget>

namespace keldar {

class Program;

// Discards a window's controls: they leave the window at once (so nothing can
// find or show them any more) and are deleted once control returns to the
// event loop, which makes it safe to unload from a control's own handler.
void discardChildControls(QWidget *window);

// Design files hold whole point sizes only; the windows' 9.75 and 14.25 pt
// faces are stored as 10 and 14 and set to their true size here.
void applyDesignFontSizes(QWidget *window);

// A line edit entered for the first time reports its caret as moved just
// before it reports the focus, and screen readers then take the box as
// already announced: they name neither it nor its description.  Settling
// every caret where it already is, once the controls exist, leaves only the
// focus to report.
void settleEntryCarets(QWidget *window);

// Tells the program that one of its windows has been unloaded.
void notifyUnloaded(Program &program);

// A window that exists at most once and has a design-time state.  Loading
// builds its controls from the design and runs Form_Load; unloading discards
// the controls and their contents, while the object (and what it owns beyond
// its controls) lives on.  Showing a window that is not loaded loads it first.
template <class Window> class Form : public Window
{
public:
    explicit Form(Program &program) : Window(nullptr), m_program(program) {}

    bool isLoaded() const { return m_loaded; }

    void load()
    {
        if (m_loaded)
            return;
        buildControls();
        applyDesignFontSizes(this);
        settleEntryCarets(this);
        m_loaded = true;
        Form_Load();
    }

    void unload()
    {
        if (!m_loaded)
            return;
        m_loaded = false;
        Window::setVisible(false);
        discardControls();
        notifyUnloaded(m_program);
    }

    void setVisible(bool visible) override
    {
        if (visible && !m_loaded) {
            load(); // Form_Load may show the window itself
            if (Window::isVisible())
                return;
        }
        Window::setVisible(visible);
    }

protected:
    Program &program() const { return m_program; }

    // Builds the controls from the design and connects them.
    virtual void buildControls() = 0;
    // Drops the controls (and the design object that names them).
    virtual void discardControls() = 0;
    virtual void Form_Load() {}

    // Closing a window through its frame unloads it, unless the window
    // decides otherwise.
    void closeEvent(QCloseEvent *event) override
    {
        event->accept();
        unload();
    }

private:
    Program &m_program;
    bool m_loaded = false;
};

} // namespace keldar
