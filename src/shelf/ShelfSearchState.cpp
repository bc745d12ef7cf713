#include "shelf/ShelfSearchState.h"

#include <algorithm>

#include "platform/Settings.h"

namespace {

// Spaces and tabs, but not line breaks, are trimmed before deciding whether a query is blank.
bool isBlankQueryCharacter(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

}  // namespace

QString ShelfSearchState::rawValue(Lens lens)
{
    switch (lens) {
        case Lens::captures:
            return QStringLiteral("captures");
        case Lens::notes:
            return QStringLiteral("notes");
        case Lens::bin:
            return QStringLiteral("bin");
    }
    return QStringLiteral("notes");
}

std::optional<ShelfSearchState::Lens> ShelfSearchState::lensFromRawValue(const QString& raw)
{
    for (Lens lens : {Lens::captures, Lens::notes, Lens::bin}) {
        if (raw == rawValue(lens)) return lens;
    }
    return std::nullopt;
}

ShelfSearchState::ShelfSearchState(Settings& settings, QObject* parent) : QObject(parent), m_settings(settings)
{
    // Anything but a recognised string (another case, a number, nothing) opens on the notes.
    m_lens = lensFromRawValue(m_settings.stringValue(QLatin1String(lastLensKey))).value_or(Lens::notes);
}

void ShelfSearchState::setSurface(Surface surface)
{
    if (surface == m_surface) return;
    const auto selectedBefore = selectedRow();
    m_surface = surface;
    Q_EMIT surfaceChanged(surface);
    if (selectedRow() != selectedBefore) Q_EMIT selectedRowChanged();
}

void ShelfSearchState::setQuery(const QString& query)
{
    if (query == m_query) return;
    m_query = query;
    Q_EMIT queryChanged(query);
    if (!query.isEmpty() && m_surface != Surface::search) setSurface(Surface::search);
    setSelection(Surface::search, std::nullopt);
    setShowActions(false);
}

void ShelfSearchState::setLens(Lens lens)
{
    if (lens != m_lens) {
        m_lens = lens;
        Q_EMIT lensChanged(lens);
    }
    m_settings.setValue(QLatin1String(lastLensKey), rawValue(lens));
}

void ShelfSearchState::setShowActions(bool show)
{
    if (show == m_showActions) return;
    m_showActions = show;
    setActionIndex(0);
    Q_EMIT showActionsChanged(show);
}

bool ShelfSearchState::actionsRowShown() const
{
    if (!m_showActions) return false;
    const auto selected = listedSelection();
    return selected && selected->kind != ShelfRow::Kind::binNote;
}

void ShelfSearchState::setActionIndex(int index)
{
    if (index == m_actionIndex) return;
    m_actionIndex = index;
    Q_EMIT actionIndexChanged(index);
}

void ShelfSearchState::setBrowseRows(const QList<ShelfRow>& rows)
{
    if (rows == m_browseRows) return;
    m_browseRows = rows;
    Q_EMIT browseRowsChanged();
}

void ShelfSearchState::setSearchRows(const QList<ShelfRow>& rows)
{
    if (rows == m_searchRows) return;
    m_searchRows = rows;
    Q_EMIT searchRowsChanged();
}

QList<ShelfRow> ShelfSearchState::rows() const
{
    return m_surface == Surface::search ? m_searchRows : m_browseRows;
}

std::optional<ShelfRow> ShelfSearchState::selectedRow() const
{
    return m_surface == Surface::search ? m_searchSelection : m_browseSelection;
}

std::optional<ShelfRow> ShelfSearchState::listedSelection() const
{
    const auto selected = selectedRow();
    return selected && rows().contains(*selected) ? selected : std::nullopt;
}

void ShelfSearchState::setSelectedRow(const std::optional<ShelfRow>& row)
{
    setSelection(m_surface, row);
}

void ShelfSearchState::setSelection(Surface surface, const std::optional<ShelfRow>& row)
{
    auto& field = surface == Surface::search ? m_searchSelection : m_browseSelection;
    if (field == row) return;
    field = row;
    if (surface == m_surface) Q_EMIT selectedRowChanged();
}

bool ShelfSearchState::isSearching() const
{
    return std::any_of(m_query.cbegin(), m_query.cend(), [](QChar c) { return !isBlankQueryCharacter(c); });
}

void ShelfSearchState::moveSelection(int delta)
{
    const QList<ShelfRow> current = rows();
    if (current.isEmpty()) return;
    const auto selected = listedSelection();
    const qsizetype index = selected ? current.indexOf(*selected) : -1;
    const qsizetype target = std::clamp<qsizetype>(index + delta, 0, current.size() - 1);
    setSelectedRow(current.at(target));
    setShowActions(false);
}

void ShelfSearchState::flipLens()
{
    if (m_surface == Surface::search) return;
    switch (m_lens) {
        case Lens::captures:
            setLens(Lens::notes);
            break;
        case Lens::notes:
            setLens(Lens::bin);
            break;
        case Lens::bin:
            setLens(Lens::captures);
            break;
    }
    setSelectedRow(std::nullopt);
    setShowActions(false);
}

ShelfSearchState::Commit ShelfSearchState::commit()
{
    if (const auto selected = listedSelection()) return Commit::activate(*selected);
    const QList<ShelfRow> current = rows();
    if (current.isEmpty()) return {Commit::Kind::nothing, std::nullopt};
    setSelectedRow(current.first());
    return {Commit::Kind::selectedFirstRow, std::nullopt};
}

void ShelfSearchState::toggleActions()
{
    if (!listedSelection()) {
        const QList<ShelfRow> current = rows();
        setSelectedRow(current.isEmpty() ? std::nullopt : std::optional(current.first()));
    }
    m_showActions = !m_showActions;
    setActionIndex(0);
    Q_EMIT showActionsChanged(m_showActions);
}

void ShelfSearchState::exitSearch()
{
    setQuery(QString());
    setSurface(Surface::browse);
    setSelection(Surface::search, std::nullopt);
    setSearchRows({});
    setShowActions(false);
}

void ShelfSearchState::resetSelections()
{
    setSelection(Surface::browse, std::nullopt);
    setSelection(Surface::search, std::nullopt);
    setShowActions(false);
}
