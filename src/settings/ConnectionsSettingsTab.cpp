#include "settings/ConnectionsSettingsTab.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QVBoxLayout>

#include "design/DoubleClickGuard.h"
#include "design/LinkButton.h"
#include "design/MiddleElidedLabel.h"
#include "design/PlainText.h"
#include "design/Symbols.h"
#include "design/TarnRowDivider.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "design/TextColor.h"
#include "mcp/MCPService.h"
#include "platform/Settings.h"
#include "settings/ConnectionsRows.h"
#include "settings/SettingsWidgets.h"
#include "settings/TarnSettingsSection.h"
#include "settings/TarnSwitchToggleStyle.h"

using namespace SettingsWidgets;

namespace {
const QString kReadOnlyKey = QStringLiteral("mcp.readOnly");
const QString kApprovedKey = QStringLiteral("mcp.approvedClients");
}  // namespace

ConnectionsSettingsTab::ConnectionsSettingsTab(const SettingsServices& services, QWidget* parent)
    : SettingsPage(parent), m_services(services)
{
    MCPService& mcp = services.mcp;
    auto* connect = new TarnSettingsSection(QStringLiteral("Connect a Tool"));
    auto* enableRow =
        new TarnSwitchToggleStyle(QStringLiteral("Let external tools read your notes (MCP)"),
                                  QStringLiteral("Claude Code & Claude Desktop connect over a local endpoint."));
    m_enable = enableRow->toggle();
    // toggled(): clicks, Space and a screen reader's toggle action alike; refresh() pushes back blocked.
    QObject::connect(m_enable, &QAbstractButton::toggled, this, [&mcp](bool on) { mcp.setEnabled(on); });
    connect->addRow(enableRow);
    connect->addDivider();

    // Access: two segments, exactly one checked.
    m_readOnly = button(QStringLiteral("Read-only"), connect->card());
    m_readWrite = button(QStringLiteral("Read & write"), connect->card());
    // Not a QButtonGroup: an exclusive group is one Tab stop, and each segment is a stop of its own.
    for (QPushButton* segment : {m_readOnly, m_readWrite}) {
        segment->setCheckable(true);
        segment->setToolTip(QStringLiteral("Read & write also exposes the create_note tool to connected tools."));
        // As radio buttons: checking a segment (by click, Space or a screen reader's toggle) picks it;
        // unchecking the picked one leaves it picked.
        QObject::connect(segment, &QPushButton::toggled, this, [this, segment](bool on) {
            if (on) m_services.settings.setValue(kReadOnlyKey, segment == m_readOnly);
            refresh();
        });
    }
    connect->addRow(row({label(QStringLiteral("Access"), connect->card()), nullptr, m_readOnly, m_readWrite}, 0));
    connect->addDivider();

    m_status = new SymbolLabel(connect->card());
    m_status->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect->addRow(row({label(QStringLiteral("Status"), connect->card()), nullptr, m_status}));

    // The rows that show only while the endpoint is switched on.
    auto* divider = new TarnRowDivider(connect->card());
    connect->addRow(divider);
    m_address = new QLineEdit(connect->card());
    m_address->setReadOnly(true);
    m_address->setFrame(false);
    m_address->setFocusPolicy(Qt::ClickFocus);  // selectable, but not a stop of the Tab walk
    QFont mono = TarnwickType::mono();
    mono.setPointSizeF(TarnwickType::caption().pointSizeF());
    m_address->setFont(mono);
    m_address->setAccessibleName(QStringLiteral("Endpoint address"));
    m_copy = button(QStringLiteral("Copy"), connect->card());
    QObject::connect(m_copy, &QPushButton::clicked, this, &ConnectionsSettingsTab::copy);
    auto* addressRow = new QWidget(connect->card());
    auto* addressLayout = row({m_address, m_copy});
    addressLayout->setStretch(0, 1);
    addressRow->setLayout(addressLayout);
    connect->addRow(addressRow);
    m_regenerate = button(QStringLiteral("Regenerate token"), connect->card());
    m_regenerate->setToolTip(QStringLiteral("Invalidates the current URL; you'll need to reconnect your tools."));
    QObject::connect(m_regenerate, &QPushButton::clicked, this, [&mcp] { mcp.regenerateToken(); });
    auto* regenerateRow = new QWidget(connect->card());
    regenerateRow->setLayout(row({m_regenerate, nullptr}));
    connect->addRow(regenerateRow);
    m_tokenError = label({}, connect->card(), TarnwickType::caption(), TarnwickTheme::destructive());
    m_tokenError->setWordWrap(true);
    connect->addRow(m_tokenError);
    m_setupToggle = new LinkButton(PlainText::buttonTitle(QStringLiteral("Setup instructions…")), connect->card());
    TextColor::set(m_setupToggle, TarnwickTheme::accentInk());
    QObject::connect(m_setupToggle, &QPushButton::clicked, this, [this] {
        m_showSetup = !m_showSetup;
        refresh();
    });
    auto* setupRow = new QWidget(connect->card());
    setupRow->setLayout(row({m_setupToggle, nullptr}));
    connect->addRow(setupRow);
    m_setup = new QWidget(connect->card());
    auto* setupColumn = new QVBoxLayout(m_setup);
    setupColumn->setContentsMargins(0, 2, 0, 2);
    setupColumn->setSpacing(4);
    QFont bold = TarnwickType::caption();
    bold.setBold(true);
    setupColumn->addWidget(label(QStringLiteral("Claude Code"), m_setup, bold));
    m_setupCommand = label({}, m_setup, mono);
    m_setupCommand->setWordWrap(true);
    m_setupCommand->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setupColumn->addWidget(m_setupCommand);
    setupColumn->addWidget(label(QStringLiteral("Claude Desktop"), m_setup, bold));
    setupColumn->addWidget(
        caption(QStringLiteral("Settings → Connectors → Add custom connector → paste the URL above."), m_setup));
    connect->addRow(m_setup);
    m_endpointRows = {divider, addressRow, regenerateRow, setupRow};
    addSection(connect);

    m_approved = new TarnSettingsSection(QStringLiteral("Approved Tools"));
    addSection(m_approved);

    auto* note = new TarnSettingsSection;
    auto* locked = new SymbolLabel(note->card());
    locked->set(QStringLiteral("lock.fill"), QStringLiteral("Locked notes are never shared"),
                TarnwickTheme::textSecondary());
    note->addRow(locked);
    addSection(note);

    for (auto signal : {&MCPService::enabledChanged, &MCPService::isRunningChanged, &MCPService::startFailedChanged})
        QObject::connect(&mcp, signal, this, &ConnectionsSettingsTab::refresh);
    QObject::connect(&mcp, &MCPService::portChanged, this, &ConnectionsSettingsTab::refresh);
    QObject::connect(&mcp, &MCPService::endpointURLChanged, this, &ConnectionsSettingsTab::refresh);
    QObject::connect(&mcp, &MCPService::tokenErrorChanged, this, &ConnectionsSettingsTab::refresh);
    QObject::connect(&services.settings, &Settings::valueChanged, this, [this](const QString& key) {
        if (key == kReadOnlyKey || key == kApprovedKey || key == QLatin1String("mcp.enabled")) refresh();
    });
    setCopied(false);
    refresh();
}

