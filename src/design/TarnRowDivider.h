#pragma once

#include <QWidget>

// The one-pixel hairline between two rows: of a settings card, the look palette, the shelf.
class TarnRowDivider : public QWidget {
    Q_OBJECT
public:
    explicit TarnRowDivider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
