#pragma once

#include <QAbstractButton>

// One chip of the lens picker, drawn by hand so its padding is exactly its own: 11 on either side and
// 4 above and below the label, an optional 10-point symbol 5 before the title, the label centred in
// a rounded fill while selected.
class ShelfLensChip : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int paddingX = 11;
    static constexpr int paddingY = 4;
    static constexpr int iconSize = 10;
    static constexpr int iconGap = 5;
    static constexpr int radius = 6;

    ShelfLensChip(const QString& title, const QString& icon, QWidget* parent = nullptr);

    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    // Where the symbol and the title are drawn, in the chip's coordinates.
    QRect iconRect() const;
    QRectF titleRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont labelFont() const;
    qreal contentWidth() const;

    QString m_icon;
    bool m_selected = false;
};