void ConnectionsSettingsTab::refresh()
{
    const MCPService& mcp = m_services.mcp;
    const ConnectionsRows rows = ConnectionsRows::of(mcp, m_services.settings);
    {
        const QSignalBlocker blocker(m_enable);
        m_enable->setChecked(mcp.enabled());
    }
    const bool readOnly = m_services.settings.boolIfStored(kReadOnlyKey).value_or(true);
    {
        const QSignalBlocker blockReadOnly(m_readOnly);
        const QSignalBlocker blockReadWrite(m_readWrite);
        m_readOnly->setChecked(readOnly);
        m_readWrite->setChecked(!readOnly);
    }

    switch (rows.status) {
        case ConnectionsRows::Status::running:
            m_status->set(QStringLiteral("dot.radiowaves.left.and.right"), rows.statusText, TarnwickTheme::accent());
            break;
        case ConnectionsRows::Status::starting:
            m_status->set(QStringLiteral("hourglass"), rows.statusText, TarnwickTheme::textSecondary());
            break;
        case ConnectionsRows::Status::failed:
            m_status->set(QStringLiteral("xmark"), rows.statusText, TarnwickTheme::destructive());
            break;
        case ConnectionsRows::Status::off:
            m_status->set({}, rows.statusText, TarnwickTheme::textSecondary());
            break;
    }

    for (QWidget* w : std::as_const(m_endpointRows)) w->setVisible(rows.showsEndpoint);
    if (m_address->text() != rows.address) {
        m_address->setText(rows.address);
        m_address->setCursorPosition(0);
    }
    m_copy->setEnabled(!rows.address.isEmpty());
    m_tokenError->setText(mcp.tokenError());
    m_tokenError->setVisible(rows.showsEndpoint && !mcp.tokenError().isEmpty());
    m_setupToggle->setText(m_showSetup ? QStringLiteral("Hide setup instructions")
                                       : QStringLiteral("Setup instructions…"));
    m_setupCommand->setText(QStringLiteral("claude mcp add --transport http tarnwick ") + rows.address);
    m_setup->setVisible(rows.showsEndpoint && m_showSetup);

    if (rows.approved != m_approvedShown) rebuildApproved(rows.approved);
    m_approved->setVisible(!rows.approved.isEmpty());
    chainTabOrder();
}

