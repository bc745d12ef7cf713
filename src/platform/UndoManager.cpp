#include "platform/UndoManager.h"

#include <algorithm>

UndoManager::UndoManager(QObject* parent) : QObject(parent) {}

void UndoManager::registerUndo(QObject* target, Action action, bool coalesce)
{
    Entry entry{target, std::move(action)};
    if (m_mode != Mode::normal) {
        // All reversals made by one undo (or redo) form one step of the other stack.
        if (m_collected.empty()) m_collected.emplace_back();
        m_collected.back().entries.push_back(std::move(entry));
        return;
    }
    m_redo.clear();
    if (m_groupDepth > 0 && m_groupOpen && !m_undo.empty()) {
        m_undo.back().entries.push_back(std::move(entry));
    } else if (coalesce && !m_undo.empty() && m_undo.back().coalescingTarget == target && target) {
        m_undo.back().entries.push_back(std::move(entry));
    } else {
        Step step;
        step.entries.push_back(std::move(entry));
        step.coalescingTarget = coalesce && m_groupDepth == 0 ? target : nullptr;
        m_undo.push_back(std::move(step));
        m_groupOpen = m_groupDepth > 0;
    }
    Q_EMIT changed();
}

void UndoManager::registerUndoInLastStep(QObject* target, Action action)
{
    if (m_mode != Mode::normal || m_undo.empty()) {
        registerUndo(target, std::move(action));
        return;
    }
    m_undo.back().entries.push_back(Entry{target, std::move(action)});
    Q_EMIT changed();
}

void UndoManager::breakCoalescing()
{
    if (!m_undo.empty()) m_undo.back().coalescingTarget = nullptr;
}

void UndoManager::beginGroup()
{
    if (m_groupDepth++ == 0) {
        m_groupOpen = false;
        breakCoalescing();
    }
}

void UndoManager::endGroup()
{
    if (m_groupDepth == 0) return;
    if (--m_groupDepth == 0) {
        m_groupOpen = false;
        breakCoalescing();
    }
}

void UndoManager::prune(std::vector<Step>& stack)
{
    for (Step& step : stack) std::erase_if(step.entries, [](const Entry& e) { return e.target.isNull(); });
    std::erase_if(stack, [](const Step& s) { return s.entries.empty(); });
}

bool UndoManager::canUndo()
{
    prune(m_undo);
    return !m_undo.empty();
}

bool UndoManager::canRedo()
{
    prune(m_redo);
    return !m_redo.empty();
}

void UndoManager::replay(std::vector<Step>& from, Mode mode)
{
    prune(from);
    if (from.empty() || m_mode != Mode::normal) return;
    Step step = std::move(from.back());
    from.pop_back();
    m_mode = mode;
    m_collected.clear();
    // The reverse of a step runs its actions last first.
    for (auto it = step.entries.rbegin(); it != step.entries.rend(); ++it)
        if (it->target) it->action();
    m_mode = Mode::normal;
    std::vector<Step>& other = mode == Mode::undoing ? m_redo : m_undo;
    for (Step& collected : m_collected) {
        // The registrations came in the order the reversals ran, which is the order to undo them in.
        collected.coalescingTarget = nullptr;
        other.push_back(std::move(collected));
    }
    m_collected.clear();
    m_groupOpen = false;
    Q_EMIT changed();
}

void UndoManager::undo()
{
    replay(m_undo, Mode::undoing);
}

void UndoManager::redo()
{
    replay(m_redo, Mode::redoing);
}

void UndoManager::removeAllActions()
{
    m_undo.clear();
    m_redo.clear();
    m_groupOpen = false;
    Q_EMIT changed();
}

void UndoManager::removeAllActions(QObject* target)
{
    for (std::vector<Step>* stack : {&m_undo, &m_redo}) {
        for (Step& step : *stack) {
            std::erase_if(step.entries, [target](const Entry& e) { return e.target == target; });
            if (step.coalescingTarget == target) step.coalescingTarget = nullptr;
        }
        std::erase_if(*stack, [](const Step& s) { return s.entries.empty(); });
    }
    m_groupOpen = false;
    Q_EMIT changed();
}

bool UndoManager::hasActions(const QObject* target) const
{
    for (const std::vector<Step>* stack : {&m_undo, &m_redo, &m_collected})
        for (const Step& step : *stack)
            for (const Entry& e : step.entries)
                if (e.target == target) return true;
    return false;
}
