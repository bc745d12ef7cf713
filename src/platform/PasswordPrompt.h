#pragma once

#include <QString>
#include <functional>
#include <optional>

// The window in which the owner types a password while an Authenticator checks it. One prompt serves
// one evaluation: it may be asked several times (a wrong password is asked again) and is then
// finished. All calls come on the main thread.
class PasswordPrompt {
public:
    struct Request {
        QString reason;     // why the password is asked ("Unlock this note")
        QString label;      // the authentication service's own prompt, e.g. "Password:"
        QString problem;    // what went wrong with the previous answer, or a notice; may be empty
        bool echo = false;  // show what is typed (a question rather than a secret)
    };
    using Answer = std::function<void(std::optional<QString> text)>;

    virtual ~PasswordPrompt() = default;
    // Shows the request and waits for one answer: the text entered, or nothing when the owner cancels.
    // answer is called once, on the main thread, after ask has returned.
    virtual void ask(const Request& request, Answer answer) = 0;
    // The evaluation is over: close.
    virtual void finish() = 0;
};
