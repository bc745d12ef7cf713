#include "windows/FloatingNotesManager.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>

#include "model/Note.h"
#include "platform/Clock.h"
#include "platform/ModelContext.h"
#include "platform/Settings.h"
#include "store/NoteStore.h"
#include "windows/ScreenRescue.h"

namespace {

// A setting that is on unless it is stored as a bool that says otherwise.
bool boolSettingOnByDefault(const Settings& settings, const QString& key)
{
    const QVariant stored = settings.storedValue(key);
    return stored.typeId() == QMetaType::Bool ? stored.toBool() : true;
}

void retireWindow(NoteWindow* window)
{
    if (window) window->retire();
}

}  // namespace

FloatingNotesManager::FloatingNotesManager(NoteStore& store, Settings& settings, WindowFactory factory, QObject* parent)
    : QObject(parent), m_store(store), m_settings(settings), m_factory(std::move(factory))
{
    m_screens.availableFrames = [] {
        QList<QRectF> frames;
        for (const ScreenRescue::Screen& screen : ScreenRescue::screens()) frames.append(screen.availableFrame);
        return frames;
    };
    m_screens.preferredAvailable = []() -> std::optional<QRectF> {
        if (QScreen* screen = ScreenRescue::preferredScreen()) return QRectF(screen->availableGeometry());
        return std::nullopt;
    };
    watchScreens();
    // Every open window follows the setting at once, whoever changed it.
    connect(&m_settings, &Settings::valueChanged, this, [this](const QString& key) {
        if (key != QLatin1String("notes.floatOnTop")) return;
        const bool floating = globalFloatOnTop(m_settings);
        for (const auto& [id, window] : m_controllers) window->applyFloatOnTop(floating);
    });
}

FloatingNotesManager::~FloatingNotesManager()
{
    // Windows first: their teardown may still ask the manager about the note they show.
    m_controllers.clear();
}

bool FloatingNotesManager::oneNoteAtATime(const Settings& settings)
{
    return boolSettingOnByDefault(settings, QStringLiteral("notes.oneAtATime"));
}

bool FloatingNotesManager::globalFloatOnTop(const Settings& settings)
{
    return boolSettingOnByDefault(settings, QStringLiteral("notes.floatOnTop"));
}

void FloatingNotesManager::watchScreens()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app) return;
    auto watch = [this](QScreen* screen) {
        connect(screen, &QScreen::geometryChanged, this, &FloatingNotesManager::scheduleRescue);
        connect(screen, &QScreen::availableGeometryChanged, this, &FloatingNotesManager::scheduleRescue);
    };
    for (QScreen* screen : QGuiApplication::screens()) watch(screen);
    connect(app, &QGuiApplication::screenAdded, this, [this, watch](QScreen* screen) {
        watch(screen);
        scheduleRescue();
    });
    connect(app, &QGuiApplication::screenRemoved, this, &FloatingNotesManager::scheduleRescue);
}

void FloatingNotesManager::scheduleRescue()
{
    if (m_rescueScheduled) return;
    m_rescueScheduled = true;
    MainQueue::nextTurn(this, [this] {
        m_rescueScheduled = false;
        rescueStrandedPanels();
    });
}

NoteWindow* FloatingNotesManager::controller(const QUuid& noteID) const
{
    const auto it = m_controllers.find(noteID);
    return it == m_controllers.end() ? nullptr : it->second.get();
}

QHash<QUuid, NoteWindow*> FloatingNotesManager::controllers() const
{
    QHash<QUuid, NoteWindow*> all;
    for (const auto& [id, window] : m_controllers) all.insert(id, window.get());
    return all;
}

QList<QUuid> FloatingNotesManager::controllerIDs() const
{
    QList<QUuid> ids;
    for (const auto& [id, window] : m_controllers) ids.append(id);
    return ids;
}

QList<QUuid> FloatingNotesManager::openNoteIDs() const
{
    QList<QUuid> ids;
    for (const auto& [id, window] : m_controllers)
        if (!m_hiddenIDs.contains(id)) ids.append(id);
    return ids;
}

bool FloatingNotesManager::isNoteOpen(const QUuid& noteID) const
{
    return m_controllers.count(noteID) > 0 && !m_hiddenIDs.contains(noteID);
}

