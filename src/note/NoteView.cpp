#include "note/NoteView.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QShortcut>
#include <QStyleOptionMenuItem>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <cmath>

#include "design/ButtonRowKeys.h"
#include "design/FocusRingToolButton.h"
#include "design/Legibility.h"
#include "design/Symbols.h"
#include "design/TarnwickStyle.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "editor/text/FormattingShortcutsSheet.h"
#include "model/Note.h"
#include "model/WallpaperCache.h"
#include "note/NotePopovers.h"
#include "platform/OwnedSelections.h"
#include "platform/PasswordDialog.h"
#include "privacy/UnlockSession.h"
#include "store/NoteStore.h"
#include "store/SyncStatusView.h"
#include "windows/FloatingNotePanel.h"

namespace {

constexpr int kDot = 11;
constexpr int kDotHit = 23;
constexpr int kButtonHit = 28;
// Marks a child that a screen reader is not told of.
constexpr const char* kUnlisted = "tarnwickUnlisted";

// One window dot: an 11-point circle in the dot's colour (grey in an inactive window) with a faint
// rim, clickable in a 23-point circle around it.
class DotButton : public QToolButton {
public:
    DotButton(NoteViewModel::Dot dot, QWidget* parent) : QToolButton(parent), m_dot(dot)
    {
        setFixedSize(kDotHit, kDotHit);
        setAutoRaise(true);
        setFocusPolicy(Qt::NoFocus);
    }
    void setActive(bool active)
    {
        m_active = active;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor fill = NoteViewModel::dotColour(m_dot);
        if (!m_active) {
            fill = TarnwickTheme::textPrimary();
            fill.setAlphaF(0.16f);
        }
        const QRectF circle((width() - kDot) / 2.0, (height() - kDot) / 2.0, kDot, kDot);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawEllipse(circle);
        if (m_active) {
            p.setPen(QPen(QColor(0, 0, 0, int(0.08 * 255)), 1));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
        }
        if (hasFocus()) TarnwickStyle::drawFocusRing(p, circle.adjusted(-2, -2, 2, 2), kDot / 2.0 + 2);
    }
    bool hitButton(const QPoint& pos) const override
    {
        const QPointF d = QPointF(pos) - QRectF(rect()).center();
        return std::hypot(d.x(), d.y()) <= kDotHit / 2.0;
    }

private:
    NoteViewModel::Dot m_dot;
    bool m_active = false;
};

// The resize grip: a 12-point symbol in a 32-point square; a drag of at least 10 points resizes.
class GripWidget : public QWidget {
public:
    std::function<void(const QPointF&)> onDrag;
    std::function<void()> onEnd;

    double opacity = 1.0;

    explicit GripWidget(QWidget* parent) : QWidget(parent)
    {
        setFixedSize(32, 32);
        setCursor(Qt::SizeFDiagCursor);
        setAccessibleName(QCoreApplication::translate("NoteView", "Resize note"));
        setObjectName(QStringLiteral("resizeGrip"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QColor colour = TarnwickTheme::textTertiary();
        colour.setAlphaF(float(0.75 * opacity));
        QPainter p(this);
        Symbols::tinted(QStringLiteral("arrow.up.left.and.arrow.down.right"), colour, 9).paint(&p, QRect(11, 11, 9, 9));
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
        m_press = event->globalPosition();
        m_dragging = false;
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!m_press) return;
        const QPointF translation = event->globalPosition() - *m_press;
        if (!m_dragging && std::hypot(translation.x(), translation.y()) < 10) return;
        m_dragging = true;
        if (onDrag) onDrag(translation);
    }
    void mouseReleaseEvent(QMouseEvent*) override
    {
        if (m_dragging && onEnd) onEnd();
        m_press.reset();
        m_dragging = false;
    }

private:
    std::optional<QPointF> m_press;
    bool m_dragging = false;
};

// Draws the column of an inactive window at 0.85 opacity: a veil of the paper over everything the
// column holds, taking no clicks.
class FadeVeil : public QWidget {
public:
    QColor paper;
    double strength = 1.0;  // 0 for an active window, 1 for an inactive one
    double full = 0.15;     // the paper's share at full strength: an inactive column is drawn at 0.85
    explicit FadeVeil(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QColor veil = paper;
        veil.setAlphaF(float(full * strength * paper.alphaF()));
        QPainter(this).fillRect(rect(), veil);
    }
};

// The note's menu: an item that destroys something ("Delete note") is drawn in the destructive colour,
// in the menu's own style, so it keeps the keyboard and the look of its neighbours.
class NoteMenu : public QMenu {
public:
    static constexpr const char* destructiveProperty = "tarnwickDestructive";

protected:
    void initStyleOption(QStyleOptionMenuItem* option, const QAction* action) const override
    {
        QMenu::initStyleOption(option, action);
        if (!action || !action->isEnabled() || !action->property(destructiveProperty).toBool()) return;
        for (QPalette::ColorRole role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText})
            option->palette.setColor(role, TarnwickTheme::destructive());
    }
};

QToolButton* symbolButton(const QString& objectName, QWidget* parent, int size)
{
    auto* button = new FocusRingToolButton(parent);
    button->setObjectName(objectName);
    button->setAutoRaise(true);
    // The quiet look: no raised box under the pointer.
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedSize(size, size);
    button->setIconSize(QSize(12, 12));
    button->setCursor(Qt::ArrowCursor);
    return button;
}

QString colourCss(const QColor& colour)
{
    return colour.name(QColor::HexArgb);
}

// The wallpaper brightened (adding a share of white or black) and blurred, once per key.
QImage processWallpaper(const QImage& source, const QSize& size, double brightness, double blur)
{
    QImage image = source.scaled(size, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation)
                       .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    image = image.copy((image.width() - size.width()) / 2, (image.height() - size.height()) / 2, size.width(),
                       size.height());
    if (blur > 0.5) {
        // An opaque blur by way of a smooth reduction and enlargement: cheap, and done only once.
        const double factor = 1.0 + blur / 2.0;
        const QSize small(std::max(1, int(size.width() / factor)), std::max(1, int(size.height() / factor)));
        image = image.scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                    .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (std::abs(brightness) > 0.001) {
        QPainter p(&image);
        p.setCompositionMode(QPainter::CompositionMode_SourceAtop);
        QColor wash = brightness > 0 ? QColor(255, 255, 255) : QColor(0, 0, 0);
        wash.setAlphaF(float(std::min(1.0, std::abs(brightness))));
        p.fillRect(image.rect(), wash);
    }
    return image;
}

// The note view's named accessibility actions (the model decides which, in which order), before the
// widget's own; its children, less those kept from screen readers.
class NoteViewAccessible : public QAccessibleWidget {
public:
    explicit NoteViewAccessible(NoteView* view) : QAccessibleWidget(view, QAccessible::Pane) {}
    int childCount() const override { return listed().size(); }
    QAccessibleInterface* child(int index) const override { return listed().value(index); }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return listed().indexOf(const_cast<QAccessibleInterface*>(child));
    }
    QStringList actionNames() const override
    {
        NoteView* v = view();
        if (!v || v->isTornDown()) return {};
        return v->model().accessibilityActions() + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override
    {
        // A screen reader may still hold the interface of a view that is going away.
        NoteView* v = view();
        if (!v || v->isTornDown()) return;
        if (v->model().performAccessibilityAction(name)) return;
        if (QAccessibleWidget::actionNames().contains(name)) QAccessibleWidget::doAction(name);
    }
    QStringList keyBindingsForAction(const QString& name) const override
    {
        NoteView* v = view();
        if (!v || v->isTornDown() || v->model().accessibilityActions().contains(name)) return {};
        return QAccessibleWidget::keyBindingsForAction(name);
    }

private:
    NoteView* view() const { return isValid() ? static_cast<NoteView*>(widget()) : nullptr; }
    QList<QAccessibleInterface*> listed() const
    {
        QList<QAccessibleInterface*> out;
        for (int i = 0, n = QAccessibleWidget::childCount(); i < n; ++i) {
            QAccessibleInterface* child = QAccessibleWidget::child(i);
            if (child && !(child->object() && child->object()->property(kUnlisted).toBool())) out << child;
        }
        return out;
    }
};

QAccessibleInterface* noteViewAccessible(const QString&, QObject* object)
{
    if (auto* view = qobject_cast<NoteView*>(object)) return new NoteViewAccessible(view);
    return nullptr;
}

}  // namespace

NoteView::NoteView(NoteStore& store, UnlockSession& unlock, NoteViewModel::Reminders reminders,
                   NoteViewModel::CanAuthenticate canAuthenticate, Clock& clock, NoteBodyFactory makeBody,
                   bool translucent, QWidget* parent)
    : DeckCard(parent),
      m_store(store),
      m_model(store, unlock, std::move(reminders), std::move(canAuthenticate), clock),
      m_activeness(clock, 0.0),
      m_unrolling(clock, 1.0),
      m_translucent(translucent)
{
    if (translucent) setAttribute(Qt::WA_TranslucentBackground);
    m_model.aboutToPrompt = [this] { PasswordDialog::setNextOwner(window()); };
    m_model.bringPromptForward = [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (qobject_cast<PasswordDialog*>(widget) && widget->isVisible()) {
                widget->raise();
                widget->activateWindow();
            }
        }
    };

