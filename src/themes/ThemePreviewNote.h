#pragma once

#include <QColor>
#include <QWidget>
#include <optional>

// The sample note beside the theme form: a small imitation of a note window drawn in the paper, ink,
// typeface and line height being edited.
class ThemePreviewNote : public QWidget {
    Q_OBJECT
public:
    explicit ThemePreviewNote(QWidget* parent = nullptr);
    void setLook(const QColor& paper, const QColor& ink, const std::optional<QString>& family, double lineHeight);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_paper = Qt::white;
    QColor m_ink = Qt::black;
    std::optional<QString> m_family;
    double m_lineHeight = 1.45;
};
