#include "editor/text/FormattingShortcutsSheet.h"

#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"

namespace {

QLabel* label(const QString& text, const QFont& font, const QColor& colour, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, colour);
    l->setPalette(palette);
    return l;
}

QGridLayout* grid(const std::vector<FormattingShortcutsSheet::Row>& rows, QWidget* parent)
{
    auto* layout = new QGridLayout;
    layout->setHorizontalSpacing(12);
    layout->setVerticalSpacing(4);
    QFont mono = TarnwickType::mono();
    mono.setPointSizeF(TarnwickType::caption().pointSizeF());
    int row = 0;
    for (const auto& [keys, text] : rows) {
        layout->addWidget(label(keys, mono, TarnwickTheme::textSecondary(), parent), row, 0, Qt::AlignLeft);
        layout->addWidget(label(text, TarnwickType::caption(), TarnwickTheme::textPrimary(), parent), row, 1,
                          Qt::AlignLeft);
        ++row;
    }
    return layout;
}

}  // namespace

const std::vector<FormattingShortcutsSheet::Row>& FormattingShortcutsSheet::keyRows()
{
    static const std::vector<Row> rows{
        {"Ctrl+B", "Bold"},
        {"Ctrl+I", "Italic"},
        {"Ctrl+U", "Underline"},
        {"Ctrl+Shift+X", "Strikethrough"},
        {"Ctrl+Shift+D", "Toggle done"},
        {"Ctrl+\\", "Clear formatting"},
        {"Ctrl+Shift+V", "Paste and match style"},
    };
    return rows;
}

const std::vector<FormattingShortcutsSheet::Row>& FormattingShortcutsSheet::markerRows()
{
    static const std::vector<Row> rows{
        {"- ", "Bullet"},  {"1. ", "Numbered list"}, {"[] ", "To-do"},  {"Tab / Shift+Tab", "Indent / outdent item"},
        {"# ", "Heading"}, {"## ", "Subheading"},    {"**b**", "Bold"},
    };
    return rows;
}

QString FormattingShortcutsSheet::note()
{
    return QStringLiteral("Markers convert as you type the trailing space; Return continues a list.");
}

FormattingShortcutsSheet::FormattingShortcutsSheet(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, TarnwickTheme::surface());
    setPalette(palette);
    QFont heading = TarnwickType::system(12, QFont::DemiBold);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(8);
    layout->addWidget(label(QStringLiteral("Formatting"), heading, TarnwickTheme::textPrimary(), this));
    layout->addLayout(grid(keyRows(), this));
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setContentsMargins(0, 2, 0, 2);
    layout->addWidget(divider);
    layout->addWidget(label(QStringLiteral("Type to structure"), heading, TarnwickTheme::textPrimary(), this));
    layout->addLayout(grid(markerRows(), this));
    QLabel* footnote = label(note(), TarnwickType::caption(), TarnwickTheme::textSecondary(), this);
    footnote->setWordWrap(true);
    footnote->setMaximumWidth(240);
    layout->addWidget(footnote);
}
