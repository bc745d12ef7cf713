#include "onboarding/OnboardingScreens.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QSvgRenderer>
#include <QVBoxLayout>
#include <QtMath>
#include <algorithm>
#include <memory>

#include "capture/CaptureCapsuleChrome.h"
#include "design/LinkButton.h"
#include "design/OneElementAccessible.h"
#include "design/SharePrivacy.h"
#include "design/SupportConfig.h"
#include "design/Symbols.h"
#include "design/TarnwickButton.h"
#include "design/TarnwickStyle.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "design/TextColor.h"
#include "mcp/MCPService.h"
#include "onboarding/OnboardingKeycap.h"
#include "onboarding/PracticeTextView.h"
#include "privacy/UnlockSession.h"

using Screen = OnboardingFlowModel::Screen;
using CaptureGroup = OnboardingFlowModel::CaptureGroup;

namespace {

QColor withAlpha(QColor c, qreal alpha)
{
    c.setAlphaF(float(alpha));
    return c;
}

QLabel* text(const QString& value, const QFont& font, const QColor& color, QWidget* parent, int maxWidth = 0)
{
    auto* label = new QLabel(value, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    // A wrapping text is given its whole width, so the layout knows its height; other texts keep one line.
    label->setWordWrap(maxWidth > 0);
    if (maxWidth > 0) {
        label->setFixedWidth(maxWidth);
        label->setFixedHeight(label->heightForWidth(maxWidth));
    }
    TextColor::set(label, color);
    return label;
}

QLabel* title(const QString& value, qreal size, QWidget* parent)
{
    return text(value, TarnwickType::brand(size, QFont::DemiBold), TarnwickTheme::textPrimary(), parent);
}

QLabel* body(const QString& value, int maxWidth, QWidget* parent)
{
    return text(value, TarnwickType::noteBody(), TarnwickTheme::textSecondary(), parent, maxWidth);
}

QLabel* symbol(const QString& name, const QColor& color, int size, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(Symbols::tinted(name, color, size).pixmap(size, size));
    label->setFixedSize(size, size);
    return label;
}

// An SVG of our own drawn to fit a box, its aspect kept.
class SvgPicture : public QWidget {
public:
    SvgPicture(const QString& path, QSize box, QWidget* parent) : QWidget(parent), m_renderer(path)
    {
        QSizeF size = m_renderer.defaultSize();
        size.scale(box, Qt::KeepAspectRatio);
        setFixedSize(size.toSize());
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        m_renderer.render(&p, QRectF(rect()));
    }

private:
    QSvgRenderer m_renderer;
};

// A client's tile: its mark in its own colours on a raised rounded square.
class ClientTile : public QWidget {
public:
    ClientTile(const QString& path, const QString& name, QWidget* parent) : QWidget(parent), m_renderer(path)
    {
        setFixedSize(44, 46);
        setAccessibleName(name);
        setToolTip(name);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF tile(0, 0, 44, 44);
        QPainterPath shape;
        shape.addRoundedRect(tile, 11, 11);
        QPainterPath shadow;
        shadow.addRoundedRect(tile.translated(0, 1), 11, 11);
        p.fillPath(shadow, withAlpha(TarnwickTheme::textPrimary(), 0.1));
        p.fillPath(shape, TarnwickTheme::surfaceRaised());
        p.setPen(QPen(withAlpha(TarnwickTheme::textPrimary(), 0.06), 1));
        QPainterPath stroke;
        stroke.addRoundedRect(tile.adjusted(0.5, 0.5, -0.5, -0.5), 10.5, 10.5);
        p.drawPath(stroke);
        m_renderer.render(&p, QRectF(11, 11, 22, 22));
    }

private:
    QSvgRenderer m_renderer;
};

// A still picture of the confirmation capsule, read as one element.
QWidget* capsulePreview(QWidget* parent)
{
    CaptureCapsuleChrome::Content content;
    content.message = QStringLiteral("Text captured");
    content.symbol = QStringLiteral("text.viewfinder");
    content.tint = TarnwickTheme::OnInkTint::accent();
    content.countdown = CaptureCapsuleChrome::Countdown::fixed(0.62);
    content.backing = CaptureCapsuleChrome::Backing::solid;
    content.showsUndo = true;
    auto* capsule = new CaptureCapsuleChrome(content, parent);
    capsule->setAttribute(Qt::WA_TransparentForMouseEvents);
    capsule->setFocusPolicy(Qt::NoFocus);
    for (QWidget* child : capsule->findChildren<QWidget*>()) child->setFocusPolicy(Qt::NoFocus);
    // A picture of the capsule: its Undo does nothing here, so nothing inside it may read as a control.
    OneElementAccessible::present(capsule, QAccessible::Graphic, QStringLiteral("Text captured, with undo"));
    capsule->setFixedSize(capsule->sizeHint());
    return capsule;
}

QPushButton* link(const QString& title, const QUrl& url, const OnboardingServices& services, QWidget* parent)
{
    auto* button = new LinkButton(title, parent);
    QFont font = TarnwickType::system(11);
    font.setUnderline(true);
    button->setFont(font);
    TextColor::set(button, TarnwickTheme::accentInk());
    QObject::connect(button, &QPushButton::clicked, button, [open = services.openURL, url] {
        if (open) open(url);
    });
    return button;
}

QWidget* promise(const QString& label, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(5);
    layout->addWidget(symbol(QStringLiteral("checkmark"), TarnwickTheme::success(), 11, row));
    layout->addWidget(text(label, TarnwickType::system(11.5), TarnwickTheme::textTertiary(), row));
    return row;
}

}  // namespace

OnboardingSwitch::OnboardingSwitch(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(sizeHint());
}

void OnboardingSwitch::paintEvent(QPaintEvent*)
{
    // The shared switch: its off track and focus ring read on the card as every other switch's do.
    QPainter p(this);
    TarnwickStyle::drawSwitch(p, QRectF(rect()).adjusted(2, 2, -2, -2), isChecked(), isEnabled(), hasFocus());
}

QPushButton* OnboardingScreens::button(const QString& title, QWidget* parent)
{
    auto* button = new TarnwickButton(title, parent);
    button->setPrimaryStyle(TarnwickPrimaryButtonStyle{true, false, 42, 11});
    button->setFocusPolicy(Qt::StrongFocus);
    // Return reaches the button through the page, which presses its one filled button.
    button->setAutoDefault(false);
    return button;
}

OnboardingSkip::OnboardingSkip(const QString& title, QWidget* parent) : QAbstractButton(parent)
{
    setText(title);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    setFont(TarnwickType::system(12));
    setAccessibleName(title);
}

QSize OnboardingSkip::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int ring = qCeil(TarnwickStyle::kFocusRingWidth);
    return QSize(metrics.horizontalAdvance(text()) + 2 * (kPadX + ring), metrics.height() + 2 * (kPadY + ring));
}

