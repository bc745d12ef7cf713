#include "platform/XcbGlobalHotkeys.h"

#include <xcb/xcb.h>
// xkb.h names a field "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <QGuiApplication>
#include <QTimer>
#include <algorithm>
#include <cstdlib>

#include "platform/KeyboardMap.h"

namespace {

constexpr quint32 kAltL = 0xffe9, kAltR = 0xffea, kSuperL = 0xffeb, kSuperR = 0xffec, kNumLock = 0xff7f;
// Modifiers a grab can be made with; the lock modifiers are handled apart.
constexpr quint16 kChordMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_2 |
                               XCB_MOD_MASK_3 | XCB_MOD_MASK_4 | XCB_MOD_MASK_5;

}  // namespace

std::unique_ptr<XcbGlobalHotkeys> XcbGlobalHotkeys::onQtConnection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return nullptr;
    auto hotkeys = std::make_unique<XcbGlobalHotkeys>(x11->connection());
    QCoreApplication::instance()->installNativeEventFilter(hotkeys.get());
    return hotkeys;
}

std::unique_ptr<GlobalHotkeys> GlobalHotkeys::forCurrentPlatform()
{
    if (auto x11 = XcbGlobalHotkeys::onQtConnection()) return x11;
    return std::make_unique<UnavailableGlobalHotkeys>();
}

XcbGlobalHotkeys::XcbGlobalHotkeys(xcb_connection_t* connection, QObject* parent)
    : GlobalHotkeys(parent),
      m_connection(connection),
      m_altMask(XCB_MOD_MASK_1),
      m_superMask(XCB_MOD_MASK_4),
      m_numLockMask(XCB_MOD_MASK_2)
{
    if (const xcb_setup_t* setup = xcb_get_setup(m_connection)) {
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
        if (screens.rem > 0) m_root = screens.data->root;
    }
    selectKeymapEvents();
    readModifierMapping();
    readKeymap();
}

// A layout set through XKB (setxkbmap, a desktop's keyboard settings) tells a client that uses XKB,
// as Qt's connection does, only by XKB events: the core MappingNotify never comes.
void XcbGlobalHotkeys::selectKeymapEvents()
{
    const xcb_query_extension_reply_t* xkb = xcb_get_extension_data(m_connection, &xcb_xkb_id);
    if (!xkb || !xkb->present) return;
    xcb_xkb_use_extension_reply_t* use = xcb_xkb_use_extension_reply(
        m_connection, xcb_xkb_use_extension(m_connection, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr);
    const bool supported = use && use->supported;
    free(use);
    if (!supported) return;
    m_xkbEvent = xkb->first_event;
    // Only these kinds, and of the state events only a change of the locked group, are touched: what
    // else the connection asked for (Qt's own state events) stays as it was.
    constexpr quint16 kinds = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    xcb_xkb_select_events(m_connection, XCB_XKB_ID_USE_CORE_KBD, kinds, 0, kinds, 0, 0, nullptr);
    xcb_xkb_select_events_details_t details{};
    details.affectState = details.stateDetails = XCB_XKB_STATE_PART_GROUP_LOCK;
    xcb_xkb_select_events_aux(m_connection, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_EVENT_TYPE_STATE_NOTIFY, 0, 0, 0, 0,
                              &details);
    xcb_flush(m_connection);
}

// Grabs made by this client would otherwise hold the keys until the connection closes, taking them
// from every other application with nobody left to answer.
XcbGlobalHotkeys::~XcbGlobalHotkeys()
{
    ungrab(m_held.keys());
    xcb_flush(m_connection);
}

// Alt, Super and Num Lock sit on whichever ModN the keymap gives them; Mod1, Mod4 and Mod2 are only
// the usual places.
void XcbGlobalHotkeys::readModifierMapping()
{
    xcb_get_modifier_mapping_reply_t* reply =
        xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr);
    if (!reply) return;
    const std::optional<KeyboardMap::Table> table = KeyboardMap::read(m_connection);
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    for (int modifier = 3; modifier < 8 && table; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = codes[modifier * perModifier + i];
            if (code == 0) continue;
            const QList<quint32> symbols = table->symbolsOf(code);
            const quint32 sym = symbols.isEmpty() ? 0 : symbols.first();
            const quint16 mask = quint16(1u << modifier);
            if (sym == kAltL || sym == kAltR) m_altMask = mask;
            if (sym == kSuperL || sym == kSuperR) m_superMask = mask;
            if (sym == kNumLock) m_numLockMask = mask;
        }
    }
    free(reply);
}

