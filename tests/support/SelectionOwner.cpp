#include "SelectionOwner.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace tarnwick::test {

namespace {

// The reply to a request, or null once the connection broke or the deadline passed: a set-up that waits
// on the server gives up in time to say so, not when ctest ends the program.
template <typename Reply>
Reply* replyBefore(xcb_connection_t* c, unsigned int sequence, const QDeadlineTimer& deadline)
{
    xcb_flush(c);
    while (true) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(c, sequence, &reply, &error)) {
            std::free(error);
            return static_cast<Reply*>(reply);
        }
        if (xcb_connection_has_error(c) || deadline.hasExpired()) return nullptr;
        pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
        const qint64 left = deadline.remainingTime();
        ::poll(&fd, 1, int(left < 0 ? 100 : std::min<qint64>(left, 100)));
    }
}

}  // namespace

struct SelectionOwner::Connection {
    // A text handed over in pieces, to one requestor's property.
    struct Transfer {
        xcb_window_t requestor;
        xcb_atom_t property;
        qsizetype sent;
    };

    xcb_connection_t* c = nullptr;
    xcb_window_t window = XCB_WINDOW_NONE;
    xcb_atom_t targets = XCB_ATOM_NONE, utf8 = XCB_ATOM_NONE, incr = XCB_ATOM_NONE;
    QByteArray text;
    QString failure;
    std::vector<Transfer> transfers;
    int wake = -1;
    std::atomic<bool> stopping{false};
    std::thread server;

    void serve()
    {
        // A megabyte a piece, within what one request may carry: a text larger than that takes INCR.
        const qsizetype maxRequest = qsizetype(xcb_get_maximum_request_length(c)) * 4;
        const qsizetype piece = std::min<qsizetype>(qsizetype(1) << 20, maxRequest - 32);
        while (!stopping && piece > 0) {
            xcb_generic_event_t* event = xcb_poll_for_event(c);
            if (!event) {
                // Sending can read events into xcb's queue, where poll() would not see them.
                xcb_flush(c);
                event = xcb_poll_for_event(c);
            }
            if (!event) {
                if (xcb_connection_has_error(c)) return;
                pollfd fds[2]{{xcb_get_file_descriptor(c), POLLIN, 0}, {wake, POLLIN, 0}};
                ::poll(fds, 2, -1);
                continue;
            }
            handle(event, piece);
            std::free(event);
        }
    }

    void handle(const xcb_generic_event_t* event, qsizetype piece)
    {
        switch (event->response_type & 0x7f) {
            case XCB_SELECTION_REQUEST:
                answer(*reinterpret_cast<const xcb_selection_request_event_t*>(event), piece);
                break;
            case XCB_PROPERTY_NOTIFY: {
                const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(event);
                if (notify->state == XCB_PROPERTY_DELETE) sendPiece(notify->window, notify->atom, piece);
                break;
            }
            case 0: {
                // A requestor that left in the middle of a transfer (it refused the text) takes no more.
                const auto* error = reinterpret_cast<const xcb_generic_error_t*>(event);
                std::erase_if(transfers, [&](const Transfer& t) { return t.requestor == error->resource_id; });
                break;
            }
        }
    }

    void answer(const xcb_selection_request_event_t& request, qsizetype piece)
    {
        // Obsolete requestors name no property: the target's name stands for it.
        const xcb_atom_t property = request.property != XCB_ATOM_NONE ? request.property : request.target;
        bool answered = request.selection == XCB_ATOM_PRIMARY && request.owner == window;
        if (answered && request.target == targets) {
            const xcb_atom_t offered[] = {targets, utf8};
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32, 2, offered);
        } else if (answered && request.target == utf8 && text.size() <= piece) {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, utf8, 8, uint32_t(text.size()),
                                text.constData());
        } else if (answered && request.target == utf8) {
            // Each piece follows the requestor's deletion of the last; an empty one ends the text.
            const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
            xcb_change_window_attributes(c, request.requestor, XCB_CW_EVENT_MASK, &mask);
            const auto size = uint32_t(text.size());
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, incr, 32, 1, &size);
            std::erase_if(transfers, [&](const Transfer& t) {
                return t.requestor == request.requestor && t.property == property;
            });
            transfers.push_back({request.requestor, property, 0});
        } else {
            answered = false;
        }
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = answered ? property : xcb_atom_t(XCB_ATOM_NONE);
        // The server copies 32 bytes, more than the event's own.
        char sent[32] = {};
        std::memcpy(sent, &notify, sizeof notify);
        xcb_send_event(c, false, request.requestor, XCB_EVENT_MASK_NO_EVENT, sent);
    }

    void sendPiece(xcb_window_t requestor, xcb_atom_t property, qsizetype piece)
    {
        const auto transfer = std::find_if(transfers.begin(), transfers.end(), [&](const Transfer& t) {
            return t.requestor == requestor && t.property == property;
        });
        if (transfer == transfers.end()) return;
        const qsizetype length = std::min(piece, text.size() - transfer->sent);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, requestor, property, utf8, 8, uint32_t(length),
                            text.constData() + transfer->sent);
        transfer->sent += length;
        if (length > 0) return;
        transfers.erase(transfer);
        const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(c, requestor, XCB_CW_EVENT_MASK, &none);
    }
};

