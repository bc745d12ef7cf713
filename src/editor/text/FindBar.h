#pragma once

#include <QPointer>
#include <QWidget>
#include <optional>

#include "editor/text/TextFinder.h"

class QLabel;
class QLineEdit;
class TextBlockController;

// The slim find bar of a note window: a field that searches one text block as the user types, "n of m"
// beside it, Return/Shift+Return and F3/Shift+F3 to step, Escape to close. The current match is selected
// in the block and flashed; closing puts the caret back where it was before the bar opened.
class FindBar : public QWidget {
    Q_OBJECT

public:
    explicit FindBar(QWidget* parent = nullptr);
    ~FindBar() override;

    // Opens (or re-aims) the bar at a block, with the field focused and its text selected.
    void open(TextBlockController* target);
    // Hides the bar; with restoreCaret the block gets the keyboard and its old selection back.
    void close(bool restoreCaret);
    bool isOpen() const { return isVisible() && m_target; }
    TextBlockController* target() const { return m_target; }

    QLineEdit* field() const { return m_field; }
    QString statusText() const;
    TextFinder* finder() const { return m_finder.get(); }
    void step(bool forward);

    // The editor flashes the current match (a one-second highlight).
    void setFlasher(std::function<void(TextBlockController*, qsizetype, qsizetype)> flasher)
    {
        m_flash = std::move(flasher);
    }

Q_SIGNALS:
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showCurrent();
    void updateStatus();

    QLineEdit* m_field;
    QLabel* m_status;
    QPointer<TextBlockController> m_target;
    std::unique_ptr<TextFinder> m_finder;
    std::optional<TextRange> m_savedSelection;
    std::function<void(TextBlockController*, qsizetype, qsizetype)> m_flash;
};
