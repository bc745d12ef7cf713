#pragma once

#include <QLabel>
#include <QPointer>

#include "platform/FocusReturn.h"

// The in-app preview of a picture file: one window, titled with the file's name, closed by Escape or Space.
// It stands above the (always-on-top) note window it was opened from, transient for it, and gives the
// keyboard back to that window when it closes.
class PreviewWindow : public QLabel {
    Q_OBJECT

public:
    // Shows the file in the one preview window, made on first use.
    static PreviewWindow* show(const QString& path, QWidget* near);
    const QString& path() const { return m_path; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    PreviewWindow();
    void load(const QString& path);

    QString m_path;
    FocusReturn m_focusReturn;
};
