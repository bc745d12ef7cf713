#pragma once

// What the container view needs of a block's widget to take it away safely. A block can be removed by
// something its own widget started (a key, a menu it opened): the widget is then still inside one of
// its event handlers, so it is only hidden and cut loose at once, and deleted once that has returned.
class BlockView {
public:
    virtual ~BlockView() = default;

    // True while one of the widget's own events is being handled.
    bool isHandlingEvent() const { return m_eventDepth > 0; }
    // Lets go of the controller: no more signals or hooks in either direction.
    virtual void detach() = 0;
    // How far the widget reaches beyond its block's frame on the left and on the right, for what it draws
    // just outside the block's content.
    virtual int horizontalBleed() const { return 0; }

protected:
    // Counts the widget's events on the stack for as long as it lives.
    class EventScope {
    public:
        explicit EventScope(BlockView& view) : m_view(view) { ++m_view.m_eventDepth; }
        ~EventScope() { --m_view.m_eventDepth; }
        EventScope(const EventScope&) = delete;
        EventScope& operator=(const EventScope&) = delete;

    private:
        BlockView& m_view;
    };

    bool isDetached() const { return m_detached; }
    void markDetached() { m_detached = true; }

private:
    int m_eventDepth = 0;
    bool m_detached = false;
};
