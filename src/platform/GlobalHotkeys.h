#pragma once

#include <QObject>
#include <QString>
#include <memory>

// System-wide key chords. A chord is an X keysym plus modifiers; a grab answers whether the chord is
// ours now, already held by another client, impossible on this display, or refused for another reason.
// A grabbed chord emits pressed() with the id it was grabbed under, the modifiers held (Modifier
// flags) and the server's time of the press in milliseconds; released() follows when the key comes
// up. A held key's auto-repeat arrives as more presses (some servers put a release of the same time
// before each): telling them apart is the listener's choice.
class GlobalHotkeys : public QObject {
    Q_OBJECT
public:
    enum Modifier : quint32 { Shift = 0x1, Control = 0x2, Alt = 0x4, Super = 0x8 };

    struct Chord {
        quint32 keysym = 0;
        quint32 modifiers = 0;  // Modifier flags
        bool operator==(const Chord&) const = default;
    };

    struct Outcome {
        enum Kind { Grabbed, Conflict, Unavailable, Failed };
        Kind kind = Failed;
        // The X error code of a refused grab (0 when grabbed).
        qint32 code = 0;
    };

    explicit GlobalHotkeys(QObject* parent = nullptr) : QObject(parent) {}

    // Replaces any grab held under `id`; asked again for the chord it holds where it belongs, it asks
    // nothing of the server. A chord that would take a key another id holds is a conflict.
    virtual Outcome grab(int id, Chord chord) = 0;
    // Releases what `id` holds and nothing another id holds.
    virtual void release(int id) = 0;

    // The grabber for the display Qt runs on: X11 (XWayland included) grabs on the root window; any
    // other platform gets one that reports every grab unavailable rather than pretending.
    static std::unique_ptr<GlobalHotkeys> forCurrentPlatform();

Q_SIGNALS:
    void pressed(int id, quint32 modifiers, quint32 timeMs);
    void released(int id, quint32 timeMs);
    // The keyboard's mapping or its group changed (another layout, a remapped key, the second layout
    // of two chosen): the chords whose keys changed were grabbed again on the keys that carry their
    // symbols now. A chord may have become impossible or taken
    // meanwhile, and one that could not be grabbed before may be possible now: a listener that shows
    // where each stands grabs its chords again.
    void keymapChanged();
};

// For displays that offer no global key grabs (a pure Wayland session, the offscreen platform).
class UnavailableGlobalHotkeys : public GlobalHotkeys {
public:
    using GlobalHotkeys::GlobalHotkeys;
    Outcome grab(int, Chord) override { return {Outcome::Unavailable, 0}; }
    void release(int) override {}
};
