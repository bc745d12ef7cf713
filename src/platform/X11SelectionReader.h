#pragma once

#include <functional>

#include "platform/SelectionReader.h"

struct xcb_connection_t;

// Reads the PRIMARY selection (what the user last selected, in any X client) over a connection of its
// own, so waiting for the owner's answer never runs Qt's event loop. The main thread waits, so the
// wait is bounded: the owner must answer within `answerMs` and hand everything over within
// `transferMs`; more than `maxBytes` is refused. Large selections arrive in pieces (INCR).
class X11SelectionReader : public SelectionReader {
public:
    struct Limits {
        int answerMs = 500;
        int transferMs = 1000;
        qsizetype maxBytes = qsizetype(16) << 20;
    };
    // Tells whether a selection owner window belongs to this application.
    using OwnsWindow = std::function<bool(quint32 window)>;

    // A connection to $DISPLAY; unavailable when there is none. By default the windows of Qt's own X
    // connection count as ours.
    X11SelectionReader();
    explicit X11SelectionReader(Limits limits, OwnsWindow ownsWindow = {});
    ~X11SelectionReader() override;
    X11SelectionReader(const X11SelectionReader&) = delete;
    X11SelectionReader& operator=(const X11SelectionReader&) = delete;

    bool isAvailable() const override { return m_connection != nullptr; }
    std::optional<ActiveWindow> activeWindow() override;
    Result<QString, Failure> selectedText() override;
    // The reads use a connection of their own and nothing of Qt's but its (fixed) setup.
    bool readsInBackground() const override { return true; }

private:
    Result<QByteArray, Failure> convert(quint32 target, quint32 window, quint32* actualType, qint64 startedMs);

    xcb_connection_t* m_connection = nullptr;
    quint32 m_root = 0;
    Limits m_limits;
    OwnsWindow m_ownsWindow;
};
