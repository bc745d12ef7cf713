#include "design/TarnwickTheme.h"
#include "model/NoteTheme.h"
#include "platform/NotificationCenter.h"
#include "store/NoteThemes.h"
#include "support/NoteStoreFixture.h"

namespace {

class NoteStoreThemesTest : public tarnwick::test::NoteStoreTestBase {
protected:
    void SetUp() override
    {
        context().setAutosaveEnabled(false);
        observer = NotificationCenter::shared().observe(tarnwickThemeChanged, [this](const Notification& n) {
            EXPECT_TRUE(n.object.isEmpty() && n.userInfo.isEmpty());
            ++announcements;
        });
    }

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
        for (const auto& t : NoteThemes::library(store->storedThemes())) out << t.id + '/' + t.name;
        return out;
    }

    ObserverToken observer;
    int announcements = 0;
};

TEST_F(NoteStoreThemesTest, MaterialisedCopyOfABuiltInIsSeenOnceAnnounced)
{
    Note& note = newNote(QString(), Tint::green);
    EXPECT_EQ(store->look(note).theme, NoteTheme::builtIn(Tint::green));
    NoteTheme* row = store->themeRow("green");
    EXPECT_EQ(store->themeRow("green"), row);
    EXPECT_EQ(store->revision(), 1) << "made and saved once";
    EXPECT_EQ(announcements, 0) << "the editor announces after its edits";

    row->setName("Moss");
    EXPECT_EQ(store->look(note).theme.name, "Green") << "cached until announced";
    NotificationCenter::shared().post(tarnwickThemeChanged);
    EXPECT_EQ(store->look(note).theme.name, "Moss");
}

TEST_F(NoteStoreThemesTest, DeletingRemovesOneRowAndThenFallsBackToTheTint)
{
    newTheme("U1", "First");
    newTheme("U1", "Second");
    Note& note = newNote("U1", Tint::violet);
    store->deleteTheme("U1");
    EXPECT_EQ(store->look(note).theme.name, "Second");
    store->deleteTheme("U1");
    EXPECT_EQ(store->look(note).theme, NoteTheme::builtIn(Tint::violet));
    EXPECT_EQ(note.themeID(), "U1") << "notes are not touched";
    store->deleteTheme("U1");
    EXPECT_EQ(store->revision() + announcements, 4) << "nothing to delete the third time: no save, no announcement";
}

TEST_F(NoteStoreThemesTest, SetThemeKeepsTintInStepWithBuiltInIds)
{
    Note& note = newNote(QString(), Tint::blue);
    note.setPaperHexOverride("#123456");
    store->setTheme("rose", note);
    EXPECT_EQ(note.tint(), Tint::rose);
    EXPECT_EQ(note.paperHexOverride(), "#123456") << "overrides stay";
    store->setTheme("U-THEME", note);
    EXPECT_EQ(note.tint(), Tint::rose);
    EXPECT_EQ(store->revision() + announcements, 4);
    EXPECT_FALSE(context().hasChanges());
}

TEST_F(NoteStoreThemesTest, SavingALookMovesTheNoteOntoANewThemeThatLooksTheSame)
{
    NoteTheme& base = newTheme("T", "Base");
    base.setWallpaperID("stock.grid");
    base.setWallpaperBlur(40);
    Note& note = newNote("T", Tint::amber);
    note.setPaperHexOverride("#f0e0d0");
    note.setWallpaperBrightness(0.8);
    note.setFontFamilyOverride("Serif");
    const ResolvedNoteLook before = store->look(note);

    NoteTheme* row = store->saveLookAsTheme(" Mine ", note);
    EXPECT_EQ(QUuid::fromString(row->id()).toString(QUuid::WithoutBraces).toUpper(), row->id());
    EXPECT_TRUE(row->inkR() && row->inkG() && row->inkB()) << "the default ink is stored explicitly";
    EXPECT_DOUBLE_EQ(row->lineHeight(), 1.45);
    EXPECT_DOUBLE_EQ(row->wallpaperBrightness(), 0.5);
    EXPECT_EQ(note.themeID(), row->id());
    EXPECT_EQ(note.tint(), Tint::amber);
    EXPECT_FALSE(note.wallpaperID() || note.wallpaperBrightness() || note.wallpaperBlur() ||
                 note.fontFamilyOverride() || note.inkHexOverride() || note.paperHexOverride());
    EXPECT_EQ(store->revision() + announcements, 2);
    EXPECT_FALSE(context().hasChanges());

    // The note looks as it did, now through its own theme.
    const ResolvedNoteLook after = store->look(note);
    EXPECT_EQ(std::tie(after.wallpaper, after.brightness, after.blur, after.theme.fontFamily),
              std::tie(before.wallpaper, before.brightness, before.blur, before.theme.fontFamily));
    EXPECT_EQ(after.theme.paper.rgb(), before.theme.paper.rgb());
    EXPECT_EQ(after.theme.ink.rgb(), before.theme.ink.rgb());
}

TEST_F(NoteStoreThemesTest, ThemeRowOfAMissingThemeNeverTakesABuiltInsPlace)
{
    newTheme("blue", "My blue");
    NoteTheme* gone = store->themeRow("DELETED-THEME");
    EXPECT_EQ(gone->id(), "DELETED-THEME");
    gone->setName("Edited");
    gone->setRevision(gone->revision() + 1);
    NotificationCenter::shared().post(tarnwickThemeChanged);
    EXPECT_EQ(listed().mid(1, 1), QStringList{"blue/My blue"});
    EXPECT_EQ(listed().mid(6), QStringList{"DELETED-THEME/Edited"});
    EXPECT_EQ(store->themeRow(QString())->id(), "blue");
}

TEST_F(NoteStoreThemesTest, DefaultThemeFollowsTheSettingsAndFallsBackToBlue)
{
    settings.setValue("notes.defaultThemeID", QString());
    settings.setValue("general.defaultTint", "rose");
    EXPECT_EQ(NoteThemes::defaultThemeID(settings), "rose");
    EXPECT_EQ(store->defaultTheme(), NoteTheme::builtIn(Tint::rose));
    settings.setValue("notes.defaultThemeID", "NO-SUCH-THEME");
    EXPECT_EQ(store->defaultTheme(), NoteTheme::builtIn(Tint::blue));
    settings.remove("notes.defaultThemeID");
    settings.setValue("general.defaultTint", 3);
    EXPECT_EQ(NoteThemes::defaultThemeID(settings), "blue") << "a number is not a theme id";
}

TEST_F(NoteStoreThemesTest, ReconcilingDuplicateThemesEmptiesTheCache)
{
    // Two rows of one id, as another device may leave them. The launch loads the cache before the
    // reconciliation (legacy bodies are measured against their note's look), which then deletes the
    // lower revision without an announcement.
    newTheme("blue", "Old blue", 0);
    newTheme("blue", "New blue", 2);
    Note& note = newNote(QString(), Tint::blue);
    ASSERT_TRUE(context().save().ok());
    EXPECT_EQ(store->look(note).theme.name, "Old blue");

    store->reconcileForSync();
    EXPECT_EQ(store->look(note).theme.name, "New blue");
    EXPECT_EQ(store->storedThemes().size(), 1);
    EXPECT_EQ(announcements, 0);
}

}  // namespace
