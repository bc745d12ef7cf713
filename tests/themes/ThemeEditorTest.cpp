#include <gtest/gtest.h>

#include <limits>

#include "design/HexColor.h"
#include "model/NoteTheme.h"
#include "platform/NotificationCenter.h"
#include "store/NoteThemes.h"
#include "support/NoteStoreFixture.h"
#include "themes/ThemeEditor.h"
#include "themes/ThemePreviewMetrics.h"

namespace {

struct ThemeEditorTest : tarnwick::test::NoteStoreTestBase {
    ThemeEditorTest()
    {
        token = NotificationCenter::shared().observe(tarnwickThemeChanged, [this](const Notification&) { ++posts; });
    }
    ThemeEditor editing(const QString& id, Note* note = nullptr)
    {
        ThemeEditor editor(*store, id, note, [this] { ++finished; });
        editor.load();
        return editor;
    }
    ThemeEditor creating(const ResolvedNoteTheme& base, Note* note = nullptr)
    {
        ThemeEditor editor = ThemeEditor::creatingFrom(*store, base, note, [this] { ++finished; });
        editor.load();
        return editor;
    }
    NoteTheme* stored(const QString& id)
    {
        auto rows = context().fetch<NoteTheme>();
        for (NoteTheme* row : *rows)
            if (row->id() == id) return row;
        return nullptr;
    }
    QString sqlOf(const QString& column, const QString& id)
    {
        return sql(QStringLiteral("SELECT %1 FROM NoteTheme WHERE id = '%2'").arg(column, id));
    }
    ObserverToken token;
    int posts = 0;
    int finished = 0;
};

}  // namespace

TEST_F(ThemeEditorTest, NewThemesTakeTheirNameOrMyThemeAndAreAppliedWithoutTheTint)
{
    Note* note = addNote("Plan");
    note->setTint(Tint::green);
    store->saveNow();
    ResolvedNoteTheme base = NoteTheme::builtIn(Tint::rose);
    base.fontFamily = QStringLiteral("Nowhere Sans");
    ThemeEditor editor = creating(base, note);
    EXPECT_TRUE(editor.name.isEmpty()) << "a new theme starts unnamed";
    EXPECT_EQ(editor.family, "Nowhere Sans");
    EXPECT_TRUE(editor.familyChoices().contains("Nowhere Sans")) << "a family not installed is kept";
    editor.name = " \t\n ";
    ASSERT_TRUE(editor.save());
    const QString id = note->themeID();
    EXPECT_EQ(sqlOf("name", id), "My theme");
    EXPECT_EQ(sqlOf("revision", id), "1");
    EXPECT_EQ(sqlOf("fontFamily", id), "Nowhere Sans") << "saved unchanged";
    EXPECT_EQ(note->tintRaw(), "green");
    EXPECT_EQ(finished, 1);
    EXPECT_GE(posts, 1);

    ThemeEditor again = editing(id);
    again.name = "   ";
    ASSERT_TRUE(again.save());
    EXPECT_EQ(sqlOf("name", id), "My theme") << "a blank name keeps the stored one";
    EXPECT_EQ(sqlOf("revision", id), "2");
}

TEST_F(ThemeEditorTest, BuiltInThemesAreStoredUnderTheirIdAndNeverDeleted)
{
    ThemeEditor editor = editing("blue");
    EXPECT_EQ(editor.name, "Blue");
    EXPECT_FALSE(editor.canDelete());
    editor.ink = *colorFromHex("9E3B2E");
    editor.family = "System";
    ASSERT_TRUE(editor.save());
    EXPECT_EQ(sqlOf("COUNT(*)", "blue"), "1");
    EXPECT_EQ(sqlOf("fontFamily IS NULL", "blue"), "1");
    const auto library = NoteThemes::library(store->storedThemes());
    EXPECT_EQ(hexString(library[1].ink), "9E3B2E") << "the stored row replaces the built-in";
    editor.deleteTheme();
    EXPECT_EQ(sqlOf("COUNT(*)", "blue"), "1");
}

