#pragma once

#include <QPointer>
#include <QTextEdit>

#include "onboarding/PracticeSelection.h"

// The tour's practice sentence: read-only and frameless, selectable by mouse and keyboard (Ctrl+A
// too), reporting every change of its selection, trimmed, to the practice selection.
class PracticeTextView : public QTextEdit {
    Q_OBJECT
public:
    PracticeTextView(const QString& text, PracticeSelection* selection, QWidget* parent = nullptr);

private:
    void report();

    QPointer<PracticeSelection> m_selection;
};
