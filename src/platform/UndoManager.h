#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <vector>

// The undo stack of one note: every text block and the block container register the reverse of their
// changes here, so one Undo walks back through typing, formatting and structural edits alike.
//
// A step is what one Undo reverses. Registrations join the open step while a group is open or while
// typing coalesces; otherwise each starts a step of its own. Registrations made while undoing form the
// redo step; a new step made outside undo and redo clears the redo stack. An action whose target has been
// destroyed is dropped, and a step left without actions is skipped.
class UndoManager : public QObject {
    Q_OBJECT

public:
    using Action = std::function<void()>;

    explicit UndoManager(QObject* parent = nullptr);

    // Records the reverse of a change made to target. With coalesce, the action joins the top step when
    // that step was itself opened by coalescing registrations for the same target and no break came
    // between (typing a word is one step).
    void registerUndo(QObject* target, Action action, bool coalesce = false);
    // Records the reverse of a change that follows from the last one registered (a restyle the edit
    // caused): it joins that step, or the step being collected while undoing or redoing.
    void registerUndoInLastStep(QObject* target, Action action);
    // Ends coalescing: the next registration starts a new step.
    void breakCoalescing();

    // Everything registered between these (nested pairs count once) is one step.
    void beginGroup();
    void endGroup();

    bool canUndo();
    bool canRedo();
    void undo();
    void redo();
    bool isUndoing() const { return m_mode == Mode::undoing; }
    bool isRedoing() const { return m_mode == Mode::redoing; }

    void removeAllActions();
    void removeAllActions(QObject* target);
    // Whether any undo or redo step still acts on target.
    bool hasActions(const QObject* target) const;

    int undoCount() const { return int(m_undo.size()); }
    int redoCount() const { return int(m_redo.size()); }

Q_SIGNALS:
    void changed();

private:
    struct Entry {
        QPointer<QObject> target;
        Action action;
    };
    struct Step {
        std::vector<Entry> entries;
        QObject* coalescingTarget = nullptr;  // set while typing may still join this step
    };
    enum class Mode { normal, undoing, redoing };

    static void prune(std::vector<Step>& stack);
    void replay(std::vector<Step>& from, Mode mode);

    std::vector<Step> m_undo;
    std::vector<Step> m_redo;
    std::vector<Step> m_collected;  // the reverse step being built while undoing or redoing
    Mode m_mode = Mode::normal;
    int m_groupDepth = 0;
    bool m_groupOpen = false;  // the top undo step is the open group
};