void ConnectionsSettingsTab::rebuildApproved(const QStringList& names)
{
    m_approvedShown = names;
    // The row whose Revoke had the keyboard, so that the keyboard stays in the list when it is rebuilt.
    qsizetype focusedRow = -1;
    for (qsizetype i = 0; i < m_revokes.size(); ++i)
        if (m_revokes[i]->window()->focusWidget() == m_revokes[i]) focusedRow = i;
    QLayout* rows = m_approved->rows();
    QList<QWidget*> old;
    while (QLayoutItem* item = rows->takeAt(0)) {
        if (QWidget* w = item->widget()) old << w;
        delete item;
    }
    m_revokes.clear();
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString name = names[i];
        auto* rowWidget = new QWidget(m_approved->card());
        auto* revoke = button(QStringLiteral("Revoke"), rowWidget);
        revoke->setFlat(true);
        revoke->setAccessibleDescription(name);
        // Revoking rebuilds the list: the second press of a double click would revoke the next client.
        DoubleClickGuard::guardButton(revoke);
        TextColor::set(revoke, QColor(0xC0, 0x2E, 0x2E));
        QObject::connect(revoke, &QPushButton::clicked, this, [this, name] { m_services.mcp.revoke(name); });
        auto* shownName = new MiddleElidedLabel(rowWidget);
        shownName->setFullText(name);
        rowWidget->setLayout(row({shownName, nullptr, revoke}));
        m_approved->addRow(rowWidget);
        // Shown now, not on the next turn, so that the keyboard can be given to its button below.
        rowWidget->show();
        if (i + 1 < names.size()) m_approved->addDivider();
        m_revokes << revoke;
    }
    if (focusedRow >= 0) {
        // A revoked row takes its button with it: the keyboard goes to the Revoke now in its place (the
        // next row's), else the one above; with no client left, to the control just before the list,
        // never back up to the endpoint's switch, where a Space would turn it off.
        if (!m_revokes.isEmpty())
            m_revokes[std::min(focusedRow, m_revokes.size() - 1)]->setFocus(Qt::OtherFocusReason);
        else if (m_setupToggle->isVisibleTo(this))
            m_setupToggle->setFocus(Qt::OtherFocusReason);
        else
            setFocus(Qt::OtherFocusReason);
    }
    // Taken away only once the keyboard has left them (a row may be going from inside its own button).
    for (QWidget* w : std::as_const(old)) {
        w->hide();
        w->deleteLater();
    }
}

void ConnectionsSettingsTab::chainTabOrder()
{
    QList<QWidget*> chain{m_enable, m_readOnly, m_readWrite, m_copy, m_regenerate, m_setupToggle};
    for (QPushButton* revoke : std::as_const(m_revokes)) chain << revoke;
    for (qsizetype i = 0; i + 1 < chain.size(); ++i) QWidget::setTabOrder(chain[i], chain[i + 1]);
}

void ConnectionsSettingsTab::copy()
{
    const QString url = m_services.mcp.endpointURL();
    if (m_services.mcp.token().isEmpty() || !m_services.mcp.isRunning()) return;
    QClipboard* clipboard = QGuiApplication::clipboard();
    auto* data = new QMimeData;
    data->setText(url);
    data->setData(QString::fromLatin1(kSecretHintFormat), QByteArrayLiteral("secret"));
    clipboard->setMimeData(data, QClipboard::Clipboard);
    // As password managers do: the token does not stay on the clipboard for whoever asks later. Timed
    // on the clipboard, so closing the settings window does not keep it there; what was copied since
    // (anything but this very copy) is left alone.
    m_clearCopied.cancel();
    m_clearCopied = m_services.clock.after(kClearCopiedMs, clipboard, [clipboard, url] {
        const QMimeData* held = clipboard->mimeData(QClipboard::Clipboard);
        if (held && held->text() == url && held->hasFormat(QString::fromLatin1(kSecretHintFormat)))
            clipboard->clear(QClipboard::Clipboard);
    });
    setCopied(true);
    // Each press shows "Copied" for its own 1.5 s: an earlier press's reset must not cut it short.
    m_copiedReset.cancel();
    m_copiedReset = m_services.clock.after(kCopiedMs, this, [this] { setCopied(false); });
}

void ConnectionsSettingsTab::setCopied(bool copied)
{
    m_copied = copied;
    m_copy->setText(copied ? QStringLiteral("Copied") : QStringLiteral("Copy"));
    m_copy->setIcon(Symbols::tinted(copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"),
                                    TarnwickTheme::textPrimary(), 14));
}