NoteWindow* FloatingNotesManager::show(const QUuid& noteID)
{
    Note* note = m_store.note(noteID);
    if (!note || note->isTrashed()) return nullptr;
    if (!m_openStack.contains(noteID)) m_openStack.append(noteID);

    NoteWindow* window = controller(noteID);
    if (!window && oneNoteAtATime(m_settings) && !m_controllers.empty()) {
        const QUuid from = m_controllers.begin()->first;
        rekey(from, noteID);
        window = controller(noteID);
        // The note asked for is there to be read and typed in: a window rolled up to the title of the
        // note it showed opens out before it takes this one.
        window->unroll();
        window->present(noteID, 1, false);
    }
    if (!window) {
        if (!m_factory) return nullptr;
        std::unique_ptr<NoteWindow> made = m_factory(*note);
        if (!made) return nullptr;
        window = made.get();
        window->setManager(this);
        m_controllers.emplace(noteID, WindowPtr(made.release(), retireWindow));
    }
    window->show();
    if (m_isHidden) {
        m_isHidden = false;
        m_hiddenIDs.clear();
    } else {
        m_hiddenIDs.remove(noteID);
    }
    m_store.setActiveNoteID(noteID);
    Q_EMIT windowsChanged();
    return window;
}

QList<QUuid> FloatingNotesManager::deck()
{
    const qint64 revision = m_store.revision();
    if (m_deckKey && m_deckKey->first == revision && m_deckKey->second == m_openStack) return m_deckValue;
    // The store looks notes up by id through its index, so this costs one lookup per stacked note.
    QList<QUuid> result;
    for (const QUuid& id : m_openStack) {
        const Note* note = m_store.note(id);
        if (note && !note->isTrashed()) result.append(id);
    }
    m_deckKey = std::make_pair(revision, m_openStack);
    m_deckValue = result;
    return result;
}

void FloatingNotesManager::rekey(const QUuid& from, const QUuid& to)
{
    auto node = m_controllers.extract(from);
    if (node.empty()) return;
    node.key() = to;
    m_controllers.insert(std::move(node));
    if (m_hiddenIDs.remove(from)) m_hiddenIDs.insert(to);
}

bool FloatingNotesManager::bringForwardInstead(const QUuid& from, const QUuid& to)
{
    NoteWindow* other = controller(to);
    if (!other) return false;
    closePanel(from);
    show(to);
    return true;
}

void FloatingNotesManager::closeNote(const QUuid& noteID)
{
    if (!controller(noteID)) return;
    const QList<QUuid> before = deck();
    const qsizetype index = before.indexOf(noteID);
    m_openStack.removeAll(noteID);
    const QList<QUuid> after = deck();
    if (!oneNoteAtATime(m_settings) || after.isEmpty() || index < 0) {
        closePanel(noteID);
        return;
    }
    const qsizetype k = index - 1;
    const QUuid target = k >= 0 ? after.at(std::min(k, after.size() - 1)) : after.first();
    const int direction = k >= 0 ? -1 : 1;
    if (bringForwardInstead(noteID, target)) return;
    rekey(noteID, target);
    controller(target)->present(target, direction, false);
    m_store.setActiveNoteID(target);
    Q_EMIT windowsChanged();
}

void FloatingNotesManager::closePanel(const QUuid& noteID)
{
    const auto it = m_controllers.find(noteID);
    if (it != m_controllers.end()) {
        it->second->orderOut();
        m_controllers.erase(it);
        m_hiddenIDs.remove(noteID);
        Q_EMIT windowsChanged();
    }
    m_store.collectOrphanImages(noteID);
}

void FloatingNotesManager::noteWasDeleted(const QUuid& noteID)
{
    if (!controller(noteID)) return;
    const QList<QUuid> reachableList = deck();
    const QSet<QUuid> reachable(reachableList.begin(), reachableList.end());
    const qsizetype index = m_openStack.indexOf(noteID);
    if (!oneNoteAtATime(m_settings) || reachable.isEmpty() || index < 0) {
        closePanel(noteID);
        return;
    }
    std::optional<QUuid> previous, next;
    for (qsizetype i = index - 1; i >= 0 && !previous; --i)
        if (reachable.contains(m_openStack.at(i))) previous = m_openStack.at(i);
    for (qsizetype i = index + 1; i < m_openStack.size() && !next; ++i)
        if (reachable.contains(m_openStack.at(i))) next = m_openStack.at(i);
    const std::optional<QUuid> target = previous ? previous : next;
    if (!target || *target == noteID) {
        closePanel(noteID);
        return;
    }
    if (bringForwardInstead(noteID, *target)) return;
    rekey(noteID, *target);
    controller(*target)->present(*target, previous ? -1 : 1, false);
    m_store.setActiveNoteID(*target);
    Q_EMIT windowsChanged();
}

