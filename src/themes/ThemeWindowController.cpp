#include "themes/ThemeWindowController.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include "design/SharePrivacy.h"
#include "platform/OwnWindows.h"
#include "themes/ThemeEditorView.h"

ThemeWindowController::ThemeWindowController(NoteStore& store, Settings& settings, QObject* parent)
    : QObject(parent), m_store(store), m_settings(settings)
{
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::applicationStateChanged, this, &ThemeWindowController::applicationStateChanged);
}

ThemeWindowController::~ThemeWindowController()
{
    delete m_window;
}

void ThemeWindowController::show(const QString& editing, Note* applyTo)
{
    QPointer<ThemeWindowController> self(this);
    present(ThemeEditor(m_store, editing, applyTo, [self] {
        if (self) self->finish();
    }));
}

void ThemeWindowController::showNew(const ResolvedNoteTheme& basedOn, Note* applyTo)
{
    QPointer<ThemeWindowController> self(this);
    present(ThemeEditor::creatingFrom(m_store, basedOn, applyTo, [self] {
        if (self) self->finish();
    }));
}

void ThemeWindowController::present(ThemeEditor editor)
{
    // Every request starts a fresh form: what the previous one held unsaved is dropped.
    auto* view = new ThemeEditorView(std::move(editor));
    if (!m_window) {
        m_window =
            new QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                     Qt::WindowMinimizeButtonHint | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint);
        m_window->setObjectName(QStringLiteral("themeWindow"));
        m_window->setWindowTitle(tr("Theme"));
        m_window->setAttribute(Qt::WA_QuitOnClose, false);
        auto* layout = new QVBoxLayout(m_window);
        layout->setContentsMargins(0, 0, 0, 0);
        m_window->installEventFilter(this);
        m_window->winId();
        OwnWindows::adopt(m_window, m_settings, {.fixedSize = true, .givesKeyboardBack = true});
        SharePrivacy::apply(QList<QWidget*>{m_window.data()}, m_settings);
    }
    // As tall as the form where the screen has room, with a margin above and below.
    QScreen* screen = m_window->isVisible() ? m_window->screen() : QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    if (screen) view->setHeightWithin(area.height() - 2 * kScreenMargin);
    m_window->setFixedSize(ThemeEditorView::contentWidth, view->height());
    if (!m_placed && screen) {
        // The window manager would place it where it likes: the middle of the screen under the pointer.
        m_place = area.center() - QPoint(ThemeEditorView::contentWidth / 2, view->height() / 2);
        m_placed = true;
    }
    if (m_view) {
        m_window->layout()->removeWidget(m_view);
        m_view->deleteLater();
    }
    view->setParent(m_window);
    m_window->layout()->addWidget(view);
    m_view = view;
    m_hiddenInBackground = false;
    // Client coordinates: a hidden window's frame is unknown, and the frame position would drift by it.
    if (!m_window->isVisible()) m_window->setGeometry(QRect(m_place, m_window->size()));
    OwnWindows::present(m_window);
    view->nameField()->setFocus(Qt::OtherFocusReason);
}

void ThemeWindowController::finish()
{
    if (!m_window) return;
    m_hiddenInBackground = false;
    OwnWindows::dismiss(m_window);
}

bool ThemeWindowController::eventFilter(QObject* watched, QEvent* event)
{
    // The place the window was last shown at, for the next time it shows.
    if (watched == m_window && event->type() == QEvent::WindowActivate && m_returnFocusTo &&
        m_returnFocusUntil.isValid() && m_returnFocusUntil.elapsed() < 1500) {
        QPointer<QWindow> back = m_returnFocusTo;
        m_returnFocusTo = nullptr;
        QMetaObject::invokeMethod(
            this,
            [back] {
                if (back) back->requestActivate();
            },
            Qt::QueuedConnection);
    }
    if (watched == m_window && event->type() == QEvent::Move && m_window->isVisible())
        m_place = m_window->geometry().topLeft();
    return QObject::eventFilter(watched, event);
}

void ThemeWindowController::applicationStateChanged(Qt::ApplicationState state)
{
    if (!m_window) return;
    if (state == Qt::ApplicationInactive && m_window->isVisible()) {
        m_hiddenInBackground = true;
        m_window->hide();
    } else if (state == Qt::ApplicationActive && m_hiddenInBackground) {
        m_hiddenInBackground = false;
        // Back without taking the keyboard from the window the user just clicked. Window managers may
        // still focus a window as it maps; then the focus is handed back once.
        m_returnFocusTo = QGuiApplication::focusWindow();
        if (!m_returnFocusTo && QApplication::activeWindow())
            m_returnFocusTo = QApplication::activeWindow()->windowHandle();
        m_returnFocusUntil.start();
        m_window->setAttribute(Qt::WA_ShowWithoutActivating, true);
        m_window->setGeometry(QRect(m_place, m_window->size()));
        m_window->show();
        m_window->setAttribute(Qt::WA_ShowWithoutActivating, false);
    }
}
