#include <gtest/gtest.h>

#include "design/TarnwickTheme.h"
#include "model/Note.h"
#include "model/NoteTheme.h"
#include "platform/ModelContainer.h"
#include "platform/NotificationCenter.h"
#include "platform/Settings.h"
#include "store/NoteThemeLibrary.h"
#include "store/NoteThemes.h"
#include "store/TarnwickSchemaV2.h"

namespace {

class NoteThemeLibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Settings::setShared(std::make_unique<Settings>(std::make_unique<MemorySettingsBackend>()));
        auto opened = ModelContainer::openInMemory(TarnwickSchemaV2::schema());
        ASSERT_TRUE(opened.ok());
        container = std::move(*opened);
        context().setAutosaveEnabled(false);
        library = std::make_unique<NoteThemeLibrary>(
            context(),
            [this] {
                ++saves;
                ASSERT_TRUE(context().save().ok());
            },
            center);
        observer = center.observe(tarnwickThemeChanged, [this](const Notification& n) {
            EXPECT_TRUE(n.object.isEmpty() && n.userInfo.isEmpty());
            ++announcements;
        });
    }
    void TearDown() override { Settings::setShared(nullptr); }

    ModelContext& context() { return container->mainContext(); }
    Note& newNote(const QString& themeID, Tint tint)
    {
        Note* note = context().insert(std::make_unique<Note>());
        note->setThemeID(themeID);
        note->setTint(tint);
        return *note;
    }
    NoteTheme& newTheme(const QString& id, const QString& name, qint64 revision = 0)
    {
        NoteTheme* row = context().insert(std::make_unique<NoteTheme>(id, name, QColor::fromRgbF(0.2f, 0.5f, 0.7f),
                                                                      std::nullopt, std::nullopt, 1.0, 0));
        row->setRevision(revision);
        EXPECT_TRUE(context().save().ok());
        return *row;
    }
    QStringList listed()
    {
        QStringList out;
        for (const auto& t : NoteThemes::library(library->storedThemes())) out << t.id + '/' + t.name;
        return out;
    }

    NotificationCenter center;
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<NoteThemeLibrary> library;
    ObserverToken observer;
    int saves = 0;
    int announcements = 0;
};

TEST_F(NoteThemeLibraryTest, StoredCopyOfABuiltInIsSeenAfterTheAnnouncementAndGoneAfterDeletion)
{
    Note& note = newNote(QString(), Tint::green);
    EXPECT_EQ(library->look(note).theme, NoteTheme::builtIn(Tint::green));

    NoteTheme* row = library->themeRow(QStringLiteral("green"));
    EXPECT_EQ(library->themeRow(QStringLiteral("green")), row);
    EXPECT_EQ(saves, 1) << "made and saved once";
    EXPECT_EQ(announcements, 0) << "the editor announces after its edits";

    row->setName(QStringLiteral("Moss"));
    EXPECT_EQ(library->look(note).theme.name, QStringLiteral("Green")) << "cached until announced";
    center.post(tarnwickThemeChanged);
    EXPECT_EQ(library->look(note).theme.name, QStringLiteral("Moss"));
    EXPECT_FALSE(library->look(note).theme.badgeOverride);

    library->deleteTheme(QStringLiteral("green"));
    library->deleteTheme(QStringLiteral("green"));
    EXPECT_EQ(library->look(note).theme, NoteTheme::builtIn(Tint::green));
    EXPECT_EQ(saves + announcements, 4) << "nothing to delete the second time: no save, no announcement";
}

TEST_F(NoteThemeLibraryTest, DeletingOneOfTwoRowsWithAnIdKeepsTheOther)
{
    newTheme(QStringLiteral("U1"), QStringLiteral("First"));
    newTheme(QStringLiteral("U1"), QStringLiteral("Second"));
    Note& note = newNote(QStringLiteral("U1"), Tint::violet);
    library->deleteTheme(QStringLiteral("U1"));
    EXPECT_EQ(library->look(note).theme.name, QStringLiteral("Second"));
    library->deleteTheme(QStringLiteral("U1"));
    EXPECT_EQ(library->look(note).theme, NoteTheme::builtIn(Tint::violet)) << "a deleted theme falls back to the tint";
    EXPECT_EQ(note.themeID(), QStringLiteral("U1")) << "notes are not touched";
}

TEST_F(NoteThemeLibraryTest, SetThemeKeepsTintInStepWithBuiltInIds)
{
    Note& note = newNote(QString(), Tint::blue);
    note.setPaperHexOverride(QStringLiteral("#123456"));
    library->setTheme(QStringLiteral("rose"), note);
    EXPECT_EQ(note.tint(), Tint::rose);
    EXPECT_EQ(note.paperHexOverride(), QStringLiteral("#123456")) << "overrides stay";
    library->setTheme(QStringLiteral("U-THEME"), note);
    EXPECT_EQ(note.themeID(), QStringLiteral("U-THEME"));
    EXPECT_EQ(note.tint(), Tint::rose);
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(announcements, 2);
    EXPECT_FALSE(context().hasChanges());
}

