#include "themes/ThemeEditor.h"

#include <QFontDatabase>
#include <QUuid>
#include <algorithm>
#include <cmath>

#include "design/HexColor.h"
#include "design/TarnwickTheme.h"
#include "model/Note.h"
#include "model/NoteTheme.h"
#include "model/Tint.h"
#include "platform/ModelContext.h"
#include "platform/NotificationCenter.h"
#include "store/NoteStore.h"
#include "store/NoteThemes.h"

namespace {

const QString kSystem = QStringLiteral("System");

QColor hex(const char* code)
{
    return colorFromHex(QString::fromLatin1(code)).value_or(QColor(Qt::white));
}

// A colour as the store can hold it: opaque sRGB with finite components within 0...1.
QColor storable(const QColor& color, const QColor& otherwise)
{
    if (!color.isValid()) return otherwise;
    const QColor rgb = color.toRgb();
    auto c = [](float v) { return std::isfinite(v) ? std::clamp(v, 0.0f, 1.0f) : 1.0f; };
    return QColor::fromRgbF(c(rgb.redF()), c(rgb.greenF()), c(rgb.blueF()), 1.0f);
}

}  // namespace

ThemeEditor::ThemeEditor(NoteStore& store, std::optional<QString> themeID, ResolvedNoteTheme base, Note* applyTo,
                         std::function<void()> onFinish)
    : ink(TarnwickTheme::textPrimary()),
      m_store(store),
      m_themeID(std::move(themeID)),
      m_base(std::move(base)),
      m_applyTo(applyTo),
      m_onFinish(std::move(onFinish))
{
}

ThemeEditor::ThemeEditor(NoteStore& store, const QString& themeID, Note* applyTo, std::function<void()> onFinish)
    : ThemeEditor(store, std::optional<QString>(themeID), NoteTheme::builtIn(Tint::blue), applyTo, std::move(onFinish))
{
}

ThemeEditor ThemeEditor::creatingFrom(NoteStore& store, const ResolvedNoteTheme& base, Note* applyTo,
                                      std::function<void()> onFinish)
{
    return ThemeEditor(store, std::nullopt, base, applyTo, std::move(onFinish));
}

const QStringList& ThemeEditor::families()
{
    static const QStringList list = [] {
        QStringList result{kSystem};
        // The curated faces of the other desktop first, then the common faces of this one. Only a
        // family installed under its own name counts: a substitute would save a name that draws as
        // something else.
        const char* curated[] = {"Newsreader",      "New York",         "Helvetica Neue", "Avenir Next",
                                 "Georgia",         "Palatino",         "Optima",         "Menlo",
                                 "SF Mono",         "Courier New",      "Verdana",        "Noto Serif",
                                 "DejaVu Serif",    "Liberation Serif", "Noto Sans",      "DejaVu Sans",
                                 "Liberation Sans", "Cantarell",        "Noto Sans Mono", "DejaVu Sans Mono",
                                 "Liberation Mono"};
        for (const char* name : curated) {
            const QString family = QString::fromLatin1(name);
            if (QFontDatabase::hasFamily(family) && !result.contains(family)) result << family;
        }
        return result;
    }();
    return list;
}

const QList<QColor>& ThemeEditor::paperSwatches()
{
    static const QList<QColor> list = [] {
        QList<QColor> result;
        for (Tint tint : Tint::allCases()) result << NoteTheme::builtIn(tint).paper;
        result << TarnwickTheme::surface() << TarnwickTheme::canvas() << hex("EFE4D2") << hex("E3D9C6") << hex("DCE3D6")
               << hex("D9DEE6");
        return result;
    }();
    return list;
}

const QList<QColor>& ThemeEditor::inkSwatches()
{
    static const QList<QColor> list{TarnwickTheme::textPrimary(),
                                    hex("3A2E22"),
                                    hex("2A3440"),
                                    hex("33372C"),
                                    hex("3E2C2C"),
                                    hex("2E2A38"),
                                    hex("9E3B2E"),
                                    hex("1F6F5C"),
                                    hex("2B5C93"),
                                    hex("7A4E96"),
                                    hex("F3EFE8"),
                                    hex("C8BFB0")};
    return list;
}

