#include "themes/ThemeEditorView.h"

#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>

#include "design/ComboMenuKeys.h"
#include "design/ComboPopupAccessible.h"
#include "design/LightPalette.h"
#include "design/TarnRowDivider.h"
#include "design/TarnwickTheme.h"
#include "design/TarnwickType.h"
#include "settings/TarnSettingsSection.h"
#include "themes/ColorField.h"
#include "themes/ThemePreviewNote.h"

namespace {

QString css(const QColor& colour)
{
    return colour.name(QColor::HexArgb);
}

QLabel* text(const QString& content, qreal size, const QColor& colour, QWidget* parent)
{
    auto* label = new QLabel(content, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(TarnwickType::system(size));
    label->setStyleSheet(QStringLiteral("color: %1").arg(css(colour)));
    return label;
}

QWidget* section(const QString& title, const QList<QWidget*>& rows, QWidget* parent)
{
    auto* section = new TarnSettingsSection(title, parent);
    for (QWidget* row : rows) section->addRow(row);
    return section;
}

}  // namespace

ThemeEditorView::ThemeEditorView(ThemeEditor editor, QWidget* parent) : QWidget(parent), m_editor(std::move(editor))
{
    setObjectName(QStringLiteral("themeEditor"));
    m_editor.load();
    setAutoFillBackground(true);
    const QPalette light = LightPalette::make();
    setPalette(light);
    setFixedWidth(contentWidth);

    auto* columns = new QHBoxLayout(this);
    columns->setContentsMargins(0, 0, 0, 0);
    columns->setSpacing(0);

    auto* left = new QWidget(this);
    left->setFixedWidth(formWidth);
    auto* leftColumn = new QVBoxLayout(left);
    leftColumn->setContentsMargins(0, 0, 0, 0);
    leftColumn->setSpacing(0);
    auto* scroll = new QScrollArea(left);
    m_scroll = scroll;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);  // the Tab walk goes through the form's controls only
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* form = new QWidget(scroll);
    form->setAutoFillBackground(true);
    form->setPalette(light);
    auto* sections = new QVBoxLayout(form);
    sections->setContentsMargins(20, 20, 20, 20);
    sections->setSpacing(18);

    m_name = new QLineEdit(m_editor.name, form);
    m_name->setObjectName(QStringLiteral("nameField"));
    m_name->setAccessibleName(tr("Name"));
    m_name->setPlaceholderText(tr("Name"));
    connect(m_name, &QLineEdit::textEdited, this, [this](const QString& name) { m_editor.name = name; });
    connect(m_name, &QLineEdit::returnPressed, this, &ThemeEditorView::save);
    sections->addWidget(section(tr("Name"), {m_name}, form));

    m_paper = new ColorField(tr("Paper"), ThemeEditor::paperSwatches(),
                             {[this] { return m_editor.paper; },
                              [this](const QColor& c) {
                                  m_editor.paper = c;
                                  formChanged();
                              }},
                             form);
    m_ink = new ColorField(tr("Ink"), ThemeEditor::inkSwatches(),
                           {[this] { return m_editor.ink; },
                            [this](const QColor& c) {
                                m_editor.ink = c;
                                formChanged();
                            }},
                           form);
    sections->addWidget(section(tr("Colour"), {m_paper, new TarnRowDivider(form), m_ink}, form));

    auto* fontRow = new QWidget(form);
    auto* fontLayout = new QHBoxLayout(fontRow);
    fontLayout->setContentsMargins(0, 0, 0, 0);
    fontLayout->addWidget(text(tr("Font"), 13, TarnwickTheme::textPrimary(), fontRow));
    fontLayout->addStretch(1);
    m_family = new QComboBox(fontRow);
    ComboPopupAccessible::attach(m_family);
    ComboMenuKeys::attach(m_family);
    m_family->setObjectName(QStringLiteral("familyBox"));
    m_family->setAccessibleName(tr("Font"));
    m_family->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    // Filled before it is connected: filling selects an entry, which is no choice of the user's.
    m_family->addItems(m_editor.familyChoices());
    m_family->setCurrentText(m_editor.family);
    connect(m_family, &QComboBox::textActivated, this, [this](const QString& family) {
        m_editor.family = family;
        formChanged();
    });
    fontLayout->addWidget(m_family);

