#pragma once

#include <QString>
#include <QUuid>
#include <QVector>
#include <optional>
#include <variant>

// The block model of a note body: an ordered list of text and picture blocks. Plain values; every
// text position counts UTF-16 code units of the block's text.

// Texts compare under Unicode canonical equivalence, so a precomposed "é" equals "e" + U+0301.
bool canonicallyEqual(const QString& a, const QString& b);

// The content of a text block: plain text plus styled ranges that differ from the base style.
struct TextRuns {
    struct Run {
        qint64 loc = 0;
        qint64 len = 0;
        // The marks. Absent means "the base style applies"; a stored false is a different mark.
        std::optional<bool> b;
        std::optional<bool> i;
        std::optional<bool> u;
        std::optional<bool> s;
        std::optional<double> size;
        std::optional<QString> family;
        std::optional<QString> fg;  // RRGGBB, upper case, no "#"
        std::optional<QString> bg;
        std::optional<QString> link;

        // The nine marks equal; loc and len ignored.
        bool marksEqual(const Run& other) const;
        bool operator==(const Run& other) const;
    };

    QString text;
    QVector<Run> runs;

    bool operator==(const TextRuns& other) const;
};

// How wide a picture is drawn: a preset, a share of the paper width, or fit.
class ImageSizing {
public:
    class Preset {
    public:
        enum Value { small, medium, large };
        constexpr Preset(Value v = medium) : m_value(v) {}
        constexpr operator Value() const { return m_value; }
        QString rawValue() const;
        static std::optional<Preset> fromRawValue(const QString& raw);

    private:
        Value m_value;
    };

    enum class Kind { preset, fraction, fit };

    static ImageSizing makePreset(Preset p) { return ImageSizing(Kind::preset, p, 0.0); }
    static ImageSizing makeFraction(double f) { return ImageSizing(Kind::fraction, Preset::medium, f); }
    static ImageSizing makeFit() { return ImageSizing(Kind::fit, Preset::medium, 0.0); }

    ImageSizing() : ImageSizing(Kind::fit, Preset::medium, 0.0) {}

    Kind kind() const { return m_kind; }
    // Meaningful only for the matching kind.
    Preset preset() const { return m_preset; }
    double fraction() const { return m_fraction; }

    bool operator==(const ImageSizing& other) const;

private:
    ImageSizing(Kind k, Preset p, double f) : m_kind(k), m_preset(p), m_fraction(f) {}
    Kind m_kind;
    Preset m_preset;
    double m_fraction;
};

// The content of an image block: which picture row holds the bytes, and how wide it is drawn.
struct ImagePlacement {
    QUuid imageID;
    ImageSizing sizing;

    bool operator==(const ImagePlacement& other) const = default;
};

// One block of a body.
struct NoteBlock {
    using Kind = std::variant<TextRuns, ImagePlacement>;

    // Stands for a picture wherever a body is flattened to plain text.
    static inline const QString imagePlaceholder = QString(QChar(0xFFFC));

    QUuid id;
    Kind kind;

    NoteBlock() : id(QUuid::createUuid()), kind(TextRuns{}) {}
    NoteBlock(QUuid blockID, Kind content) : id(blockID), kind(std::move(content)) {}

    static NoteBlock text(TextRuns runs, QUuid blockID = QUuid::createUuid())
    {
        return NoteBlock(blockID, std::move(runs));
    }
    static NoteBlock image(ImagePlacement placement, QUuid blockID = QUuid::createUuid())
    {
        return NoteBlock(blockID, std::move(placement));
    }

    bool isText() const { return std::holds_alternative<TextRuns>(kind); }
    bool isImage() const { return std::holds_alternative<ImagePlacement>(kind); }
    // Null when the block is of the other kind.
    const TextRuns* textRuns() const { return std::get_if<TextRuns>(&kind); }
    TextRuns* textRuns() { return std::get_if<TextRuns>(&kind); }
    const ImagePlacement* imagePlacement() const { return std::get_if<ImagePlacement>(&kind); }
    ImagePlacement* imagePlacement() { return std::get_if<ImagePlacement>(&kind); }

    bool operator==(const NoteBlock& other) const = default;
};