    const NoteViewModel::Dot dots[3] = {NoteViewModel::Dot::close, NoteViewModel::Dot::rollUp,
                                        NoteViewModel::Dot::zoom};
    const char* dotNames[3] = {"closeDot", "rollUpDot", "zoomDot"};
    for (int i = 0; i < 3; ++i) {
        auto* dot = new DotButton(dots[i], this);
        dot->setObjectName(QString::fromLatin1(dotNames[i]));
        connect(dot, &QToolButton::clicked, this, [this, d = dots[i]] { m_model.clickDot(d); });
        m_dots[i] = dot;
    }
    m_opacityButton = symbolButton(QStringLiteral("opacityButton"), this, kButtonHit);
    m_opacityButton->setIcon(
        Symbols::tinted(QStringLiteral("circle.lefthalf.filled"), TarnwickTheme::textSecondary(), 12));
    m_opacityButton->setToolTip(tr("Window opacity"));
    m_opacityButton->setAccessibleName(tr("Window opacity"));
    connect(m_opacityButton, &QToolButton::clicked, this, [this] { m_model.setShowingOpacity(true); });
    m_lockButton = symbolButton(QStringLiteral("lockButton"), this, kButtonHit);
    connect(m_lockButton, &QToolButton::clicked, this, [this] { m_model.lockButtonClicked(); });
    m_paletteButton = symbolButton(QStringLiteral("paletteButton"), this, kButtonHit);
    m_paletteButton->setIcon(Symbols::tinted(QStringLiteral("paintpalette"), TarnwickTheme::textSecondary(), 12));
    m_paletteButton->setToolTip(tr("Note design"));
    m_paletteButton->setAccessibleName(tr("Note design"));
    connect(m_paletteButton, &QToolButton::clicked, this, [this] { m_model.setShowingPalette(true); });
    // Tab belongs to the body (it indents): F6 is the head row's way in and out, as between panes.
    auto* headKey = new QShortcut(QKeySequence(Qt::Key_F6), this);
    headKey->setContext(Qt::WidgetWithChildrenShortcut);
    connect(headKey, &QShortcut::activated, this, [this] {
        if (headRowHasFocus())
            leaveHeadRow();
        else
            enterHeadRow();
    });
    for (QToolButton* button : headButtons()) button->installEventFilter(this);
    static const bool accessibleInstalled = [] {
        QAccessible::installFactory(noteViewAccessible);
        return true;
    }();
    Q_UNUSED(accessibleInstalled);

