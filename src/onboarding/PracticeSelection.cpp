#include "onboarding/PracticeSelection.h"

#include <algorithm>

void PracticeSelection::setSelectedText(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed == m_selectedText) return;
    m_selectedText = trimmed;
    Q_EMIT selectedTextChanged(m_selectedText);
}

QString PracticeSelection::trimmedRange(const QString& text, int anchor, int position)
{
    const int from = std::clamp(std::min(anchor, position), 0, int(text.size()));
    const int to = std::clamp(std::max(anchor, position), 0, int(text.size()));
    if (to - from < 1) return QString();
    // Paragraph separators come from a text document's selection; they count as line breaks.
    QString part = text.mid(from, to - from);
    part.replace(QChar::ParagraphSeparator, u'\n');
    return part.trimmed();
}