void XcbGlobalHotkeys::readKeymap()
{
    m_keymap = KeyboardMap::readGroups(m_connection);
    m_group = m_xkbEvent != 0 ? KeyboardMap::currentGroup(m_connection) : 0;
}

QList<KeyGrabs::Key> XcbGlobalHotkeys::keysFor(Chord chord) const
{
    QList<KeyGrabs::Key> keys;
    if (!m_keymap) return keys;
    const quint16 modifiers = xModifiers(chord.modifiers);
    for (quint8 code : KeyboardMap::keycodesOf(*m_keymap, chord.keysym, m_group))
        keys << KeyGrabs::Key{code, modifiers};
    std::sort(keys.begin(), keys.end());  // in the order KeyGrabs::keysOf gives
    return keys;
}

quint16 XcbGlobalHotkeys::xModifiers(quint32 modifiers) const
{
    quint16 mask = 0;
    if (modifiers & Shift) mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & Control) mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & Alt) mask |= m_altMask;
    if (modifiers & Super) mask |= m_superMask;
    return mask;
}

QList<quint16> XcbGlobalHotkeys::lockVariants() const
{
    return {0, XCB_MOD_MASK_LOCK, m_numLockMask, quint16(XCB_MOD_MASK_LOCK | m_numLockMask)};
}

void XcbGlobalHotkeys::ungrab(const QList<KeyGrabs::Key>& keys)
{
    for (const KeyGrabs::Key& key : keys)
        for (quint16 lock : lockVariants())
            xcb_ungrab_key(m_connection, key.keycode, m_root, quint16(key.modifiers | lock));
}

QList<std::pair<int, QList<KeyGrabs::Key>>> XcbGlobalHotkeys::heldExcept(int id) const
{
    QList<std::pair<int, QList<KeyGrabs::Key>>> held;
    for (auto it = m_chords.cbegin(); it != m_chords.cend(); ++it) {
        if (it.key() == id) continue;
        const QList<KeyGrabs::Key> keys = KeyGrabs::keysOf(m_held, it.key());
        if (!keys.isEmpty()) held.push_back({it.key(), keys});
    }
    return held;
}

// The keys new to us are grabbed before any is let go, so a chord that moves, or a key that passes
// from one chord to another, never leaves a moment in which a press reaches the focused window.
QMap<int, GlobalHotkeys::Outcome> XcbGlobalHotkeys::apply(const QList<std::pair<int, QList<KeyGrabs::Key>>>& wanted)
{
    KeyGrabs::Plan plan = KeyGrabs::plan(m_held, wanted);
    // Without owner events a press goes to the root window even while one of our own windows has
    // the focus; with them it would reach that window as typing and the hot key would not fire.
    QList<std::pair<KeyGrabs::Key, xcb_void_cookie_t>> cookies;
    for (const KeyGrabs::Key& key : std::as_const(plan.grab))
        for (quint16 lock : lockVariants())
            cookies.push_back({key, xcb_grab_key_checked(m_connection, 0, m_root, quint16(key.modifiers | lock),
                                                         key.keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)});
    QMap<int, qint32> errors;  // by id
    for (const auto& [key, cookie] : cookies) {
        if (xcb_generic_error_t* e = xcb_request_check(m_connection, cookie)) {
            qint32& error = errors[plan.owners.value(key)];
            // BadAccess outranks anything else: it is the one the user can act on.
            if (error != XCB_ACCESS) error = e->error_code;
            free(e);
        }
    }
    QList<KeyGrabs::Key> release = plan.ungrab;
    if (!errors.isEmpty()) {
        // A chord refused by the server holds none of its keys, the ones just grabbed included (only
        // our own grabs are released; another client's stay as they are).
        for (auto it = plan.owners.begin(); it != plan.owners.end();) {
            if (!errors.contains(it.value())) {
                ++it;
                continue;
            }
            release << it.key();
            it = plan.owners.erase(it);
        }
    }
    ungrab(release);
    xcb_flush(m_connection);
    m_held = plan.owners;

    QMap<int, Outcome> outcomes;
    for (const auto& entry : wanted) {
        const int id = entry.first;
        if (plan.refused.contains(id))
            outcomes.insert(id, {Outcome::Conflict, XCB_ACCESS});
        else if (errors.contains(id))
            outcomes.insert(id, {errors[id] == XCB_ACCESS ? Outcome::Conflict : Outcome::Failed, errors[id]});
        else
            outcomes.insert(id, {Outcome::Grabbed, 0});
    }
    return outcomes;
}

