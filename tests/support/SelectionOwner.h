#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <memory>

#include "TestEnvironment.h"

namespace tarnwick::test {

// An X client of the test's own that owns PRIMARY from its construction to its end, over a connection of
// its own. A thread of its own answers TARGETS and UTF8_STRING with the text, handing a text over a
// megabyte over in pieces (INCR) as X clients do; a silent one never answers. It owns the selection once
// the server says so, so the set-up waits on no helper program and asks for none of the text.
class SelectionOwner {
public:
    enum class Answers { withText, never };

    explicit SelectionOwner(QByteArray text, Answers answers = Answers::withText,
                            QDeadlineTimer setUpDeadline = TestEnvironment::setUpDeadline());
    // Gives the selection up and leaves the server before it returns.
    ~SelectionOwner();
    SelectionOwner(const SelectionOwner&) = delete;
    SelectionOwner& operator=(const SelectionOwner&) = delete;

    bool owns() const;
    // Why the set-up failed, for the test's failure message; empty while it owns PRIMARY.
    QString failure() const;
    quint32 window() const;

private:
    struct Connection;
    std::unique_ptr<Connection> d;
};

}  // namespace tarnwick::test
