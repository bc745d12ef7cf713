#pragma once

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QList>

#include "platform/GlobalHotkeys.h"

struct xcb_connection_t;

// Grabs on the root window of an X connection. Each chord is grabbed once per combination of the
// lock modifiers (none, Caps Lock, Num Lock, both) so that it fires whatever their state; a BadAccess
// on any of them means another client holds the chord, and what was grabbed is released again.
// Key presses are read from the connection's events through a native event filter, so the
// connection must be the one Qt reads (or one whose events the caller feeds in). A keymap change (the
// core MappingNotify, or XKB's new-keyboard and map events that a layout change sends) re-reads the
// modifiers and grabs every chord again, by its symbol, on the keys that carry it now.
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
    struct Grab {
        Chord chord;
        QList<quint8> keycodes;
        quint16 modifiers = 0;  // X modifier mask, without the lock modifiers
    };

    void readModifierMapping();
    void selectKeymapEvents();
    void queueRegrab();
    void regrabAll();
    quint32 chordModifiers(quint16 state) const;
    QList<quint8> keycodesFor(quint32 keysym) const;
    quint16 xModifiers(quint32 modifiers) const;
    QList<quint16> lockVariants() const;
    void ungrab(const Grab& grab);

    xcb_connection_t* m_connection;
    quint32 m_root = 0;
    quint16 m_altMask, m_superMask, m_numLockMask;
    QHash<int, Grab> m_grabs;
    quint8 m_xkbEvent = 0;  // the XKB extension's event code; 0 without XKB
    bool m_regrabQueued = false;
};
