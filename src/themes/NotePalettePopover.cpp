#include "themes/NotePalettePopover.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QEasingCurve>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>

#include "design/ComboMenuKeys.h"
#include "design/ComboPopupAccessible.h"
#include "design/LightPalette.h"
#include "design/Symbols.h"
#include "design/TarnRowDivider.h"
#include "design/TarnwickStyle.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "settings/ThemeGrid.h"
#include "store/NoteStore.h"
#include "store/NoteThemes.h"
#include "themes/ColorField.h"
#include "themes/ThemeEditor.h"
#include "themes/ThemeWindowController.h"

namespace {

QString css(const QColor& colour)
{
    return colour.name(QColor::HexArgb);
}

QLabel* plainLabel(const QString& text, const QFont& font, const QColor& colour, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("color: %1").arg(css(colour)));
    return label;
}

QFont sectionFont()
{
    QFont font = TarnwickType::system(9.5, QFont::DemiBold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.5);
    return font;
}

// A section's header: its title, and on the right a trailing text on one line.
QWidget* sectionHeader(const QString& title, QLabel*& trailing, QWidget* parent)
{
    auto* header = new QWidget(parent);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(plainLabel(title, sectionFont(), TarnwickTheme::textSecondary(), header));
    row->addStretch(1);
    trailing = plainLabel(QString(), TarnwickType::system(9.5), TarnwickTheme::textTertiary(), header);
    row->addWidget(trailing);
    return header;
}

QPushButton* plainButton(const QString& text, const QFont& font, const QColor& colour, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setFlat(true);
    button->setAutoDefault(false);
    button->setFont(font);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; border: none; padding: 0; background: transparent; }")
            .arg(css(colour)));
    return button;
}

// "Customise this note" with a chevron at the far end; the whole row takes the click.
class Disclosure : public QAbstractButton {
public:
    explicit Disclosure(QWidget* parent) : QAbstractButton(parent)
    {
        setText(tr("Customise this note"));
        setFont(TarnwickType::system(11, QFont::Medium));
        setCursor(Qt::PointingHandCursor);
        setFocusPolicy(Qt::TabFocus);
        setFixedHeight(18);
    }
    bool open = false;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setFont(font());
        p.setPen(TarnwickTheme::accentInk());
        p.drawText(rect().adjusted(0, 0, -12, 0), Qt::AlignLeft | Qt::AlignVCenter, text());
        const QString chevron = open ? QStringLiteral("chevron.down") : QStringLiteral("chevron.right");
        Symbols::tinted(chevron, TarnwickTheme::accentInk(), 8).paint(&p, QRect(width() - 8, (height() - 8) / 2, 8, 8));
        if (hasFocus()) {
            // Underlined with the focus ring's colour: the row has no room for a ring around it.
            const int textWidth = std::min(QFontMetrics(font()).horizontalAdvance(text()), width() - 12);
            p.fillRect(QRect(0, height() - 2, textWidth, 2), TarnwickStyle::focusRingColor());
        }
    }
};

// The "THIS NOTE ONLY" badge: accent text in a half-strength accent outline.
class Badge : public QLabel {
public:
    explicit Badge(QWidget* parent) : QLabel(tr("THIS NOTE ONLY"), parent)
    {
        QFont font = TarnwickType::mono();
        font.setPointSizeF(TarnwickType::pointSize(8.5));
        font.setWeight(QFont::DemiBold);
        font.setLetterSpacing(QFont::AbsoluteSpacing, 0.6);
        setFont(font);
        setContentsMargins(5, 1, 5, 1);
        setStyleSheet(QStringLiteral("color: %1").arg(css(TarnwickTheme::accent())));
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QLabel::paintEvent(event);
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QColor outline = TarnwickTheme::accent();
        outline.setAlphaF(0.5f);
        p.setPen(QPen(outline, 1));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
    }
};

}  // namespace