void FloatingNotesManager::hideAll()
{
    m_hiddenIDs.clear();
    for (const auto& [id, window] : m_controllers) {
        m_hiddenIDs.insert(id);
        window->orderOut();
    }
    m_isHidden = true;
    Q_EMIT windowsChanged();
}

void FloatingNotesManager::restoreAll()
{
    for (const QUuid& id : QList<QUuid>(m_hiddenIDs.begin(), m_hiddenIDs.end()))
        if (NoteWindow* window = controller(id)) window->show();
    m_hiddenIDs.clear();
    m_isHidden = false;
    Q_EMIT windowsChanged();
}

void FloatingNotesManager::movePanel(NoteWindow& window, const QUuid& from, const QUuid& to, int direction,
                                     bool interactive, bool checkExisting)
{
    if (checkExisting) {
        if (NoteWindow* other = controller(to); other && other != &window) {
            other->show();
            return;
        }
    }
    rekey(from, to);
    window.present(to, direction, interactive);
    m_store.setActiveNoteID(to);
    Q_EMIT windowsChanged();
    applyEmptyNoteRule(from);
}

void FloatingNotesManager::applyEmptyNoteRule(const QUuid& from)
{
    Note* note = m_store.note(from);
    if (!note || !note->isContentEmpty() || note->isTrashed()) return;
    const qsizetype position = m_openStack.indexOf(from);
    m_openStack.removeAll(from);
    m_store.softDelete(*note);
    if (!m_emptyNoteToast) return;
    QPointer<FloatingNotesManager> self(this);
    m_emptyNoteToast(QStringLiteral("Empty note"), [self, from, position] {
        if (!self) return;
        Note* binned = self->m_store.note(from);
        if (!binned) return;
        self->m_store.restore(*binned);
        if (self->m_openStack.contains(from)) return;
        if (position < 0 || position > self->m_openStack.size())
            self->m_openStack.append(from);
        else
            self->m_openStack.insert(position, from);
    });
}

void FloatingNotesManager::moveToNote(const QUuid& target, NoteWindow& window, int direction)
{
    const QUuid from = window.noteID();
    if (from == target) return;
    Note* note = m_store.note(target);
    if (!note || note->isTrashed()) return;
    movePanel(window, from, target, direction, true, true);
}

void FloatingNotesManager::commitNewNote(NoteWindow& window)
{
    const QUuid from = window.noteID();
    const QUuid id = m_store.createNote().note->uuid();
    if (!m_openStack.contains(id)) m_openStack.append(id);
    movePanel(window, from, id, 1, true, false);
}

void FloatingNotesManager::commitSwipe(NoteWindow& window, int direction, bool interactive)
{
    const QUuid from = window.noteID();
    const QList<QUuid> current = deck();
    const qsizetype position = current.indexOf(from);
    if (position < 0) return;
    const qsizetype target = position + direction;
    if (target < 0 || target >= current.size()) return;
    movePanel(window, from, current.at(target), direction, interactive, true);
}

void FloatingNotesManager::saveFrame(const QUuid& noteID, const QRectF& frame)
{
    if (Note* note = m_store.note(noteID)) {
        note->setFrameOnDesktop(frame);
        m_store.autosaveNow();
    }
}

void FloatingNotesManager::rescueStrandedPanels()
{
    const QList<QRectF> frames = m_screens.availableFrames ? m_screens.availableFrames() : QList<QRectF>();
    if (frames.isEmpty()) return;
    const std::optional<QRectF> preferred =
        m_screens.preferredAvailable ? m_screens.preferredAvailable() : std::optional<QRectF>();
    if (!preferred) return;
    for (const auto& [id, window] : m_controllers) {
        // A window zoomed or sized for a larger screen first comes within this one's limits.
        const bool fitted = window->fitToScreen();
        const QRectF frame = window->frame();
        const QRectF rescued = ScreenRescue::rescue(frame, frames, *preferred);
        // The window manager may have moved it while the screens changed: that move waited for here.
        const bool nudged = window->takeMoveDuringRescue();
        if (rescued == frame) {
            if (fitted || nudged) saveFrame(id, window->restingFrame());
            continue;
        }
        // The frame to keep is the one the window lands at, not the one it leaves (the window manager
        // may already have nudged it); the window may show another note by then.
        QPointer<FloatingNotesManager> self(this);
        NoteWindow* moved = window.get();
        window->moveForRescue(rescued, [self, moved] {
            if (self) self->saveFrame(moved->noteID(), moved->restingFrame());
        });
    }
}