    for (const NoteViewModel::FormatButton& spec : NoteViewModel::formatButtons()) {
        auto* button = symbolButton(FormatCommands::rawValue(spec.command), this, 24);
        button->setToolTip(spec.label);
        button->setAccessibleName(spec.label);
        connect(button, &QToolButton::clicked, this, [this, c = spec.command] { m_model.formatClicked(c); });
        m_formatButtons.append(button);
    }
    m_formatDivider = new QWidget(this);
    m_formatDivider->setFixedSize(1, 16);
    m_formatDivider->setAutoFillBackground(true);
    QPalette dividerPalette = m_formatDivider->palette();
    dividerPalette.setColor(QPalette::Window, TarnwickTheme::hairline());
    m_formatDivider->setPalette(dividerPalette);

    m_lockedTitle = new QLineEdit(this);
    m_lockedTitle->setObjectName(QStringLiteral("lockedTitle"));
    m_lockedTitle->setFrame(false);
    // Only a click edits the title; the keyboard does not land here on its own.
    m_lockedTitle->setFocusPolicy(Qt::ClickFocus);
    m_lockedTitle->setPlaceholderText(tr("Private note"));
    m_lockedTitle->setAccessibleName(tr("Locked note title"));
    m_lockedTitle->setFont(TarnwickType::brand(19, QFont::DemiBold));
    m_lockedTitle->setStyleSheet(QStringLiteral("background: transparent"));
    // A locked note's title stays plain and editable; Return only lets go of the field. Every change of
    // the field is the title's, typed or put in by an assistive tool (which sets the text whole): what
    // it shows is what is stored. The field shown the stored title changes nothing.
    connect(m_lockedTitle, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (Note* note = m_model.note(); note && note->title() != text) note->setTitle(text);
    });
    connect(m_lockedTitle, &QLineEdit::returnPressed, this, [this] { m_lockedTitle->clearFocus(); });

    // Rolled up, the title shows where the body's first line stood; it is only read here, and drags on
    // it move the window like the strip around it.
    m_rolledTitle = new QLineEdit(this);
    m_rolledTitle->setObjectName(QStringLiteral("rolledTitle"));
    m_rolledTitle->setFrame(false);
    m_rolledTitle->setReadOnly(true);
    m_rolledTitle->setFocusPolicy(Qt::NoFocus);
    m_rolledTitle->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_rolledTitle->setPlaceholderText(tr("Title"));
    m_rolledTitle->setFont(TarnwickType::brand(19, QFont::DemiBold));
    m_rolledTitle->setStyleSheet(QStringLiteral("background: transparent"));
    m_rolledTitle->hide();

    if (makeBody) m_body = makeBody(this);
    if (m_body) connect(m_body, &NoteBody::notice, &m_model, &NoteViewModel::showNotice);

    m_lockPanel = new QWidget(this);
    m_lockPanel->setObjectName(QStringLiteral("lockPanel"));
    auto* panel = new QVBoxLayout(m_lockPanel);
    // The title field above draws its text 2 px in from its edge (the line edit's own margin): the
    // panel's lines start where that text does.
    panel->setContentsMargins(2, 0, 0, 0);
    panel->setSpacing(8);
    auto* lockedLine = new QLabel(tr("This note is locked"), m_lockPanel);
    m_lockedLine = lockedLine;
    lockedLine->setFont(TarnwickType::brand(19, QFont::DemiBold));
    // Both lines take the note's ink in applyTheme(), so they read on any paper.
    lockedLine->setStyleSheet(QStringLiteral("color: %1").arg(colourCss(TarnwickTheme::textPrimary())));
    m_lockAuthLine = new QLabel(m_lockPanel);
    m_lockAuthLine->setTextFormat(Qt::PlainText);
    m_lockAuthLine->setWordWrap(true);  // a reason from the system may be long
    m_lockAuthLine->setFont(TarnwickType::caption());
    m_lockAuthLine->setStyleSheet(QStringLiteral("color: %1").arg(colourCss(TarnwickTheme::textTertiary())));
    m_lockFailure = new QLabel(m_lockPanel);
    m_lockFailure->setObjectName(QStringLiteral("lockFailure"));
    m_lockFailure->setTextFormat(Qt::PlainText);
    m_lockFailure->setWordWrap(true);
    m_lockFailure->setFont(TarnwickType::caption());
    m_lockFailure->setStyleSheet(QStringLiteral("color: %1").arg(colourCss(TarnwickTheme::destructive())));
    m_unlockButton = new QToolButton(m_lockPanel);
    m_unlockButton->setObjectName(QStringLiteral("unlockButton"));
    m_unlockButton->setText(tr("Unlock"));
    m_unlockButton->setAccessibleName(tr("Unlock this note"));
    m_unlockButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_unlockButton->setIconSize(QSize(12, 12));
    m_unlockButton->setFont(TarnwickType::system(12.5, QFont::DemiBold));
    styleUnlockButton(TarnwickTheme::accentInk());
    connect(m_unlockButton, &QToolButton::clicked, this, [this] { m_model.unlock(); });
    panel->addWidget(lockedLine);
    panel->addWidget(m_lockAuthLine);
    panel->addWidget(m_lockFailure);
    panel->addSpacing(4);
    panel->addWidget(m_unlockButton, 0, Qt::AlignLeft);
    panel->addStretch(1);

    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("charCount"));
    m_count->setFont(TarnwickType::mono());
    QColor countColour = TarnwickTheme::textTertiary();
    countColour.setAlphaF(0.7f);
    m_count->setStyleSheet(QStringLiteral("color: %1").arg(colourCss(countColour)));
    m_count->setAttribute(Qt::WA_TransparentForMouseEvents);
    // A bare number between the text and the grip means nothing read out on its own.
    m_count->setProperty(kUnlisted, true);

    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setWordWrap(true);
    m_notice->setFont(TarnwickType::caption());
    m_notice->setStyleSheet(QStringLiteral("QLabel { color: %1; background: %2; border-radius: 6px; padding: 6px; }")
                                .arg(colourCss(TarnwickTheme::destructive()), colourCss(TarnwickTheme::surface())));

    // Read after the text and before the grip.
    m_syncBadge = new SyncStatusView(
        m_store.syncState(), [this] { m_store.setSyncState(SyncState::syncing); }, this);
    m_syncBadge->setObjectName(QStringLiteral("syncBadge"));
    connect(&m_store, &NoteStore::syncStateChanged, this, [this] { m_syncBadge->setState(m_store.syncState()); });

    auto* grip = new GripWidget(this);
    grip->onDrag = [this](const QPointF& t) { m_model.gripDrag(t); };
    grip->onEnd = [this] { m_model.gripDragEnded(); };
    m_grip = grip;

    m_veil = new FadeVeil(this);
    // Rolling up, the content fades into the paper while the window closes over it; unrolling, it
    // comes back out of it.
    auto* contentVeil = new FadeVeil(this);
    contentVeil->full = 1.0;
    contentVeil->strength = 0.0;
    contentVeil->hide();
    m_contentVeil = contentVeil;

    connect(&m_model, &NoteViewModel::changed, this, &NoteView::refresh);
    connect(&m_activeness, &Tween::valueChanged, this, &NoteView::drawActiveness);
    connect(&m_unrolling, &Tween::valueChanged, this, &NoteView::drawRolling);
    connect(&m_model, &NoteViewModel::showingOpacityChanged, this,
            [this] { showOpacityPopover(m_model.showingOpacity()); });
    connect(&m_model, &NoteViewModel::showingReminderChanged, this,
            [this] { showReminderPopover(m_model.showingReminder()); });
    connect(&m_model, &NoteViewModel::showingPaletteChanged, this,
            [this] { showPalettePopover(m_model.showingPalette()); });
    connect(&m_model, &NoteViewModel::noteChanged, this, [this] {
        if (m_body) m_body->setNote(m_model.note());
        m_appliedThemeRevision = ~0u;
    });
    // The password window has just closed and the keys typed next may already be waiting: the body takes
    // in what the unlock revealed, and the caret, before they are handled rather than a turn or two later
    // (until then they went to what held the focus while the note was locked, and were lost).
    connect(&m_model, &NoteViewModel::unlocked, this, [this] {
        if (m_body && m_body->isVisible()) m_body->catchUp();
    });
    // Rolled up, the content is out of reach and keeps no keyboard given to it later either: the editor
    // places the caret of a note shown in the window a turn after loading it, and its hidden text would
    // take keys into a note no one can see.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (!now || m_model.contentShown()) return;
        if ((m_body && m_body->isAncestorOf(now)) || m_lockPanel->isAncestorOf(now)) now->clearFocus();
    });
    connect(&m_model, &NoteViewModel::shortcutsRequested, this, &NoteView::showShortcutsPopover);
    connect(&m_model, &NoteViewModel::focusTitleRequested, this, [this] {
        if (m_model.titleRowShown()) {
            activateWindow();
            m_lockedTitle->setFocus(Qt::OtherFocusReason);
            m_lockedTitle->selectAll();
        } else if (m_body && m_body->isVisible()) {
            activateWindow();
            m_body->focusTitle();
        }
    });
    connect(&m_model, &NoteViewModel::focusBodyRequested, this, [this] {
        // After the current pass, once the window shows the new note.
        QPointer<NoteView> self(this);
        QMetaObject::invokeMethod(
            this,
            [self] {
                // Only the window's current card takes the keyboard, never the neighbour of a swipe.
                if (self && self->m_body && self->m_body->isVisible() && self->m_model.isActive())
                    self->m_body->focusBody();
            },
            Qt::QueuedConnection);
    });
    refresh();
}

