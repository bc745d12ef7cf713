#include "settings/AboutSettingsTab.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include "design/LinkButton.h"
#include "design/PlainText.h"
#include "design/SupportConfig.h"
#include "design/Symbols.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "design/TextColor.h"
#include "settings/SettingsWidgets.h"
#include "settings/TarnSettingsSection.h"

using namespace SettingsWidgets;

namespace {

QPixmap brandIcon()
{
    constexpr int size = 60;
    const qreal ratio = 2;
    QPixmap icon = Symbols::icon(QStringLiteral("BrandIcon")).pixmap(QSize(size, size), ratio);
    QPixmap clipped(QSize(size, size) * ratio);
    clipped.setDevicePixelRatio(ratio);
    clipped.fill(Qt::transparent);
    QPainter p(&clipped);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    QPainterPath corner;
    corner.addRoundedRect(QRectF(0, 0, size, size), 13, 13);
    p.setClipPath(corner);
    p.drawPixmap(QRect(0, 0, size, size), icon);
    return clipped;
}

QPushButton* link(const QString& title, const QUrl& url, QWidget* parent)
{
    auto* b = new LinkButton(PlainText::buttonTitle(title), parent);
    b->setFont(TarnwickType::caption());
    TextColor::set(b, TarnwickTheme::accentInk());
    QObject::connect(b, &QPushButton::clicked, b, [url] { QDesktopServices::openUrl(url); });
    return b;
}

}  // namespace

QString AboutSettingsTab::appVersion()
{
    const QString version = QStringLiteral(TARNWICK_VERSION);
    return version.isEmpty() ? QStringLiteral("1.0") : version;
}

AboutSettingsTab::AboutSettingsTab(const SettingsServices&, QWidget* parent) : SettingsPage(parent)
{
    auto* section = new TarnSettingsSection;
    auto* box = new QWidget(section->card());
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 8, 0, 8);
    column->setSpacing(8);
    auto* icon = new QLabel(box);
    icon->setPixmap(brandIcon());
    icon->setAccessibleName(QStringLiteral("Tarnwick"));
    column->addWidget(icon, 0, Qt::AlignHCenter);
    column->addWidget(
        label(QStringLiteral("Tarnwick"), box, TarnwickType::brand(24, QFont::DemiBold), TarnwickTheme::textPrimary()),
        0, Qt::AlignHCenter);
    m_version =
        label(QStringLiteral("Version ") + appVersion(), box, TarnwickType::caption(), TarnwickTheme::textSecondary());
    column->addWidget(m_version, 0, Qt::AlignHCenter);
    auto* links = new QWidget(box);
    links->setContentsMargins(0, 2, 0, 0);
    auto* linksRow = row({link(QStringLiteral("Terms of Use"), SupportConfig::termsURL(), links),
                          label(QStringLiteral("·"), links, TarnwickType::caption(), TarnwickTheme::textTertiary()),
                          link(QStringLiteral("Privacy Policy"), SupportConfig::privacyURL(), links)},
                         // Each link keeps room for its focus ring around its title: the row's 6 points
                         // between a title and the dot are that room and the spacing together.
                         6 - LinkButton::kRoomAcross);
    links->setLayout(linksRow);
    column->addWidget(links, 0, Qt::AlignHCenter);
    section->addRow(box);
    addSection(section);
}