QRectF OnboardingSkip::ringRect() const
{
    const qreal half = TarnwickStyle::kFocusRingWidth / 2;
    return QRectF(rect()).adjusted(half, half, -half, -half);
}

QRect OnboardingSkip::textRect() const
{
    const QFontMetrics metrics(font());
    const QSize box(metrics.horizontalAdvance(text()), metrics.height());
    return QRect(QPoint((width() - box.width()) / 2, (height() - box.height()) / 2), box);
}

void OnboardingSkip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (hasFocus()) {
        p.setPen(QPen(TarnwickStyle::focusRingColor(), TarnwickStyle::kFocusRingWidth));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(ringRect(), kRingRadius, kRingRadius);
    }
    p.setFont(font());
    p.setPen(hasFocus() ? TarnwickTheme::accentInk() : TarnwickTheme::textTertiary());
    p.drawText(textRect(), Qt::AlignCenter | Qt::TextSingleLine, text());
}

OnboardingSkip* OnboardingScreens::skip(const QString& title, QWidget* parent)
{
    return new OnboardingSkip(title, parent);
}

QList<OnboardingScreens::Fact> OnboardingScreens::facts(const UnlockSession* unlockSession)
{
    QList<Fact> list;
    list << Fact{QStringLiteral("macwindow.on.rectangle"), QStringLiteral("They float above everything"),
                 QStringLiteral("on every workspace.")};
    // Only a promise the desktop keeps is made.
    if (SharePrivacy::isSupported())
        list << Fact{QStringLiteral("eye.slash"), QStringLiteral("Invisible on a screen share"),
                     QStringLiteral("so your notes stay yours in a call.")};
    list << Fact{QStringLiteral("arrow.left.arrow.right"), QStringLiteral("Swipe to flip between notes"),
                 QStringLiteral("one on screen or a whole deck.")};
    QString lockTitle = QStringLiteral("Lock one with your password");
    QString lockSymbol = QStringLiteral("key.fill");
    if (unlockSession && unlockSession->hasBiometrics()) {
        lockTitle =
            QStringLiteral("Lock one with ") + unlockSession->biometryName().value_or(QStringLiteral("your password"));
        lockSymbol = unlockSession->authSymbol();
    }
    list << Fact{lockSymbol, lockTitle, QStringLiteral("and its words stay sealed until you unlock it.")};
    return list;
}