NoteView::~NoteView()
{
    m_tornDown = true;
    if (m_opacityPopover) m_opacityPopover->deleteLater();
    if (m_reminderPopover) m_reminderPopover->deleteLater();
    if (m_palettePopover) m_palettePopover->deleteLater();
    if (m_shortcutsPopover) m_shortcutsPopover->deleteLater();
}

void NoteView::setPaletteFactory(PaletteFactory makePalette)
{
    m_makePalette = std::move(makePalette);
}

void NoteView::setNote(Note* note)
{
    const bool another = note != m_model.note();
    m_model.setNote(note);
    // What is selected or copied in here is traced back to this note, so locking it can take it back.
    setProperty(OwnedSelections::noteProperty, note ? QVariant(note->uuid()) : QVariant());
    // Nothing of the last note's animation carries over to this one.
    if (another) {
        m_activeness.jumpTo(m_model.isActive() ? 1.0 : 0.0);
        m_unrolling.jumpTo(m_model.isRolled() ? 0.0 : 1.0);
    }
}

void NoteView::setActive(bool active)
{
    changeActive(active, kActiveMs);
}

void NoteView::changeActive(bool active, int animationMs)
{
    m_activeMs = animationMs;
    m_model.setActive(active, QCursor::pos());
    m_activeMs = kActiveMs;
}

void NoteView::setWindowOpacity(double opacity)
{
    m_model.setWindowOpacity(opacity);
    if (m_opacityPopover) m_opacityPopover->setWindowOpacity(m_model.windowOpacity());
}

void NoteView::setRolled(bool rolled)
{
    const bool unrolling = m_model.isRolled() && !rolled;
    m_model.setRolled(rolled);
    // Rolling up took the keyboard from the body (it went out of reach); unrolled, it has it back, the
    // caret where it was, unless the keyboard went to something else of the note meanwhile (its head row).
    const QWidget* focused = QApplication::focusWidget();
    if (unrolling && m_body && m_model.isActive() && !m_model.isRedacted() && !(focused && isAncestorOf(focused)))
        m_body->focusBody();
}

bool NoteView::showFindBar()
{
    // A locked note shows its lock panel, not its body: there is nothing to search.
    if (!m_body || !m_body->isVisible()) return false;
    m_body->showFindBar();
    return true;
}

