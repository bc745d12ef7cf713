#pragma once

#include "platform/SelectionReader.h"

struct xcb_connection_t;

// Reads the PRIMARY selection (what the user last selected, in any X client) over a connection of its
// own, so waiting for the owner's answer never runs Qt's event loop. The wait is bounded: an owner
// that hangs costs at most the timeout. Large selections arrive in pieces (INCR) and are put together.
class X11SelectionReader : public SelectionReader {
public:
    // A connection to $DISPLAY; unavailable when there is none.
    explicit X11SelectionReader(int timeoutMs = 1500);
    ~X11SelectionReader() override;
    X11SelectionReader(const X11SelectionReader&) = delete;
    X11SelectionReader& operator=(const X11SelectionReader&) = delete;

    bool isAvailable() const override { return m_connection != nullptr; }
    std::optional<ActiveWindow> activeWindow() override;
    Result<QString, Failure> selectedText() override;

private:
    Result<QByteArray, Failure> convert(quint32 target, quint32 window, quint32* actualType);

    xcb_connection_t* m_connection = nullptr;
    quint32 m_root = 0;
    int m_timeoutMs;
};