NotePalettePopover::NotePalettePopover(NoteStore& store, Note& note, ThemeWindowController* themeWindow,
                                       QWidget* anchor, bool startCustomising)
    : NotePopover(anchor),
      m_palette(store, note,
                {[this](const QString& id) {
                     // The theme window takes over: the palette goes first.
                     close();
                     if (m_themeWindow) m_themeWindow->show(id, nullptr);
                 },
                 [this](const ResolvedNoteTheme& base, Note* applyTo) {
                     close();
                     if (m_themeWindow) m_themeWindow->showNew(base, applyTo);
                 }}),
      m_themeWindow(themeWindow),
      m_anchor(anchor)
{
    setObjectName(QStringLiteral("notePalette"));
    setWindowTitle(tr("Note design"));
    setPalette(LightPalette::make());
    setFixedWidth(contentWidth + 24);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(12);

    auto* themeSection = new QWidget(this);
    auto* themeColumn = new QVBoxLayout(themeSection);
    themeColumn->setContentsMargins(0, 0, 0, 0);
    themeColumn->setSpacing(5);
    m_themeHeader = sectionHeader(tr("Theme"), m_themeTrailing, themeSection);
    themeColumn->addWidget(m_themeHeader);
    m_gridScroll = new QScrollArea(themeSection);
    m_gridScroll->setObjectName(QStringLiteral("themeGridScroll"));
    m_gridScroll->setFrameShape(QFrame::NoFrame);
    m_gridScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_gridScroll->setWidgetResizable(true);
    m_gridScroll->setFocusPolicy(Qt::NoFocus);  // the grid is the Tab stop
    m_gridScroll->viewport()->setAutoFillBackground(false);
    m_gridScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_gridScroll->hide();
    m_grid = new ThemeGrid(themeSection);
    m_grid->setOnPick([this](const QString& id) { m_palette.pick(id); });
    m_grid->setOnEdit([this](const QString& id) { m_palette.edit(id); });
    m_grid->setOnCreate([this] { m_palette.create(); });
    themeColumn->addWidget(m_grid);
    themeColumn->addWidget(m_gridScroll);
    column->addWidget(themeSection);
    column->addWidget(new TarnRowDivider(this));

    auto* disclosure = new Disclosure(this);
    disclosure->setObjectName(QStringLiteral("customiseButton"));
    disclosure->setToolTip(tr("Typeface \u2014 for this note only"));
    disclosure->setAccessibleName(disclosure->text());
    connect(disclosure, &QAbstractButton::clicked, this, [this] { setCustomising(!m_customising); });
    m_disclosure = disclosure;
    column->addWidget(m_disclosure);

    m_drawer = new QWidget(this);
    auto* drawer = new QVBoxLayout(m_drawer);
    drawer->setContentsMargins(0, 0, 0, 0);
    drawer->setSpacing(12);
    m_paper = new ColorField(tr("Paper"), ThemeEditor::paperSwatches(),
                             {[this] { return m_palette.paper(); }, [this](const QColor& c) { m_palette.setPaper(c); }},
                             m_drawer);
    m_ink = new ColorField(tr("Ink"), ThemeEditor::inkSwatches(),
                           {[this] { return m_palette.ink(); }, [this](const QColor& c) { m_palette.setInk(c); }},
                           m_drawer);
    drawer->addWidget(m_paper);
    drawer->addWidget(new TarnRowDivider(m_drawer));
    drawer->addWidget(m_ink);
    drawer->addWidget(new TarnRowDivider(m_drawer));

    auto* typeface = new QWidget(m_drawer);
    auto* typefaceColumn = new QVBoxLayout(typeface);
    typefaceColumn->setContentsMargins(0, 0, 0, 0);
    typefaceColumn->setSpacing(5);
    typefaceColumn->addWidget(sectionHeader(tr("Typeface"), m_familyTrailing, typeface));
    m_family = new QComboBox(typeface);
    ComboPopupAccessible::attach(m_family);
    ComboMenuKeys::attach(m_family);
    m_family->setObjectName(QStringLiteral("familyBox"));
    m_family->setAccessibleName(tr("Typeface"));
    m_family->addItems(ThemeEditor::families());
    // Only a choice of the user's writes; filling and showing the current family write nothing.
    connect(m_family, &QComboBox::textActivated, this, [this](const QString& family) { m_palette.setFamily(family); });
    typefaceColumn->addWidget(m_family);
    drawer->addWidget(typeface);

    m_resetRow = new QWidget(m_drawer);
    auto* resetColumn = new QVBoxLayout(m_resetRow);
    resetColumn->setContentsMargins(0, 0, 0, 0);
    resetColumn->setSpacing(12);
    resetColumn->addWidget(new TarnRowDivider(m_resetRow));
    m_reset = plainButton(tr("Reset to the theme"), TarnwickType::system(10.5, QFont::Medium),
                          TarnwickTheme::textSecondary(), m_resetRow);
    m_reset->setObjectName(QStringLiteral("resetButton"));
    m_reset->setToolTip(tr("Drop this note's own paper, ink and typeface"));
    connect(m_reset, &QPushButton::clicked, this, [this] { m_palette.clearOverrides(); });
    resetColumn->addWidget(m_reset, 0, Qt::AlignLeft);
    drawer->addWidget(m_resetRow);
    drawer->addWidget(new TarnRowDivider(m_drawer));

    m_footer = new QWidget(m_drawer);
    auto* footer = new QHBoxLayout(m_footer);
    footer->setContentsMargins(0, 0, 0, 0);
    footer->addWidget(new Badge(m_footer));
    footer->addStretch(1);
    m_saveAs = plainButton(tr("Save as a theme\u2026"), TarnwickType::system(10.5, QFont::DemiBold),
                           TarnwickTheme::accentInk(), m_footer);
    m_saveAs->setObjectName(QStringLiteral("saveAsButton"));
    m_saveAs->setToolTip(tr("Make this look shared, so other notes can wear it"));
    connect(m_saveAs, &QPushButton::clicked, this, &NotePalettePopover::showNaming);
    footer->addWidget(m_saveAs);
    drawer->addWidget(m_footer);
    column->addWidget(m_drawer);
    m_drawer->setMaximumHeight(0);
    m_drawer->hide();

    m_drawerAnimation = new QPropertyAnimation(m_drawer, "maximumHeight", this);
    m_drawerAnimation->setDuration(200);
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.2, 0.7), QPointF(0.2, 1.0), QPointF(1, 1));
    m_drawerAnimation->setEasingCurve(curve);
    connect(m_drawerAnimation, &QPropertyAnimation::valueChanged, this, [this] { fitToContents(); });
    connect(m_drawerAnimation, &QPropertyAnimation::finished, this, [this] {
        if (!m_customising) m_drawer->hide();
        fitToContents();
    });

    m_themeObserver = store.notifications().observe(
        tarnwickThemeChanged, [this](const Notification&) { refresh(); }, QString(), this);
    refresh();
    if (startCustomising) setCustomising(true);
}

