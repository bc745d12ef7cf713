#pragma once

#include <QLabel>

// A one-line plain-text label that never widens its window: a text longer than the room the layout
// gives it is drawn cut in the middle (both ends of a long name stay readable), and then the whole
// text is its tooltip. text() and the accessible name are always the whole text.
class MiddleElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit MiddleElidedLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    QString fullText() const { return text(); }
    // What is drawn now.
    QString shownText() const;
    bool isElided() const { return shownText() != text(); }

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateToolTip();
};
