#include "app/fieldevents.h"

#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

namespace keldar::fieldevents {

namespace {

class GotFocusFilter : public QObject
{
public:
    GotFocusFilter(QWidget *field, std::function<void()> handler)
        : QObject(field), m_handler(std::move(handler))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusIn)
            // After the widget's own focus handling, which may move the caret.
            QTimer::singleShot(0, watched, [this] { m_handler(); });
        return false;
    }

private:
    std::function<void()> m_handler;
};

} // namespace

void onGotFocus(QWidget *field, std::function<void()> handler)
{
    field->installEventFilter(new GotFocusFilter(field, std::move(handler)));
}

void selectWholeText(QWidget *field)
{
    if (auto *edit = qobject_cast<QLineEdit *>(field)) {
        edit->setSelection(0, int(edit->text().size()));
        // A click that gave the focus places the caret on its release; keep
        // the selection over it.
        QPointer<QLineEdit> guard(edit);
        QTimer::singleShot(0, edit, [guard] {
            if (guard && guard->hasFocus())
                guard->setSelection(0, int(guard->text().size()));
        });
    }
}

} // namespace keldar::fieldevents
