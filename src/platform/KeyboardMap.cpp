#include "platform/KeyboardMap.h"

#include <QtCore/qnamespace.h>

#include <xcb/xcb_keysyms.h>

#include "platform/XcbSupport.h"

std::optional<quint32> KeyboardMap::baseKeysym(quint32 nativeScanCode)
{
    xcb_connection_t* connection = XcbSupport::connection();
    if (!connection || nativeScanCode == 0 || nativeScanCode > 255) return std::nullopt;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection);
    if (!symbols) return std::nullopt;
    const xcb_keysym_t keysym = xcb_key_symbols_get_keysym(symbols, xcb_keycode_t(nativeScanCode), 0);
    xcb_key_symbols_free(symbols);
    if (keysym == XCB_NO_SYMBOL) return std::nullopt;
    return quint32(keysym);
}

bool KeyboardMap::hasInputFocus(quint64 window)
{
    xcb_connection_t* connection = XcbSupport::connection();
    if (!connection) return true;
    xcb_get_input_focus_reply_t* reply =
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr);
    if (!reply) return true;
    const bool ours = reply->focus == xcb_window_t(window);
    free(reply);
    return ours;
}

bool KeyboardMap::isModifierKey(int key)
{
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
        case Qt::Key_ScrollLock:
            return true;
        default:
            return false;
    }
}