QString OnboardingScreens::localConnectionDetail(bool readOnly)
{
    return readOnly ? QStringLiteral("Off until you turn it on. Read only, and locked notes stay invisible.")
                    : QStringLiteral(
                          "Off until you turn it on. Clients can also create notes; locked notes stay "
                          "invisible.");
}

QList<std::pair<QString, QString>> OnboardingScreens::clientTiles()
{
    return {{QStringLiteral(":/logos/LogoClaude.svg"), QStringLiteral("Claude")},
            {QStringLiteral(":/logos/LogoOpenAI.svg"), QStringLiteral("ChatGPT")},
            {QStringLiteral(":/logos/LogoCursor.svg"), QStringLiteral("Cursor")},
            {QStringLiteral(":/logos/LogoRaycast.svg"), QStringLiteral("Raycast")},
            {QStringLiteral(":/logos/LogoPerplexity.svg"), QStringLiteral("Perplexity")}};
}

OnboardingPage OnboardingScreens::build(OnboardingFlowModel& model, const OnboardingServices& services,
                                        const KeyPressSequence* press, bool reduceMotion, QWidget* parent)
{
    const OnboardingFlowModel::Page shown = model.page();
    OnboardingPage page;
    page.widget = new QWidget(parent);
    QWidget* w = page.widget;
    auto* grid = new QGridLayout(w);
    grid->setContentsMargins(0, 0, 0, 0);

    // The content, centred on the page.
    auto* content = new QWidget(w);
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(24, 36, 24, 36);
    stack->setSpacing(20);
    stack->setAlignment(Qt::AlignCenter);
    auto add = [&](QWidget* item) { stack->addWidget(item, 0, Qt::AlignHCenter); };
    auto addButton = [&](const QString& label, std::function<void()> action) {
        QPushButton* b = button(label, content);
        QObject::connect(b, &QPushButton::clicked, b, std::move(action));
        page.primary = b;
        add(b);
    };
    auto forward = [&model] { model.advance(); };
    auto addKeys = [&] {
        page.keycap = new OnboardingKeycap(shown.keys, press, reduceMotion, content);
        page.keycap->setEarned(shown.keysEarned);
        page.keycap->setAsleep(shown.keysAsleep);
        page.keycap->setMaximumWidth(472);
        stack->addWidget(page.keycap);
    };
    auto addListening = [&] {
        if (!shown.listening) return;
        page.listening = new OnboardingListening(*shown.listening, shown.listeningUrgent, reduceMotion, content);
        add(page.listening);
    };

    switch (model.screen()) {
        case Screen::welcome: {
            auto* lockup = new SvgPicture(QStringLiteral(":/BrandLockup.svg"), QSize(400, 34), content);
            lockup->setAccessibleName(QStringLiteral("Tarnwick"));
            add(lockup);
            add(title(shown.title, 26, content));
            add(body(shown.body, 380, content));
            auto* begin = new QWidget(content);
            auto* column = new QVBoxLayout(begin);
            column->setContentsMargins(0, 2, 0, 0);
            column->setSpacing(8);
            QPushButton* b = button(shown.primaryButton, begin);
            QObject::connect(b, &QPushButton::clicked, b, forward);
            page.primary = b;
            column->addWidget(b, 0, Qt::AlignHCenter);
            column->addWidget(text(QStringLiteral("This takes about a minute."), TarnwickType::system(11.5),
                                   TarnwickTheme::textTertiary(), begin),
                              0, Qt::AlignHCenter);
            add(begin);
            break;
        }
        case Screen::newNote:
        case Screen::hide:
        case Screen::shelf:
            addKeys();
            add(title(shown.title, 25, content));
            add(body(shown.body, 340, content));
            if (shown.primaryButton.isEmpty())
                addListening();
            else
                addButton(shown.primaryButton, forward);
            break;
        case Screen::capture:
            addKeys();
            add(title(shown.title, 25, content));
            switch (shown.captureGroup) {
                case CaptureGroup::captured:
                    add(capsulePreview(content));
                    add(body(shown.body, 340, content));
                    addButton(shown.primaryButton, forward);
                    break;
                case CaptureGroup::enableCapture:
                    add(body(shown.body, 340, content));
                    addButton(shown.primaryButton, [explain = services.explainCapture] {
                        if (explain) explain();
                    });
                    break;
                default: {
                    auto* well = new QWidget(content);
                    well->setObjectName(QStringLiteral("practiceWell"));
                    well->setAttribute(Qt::WA_StyledBackground);
                    well->setStyleSheet(QStringLiteral("#practiceWell { background: %1; border-radius: 10px; }")
                                            .arg(TarnwickTheme::accentWash().name(QColor::HexArgb)));
                    auto* wellLayout = new QVBoxLayout(well);
                    wellLayout->setContentsMargins(16, 12, 16, 12);
                    page.field = new PracticeTextView(QStringLiteral("Select any of these words to wake the keys."),
                                                      &model.practice(), well);
                    // At least 320 wide, and as wide as the sentence needs in this font: never cut.
                    const int sentence = page.field->fontMetrics().horizontalAdvance(page.field->toPlainText());
                    page.field->setFixedSize(std::clamp(sentence + 8, 320, 440),
                                             page.field->fontMetrics().height() + 4);
                    wellLayout->addWidget(page.field);
                    add(well);
                    addListening();
                    break;
                }
            }
            break;
        case Screen::notes: {
            add(title(shown.title, 25, content));
            auto* factsBox = new QWidget(content);
            auto* factsLayout = new QVBoxLayout(factsBox);
            factsLayout->setContentsMargins(0, 0, 0, 0);
            factsLayout->setSpacing(11);
            for (const Fact& fact : facts(services.unlockSession)) {
                auto* row = new QWidget(factsBox);
                auto* rowLayout = new QHBoxLayout(row);
                rowLayout->setContentsMargins(0, 0, 0, 0);
                rowLayout->setSpacing(11);
                auto* glyphBox = new QWidget(row);
                glyphBox->setFixedWidth(17);
                auto* glyphLayout = new QVBoxLayout(glyphBox);
                glyphLayout->setContentsMargins(0, 2, 0, 0);
                glyphLayout->addWidget(symbol(fact.symbol, TarnwickTheme::accent(), 14, glyphBox), 0,
                                       Qt::AlignHCenter | Qt::AlignTop);
                rowLayout->addWidget(glyphBox, 0, Qt::AlignTop);
                auto* line = new QLabel(row);
                line->setTextFormat(Qt::RichText);
                line->setWordWrap(true);
                line->setFont(TarnwickType::noteBody());
                line->setText(QStringLiteral("<span style=\"color:%1; font-weight:600\">%2</span>"
                                             "<span style=\"color:%3\">, %4</span>")
                                  .arg(TarnwickTheme::textPrimary().name(), fact.title.toHtmlEscaped(),
                                       TarnwickTheme::textSecondary().name(), fact.detail.toHtmlEscaped()));
                line->setAccessibleName(fact.title + QStringLiteral(", ") + fact.detail);
                rowLayout->addWidget(line, 1);
                factsLayout->addWidget(row);
            }
            factsBox->setFixedWidth(340);
            add(factsBox);
            addButton(shown.primaryButton, forward);
            break;
        }
        case Screen::connections: {
            stack->setSpacing(16);
            add(title(shown.title, 23, content));
            auto* tiles = new QWidget(content);
            auto* tilesLayout = new QHBoxLayout(tiles);
            tilesLayout->setContentsMargins(0, 0, 0, 0);
            tilesLayout->setSpacing(12);
            for (const auto& [path, name] : clientTiles()) tilesLayout->addWidget(new ClientTile(path, name, tiles));
            add(tiles);
            add(body(shown.body, 350, content));
            auto* card = new QWidget(content);
            card->setObjectName(QStringLiteral("localConnectionCard"));
            card->setAttribute(Qt::WA_StyledBackground);
            card->setStyleSheet(QStringLiteral("#localConnectionCard { background: %1; border-radius: 12px; }")
                                    .arg(withAlpha(TarnwickTheme::textPrimary(), 0.045).name(QColor::HexArgb)));
            card->setFixedWidth(350);
            auto* cardLayout = new QHBoxLayout(card);
            cardLayout->setContentsMargins(15, 13, 15, 13);
            cardLayout->setSpacing(12);
            auto* labels = new QVBoxLayout;
            labels->setSpacing(2);
            QLabel* name = text(QStringLiteral("Local connection"), TarnwickType::system(13.5, QFont::DemiBold),
                                TarnwickTheme::textPrimary(), card);
            name->setAlignment(Qt::AlignLeft);
            QLabel* detail = text(localConnectionDetail(!services.mcp || services.mcp->readOnly()),
                                  TarnwickType::system(11.5), TarnwickTheme::textTertiary(), card, 350 - 30 - 12 - 38);
            detail->setAlignment(Qt::AlignLeft);
            labels->addWidget(name);
            labels->addWidget(detail);
            cardLayout->addLayout(labels, 1);
            page.localConnection = new OnboardingSwitch(card);
            page.localConnection->setAccessibleName(QStringLiteral("Local connection"));
            // The switch shows the service as it is; showing it writes nothing and restarts nothing.
            page.localConnection->setChecked(services.mcp && services.mcp->enabled());
            page.localConnection->setEnabled(services.mcp != nullptr);
            QObject::connect(page.localConnection, &QAbstractButton::toggled, card, [mcp = services.mcp](bool on) {
                if (mcp) mcp->setEnabled(on);
            });
            cardLayout->addWidget(page.localConnection, 0, Qt::AlignVCenter);
            add(card);
            addButton(shown.primaryButton, forward);
            break;
        }
        case Screen::agreement: {
            add(title(shown.title, 25, content));
            auto* promises = new QWidget(content);
            auto* promisesLayout = new QHBoxLayout(promises);
            promisesLayout->setContentsMargins(0, 0, 0, 0);
            promisesLayout->setSpacing(16);
            for (const char* label : {"No account", "No tracking", "Works offline"})
                promisesLayout->addWidget(promise(QString::fromLatin1(label), promises));
            add(promises);
            page.launchAtLogin = new QCheckBox(QStringLiteral("Launch Tarnwick at login"), content);
            page.launchAtLogin->setFont(TarnwickType::system(13));
            TextColor::set(page.launchAtLogin, TarnwickTheme::textPrimary());
            if (services.settings) {
                auto choice = std::make_shared<LaunchAtLoginChoice>(*services.settings, services.loginItem);
                page.launchAtLogin->setChecked(choice->appear());
                QPointer<QCheckBox> box = page.launchAtLogin;
                QObject::connect(box, &QCheckBox::toggled, box, [choice, box](bool wanted) {
                    const bool now = choice->change(wanted);
                    if (box && box->isChecked() != now) {
                        const QSignalBlocker quiet(box);
                        box->setChecked(now);
                    }
                });
            }
            add(page.launchAtLogin);
            addButton(shown.primaryButton, forward);
            auto* legal = new QWidget(content);
            auto* legalLayout = new QHBoxLayout(legal);
            legalLayout->setContentsMargins(0, 0, 0, 0);
            legalLayout->setSpacing(0);
            const QFont small = TarnwickType::system(11);
            legalLayout->addWidget(
                text(QStringLiteral("By continuing you agree to the "), small, TarnwickTheme::textTertiary(), legal));
            legalLayout->addWidget(link(QStringLiteral("Terms of Use"), SupportConfig::termsURL(), services, legal));
            legalLayout->addWidget(text(QStringLiteral(" and "), small, TarnwickTheme::textTertiary(), legal));
            legalLayout->addWidget(
                link(QStringLiteral("Privacy Policy"), SupportConfig::privacyURL(), services, legal));
            legalLayout->addWidget(text(QStringLiteral("."), small, TarnwickTheme::textTertiary(), legal));
            add(legal);
            break;
        }
    }
    grid->addWidget(content, 0, 0, Qt::AlignCenter);

    if (shown.markIndex) {
        auto* marks = new QWidget(w);
        auto* marksLayout = new QVBoxLayout(marks);
        marksLayout->setContentsMargins(0, 20, 0, 0);
        marksLayout->addWidget(new OnboardingMarks(*shown.markIndex, OnboardingFlowModel::kMarkCount, marks));
        grid->addWidget(marks, 0, 0, Qt::AlignTop | Qt::AlignHCenter);
    }
    if (shown.showsSkip) {
        auto* box = new QWidget(w);
        auto* boxLayout = new QVBoxLayout(box);
        // The text stands 18 above the page's bottom; its focus ring's room reaches below that.
        boxLayout->setContentsMargins(0, 0, 0, 18 - OnboardingSkip::kPadY - qCeil(TarnwickStyle::kFocusRingWidth));
        page.skip = skip(QStringLiteral("Skip"), box);
        QObject::connect(page.skip, &QAbstractButton::clicked, page.skip, forward);
        boxLayout->addWidget(page.skip);
        grid->addWidget(box, 0, 0, Qt::AlignBottom | Qt::AlignHCenter);
    }
    return page;
}