void NoteView::applyTheme()
{
    Note* note = m_model.note();
    if (!note || m_appliedThemeRevision == m_model.themeRevision()) return;
    m_appliedThemeRevision = m_model.themeRevision();
    const ResolvedNoteTheme theme = m_store.look(*note).theme;
    if (m_body) m_body->setTheme(theme);
    // The rolled-up title in the ink of the title line it stands for; "Title" as that line draws it.
    QPalette palette = m_rolledTitle->palette();
    palette.setColor(QPalette::Text, theme.ink);
    QColor placeholder = theme.ink;
    placeholder.setAlphaF(0.32f);
    palette.setColor(QPalette::PlaceholderText, placeholder);
    m_rolledTitle->setPalette(palette);
    QColor faint = theme.ink;
    faint.setAlphaF(0.72f);
    // The quieter line fades the ink only as far as it still reads on this paper.
    faint = Legibility::readable(faint, theme.paper, theme.ink);
    m_lockedLine->setStyleSheet(QStringLiteral("color: %1").arg(colourCss(theme.ink)));
    m_lockAuthLine->setStyleSheet(QStringLiteral("color: %1").arg(colourCss(faint)));
    m_syncBadge->setGround(theme.paper);
    // The Unlock label stands on the button's wash over the paper: the accent ink, deepened only as far
    // as it takes to read there (on the darker papers the wash alone leaves it under 4.5:1).
    const QColor wash = Legibility::over(TarnwickTheme::accentWash(), theme.paper);
    styleUnlockButton(Legibility::readable(TarnwickTheme::accentInk(), wash, Legibility::strongest(wash)));
}

void NoteView::styleUnlockButton(const QColor& ink)
{
    if (ink == m_unlockInk) return;
    m_unlockInk = ink;
    QColor border = TarnwickTheme::accent();
    border.setAlphaF(0.35f);
    m_unlockButton->setStyleSheet(
        QStringLiteral("QToolButton { color: %1; background: %2; border: 1px solid %3; "
                       "border-radius: 8px; padding: 6px 14px; }"
                       // The same size with the focus: a thicker border in the ring's colour, less padding.
                       "QToolButton:focus { border: 2px solid %4; padding: 5px 13px; }")
            .arg(colourCss(ink), colourCss(TarnwickTheme::accentWash()), colourCss(border),
                 colourCss(TarnwickStyle::focusRingColor())));
    // The key symbol in the label's colour (refresh() gives it its first one).
    if (!m_unlockButton->icon().isNull()) m_unlockButton->setIcon(Symbols::tinted(m_model.unlockSymbol(), ink, 12));
}

void NoteView::refresh()
{
    Note* note = m_model.note();
    const bool active = m_model.isActive();
    const bool redacted = m_model.isRedacted();
    for (int i = 0; i < 3; ++i) {
        auto* dot = static_cast<DotButton*>(m_dots[i]);
        dot->setActive(active);
        const QString label = m_model.dotLabel(NoteViewModel::Dot(i));
        dot->setToolTip(label);
        dot->setAccessibleName(label);
    }
    // The right-hand buttons show, and take clicks, only in the active window.
    m_opacityButton->setVisible(active && m_model.opacityButtonPresent());
    m_opacityButton->setAccessibleDescription(m_model.opacityAccessibleValue());
    m_lockButton->setVisible(active);
    m_paletteButton->setVisible(active && m_model.designButtonPresent());
    // A note that locks while its palette is open hides its look again.
    if (m_palettePopover && !m_model.designButtonPresent()) m_model.setShowingPalette(false);
    // Icons and style sheets are rebuilt only when they change: this runs on every keystroke.
    const QString lockKey = m_model.lockButtonSymbol() + m_model.lockButtonColour().name();
    if (lockKey != m_lockIconKey) {
        m_lockIconKey = lockKey;
        m_lockButton->setIcon(Symbols::tinted(m_model.lockButtonSymbol(), m_model.lockButtonColour(), 12));
    }
    m_lockButton->setToolTip(m_model.lockButtonLabel());
    m_lockButton->setAccessibleName(m_model.lockButtonLabel());
    m_lockButton->setEnabled(m_model.lockButtonEnabled());

    // A view not on screen yet has nothing to animate from.
    const double rolledTarget = m_model.isRolled() ? 0.0 : 1.0;
    if (isVisible()) {
        m_activeness.animateTo(active ? 1.0 : 0.0, m_activeMs);
        m_unrolling.animateTo(rolledTarget, kRolledMs);
    } else {
        m_activeness.jumpTo(active ? 1.0 : 0.0);
        m_unrolling.jumpTo(rolledTarget);
    }
    const bool formats = formatButtonsShown();
    int i = 0;
    for (const NoteViewModel::FormatButton& spec : NoteViewModel::formatButtons()) {
        QToolButton* button = m_formatButtons[i++];
        const bool lit = m_model.isLit(spec.command);
        button->setVisible(formats);
        if (!button->icon().isNull() && button->property("lit").toBool() == lit) continue;
        button->setProperty("lit", lit);
        button->setIcon(
            Symbols::tinted(spec.symbol, lit ? TarnwickTheme::accentInk() : TarnwickTheme::textSecondary(), 12));
        button->setAccessibleDescription(lit ? tr("on") : tr("off"));
        button->setStyleSheet(lit ? QStringLiteral("QToolButton { background: %1; border: none; border-radius: 6px; }")
                                        .arg(colourCss(TarnwickTheme::accentWash()))
                                  : QStringLiteral("QToolButton { background: transparent; border: none; }"));
    }
    m_formatDivider->setVisible(formats);

    m_lockedTitle->setVisible(m_model.titleRowShown());
    if (note && m_model.titleRowShown() && !m_lockedTitle->hasFocus() && m_lockedTitle->text() != note->title())
        m_lockedTitle->setText(note->title());
    if (const QString title = m_model.rolledTitle(); m_rolledTitle->text() != title) {
        m_rolledTitle->setText(title);
        m_rolledTitle->setCursorPosition(0);  // a long title shows its start
    }

    // Rolling up, the content stays drawn (out of reach) while it fades; drawRolling shows and hides it.
    if (m_body) {
        if (!m_model.contentShown() && m_body->isAncestorOf(QApplication::focusWidget()))
            QApplication::focusWidget()->clearFocus();
        m_body->setAttribute(Qt::WA_TransparentForMouseEvents, !m_model.contentShown());
    }
    m_lockPanel->setAttribute(Qt::WA_TransparentForMouseEvents, !m_model.contentShown());
    if (redacted) {
        m_lockAuthLine->setText(m_model.lockPanelAuthLine());
        const auto failure = m_model.lockPanelFailure();
        m_lockFailure->setVisible(failure.has_value());
        m_lockFailure->setText(failure.value_or(QString()));
        if (m_unlockButton->icon().isNull())
            m_unlockButton->setIcon(Symbols::tinted(m_model.unlockSymbol(), m_unlockInk, 12));
        m_unlockButton->setEnabled(m_model.unlockButtonEnabled());
    }

    m_count->setVisible(m_model.countShown());
    m_count->setText(m_model.countText());
    // The footer's badge goes with the bottom edge: in an inactive window too, not in a rolled one.
    m_syncBadge->setVisible(note && m_model.bottomEdgePresent());
    drawGrip();
    m_notice->setVisible(!m_model.notice().isEmpty());
    m_notice->setText(m_model.notice());
    auto* veil = static_cast<FadeVeil*>(m_veil);
    veil->strength = 1.0 - m_activeness.value();
    veil->setVisible(note && veil->strength > 0.0);
    if (note) {
        QColor paper = m_store.look(*note).theme.paper;
        paper.setAlphaF(float(m_translucent ? m_model.windowOpacity() : 1.0));
        veil->paper = paper;
        static_cast<FadeVeil*>(m_contentVeil)->paper = paper;
    }
    drawRolling();
    applyTheme();
    relayout();
    update();
}