void NotePalettePopover::setCustomising(bool customising)
{
    if (m_customising == customising) return;
    m_customising = customising;
    static_cast<Disclosure*>(m_disclosure)->open = customising;
    m_disclosure->update();
    m_drawerAnimation->stop();
    m_drawer->show();
    m_drawerAnimation->setStartValue(m_drawer->height() > 0 && m_drawer->maximumHeight() > 0 ? m_drawer->height() : 0);
    m_drawerAnimation->setEndValue(customising ? m_drawer->sizeHint().height() : 0);
    m_drawerAnimation->start();
}

void NotePalettePopover::refresh()
{
    Note* note = m_palette.note();
    if (!note) {
        close();
        return;
    }
    const ResolvedNoteTheme look = m_palette.look();
    // A change of one note's look leaves the library as it was: the grid is rebuilt only when it is not.
    const QVector<ResolvedNoteTheme> themes = m_palette.themes();
    if (themes != m_grid->themes()) m_grid->setThemes(themes);
    m_grid->setSelectedID(look.id);
    m_themeTrailing->setText(look.name);
    m_paper->refresh();
    m_ink->refresh();
    const QString family = m_palette.family();
    m_familyTrailing->setText(family);
    const QSignalBlocker quiet(m_family);
    m_family->setCurrentIndex(m_family->findText(family, Qt::MatchExactly));
    m_resetRow->setVisible(m_palette.hasOverrides());
    if (m_customising && m_drawerAnimation->state() != QAbstractAnimation::Running)
        m_drawer->setMaximumHeight(QWIDGETSIZE_MAX);
    fitGrid();
    fitToContents();
}

