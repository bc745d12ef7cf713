#pragma once

#include <QColor>
#include <QLabel>
#include <QString>
#include <functional>

#include <QHBoxLayout>
class QPushButton;
class Settings;
class TarnSwitch;

// Small pieces shared by the settings pages.
namespace SettingsWidgets {

// A label that shows its text verbatim (never as markup), in the given font and colour.
QLabel* label(const QString& text, QWidget* parent, const QFont& font = {}, const QColor& color = {});
// Wrapping caption text in the secondary colour.
QLabel* caption(const QString& text, QWidget* parent);
// A row: the widgets given, a stretch where nullptr stands, vertically centred.
QHBoxLayout* row(std::initializer_list<QWidget*> widgets, int spacing = 6);
// A push button of the settings pages; `title` is data-safe ("&" shown as typed).
QPushButton* button(const QString& title, QWidget* parent);

// Binds a switch to a Boolean key: it shows the stored value (else `fallback`), a user's change writes
// the key and then runs `onUserChange`, and a change of the key from anywhere (the file is watched)
// only moves the switch.
void bindSwitch(TarnSwitch* toggle, Settings& settings, const QString& key, bool fallback,
                std::function<void(bool)> onUserChange = {});

// A word in capitals on a tinted capsule: the permission badge and "Coming Soon".
class Badge : public QLabel {
public:
    Badge(const QString& word, const QColor& color, const QColor& fill, QWidget* parent = nullptr);
    void set(const QString& word, const QColor& color, const QColor& fill);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill;
};

// A symbol followed by a text, in one colour: statuses and notes.
class SymbolLabel : public QWidget {
public:
    SymbolLabel(QWidget* parent = nullptr, const QFont& font = {});
    void set(const QString& symbol, const QString& text, const QColor& color);
    QString text() const { return m_text->text(); }
    QString symbol() const { return m_symbol; }

private:
    QLabel* m_icon;
    QLabel* m_text;
    QString m_symbol;
};

}  // namespace SettingsWidgets
