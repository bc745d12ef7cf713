#include "app/PermissionPanel.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

#include "design/Symbols.h"
#include "design/TarnwickButton.h"
#include "design/TarnwickPrimaryButtonStyle.h"
#include "design/TarnwickQuietButtonStyle.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "platform/OwnWindows.h"

namespace {
QPointer<PermissionPanelView> g_current;

QLabel* plainLabel(const QString& text, const QFont& font, const QColor& color)
{
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}
}  // namespace

PermissionPanel PermissionPanel::accessibility(const QString& captureChord, std::function<void()> onOpen,
                                               std::function<void()> onDismiss)
{
    return {
        QStringLiteral("text.viewfinder"),
        QStringLiteral("Let Tarnwick capture\nselected text"),
        QStringLiteral("To append what you have selected in any app with ") + captureChord +
            QStringLiteral(", Tarnwick needs an X11 display (XWayland will do). This session has none, so "
                           "capture and the hot keys cannot work here."),
        {QStringLiteral("Nothing is read until you press the capture key"),
         QStringLiteral("Locked notes are never touched"), QStringLiteral("Nothing you capture leaves this computer")},
        QString(),
        std::move(onOpen),
        std::move(onDismiss)};
}

PermissionPanel PermissionPanel::notifications(bool canOpenSettings, std::function<void()> onOpen,
                                               std::function<void()> onDismiss)
{
    return {QStringLiteral("bell.badge"),
            QStringLiteral("Let Tarnwick remind you"),
            QStringLiteral("No notification service is running on this desktop, so the reminder you just set will "
                           "not appear. Starting the desktop's notification service is all it takes."),
            {QStringLiteral("Only reminders you set yourself"),
             QStringLiteral("A locked note's words are never in the notification")},
            canOpenSettings ? QStringLiteral("Open Settings") : QString(),
            std::move(onOpen),
            std::move(onDismiss)};
}

PermissionPanelView::PermissionPanelView(const PermissionPanel& panel, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QString(panel.title).replace(u'\n', u' '));
    setWindowModality(Qt::ApplicationModal);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, TarnwickTheme::paper());
    setPalette(palette);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(24, 24, 24, 24);
    column->setSpacing(16);

    auto* heading = new QHBoxLayout;
    heading->setSpacing(12);
    auto* tile = new QLabel;
    tile->setFixedSize(40, 40);
    tile->setAlignment(Qt::AlignCenter);
    tile->setPixmap(Symbols::tinted(panel.symbol, TarnwickTheme::accent(), 19).pixmap(19, 19));
    tile->setStyleSheet(
        QStringLiteral("background: %1; border-radius: 11px;").arg(TarnwickTheme::accentWash().name(QColor::HexArgb)));
    heading->addWidget(tile, 0, Qt::AlignVCenter);
    heading->addWidget(plainLabel(panel.title, TarnwickType::brand(20, QFont::DemiBold), TarnwickTheme::textPrimary()),
                       1, Qt::AlignVCenter);
    column->addLayout(heading);
    column->addWidget(plainLabel(panel.explanation, TarnwickType::noteBody(), TarnwickTheme::textSecondary()));

    if (!panel.reassurances.isEmpty()) {
        auto* list = new QVBoxLayout;
        list->setSpacing(8);
        for (const QString& line : panel.reassurances) {
            auto* row = new QHBoxLayout;
            row->setSpacing(8);
            auto* check = new QLabel;
            check->setPixmap(Symbols::tinted(QStringLiteral("checkmark"), TarnwickTheme::success(), 11).pixmap(11, 11));
            // As tall as the first line of the text beside it, so the mark sits on that line.
            check->setFixedHeight(QFontMetrics(TarnwickType::caption()).height());
            check->setAlignment(Qt::AlignCenter);
            row->addWidget(check, 0, Qt::AlignTop);
            row->addWidget(plainLabel(line, TarnwickType::caption(), TarnwickTheme::textSecondary()), 1);
            list->addLayout(row);
        }
        column->addLayout(list);
    }

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(8);
    auto* primary = new TarnwickButton(panel.hasPrimary() ? panel.primaryTitle : QStringLiteral("OK"));
    TarnwickPrimaryButtonStyle style;
    style.fullWidth = true;
    primary->setPrimaryStyle(style);
    primary->setDefault(true);
    buttons->addWidget(primary);
    if (panel.hasPrimary()) {
        connect(primary, &QPushButton::clicked, this, [this, on = panel.onPrimary] {
            if (on) on();
            accept();
        });
        auto* notNow = new TarnwickButton(QStringLiteral("Not now"));
        TarnwickQuietButtonStyle quiet;
        quiet.fullWidth = true;
        notNow->setQuietStyle(quiet);
        connect(notNow, &QPushButton::clicked, this, &QDialog::reject);
        buttons->addWidget(notNow);
    } else {
        // Nothing to open: "OK" only acknowledges.
        connect(primary, &QPushButton::clicked, this, &QDialog::reject);
    }
    column->addLayout(buttons);
    connect(this, &QDialog::rejected, this, [on = panel.onDismiss] {
        if (on) on();
    });
    setFixedWidth(420);
    // As tall as the wrapped texts at that width: a taller window would spread the extra height
    // between the blocks and the reassurances.
    setFixedHeight(column->totalHeightForWidth(420));
}

void PermissionPanelView::done(int result)
{
    // While the panel still has the keyboard to hand on: once it has hidden, the window manager has
    // given it to whatever stacks next, often another application.
    m_giveBack.restore();
    QDialog::done(result);
}

bool PermissionPresenter::run(const Builder& builder)
{
    if (g_current) {
        g_current->raise();
        g_current->activateWindow();
        return false;
    }
    bool opened = false;
    PermissionPanelView view(builder([&opened] { opened = true; }, [] {}));
    g_current = &view;
    view.adjustSize();
    view.giveKeyboardBackTo(QApplication::activeWindow());
    // Asked from a note's popover or a hot key, with no parent: it would come up under the notes.
    OwnWindows::adoptQuestion(&view);
    view.exec();
    return opened;
}

PermissionPanelView* PermissionPresenter::current()
{
    return g_current.data();
}

bool AccessibilityPermission::explainAndOpenSettings(const PermissionAudit::Probes& probes)
{
    if (PermissionAudit::accessibility(probes).state.kind == PermissionAudit::State::granted) return false;
    const QString chord = PermissionAudit::chordText(probes.captureBinding());
    PermissionPresenter::run([&](PermissionPresenter::Closure onOpen, PermissionPresenter::Closure onDismiss) {
        return PermissionPanel::accessibility(chord, std::move(onOpen), std::move(onDismiss));
    });
    return true;
}

void NotificationPermission::explainAndOpenSettings(const PermissionAudit::Probes& probes)
{
    const PermissionAudit::Item row = PermissionAudit::notifications(probes);
    if (row.state.kind == PermissionAudit::State::granted) return;
    const bool canOpen = !row.settingsCommand.isEmpty();
    if (PermissionPresenter::run([&](PermissionPresenter::Closure onOpen, PermissionPresenter::Closure onDismiss) {
            return PermissionPanel::notifications(canOpen, std::move(onOpen), std::move(onDismiss));
        }))
        PermissionAudit::open(row);
}