GlobalHotkeys::Outcome XcbGlobalHotkeys::grab(int id, Chord chord)
{
    if (m_root == 0 || xcb_connection_has_error(m_connection)) {
        release(id);
        return {Outcome::Unavailable, 0};
    }
    m_chords.insert(id, chord);
    const QList<KeyGrabs::Key> keys = keysFor(chord);
    QList<std::pair<int, QList<KeyGrabs::Key>>> wanted = heldExcept(id);
    // The keymap has no key for this symbol: X would answer BadValue for a key code it cannot name.
    if (keys.isEmpty()) {
        apply(wanted);
        return {Outcome::Failed, XCB_VALUE};
    }
    // Asked again for what it holds (the listener renewing its statuses): nothing to ask the server.
    if (KeyGrabs::keysOf(m_held, id) == keys) return {Outcome::Grabbed, 0};
    // The chords held keep their keys: a new one that wants one of them is the one refused.
    wanted.push_back({id, keys});
    return apply(wanted).value(id);
}

void XcbGlobalHotkeys::release(int id)
{
    if (!m_chords.contains(id)) return;
    apply(heldExcept(id));
    m_chords.remove(id);
}

// One change of layout comes as several events; the grabs are made again once, after them.
void XcbGlobalHotkeys::queueRegrab()
{
    if (m_regrabQueued) return;
    m_regrabQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_regrabQueued = false;
        regrabAll();
    });
}

// The key codes and modifier places of the old keymap, or of the group typed before, would leave
// grabs on keys that carry other symbols now. Where two chords now want one key, the one asked for
// first (the lower id) keeps it.
void XcbGlobalHotkeys::regrabAll()
{
    readModifierMapping();
    readKeymap();
    QList<std::pair<int, QList<KeyGrabs::Key>>> wanted;
    for (auto it = m_chords.cbegin(); it != m_chords.cend(); ++it) {
        const QList<KeyGrabs::Key> keys = keysFor(*it);
        if (!keys.isEmpty()) wanted.push_back({it.key(), keys});
    }
    apply(wanted);
    Q_EMIT keymapChanged();
}

quint32 XcbGlobalHotkeys::chordModifiers(quint16 state) const
{
    quint32 modifiers = 0;
    if (state & XCB_MOD_MASK_SHIFT) modifiers |= Shift;
    if (state & XCB_MOD_MASK_CONTROL) modifiers |= Control;
    if (state & m_altMask) modifiers |= Alt;
    if (state & m_superMask) modifiers |= Super;
    return modifiers;
}

bool XcbGlobalHotkeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !message) return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const quint8 type = event->response_type & 0x7f;
    // Qt reads the new keymap too, so these events are passed on.
    if (type == XCB_MAPPING_NOTIFY) {
        if (reinterpret_cast<const xcb_mapping_notify_event_t*>(event)->request != XCB_MAPPING_POINTER) queueRegrab();
        return false;
    }
    if (m_xkbEvent != 0 && type == m_xkbEvent) {
        const quint8 kind = reinterpret_cast<const xcb_xkb_map_notify_event_t*>(event)->xkbType;
        if (kind == XCB_XKB_NEW_KEYBOARD_NOTIFY || kind == XCB_XKB_MAP_NOTIFY) queueRegrab();
        if (kind == XCB_XKB_STATE_NOTIFY &&
            reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event)->lockedGroup != m_group)
            queueRegrab();
        return false;
    }
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
    const auto* key = reinterpret_cast<const xcb_key_press_event_t*>(event);
    if (key->event != m_root) return false;
    if (type == XCB_KEY_RELEASE) {
        // Modifiers may come up before the key: a release is matched by its key alone.
        QList<int> owners;
        for (auto it = m_held.cbegin(); it != m_held.cend(); ++it)
            if (it.key().keycode == key->detail && !owners.contains(it.value())) owners << it.value();
        for (int id : std::as_const(owners)) Q_EMIT released(id, key->time);
        return !owners.isEmpty();
    }
    const quint16 state = key->state & kChordMask & ~m_numLockMask;
    const auto owner = m_held.constFind(KeyGrabs::Key{key->detail, state});
    if (owner == m_held.cend()) return false;
    Q_EMIT pressed(owner.value(), chordModifiers(key->state), key->time);
    return true;
}
