#include "design/ComboMenuKeys.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QKeyEvent>

namespace {

class MenuKeyFilter : public QObject {
public:
    explicit MenuKeyFilter(QComboBox* combo) : QObject(combo), m_combo(combo) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::ShortcutOverride) return false;
        const auto* view = qobject_cast<const QAbstractItemView*>(watched);
        if (!view || !view->isVisible()) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                // The combo box picks the highlighted entry and closes its menu while the toolkit asks
                // whether the key is a shortcut, and leaves the answer open: the window's Return would
                // then run as well. Its popup frame's own filter does the picking; the key is then
                // taken as the menu's.
                if (QWidget* popup = view->window(); popup != m_combo->window())
                    popup->eventFilter(watched, event);
                key->accept();
                return true;
            case Qt::Key_Escape:
                // Taken as the menu's, with the menu left open: the key press then comes to the list,
                // whose popup frame closes on it. (Closed here already, the press would go on to the
                // window around the combo box, and close a popover holding it.)
                key->accept();
                return true;
            default:
                return false;
        }
    }

private:
    QComboBox* m_combo;
};

}  // namespace

void ComboMenuKeys::attach(QComboBox* combo)
{
    // Filters run last-installed first: this one must come after the combo box's own, which building
    // its popup list installs.
    QAbstractItemView* list = combo->view();
    list->installEventFilter(new MenuKeyFilter(combo));
}
