#pragma once

#include "platform/SelectionReader.h"

// A desktop whose window in front and selected text are whatever the test sets.
class FakeSelectionReader : public SelectionReader {
public:
    bool isAvailable() const override { return available; }
    std::optional<ActiveWindow> activeWindow() override { return window; }
    Result<QString, Failure> selectedText() override { return text; }

    bool available = true;
    std::optional<ActiveWindow> window = ActiveWindow{4242, "gedit", "Gedit", {}};
    Result<QString, Failure> text = QString("selected");
};
