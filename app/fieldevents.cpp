#include "app/fieldevents.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>
#include <QWindow>

namespace keldar::fieldevents {

namespace {

// The filters here carry no meta-object of their own, so find them by type.
template <class T> T *filterOf(const QObject *owner)
{
    if (!owner)
        return nullptr;
    for (QObject *child : owner->children())
        if (auto *t = dynamic_cast<T *>(child))
            return t;
    return nullptr;
}

class GotFocusFilter : public QObject
{
public:
    GotFocusFilter(QWidget *field, std::function<void()> handler)
        : QObject(field), m_window(field->window()), m_handler(std::move(handler))
    {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_window || static_cast<QWidget *>(watched)->window() != m_window)
            return false;
        switch (event->type()) {
        case QEvent::FocusIn: {
            // Before any key that follows; a click's caret placement is undone
            // by the handler itself (selectWholeText).  A closing menu hands the
            // focus back without moving it, and so does the window becoming
            // active again after the user went elsewhere.  But the focus may
            // have been put here by the program while the window was inactive
            // (no event tells of it then), or be coming back from one of the
            // program's boxes: both count as receiving the focus.
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            const bool returning = reason == Qt::ActiveWindowFocusReason && m_heldWhenLeft &&
                                   !m_boxTookIt && !m_hiddenSince;
            m_heldWhenLeft = m_boxTookIt = m_hiddenSince = false;
            if (reason != Qt::PopupFocusReason && !returning)
                m_handler();
            break;
        }
        case QEvent::FocusOut:
            m_heldWhenLeft =
                static_cast<QFocusEvent *>(event)->reason() == Qt::ActiveWindowFocusReason;
            m_boxTookIt = m_heldWhenLeft && QApplication::activeModalWidget() &&
                          QApplication::activeModalWidget()->window() != m_window;
            break;
        case QEvent::Hide:
            // A window shown again is no window merely returned to.
            m_hiddenSince = true;
            break;
        default:
            break;
        }
        return false;
    }

private:
    QPointer<QWidget> m_window;
    std::function<void()> m_handler;
    // The field held the focus when its window was last deactivated...
    bool m_heldWhenLeft = false;
    // ...and a modal box of the program's was what took the activation.
    bool m_boxTookIt = false;
    // The field has been hidden since (with its page or its window).
    bool m_hiddenSince = false;
};

// Sits on a field with a Validate handler.  Sees the field's Tab keys, and
// makes sure its window is watched for clicks and access keys.
class ValidateFilter : public QObject
{
public:
    ValidateFilter(QWidget *field, std::function<void(bool &)> handler)
        : QObject(field), m_field(field), m_handler(std::move(handler))
    {}

    // Runs the handler; true when the field keeps the focus.
    bool cancels()
    {
        bool cancel = false;
        m_handler(cancel);
        if (cancel) {
            // A message box may have taken the activation; the focus belongs
            // in the field again.
            QWidget *window = m_field->window();
            if (!window->isActiveWindow())
                window->activateWindow();
            m_field->setFocus(Qt::OtherFocusReason);
        }
        return cancel;
    }

    static ValidateFilter *of(QWidget *widget) { return filterOf<ValidateFilter>(widget); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *m_field;
    std::function<void(bool &)> m_handler;
};

// The control that holds the focus within `window` (whether or not the
// window is active), when it is a field with a Validate handler.
ValidateFilter *validatedFocus(const QWidget *window)
{
    return ValidateFilter::of(window->focusWidget());
}

// The control that a click at `pos` (window coordinates) would give the
// focus to, following the rule QApplication applies; nothing when the click
// leaves the focus where it is.
QWidget *clickFocusTarget(QWidget *window, QPoint pos)
{
    QWidget *w = window->childAt(pos);
    while (w) {
        if (w->isEnabled() && (w->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus)
            return w->focusProxy() ? w->focusProxy() : w;
        if (w->isWindow())
            break;
        w = w->parentWidget();
    }
    return nullptr;
}

// The widget that an access key delivered to `receiver` would act on.
QWidget *shortcutTarget(QWidget *receiver)
{
    if (auto *label = qobject_cast<QLabel *>(receiver))
        return label->buddy();
    if (receiver->focusPolicy() == Qt::NoFocus)
        return nullptr; // the menu bar and other controls that take no focus
    return receiver;
}

// Watches one top-level window for the clicks that would take the focus away
// from a validated field, before Qt moves the focus.
class WindowWatch : public QObject
{
public:
    WindowWatch(QWidget *window, QWindow *handle) : QObject(handle), m_window(window) {}

    static void ensure(QWidget *field)
    {
        QWidget *window = field->window();
        QWindow *handle = window->windowHandle();
        if (!handle || filterOf<WindowWatch>(handle))
            return;
        handle->installEventFilter(new WindowWatch(window, handle));
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            m_swallowRelease = false;
            ValidateFilter *v = m_window ? validatedFocus(m_window) : nullptr;
            if (!v)
                return false;
            const QPoint pos = static_cast<QMouseEvent *>(event)->position().toPoint();
            QWidget *target = clickFocusTarget(m_window, pos);
            if (!target || target == m_window->focusWidget())
                return false;
            if (!v->cancels())
                return false;
            // The click is dropped; so is its release, should it still come.
            m_swallowRelease = true;
            return true;
        }
        case QEvent::MouseButtonRelease:
            if (m_swallowRelease) {
                m_swallowRelease = false;
                return true;
            }
            return false;
        default:
            return false;
        }
    }

private:
    QPointer<QWidget> m_window;
    bool m_swallowRelease = false;
};

// Access keys arrive as Shortcut events sent straight to their control.
class ShortcutWatch : public QObject
{
public:
    static void ensure()
    {
        static QPointer<ShortcutWatch> watch;
        if (!watch) {
            watch = new ShortcutWatch;
            watch->setParent(qApp);
            qApp->installEventFilter(watch);
        }
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::Shortcut || !watched->isWidgetType())
            return false;
        auto *receiver = static_cast<QWidget *>(watched);
        ValidateFilter *v = validatedFocus(receiver->window());
        if (!v)
            return false;
        QWidget *target = shortcutTarget(receiver);
        if (!target || target == receiver->window()->focusWidget())
            return false;
        return v->cancels();
    }
};

bool ValidateFilter::eventFilter(QObject *, QEvent *event)
{
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::Show) {
        WindowWatch::ensure(m_field);
    } else if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool tab = key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab;
        if (tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)))
            return cancels(); // a cancelled Tab goes nowhere
    }
    return false;
}

} // namespace

void onValidate(QWidget *field, std::function<void(bool &cancel)> handler)
{
    field->installEventFilter(new ValidateFilter(field, std::move(handler)));
    ShortcutWatch::ensure();
    WindowWatch::ensure(field);
}

void onGotFocus(QWidget *field, std::function<void()> handler)
{
    field->installEventFilter(new GotFocusFilter(field, std::move(handler)));
}

void selectWholeText(QWidget *field)
{
    auto *edit = qobject_cast<QLineEdit *>(field);
    if (!edit)
        return;
    edit->setSelection(0, int(edit->text().size()));
    // A click that gave the focus places the caret once the press arrives;
    // select again after it, unless the user has typed meanwhile.
    if (QGuiApplication::mouseButtons() == Qt::NoButton)
        return;
    QPointer<QLineEdit> guard(edit);
    const QString text = edit->text();
    QTimer::singleShot(0, edit, [guard, text] {
        if (guard && guard->hasFocus() && guard->text() == text)
            guard->setSelection(0, int(text.size()));
    });
}

} // namespace keldar::fieldevents
