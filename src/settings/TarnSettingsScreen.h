#pragma once

#include <QScrollArea>

class QVBoxLayout;

// A settings page: a scrolling column of sections on the surface colour, 22 px apart, inset 24 px.
class TarnSettingsScreen : public QScrollArea {
    Q_OBJECT
public:
    explicit TarnSettingsScreen(QWidget* parent = nullptr);

    // Appends a section (or any widget) to the column.
    void addSection(QWidget* section);
    QVBoxLayout* column() const { return m_column; }

private:
    QVBoxLayout* m_column = nullptr;
};