TEST_F(NoteThemeLibraryTest, SavingALookMovesTheNoteOntoANewThemeThatLooksTheSame)
{
    NoteTheme& base = newTheme(QStringLiteral("T"), QStringLiteral("Base"));
    base.setWallpaperID(QStringLiteral("stock.grid"));
    base.setWallpaperBlur(40);
    Note& note = newNote(QStringLiteral("T"), Tint::amber);
    note.setPaperHexOverride(QStringLiteral("#f0e0d0"));
    note.setWallpaperBrightness(0.8);
    note.setFontFamilyOverride(QStringLiteral("Serif"));
    const ResolvedNoteLook before = library->look(note);

    NoteTheme* row = library->saveLookAsTheme(QStringLiteral(" Mine "), note);
    EXPECT_EQ(row->name(), QStringLiteral(" Mine "));
    EXPECT_EQ(QUuid::fromString(row->id()).toString(QUuid::WithoutBraces).toUpper(), row->id());
    EXPECT_TRUE(row->inkR() && row->inkG() && row->inkB()) << "the default ink is stored explicitly";
    EXPECT_DOUBLE_EQ(row->lineHeight(), 1.45);
    EXPECT_DOUBLE_EQ(row->wallpaperBrightness(), 0.5);
    EXPECT_EQ(row->revision(), 0);
    EXPECT_EQ(note.themeID(), row->id());
    EXPECT_EQ(note.tint(), Tint::amber);
    EXPECT_FALSE(note.wallpaperID() || note.wallpaperBrightness() || note.wallpaperBlur() ||
                 note.fontFamilyOverride() || note.inkHexOverride() || note.paperHexOverride());
    EXPECT_EQ(saves + announcements, 2);
    EXPECT_FALSE(context().hasChanges());

    // The note looks as it did, now through its own theme.
    const ResolvedNoteLook after = library->look(note);
    EXPECT_EQ(std::tie(after.wallpaper, after.brightness, after.blur, after.theme.fontFamily),
              std::tie(before.wallpaper, before.brightness, before.blur, before.theme.fontFamily));
    EXPECT_EQ(after.theme.paper.rgb(), before.theme.paper.rgb());
    EXPECT_EQ(after.theme.ink.rgb(), before.theme.ink.rgb());
}

TEST_F(NoteThemeLibraryTest, ThemeRowOfAMissingThemeNeverTakesABuiltInsPlace)
{
    newTheme(QStringLiteral("blue"), QStringLiteral("My blue"));
    NoteTheme* gone = library->themeRow(QStringLiteral("DELETED-THEME"));
    EXPECT_EQ(gone->id(), QStringLiteral("DELETED-THEME"));
    gone->setName(QStringLiteral("Edited"));
    gone->setRevision(gone->revision() + 1);
    center.post(tarnwickThemeChanged);
    EXPECT_EQ(listed().mid(1, 1), QStringList{QStringLiteral("blue/My blue")});
    EXPECT_EQ(listed().mid(6), QStringList{QStringLiteral("DELETED-THEME/Edited")});
    EXPECT_EQ(library->themeRow(QString())->id(), QStringLiteral("blue"));
}

TEST_F(NoteThemeLibraryTest, DefaultThemeFollowsTheSettingsAndFallsBackToBlue)
{
    Settings::shared().setValue(QStringLiteral("notes.defaultThemeID"), QString());
    Settings::shared().setValue(QStringLiteral("general.defaultTint"), QStringLiteral("rose"));
    EXPECT_EQ(NoteThemes::defaultThemeID(), QStringLiteral("rose"));
    EXPECT_EQ(library->defaultTheme(), NoteTheme::builtIn(Tint::rose));
    Settings::shared().setValue(QStringLiteral("notes.defaultThemeID"), QStringLiteral("NO-SUCH-THEME"));
    EXPECT_EQ(library->defaultTheme(), NoteTheme::builtIn(Tint::blue));
    Settings::shared().remove(QStringLiteral("notes.defaultThemeID"));
    Settings::shared().setValue(QStringLiteral("general.defaultTint"), 3);
    EXPECT_EQ(NoteThemes::defaultThemeID(), QStringLiteral("blue")) << "a number is not a theme id";
}

TEST_F(NoteThemeLibraryTest, CacheHoldsNoDuplicateRemovedWithoutAnAnnouncement)
{
    // Two rows of one id, as another device may leave them; start-up reconciliation keeps the one
    // with the higher revision and deletes the other without announcing it.
    NoteTheme& loser = newTheme(QStringLiteral("blue"), QStringLiteral("Old blue"), 0);
    newTheme(QStringLiteral("blue"), QStringLiteral("New blue"), 2);
    Note& note = newNote(QString(), Tint::blue);
    EXPECT_EQ(library->look(note).theme.name, QStringLiteral("Old blue"));

    context().remove(&loser);
    ASSERT_TRUE(context().save().ok());
    library->invalidateThemeCache();
    EXPECT_EQ(library->look(note).theme.name, QStringLiteral("New blue"));
    EXPECT_EQ(library->storedThemes().size(), 1);
}

}  // namespace
