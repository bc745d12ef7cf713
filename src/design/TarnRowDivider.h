#pragma once

#include <QWidget>

// The hairline between two rows of a settings card.
class TarnRowDivider : public QWidget {
    Q_OBJECT
public:
    explicit TarnRowDivider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