void NoteView::relayout()
{
    const int w = width(), h = height();
    for (int i = 0; i < 3; ++i) m_dots[i]->move(12 + i * (kDot + 7) - (kDotHit - kDot) / 2, (headHeight - kDotHit) / 2);
    int right = w - 12;
    // Hit squares centred on 16-point labels.
    const int buttonY = (headHeight - kButtonHit) / 2;
    if (m_model.designButtonPresent()) {
        m_paletteButton->move(right - 16 - (kButtonHit - 16) / 2, buttonY);
        right -= 16 + 7;
    }
    m_lockButton->move(right - 16 - (kButtonHit - 16) / 2, buttonY);
    right -= 16 + 7;
    m_opacityButton->move(right - 16 - (kButtonHit - 16) / 2, buttonY);

    int y = headHeight;
    // A notice is a strip under the head row with everything else moved down below it: it may stand for
    // as long as saves fail, and the line being typed must stay in sight meanwhile. It takes at most half
    // of the room (its whole text is its tooltip then).
    if (!m_notice->isHidden()) {
        const int width = std::max(0, w - 2 * gutter);
        const int natural = m_notice->heightForWidth(width);
        const int height = m_model.contentShown() ? std::min(natural, std::max(0, (h - headHeight) / 2)) : natural;
        m_notice->setGeometry(gutter, y, width, height);
        m_notice->setToolTip(height < natural ? m_notice->text() : QString());
        y += height + 4;
    }
    if (const int rowHeight = formatRowHeightNow(); rowHeight > 0) {
        // The row opens as the window becomes active; its buttons show once it is (nearly) open.
        int x = gutter;
        for (int i = 0; i < m_formatButtons.size(); ++i) {
            if (i == 4) {
                m_formatDivider->move(x + 4, y + (formatRowHeight - 16) / 2);
                x += 4 + 1 + 4 + 2;
            }
            m_formatButtons[i]->move(x, y + (formatRowHeight - 24) / 2);
            x += 24 + 2;
        }
        y += rowHeight;
    }
    if (m_model.titleRowShown()) {
        y += 2;
        m_lockedTitle->setGeometry(gutter, y, std::max(0, w - 2 * gutter), 30);
        y += 30;
    }
    // The footer: the count in the corner beside the grip, the sync badge before it on the count's
    // line. The badge keeps its place while the count is hidden (an inactive window), so it does not
    // jump at every change of the active window.
    m_count->adjustSize();
    m_count->move(w - 28 - m_count->width(), h - 9 - m_count->height());
    const QSize badge = m_syncBadge->sizeHint();
    const int footerLine = m_count->y() + m_count->height() / 2;
    m_syncBadge->setGeometry(std::max(gutter, m_count->x() - 8 - badge.width()), footerLine - badge.height() / 2,
                             badge.width(), badge.height());
    // The text ends above the footer rather than running under it.
    const int footerTop = std::min(m_count->y(), m_syncBadge->y()) - 2;

    // The body reaches into the gutter by its own gutter width; the lock panel stays inside it.
    const QRect content(gutter, y + 4, std::max(0, w - 2 * gutter), std::max(0, footerTop - y - 4));
    if (m_body) m_body->setGeometry(content.adjusted(-gutter, 0, 0, 0));
    m_lockPanel->setGeometry(content);
    m_rolledTitle->setGeometry(gutter, y + 2, std::max(0, w - 2 * gutter), 30);

    m_grip->move(w - 32, h - 32);
    m_grip->raise();
    if (m_body) {
        const QRect body = m_body->geometry();
        const bool underGrip = body.right() >= m_grip->x();
        m_body->setScrollBarBottomInset(underGrip ? std::max(0, body.bottom() + 1 - m_grip->y()) : 0);
    }
    m_notice->raise();
    m_contentVeil->setGeometry(content.adjusted(-gutter, 0, 0, 0));
    m_contentVeil->raise();
    m_veil->setGeometry(rect());
    m_veil->raise();
}

int NoteView::formatRowHeightNow() const
{
    const bool possible = m_model.note() && !m_model.isRedacted() && !m_model.isRolled();
    if (!possible) return 0;
    return int(std::lround(formatRowHeight * std::clamp(m_activeness.value(), 0.0, 1.0)));
}

bool NoteView::formatButtonsShown() const
{
    // Closing, the buttons go at once (they no longer take clicks); opening, they show once the row is.
    return m_model.formatRowShown() && formatRowHeightNow() >= formatRowHeight - 3;
}

