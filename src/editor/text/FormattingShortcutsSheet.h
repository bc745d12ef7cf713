#pragma once

#include <QString>
#include <QWidget>
#include <utility>
#include <vector>

// A read-only card of the editor's key chords and the markers it converts as they are typed; the note
// menu shows it in a popover.
class FormattingShortcutsSheet : public QWidget {
    Q_OBJECT

public:
    using Row = std::pair<QString, QString>;  // keys as shown, label

    explicit FormattingShortcutsSheet(QWidget* parent = nullptr);

    static const std::vector<Row>& keyRows();
    static const std::vector<Row>& markerRows();
    static QString note();
};