const QList<ThemeEditor::LineHeight>& ThemeEditor::lineHeights()
{
    static const QList<LineHeight> list{{QStringLiteral("Tight"), 1.2},
                                        {QStringLiteral("Snug"), 1.35},
                                        {QStringLiteral("Normal"), 1.45},
                                        {QStringLiteral("Relaxed"), 1.6},
                                        {QStringLiteral("Airy"), 1.8}};
    return list;
}

double ThemeEditor::nearestLineHeight(double v)
{
    const QList<LineHeight>& presets = lineHeights();
    if (!std::isfinite(v)) return NoteTheme::defaultLineHeight;
    double best = presets.first().value;
    for (const LineHeight& preset : presets)
        if (std::abs(preset.value - v) < std::abs(best - v)) best = preset.value;
    return best;
}

void ThemeEditor::load()
{
    if (m_loaded) return;
    m_loaded = true;
    ResolvedNoteTheme start = m_base;
    if (m_themeID) {
        const QVector<ResolvedNoteTheme> library = NoteThemes::library(m_store.storedThemes());
        const auto found = std::find_if(library.cbegin(), library.cend(),
                                        [this](const ResolvedNoteTheme& t) { return t.id == *m_themeID; });
        if (found != library.cend()) start = *found;
    }
    name = m_themeID ? start.name : QString();
    paper = storable(start.paper, Qt::white);
    ink = storable(start.ink, TarnwickTheme::textPrimary());
    family = start.fontFamily.value_or(kSystem);
    lineHeight = nearestLineHeight(start.lineHeight);
}

QStringList ThemeEditor::familyChoices() const
{
    QStringList choices = families();
    if (!choices.contains(family)) choices << family;
    return choices;
}

std::optional<QString> ThemeEditor::resolvedFamily() const
{
    if (family == kSystem) return std::nullopt;
    return family;
}

bool ThemeEditor::canDelete() const
{
    return m_themeID && !Tint::fromRawValue(*m_themeID);
}

bool ThemeEditor::save()
{
    const QString trimmed = name.trimmed();
    QString id;
    if (m_themeID) {
        id = *m_themeID;
    } else if (m_createdID) {
        id = *m_createdID;
    } else {
        const QString newName = trimmed.isEmpty() ? QStringLiteral("My theme") : trimmed;
        NoteTheme* created = m_store.context().insert(
            std::make_unique<NoteTheme>(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(), newName,
                                        m_base.paper, m_base.fontFamily, m_base.ink, 1.0, m_base.lineHeight));
        id = created->id();
        m_createdID = id;
        m_store.saveNow();
    }

    NoteTheme* row = m_store.themeRow(id);
    if (!trimmed.isEmpty()) row->setName(trimmed);
    const NoteTheme::Components p = NoteTheme::components(storable(paper, Qt::white));
    row->setPaperR(p.r);
    row->setPaperG(p.g);
    row->setPaperB(p.b);
    const NoteTheme::Components i = NoteTheme::components(storable(ink, TarnwickTheme::textPrimary()));
    row->setInkR(i.r);
    row->setInkG(i.g);
    row->setInkB(i.b);
    row->setFontFamily(resolvedFamily());
    row->setLineHeight(std::isfinite(lineHeight) ? lineHeight : NoteTheme::defaultLineHeight);
    row->setRevision(row->revision() + 1);
    const bool saved = m_store.saveNow();

    if (saved && m_applyTo) m_store.setTheme(row->id(), *m_applyTo);
    // The views show what is held in memory, saved or not.
    m_store.notifications().post(tarnwickThemeChanged);
    if (!saved) return false;
    if (m_onFinish) m_onFinish();
    return true;
}

void ThemeEditor::deleteTheme()
{
    if (!canDelete()) return;
    m_store.deleteTheme(*m_themeID);
    if (m_onFinish) m_onFinish();
}