int NotePalettePopover::gridHeightLimit() const
{
    const QScreen* screen = m_anchor ? m_anchor->screen() : QGuiApplication::primaryScreen();
    if (!screen) return QWIDGETSIZE_MAX;
    const QRect available = screen->availableGeometry();
    // The popover opens below its anchor, or above it when that side has more room.
    int room = available.height();
    if (m_anchor && m_anchor->isVisible()) {
        const QRect anchor(m_anchor->mapToGlobal(QPoint(0, 0)), m_anchor->size());
        room = std::max(available.bottom() - anchor.bottom(), anchor.top() - available.top());
    }
    // Everything but the grid, with the drawer open as far as it goes.
    const QMargins margins = layout()->contentsMargins();
    const int spacing = static_cast<QVBoxLayout*>(layout())->spacing();
    const int others = margins.top() + margins.bottom() + m_themeHeader->sizeHint().height() + 5 + 3 * spacing + 1 +
                       m_disclosure->sizeHint().height() + m_drawer->sizeHint().height();
    // Never less than a row of tiles.
    return std::max(ThemeGrid::kSwatchHeight + 24, room - others);
}

void NotePalettePopover::fitGrid()
{
    // The grid stands in the column as it is while it fits; in the scroll area only once it does not.
    const int limit = gridHeightLimit();
    const bool scrolls = m_grid->heightForWidth(contentWidth) > limit;
    auto* column = static_cast<QVBoxLayout*>(m_gridScroll->parentWidget()->layout());
    if (scrolls && m_gridScroll->widget() != m_grid) {
        column->removeWidget(m_grid);
        m_gridScroll->setWidget(m_grid);
        m_gridScroll->show();
    } else if (!scrolls && m_gridScroll->widget() == m_grid) {
        m_gridScroll->takeWidget();
        m_grid->setParent(m_gridScroll->parentWidget());
        column->insertWidget(column->indexOf(m_gridScroll), m_grid);
        m_grid->show();
        m_gridScroll->hide();
    }
    if (scrolls) m_gridScroll->setFixedHeight(limit);
}

void NotePalettePopover::showNaming()
{
    if (m_naming) m_naming->close();
    m_naming = new NotePopover(m_footer);
    m_naming->setObjectName(QStringLiteral("namingPopover"));
    m_naming->setWindowTitle(tr("Name this theme"));
    auto* column = new QVBoxLayout(m_naming);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(8);
    column->addWidget(plainLabel(tr("Name this theme"), TarnwickType::system(11, QFont::DemiBold),
                                 TarnwickTheme::textPrimary(), m_naming));
    m_nameField = new QLineEdit(m_naming);
    m_nameField->setObjectName(QStringLiteral("themeNameField"));
    m_nameField->setPlaceholderText(tr("Theme name"));
    m_nameField->setFixedWidth(180);
    column->addWidget(m_nameField);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* save = new QPushButton(tr("Save"), m_naming);
    save->setObjectName(QStringLiteral("saveThemeButton"));
    save->setDefault(true);
    connect(save, &QPushButton::clicked, this, &NotePalettePopover::saveAsTheme);
    connect(m_nameField, &QLineEdit::returnPressed, this, &NotePalettePopover::saveAsTheme);
    row->addWidget(save);
    column->addLayout(row);
    m_naming->popUp();
    m_naming->activateWindow();
    m_nameField->setFocus(Qt::PopupFocusReason);
}

void NotePalettePopover::saveAsTheme()
{
    const QString name = m_nameField ? m_nameField->text() : QString();
    if (m_naming) m_naming->close();
    m_palette.saveAsTheme(name);
    setCustomising(false);
}
