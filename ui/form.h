#pragma once

#include <QAction>
#include <QCloseEvent>
#include <QWidget>
#include <functional>

namespace keldar {

class Host;

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

// A window that exists at most once and has a design-time state.  Loading
// builds its controls from the design and runs Form_Load; unloading discards
// the controls and their contents, while the object (and what it owns beyond
// its controls) lives on.  Showing a window that is not loaded loads it first.
// A form knows the host it asks things of, never another window.
template <class Window> class Form : public Window
{
public:
    explicit Form(Host &host) : Window(nullptr), m_host(host) {}

    bool isLoaded() const { return m_loaded; }

    // Called after each unloading (the program ends once no window is left).
    void setUnloadHandler(std::function<void()> handler) { m_unloaded = std::move(handler); }

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
        if (m_unloaded)
            m_unloaded();
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
    Host &host() const { return m_host; }

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
    Host &m_host;
    std::function<void()> m_unloaded;
    bool m_loaded = false;
};

} // namespace keldar