void NoteView::drawGrip()
{
    auto* grip = static_cast<GripWidget*>(m_grip);
    grip->opacity = std::clamp(m_activeness.value(), 0.0, 1.0);
    grip->setVisible(m_model.gripPresent() && grip->opacity > 0.0);
    // Fading out, it is only drawn: an inactive window's grip takes no drag.
    grip->setAttribute(Qt::WA_TransparentForMouseEvents, !m_model.isActive());
    grip->update();
}

void NoteView::drawActiveness()
{
    auto* veil = static_cast<FadeVeil*>(m_veil);
    veil->strength = 1.0 - std::clamp(m_activeness.value(), 0.0, 1.0);
    veil->setVisible(m_model.note() && veil->strength > 0.0);
    veil->update();
    drawGrip();
    const bool formats = formatButtonsShown();
    for (QToolButton* button : m_formatButtons) button->setVisible(formats);
    m_formatDivider->setVisible(formats);
    relayout();
}

void NoteView::drawRolling()
{
    auto* veil = static_cast<FadeVeil*>(m_contentVeil);
    const double shown = std::clamp(m_unrolling.value(), 0.0, 1.0);
    veil->strength = 1.0 - shown;
    veil->setVisible(m_model.note() && shown > 0.0 && shown < 1.0);
    veil->update();
    // Rolled all the way: what was only being drawn goes.
    const bool redacted = m_model.isRedacted();
    const bool content = m_model.contentShown() || shown > 0.0;
    if (m_body) m_body->setVisible(content && !redacted && m_model.note());
    m_lockPanel->setVisible(content && redacted);
    // Once the body has rolled away its title line stands in its place.
    m_rolledTitle->setVisible(m_model.rolledTitleShown() && !content);
}

void NoteView::resizeEvent(QResizeEvent* event)
{
    DeckCard::resizeEvent(event);
    relayout();
}

const QImage* NoteView::wallpaperImage()
{
    Note* note = m_model.note();
    if (!note || m_model.isRedacted()) return nullptr;
    const ResolvedNoteLook look = m_store.look(*note);
    if (!look.wallpaper) return nullptr;
    const QSize size = WallpaperCache::roundedSize(QSizeF(this->size()));
    const QString key = QStringLiteral("%1@%2x%3/%4/%5")
                            .arg(look.wallpaper->text())
                            .arg(size.width())
                            .arg(size.height())
                            .arg(look.brightness)
                            .arg(look.blur);
    if (key != m_wallpaper.key) {
        const WallpaperRef ref = *look.wallpaper;
        const auto image =
            WallpaperCache::shared().image(ref, QSizeF(size), [this, ref]() -> std::optional<QByteArray> {
                if (ref.kind() != WallpaperRef::Kind::user) return std::nullopt;
                return m_store.wallpaperData(ref.userID());
            });
        // No image: nothing is kept, so a later paint asks again.
        if (!image) return nullptr;
        m_wallpaper = {key, processWallpaper(*image, size, look.brightness, look.blur)};
        ++m_wallpaperRenders;
    }
    return &m_wallpaper.image;
}

void NoteView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    Note* note = m_model.note();
    const double opacity = m_model.windowOpacity();
    painter.setOpacity(m_translucent ? opacity : 1.0);
    QPainterPath sheet;
    if (m_translucent) {
        painter.setRenderHint(QPainter::Antialiasing);
        sheet.addRoundedRect(QRectF(rect()), FloatingNotePanel::cornerRadius, FloatingNotePanel::cornerRadius);
        painter.setClipPath(sheet);
    }
    painter.fillRect(rect(), note ? m_store.look(*note).theme.paper : TarnwickTheme::paper());
    if (const QImage* wallpaper = wallpaperImage()) painter.drawImage(QPoint(0, 0), *wallpaper, rect());

    if (m_model.bottomEdgePresent() && note) {
        painter.fillRect(QRectF(0, height() - 6, width(), 1), TarnwickTheme::hairline());
        QColor band = m_model.bottomEdgeColour();
        band.setAlphaF(float(m_model.bottomEdgeAlpha()));
        painter.fillRect(QRectF(0, height() - 5, width(), 5), band);
    }
    painter.setOpacity(1.0);
    if (m_model.isFlashing()) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(TarnwickTheme::accent(), 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 12, 12);
    }
}

void NoteView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && event->position().y() < stripHeight) {
        m_stripPress = event->globalPosition();
        m_stripDragging = false;
        return;
    }
    DeckCard::mousePressEvent(event);
}

void NoteView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_stripPress) return DeckCard::mouseMoveEvent(event);
    const QPointF translation = event->globalPosition() - *m_stripPress;
    if (!m_stripDragging && std::hypot(translation.x(), translation.y()) < 2) return;
    m_stripDragging = true;
    m_model.stripDrag(translation, false);
}

void NoteView::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_stripPress && m_stripDragging) m_model.stripDrag(event->globalPosition() - *m_stripPress, true);
    m_stripPress.reset();
    m_stripDragging = false;
    DeckCard::mouseReleaseEvent(event);
}

void NoteView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && event->position().y() < stripHeight) {
        m_model.toggleZoomFromStrip();
        // The second press of a double click starts no drag.
        m_stripPress.reset();
        return;
    }
    DeckCard::mouseDoubleClickEvent(event);
}

QMenu* NoteView::buildContextMenu(const QPoint& pos)
{
    m_menuAnchor = pos;
    QMenu* menu = new NoteMenu;
    if (m_body && m_body->isVisible() && m_body->geometry().contains(pos)) {
        if (QMenu* edit = m_body->createEditMenu(m_body->mapFrom(this, pos))) {
            // The editor's items join this menu; their own menu keeps them (and goes with this one).
            edit->setParent(menu, edit->windowFlags());
            menu->addActions(edit->actions());
        }
    }
    if (!menu->isEmpty()) menu->addSeparator();
    for (const NoteViewModel::MenuItem& item : m_model.menuItems()) {
        if (item.separatorBefore) menu->addSeparator();
        QAction* action = menu->addAction(item.label);
        action->setEnabled(item.enabled);
        action->setProperty(NoteMenu::destructiveProperty, item.destructive);
        action->setToolTip(item.toolTip.isEmpty() ? item.label : item.toolTip);
        if (!item.toolTip.isEmpty()) action->setStatusTip(item.toolTip);
        QPointer<NoteView> self(this);
        connect(action, &QAction::triggered, this, [self, c = item.command] {
            if (self) self->m_model.performMenu(c);
        });
    }
    menu->setToolTipsVisible(true);
    return menu;
}