    auto* lineRow = new QWidget(form);
    auto* lineLayout = new QHBoxLayout(lineRow);
    lineLayout->setContentsMargins(0, 0, 0, 0);
    lineLayout->addWidget(text(tr("Line height"), 13, TarnwickTheme::textPrimary(), lineRow));
    lineLayout->addStretch(1);
    m_lineHeight = new QComboBox(lineRow);
    ComboPopupAccessible::attach(m_lineHeight);
    ComboMenuKeys::attach(m_lineHeight);
    m_lineHeight->setObjectName(QStringLiteral("lineHeightBox"));
    m_lineHeight->setAccessibleName(tr("Line height"));
    m_lineHeight->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    for (const ThemeEditor::LineHeight& preset : ThemeEditor::lineHeights()) {
        m_lineHeight->addItem(preset.name, preset.value);
        if (preset.value == m_editor.lineHeight) m_lineHeight->setCurrentIndex(m_lineHeight->count() - 1);
    }
    connect(m_lineHeight, &QComboBox::activated, this, [this](int index) {
        m_editor.lineHeight = m_lineHeight->itemData(index).toDouble();
        formChanged();
    });
    lineLayout->addWidget(m_lineHeight);

    auto* note = text(tr("Size is not part of a theme. Headings are recognised by their size, so a themed body size "
                         "would turn ordinary lines into headings. Line height is safe for the same reason: nothing "
                         "reads it back."),
                      10.5, TarnwickTheme::textTertiary(), form);
    note->setWordWrap(true);
    sections->addWidget(
        section(tr("Type"), {fontRow, new TarnRowDivider(form), lineRow, new TarnRowDivider(form), note}, form));
    sections->addStretch(1);
    scroll->setWidget(form);
    leftColumn->addWidget(scroll, 1);

    auto* divider = new QFrame(left);
    divider->setFixedHeight(1);
    divider->setAutoFillBackground(true);
    QPalette hairline = divider->palette();
    hairline.setColor(QPalette::Window, TarnwickTheme::hairline());
    divider->setPalette(hairline);
    leftColumn->addWidget(divider);

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(20, 14, 20, 14);
    if (m_editor.canDelete()) {
        m_delete = new QPushButton(tr("Delete Theme"), left);
        m_delete->setObjectName(QStringLiteral("deleteButton"));
        m_delete->setAutoDefault(false);
        m_delete->setStyleSheet(QStringLiteral("color: %1").arg(css(TarnwickTheme::destructive())));
        connect(m_delete, &QPushButton::clicked, this, [this] { m_editor.deleteTheme(); });
        bar->addWidget(m_delete);
    }
    m_failure = text(tr("Tarnwick couldn't write to your notes file."), 11, TarnwickTheme::destructive(), left);
    m_failure->setObjectName(QStringLiteral("saveFailure"));
    m_failure->setWordWrap(true);
    m_failure->hide();
    bar->addWidget(m_failure, 1);
    bar->addStretch(0);
    m_save = new QPushButton(tr("Save"), left);
    m_save->setObjectName(QStringLiteral("saveButton"));
    m_save->setDefault(true);
    connect(m_save, &QPushButton::clicked, this, &ThemeEditorView::save);
    bar->addWidget(m_save);
    leftColumn->addLayout(bar);
    columns->addWidget(left);

    m_preview = new ThemePreviewNote(this);
    columns->addWidget(m_preview, 1);

    // Return is Save wherever the focus is, except inside an open menu (its keys are its own).
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, &ThemeEditorView::save);
    }
    formChanged();

    // At 460 the form's last card was cut off at the bottom: the window is as tall as the whole form
    // (the note under the type rows wraps, so its height is asked at the form's width).
    const int formHeight =
        sections->hasHeightForWidth() ? sections->heightForWidth(formWidth) : form->sizeHint().height();
    const int belowForm = divider->height() + bar->sizeHint().height();
    m_fittingHeight = std::max(contentHeight, formHeight + belowForm);
    setFixedHeight(m_fittingHeight);
}

void ThemeEditorView::setHeightWithin(int available)
{
    setFixedHeight(std::max(contentHeight, std::min(m_fittingHeight, available)));
}

void ThemeEditorView::formChanged()
{
    m_preview->setLook(m_editor.paper, m_editor.ink, m_editor.resolvedFamily(), m_editor.lineHeight);
    m_paper->refresh();
    m_ink->refresh();
}

void ThemeEditorView::save()
{
    m_editor.name = m_name->text();
    // A failed write keeps the form as it is, with the reason under it.
    m_failure->setVisible(!m_editor.save());
}
