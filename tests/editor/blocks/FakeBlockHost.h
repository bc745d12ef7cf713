#pragma once

#include <QObject>
#include <QStringList>

#include "editor/BlockHost.h"
#include "platform/UndoManager.h"

// A block container stand-in that records what its blocks ask of it.
class FakeBlockHost : public QObject, public BlockHost {
public:
    QUuid id = QUuid::createUuid();
    Note* hostNote = nullptr;
    BaseStyle base{TextFont{QString(), 14.5, 400, false}, QColor("#2B2622"), {}};
    UndoManager undo;
    int changes = 0;
    int layouts = 0;
    bool last = true;
    QStringList calls;
    std::vector<QByteArray> pictures;
    QStringList skipped;

    QUuid noteID() const override { return id; }
    Note* note() const override { return hostNote; }
    NoteStore* noteStore() const override { return nullptr; }
    BaseStyle codecBase() const override { return base; }
    UndoManager* blockUndoManager() const override { return const_cast<UndoManager*>(&undo); }
    qreal paperWidth() const override { return 400; }
    void blockNeedsLayout() override { ++layouts; }
    void focusDidChange(const std::optional<QUuid>&) override { calls << "focus"; }
    void blockDidChange(const QUuid&) override { ++changes; }
    bool moveFocus(const QUuid&, BlockFocusDirection, std::optional<qreal>) override
    {
        calls << "move";
        return true;
    }
    std::optional<int> indexOfBlock(const QUuid&) const override { return 0; }
    bool isLastBlock(const QUuid&) const override { return last; }
    bool backspaceAtStart(const QUuid&) override
    {
        calls << "backspaceAtStart";
        return false;
    }
    bool deleteForwardAtEnd(const QUuid&) override
    {
        calls << "deleteForwardAtEnd";
        return false;
    }
    void insertImages(const std::vector<QByteArray>& data, const QUuid&, qsizetype at) override
    {
        calls << QStringLiteral("images at %1").arg(at);
        pictures.insert(pictures.end(), data.begin(), data.end());
    }
    void insertImages(const std::vector<QByteArray>&, int) override {}
    void deleteImageBlock(const QUuid&) override {}
    void previewImageSizing(const QUuid&, double) override {}
    void setImageSizing(const QUuid&, const ImageSizing&) override {}
    std::optional<QUuid> insertTextBlock(const QUuid&) override { return std::nullopt; }
    void focusTextBeside(const QUuid&) override {}
    void reportSkipped(const QString& message) override { skipped << message; }
};
