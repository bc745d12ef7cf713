#include "settings/SettingsWidgets.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSignalBlocker>

#include "design/PlainText.h"
#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "design/TextColor.h"
#include "platform/Settings.h"
#include "settings/TarnSwitchToggleStyle.h"

namespace SettingsWidgets {

QLabel* label(const QString& text, QWidget* parent, const QFont& font, const QColor& color)
{
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    if (font != QFont()) l->setFont(font);
    if (color.isValid()) TextColor::set(l, color);
    return l;
}

QLabel* caption(const QString& text, QWidget* parent)
{
    QLabel* l = label(text, parent, TarnwickType::caption(), TarnwickTheme::textSecondary());
    l->setWordWrap(true);
    return l;
}

QHBoxLayout* row(std::initializer_list<QWidget*> widgets, int spacing)
{
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    for (QWidget* w : widgets) {
        if (w)
            layout->addWidget(w, 0, Qt::AlignVCenter);
        else
            layout->addStretch(1);
    }
    return layout;
}

QPushButton* button(const QString& title, QWidget* parent)
{
    auto* b = new QPushButton(PlainText::buttonTitle(title), parent);
    b->setAutoDefault(false);
    // No fixed accessible name: the button's own follows its text when that changes ("Copy", "Copied").
    return b;
}

void bindSwitch(TarnSwitch* toggle, Settings& settings, const QString& key, bool fallback,
                std::function<void(bool)> onUserChange)
{
    const auto read = [&settings, key, fallback] { return settings.boolIfStored(key).value_or(fallback); };
    toggle->setChecked(read());
    // toggled() is every change a user makes: a click, Space, or a screen reader's toggle action (which
    // sets the state without a click). Values pushed from the settings below are blocked, so nothing
    // is written back.
    QObject::connect(toggle, &QAbstractButton::toggled, toggle,
                     [&settings, key, onUserChange = std::move(onUserChange)](bool on) {
                         settings.setValue(key, on);
                         if (onUserChange) onUserChange(on);
                     });
    QObject::connect(&settings, &Settings::valueChanged, toggle, [toggle, key, read](const QString& changed) {
        if (changed != key) return;
        const QSignalBlocker blocker(toggle);
        toggle->setChecked(read());
    });
}

Badge::Badge(const QString& word, const QColor& color, const QColor& fill, QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    QFont font = TarnwickType::system(9, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    setFont(font);
    setContentsMargins(6, 2, 6, 2);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    set(word, color, fill);
}

void Badge::set(const QString& word, const QColor& color, const QColor& fill)
{
    setText(word.toUpper());
    setAccessibleName(word);
    TextColor::set(this, color);
    m_fill = fill;
    update();
}

void Badge::paintEvent(QPaintEvent* event)
{
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QPainterPath capsule;
        const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        capsule.addRoundedRect(r, r.height() / 2, r.height() / 2);
        p.fillPath(capsule, m_fill);
    }
    QLabel::paintEvent(event);
}

SymbolLabel::SymbolLabel(QWidget* parent, const QFont& font) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    m_icon = new QLabel(this);
    m_text = label({}, this, font);
    layout->addWidget(m_icon, 0, Qt::AlignVCenter);
    layout->addWidget(m_text, 0, Qt::AlignVCenter);
    layout->addStretch(1);
}

void SymbolLabel::set(const QString& symbol, const QString& text, const QColor& color)
{
    m_symbol = symbol;
    const int size = QFontMetrics(m_text->font()).height() - 2;
    m_icon->setPixmap(Symbols::tinted(symbol, color, size).pixmap(size, size));
    m_icon->setVisible(!symbol.isEmpty());
    m_text->setText(text);
    TextColor::set(m_text, color);
}

}  // namespace SettingsWidgets