SelectionOwner::SelectionOwner(QByteArray text, Answers answers, QDeadlineTimer setUpDeadline)
    : d(std::make_unique<Connection>())
{
    d->text = std::move(text);
    int screenNumber = 0;
    d->c = xcb_connect(nullptr, &screenNumber);
    xcb_connection_t* c = d->c;
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screen.rem; ++i) xcb_screen_next(&screen);
    if (xcb_connection_has_error(c) || !screen.rem) {
        d->failure = QStringLiteral("set-up failed: the test's selection owner cannot reach the X server at \"%1\"")
                         .arg(qEnvironmentVariable("DISPLAY"));
        return;
    }
    d->window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, d->window, screen.data->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    const auto intern = [&](const char* name) { return xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name); };
    const xcb_intern_atom_cookie_t names[] = {intern("TARGETS"), intern("UTF8_STRING"), intern("INCR")};
    xcb_set_selection_owner(c, d->window, XCB_ATOM_PRIMARY, XCB_CURRENT_TIME);
    const xcb_get_selection_owner_cookie_t owner = xcb_get_selection_owner(c, XCB_ATOM_PRIMARY);

    xcb_atom_t* atoms[] = {&d->targets, &d->utf8, &d->incr};
    for (int i = 0; i < 3; ++i) {
        if (auto* reply = replyBefore<xcb_intern_atom_reply_t>(c, names[i].sequence, setUpDeadline)) {
            *atoms[i] = reply->atom;
            std::free(reply);
        }
    }
    auto* ownerReply = replyBefore<xcb_get_selection_owner_reply_t>(c, owner.sequence, setUpDeadline);
    const bool answered = ownerReply != nullptr;
    const xcb_window_t found = answered ? ownerReply->owner : xcb_window_t(XCB_WINDOW_NONE);
    std::free(ownerReply);
    if (!answered || !d->targets || !d->utf8 || !d->incr) {
        d->failure = QStringLiteral(
            "set-up failed: the X server did not answer the test's selection owner within the test's time limit");
        return;
    }
    if (found != d->window) {
        d->failure = QStringLiteral("set-up failed: PRIMARY went to window 0x%1, not to the test's selection owner")
                         .arg(found, 0, 16);
        return;
    }
    if (answers == Answers::never) return;
    d->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d->wake < 0) {
        d->failure = QStringLiteral("set-up failed: no event descriptor for the test's selection owner");
        return;
    }
    d->server = std::thread([connection = d.get()] { connection->serve(); });
}

SelectionOwner::~SelectionOwner()
{
    if (d->server.joinable()) {
        d->stopping = true;
        const uint64_t one = 1;
        (void)!::write(d->wake, &one, sizeof one);
        d->server.join();
    }
    if (d->wake >= 0) ::close(d->wake);
    if (d->window != XCB_WINDOW_NONE && !xcb_connection_has_error(d->c)) {
        // Its window gone, PRIMARY has no owner (unless another took it since), before the next step asks.
        xcb_destroy_window(d->c, d->window);
        std::free(replyBefore<xcb_get_input_focus_reply_t>(d->c, xcb_get_input_focus(d->c).sequence,
                                                           TestEnvironment::setUpDeadline()));
    }
    xcb_disconnect(d->c);
}

bool SelectionOwner::owns() const
{
    return d->failure.isEmpty();
}

QString SelectionOwner::failure() const
{
    return d->failure;
}

quint32 SelectionOwner::window() const
{
    return d->window;
}

}  // namespace tarnwick::test
