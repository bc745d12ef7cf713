#pragma once

#include <QWidget>

class QLabel;
class QLayout;
class QVBoxLayout;

// One titled card of a settings page: the title in small capitals above a rounded card on the canvas
// colour whose rows are 12 px apart. Without a title only the card shows.
class TarnSettingsSection : public QWidget {
    Q_OBJECT
public:
    explicit TarnSettingsSection(const QString& title = {}, QWidget* parent = nullptr);

    void addRow(QWidget* row);
    void addRow(QLayout* row);
    // A TarnRowDivider as the next row.
    void addDivider();
    QWidget* card() const { return m_card; }
    QVBoxLayout* rows() const { return m_rows; }
    // Absent for a section without a title.
    QLabel* titleLabel() const { return m_title; }

private:
    QLabel* m_title = nullptr;
    QWidget* m_card = nullptr;
    QVBoxLayout* m_rows = nullptr;
};