QList<QToolButton*> NoteView::headButtons() const
{
    return {m_dots[0], m_dots[1], m_dots[2], m_opacityButton, m_lockButton, m_paletteButton};
}

bool NoteView::headRowHasFocus() const
{
    const QWidget* focus = QApplication::focusWidget();
    return focus && headButtons().contains(qobject_cast<QToolButton*>(const_cast<QWidget*>(focus)));
}

QList<QToolButton*> NoteView::reachableHeadButtons() const
{
    QList<QToolButton*> out;
    for (QToolButton* button : headButtons())
        if (button->isVisible() && button->isEnabled()) out << button;
    return out;
}

void NoteView::enterHeadRow()
{
    const QList<QToolButton*> buttons = reachableHeadButtons();
    if (buttons.isEmpty()) return;
    QWidget* focus = QApplication::focusWidget();
    m_headReturn = focus && isAncestorOf(focus) ? focus : nullptr;
    buttons.first()->setFocus(Qt::ShortcutFocusReason);
}

void NoteView::leaveHeadRow()
{
    QWidget* back = m_headReturn;
    m_headReturn = nullptr;
    // The widget that had the keyboard keeps its caret; without one the body takes it.
    if (back && back->isVisible() && back->isEnabled())
        back->setFocus(Qt::ShortcutFocusReason);
    else if (m_body && m_model.contentShown())
        m_body->focusBody();
    else if (QWidget* focus = QApplication::focusWidget();
             focus && headButtons().contains(qobject_cast<QToolButton*>(focus)))
        focus->clearFocus();
}

bool NoteView::eventFilter(QObject* watched, QEvent* event)
{
    auto* button = qobject_cast<QToolButton*>(watched);
    // The click that made the window key lands on the buttons it showed: it only made the window key.
    if ((event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) &&
        (button == m_opacityButton || button == m_lockButton || button == m_paletteButton) &&
        !m_model.buttonsTakePress(static_cast<QMouseEvent*>(event)->globalPosition()))
        return true;
    if (event->type() != QEvent::KeyPress || !button || !headButtons().contains(button))
        return DeckCard::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        leaveHeadRow();
        return true;
    }
    const ButtonRowKeys::Step step = ButtonRowKeys::step(*key);
    if (step == ButtonRowKeys::Step::none) return false;
    if (step == ButtonRowKeys::Step::press) {
        button->click();
        return true;
    }
    const QList<QToolButton*> buttons = reachableHeadButtons();
    if (buttons.isEmpty()) return true;
    const bool back = step == ButtonRowKeys::Step::back;
    const qsizetype at = buttons.indexOf(button);
    const qsizetype next = ((at < 0 ? 0 : at + (back ? -1 : 1)) % buttons.size() + buttons.size()) % buttons.size();
    buttons[next]->setFocus(back ? Qt::BacktabFocusReason : Qt::TabFocusReason);
    return true;
}

bool NoteView::event(QEvent* event)
{
    // The strip's help text, where no control of the head row is.
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (help->pos().y() < stripHeight) {
            QToolTip::showText(help->globalPos(), tr("Drag to move \u00B7 double-click to expand / restore"), this);
            return true;
        }
    }
    return DeckCard::event(event);
}

void NoteView::contextMenuEvent(QContextMenuEvent* event)
{
    if (!m_model.note()) return;
    QMenu* menu = buildContextMenu(event->pos());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void NoteView::showOpacityPopover(bool show)
{
    if (!show) {
        if (m_opacityPopover) m_opacityPopover->close();
        return;
    }
    Note* note = m_model.note();
    if (!note || m_opacityPopover) return;
    m_opacityPopover =
        new OpacityPopover(note->uuid(), m_model.windowOpacity(), m_store.notifications(), m_opacityButton);
    connect(m_opacityPopover, &NotePopover::closed, this, [this] { m_model.setShowingOpacity(false); });
    m_opacityPopover->popUp();
}

void NoteView::showShortcutsPopover()
{
    if (m_shortcutsPopover) {
        m_shortcutsPopover->raise();
        return;
    }
    m_shortcutsPopover = new NotePopover(this);
    m_shortcutsPopover->setObjectName(QStringLiteral("formattingShortcuts"));
    auto* layout = new QVBoxLayout(m_shortcutsPopover);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new FormattingShortcutsSheet(m_shortcutsPopover));
    m_shortcutsPopover->setAnchorRect(QRect(m_menuAnchor, QSize(1, 1)));
    m_shortcutsPopover->popUp();
}

void NoteView::showPalettePopover(bool show)
{
    if (!show) {
        if (m_palettePopover) m_palettePopover->close();
        return;
    }
    Note* note = m_model.note();
    if (!note || m_palettePopover) return;
    if (m_makePalette) m_palettePopover = m_makePalette(*note, m_paletteButton);
    if (!m_palettePopover) {
        m_model.setShowingPalette(false);
        return;
    }
    connect(m_palettePopover, &NotePopover::closed, this, [this] { m_model.setShowingPalette(false); });
    m_palettePopover->popUp();
}

void NoteView::showReminderPopover(bool show)
{
    if (!show) {
        if (m_reminderPopover) m_reminderPopover->close();
        return;
    }
    if (!m_model.note() || m_reminderPopover) return;
    // Anchored to the head row's width, under its bottom edge.
    m_reminderPopover = new ReminderPopover(m_model, this);
    m_reminderPopover->setAnchorRect(QRect(0, 0, width(), headHeight));
    connect(m_reminderPopover, &NotePopover::closed, this, [this] { m_model.setShowingReminder(false); });
    m_reminderPopover->popUp();
}