TEST_F(ThemeEditorTest, LineHeightsSnapToThePresets)
{
    EXPECT_DOUBLE_EQ(ThemeEditor::nearestLineHeight(1.5), 1.45);
    EXPECT_DOUBLE_EQ(ThemeEditor::nearestLineHeight(1.15), 1.2);
    EXPECT_DOUBLE_EQ(ThemeEditor::nearestLineHeight(1.9), 1.8);
    EXPECT_DOUBLE_EQ(ThemeEditor::nearestLineHeight(1.275), 1.2) << "a tie goes to the earlier preset";

    for (const auto& [stored, shown] : {std::pair{0.0, 1.45}, {1.5, 1.45}, {1.15, 1.2}, {1.9, 1.8}}) {
        auto row = std::make_unique<NoteTheme>(QStringLiteral("T%1").arg(stored), "Tall", Qt::white, std::nullopt,
                                               std::nullopt, 1.0, stored);
        const QString id = context().insert(std::move(row))->id();
        store->saveNow();
        store->invalidateThemeCache();
        ThemeEditor editor = editing(id);
        EXPECT_DOUBLE_EQ(editor.lineHeight, shown) << stored;
        ASSERT_TRUE(editor.save());
        EXPECT_EQ(sqlOf("lineHeight", id).toDouble(), shown) << stored;
    }
}

TEST_F(ThemeEditorTest, DamagedRowsOpenClampedAndSaveInRange)
{
    auto row = std::make_unique<NoteTheme>("D", "Damaged", Qt::white, std::nullopt, std::nullopt, 1.0, 0);
    row->setPaperR(std::numeric_limits<double>::quiet_NaN());
    row->setPaperG(7);
    row->setInkR(-3);
    row->setInkG(0.5);
    row->setInkB(0.5);
    row->setLineHeight(std::numeric_limits<double>::infinity());
    context().insert(std::move(row));
    store->saveNow();
    ThemeEditor editor = editing("D");
    ASSERT_TRUE(editor.save());
    NoteTheme* saved = stored("D");
    for (double v : {saved->paperR(), saved->paperG(), saved->paperB(), *saved->inkR(), *saved->inkG()})
        EXPECT_TRUE(v >= 0 && v <= 1) << v;
    EXPECT_DOUBLE_EQ(saved->lineHeight(), 1.45);
}

TEST_F(ThemeEditorTest, AThemeGoneMeanwhileComesBackUnderItsOwnId)
{
    Note* note = addNote("Plan");
    auto row = std::make_unique<NoteTheme>("HARBOUR", "Harbour", Qt::white, std::nullopt, std::nullopt, 1.0, 0);
    context().insert(std::move(row));
    store->saveNow();
    ThemeEditor editor = editing("HARBOUR");
    EXPECT_TRUE(editor.canDelete());
    store->deleteTheme("HARBOUR");
    editor.name = "Harbour & <b>co</b>";
    ASSERT_TRUE(editor.save());
    EXPECT_EQ(sqlOf("name", "HARBOUR"), "Harbour & <b>co</b>");
    EXPECT_EQ(sqlOf("COUNT(*)", "blue"), "0");
    EXPECT_TRUE(note->themeID().isEmpty()) << "no note to apply: nothing changes which theme the note wears";

    // An id that was never there starts from the built-in blue theme.
    ThemeEditor missing = editing("NOPE");
    EXPECT_EQ(missing.name, "Blue");
    EXPECT_EQ(hexString(missing.paper), hexString(NoteTheme::builtIn(Tint::blue).paper));

    editor.deleteTheme();
    EXPECT_EQ(sqlOf("COUNT(*)", "HARBOUR"), "0");
    EXPECT_EQ(finished, 2);
}

TEST_F(ThemeEditorTest, AFailedSaveKeepsTheEditorOpenAndMakesOneTheme)
{
    Note* note = addNote("Plan");
    store->saveNow();
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER no BEFORE INSERT ON NoteTheme BEGIN SELECT RAISE(ABORT, 'full'); END"));
    ThemeEditor editor = creating(NoteTheme::builtIn(Tint::amber), note);
    editor.name = "Harbour";
    EXPECT_FALSE(editor.save());
    EXPECT_EQ(finished, 0);
    EXPECT_TRUE(note->themeID().isEmpty());
    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER no"));
    EXPECT_TRUE(editor.save());
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(sql("SELECT COUNT(*) FROM NoteTheme"), "1");
    EXPECT_EQ(sqlOf("name", note->themeID()), "Harbour");
}

TEST(ThemePreview, LineSpacingIsNeverNegative)
{
    EXPECT_DOUBLE_EQ(ThemePreviewMetrics::lineSpacing(std::nullopt, 0.5), 0);
    EXPECT_DOUBLE_EQ(ThemePreviewMetrics::lineSpacing(std::nullopt, std::numeric_limits<double>::quiet_NaN()), 0);
    const double airy = ThemePreviewMetrics::lineSpacing(std::nullopt, 1.8);
    EXPECT_GT(airy, ThemePreviewMetrics::lineSpacing(std::nullopt, 1.2));
    EXPECT_DOUBLE_EQ(ThemePreviewMetrics::lineSpacing(QStringLiteral("No Such Family 123"), 1.8), airy)
        << "a family that is not installed is measured as the system font";
}
