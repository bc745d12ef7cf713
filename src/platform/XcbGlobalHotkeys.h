#pragma once

#include <QAbstractNativeEventFilter>
#include <QList>
#include <QMap>
#include <optional>

#include "platform/GlobalHotkeys.h"
#include "platform/KeyGrabs.h"
#include "platform/KeyboardMap.h"

struct xcb_connection_t;

// Grabs on the root window of an X connection. Each chord is grabbed once per combination of the
// lock modifiers (none, Caps Lock, Num Lock, both) so that it fires whatever their state; a BadAccess
// on any of them means another client holds the chord, and what was grabbed is released again.
// Key presses are read from the connection's events through a native event filter, so the
// connection must be the one Qt reads (or one whose events the caller feeds in). A chord is grabbed on
// the key that carries its symbol in the group the keyboard types in (see KeyboardMap::keycodesOf). A
// keymap change (the core MappingNotify, XKB's new-keyboard and map events that a layout change sends)
// or a change of group moves each chord whose keys changed, the new keys grabbed before the old ones
// are let go; a notice that changes nothing asks nothing of the server. Two chords never hold one key:
// the later one is refused as a conflict.
class XcbGlobalHotkeys : public GlobalHotkeys, public QAbstractNativeEventFilter {
public:
    // Uses Qt's own connection; null when Qt is not on xcb.
    static std::unique_ptr<XcbGlobalHotkeys> onQtConnection();

    explicit XcbGlobalHotkeys(xcb_connection_t* connection, QObject* parent = nullptr);
    ~XcbGlobalHotkeys() override;

    Outcome grab(int id, Chord chord) override;
    void release(int id) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void readModifierMapping();
    void readKeymap();
    void selectKeymapEvents();
    void queueRegrab();
    void regrabAll();
    quint32 chordModifiers(quint16 state) const;
    QList<KeyGrabs::Key> keysFor(Chord chord) const;
    quint16 xModifiers(quint32 modifiers) const;
    QList<quint16> lockVariants() const;
    void ungrab(const QList<KeyGrabs::Key>& keys);
    // Carries out the move from what is held to `wanted` (see KeyGrabs::plan); the outcome of each id listed.
    QMap<int, Outcome> apply(const QList<std::pair<int, QList<KeyGrabs::Key>>>& wanted);
    QList<std::pair<int, QList<KeyGrabs::Key>>> heldExcept(int id) const;

    xcb_connection_t* m_connection;
    quint32 m_root = 0;
    quint16 m_altMask, m_superMask, m_numLockMask;
    QMap<int, Chord> m_chords;  // every chord asked for and not released, held or not
    KeyGrabs::Owners m_held;
    std::optional<KeyboardMap::Groups> m_keymap;
    int m_group = 0;        // the group the keyboard types in
    quint8 m_xkbEvent = 0;  // the XKB extension's event code; 0 without XKB
    bool m_regrabQueued = false;
};
