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
    NoteTheme* row = store->themeRow(QStringLiteral("green"));
    EXPECT_EQ(store->themeRow(QStringLiteral("green")), row);
    EXPECT_EQ(store->revision(), 1) << "made and saved once";
    EXPECT_EQ(announcements, 0) << "the editor announces after its edits";

    row->setName(QStringLiteral("Moss"));
    EXPECT_EQ(store->look(note).theme.name, QStringLiteral("Green")) << "cached until announced";
    NotificationCenter::shared().post(tarnwickThemeChanged);
    EXPECT_EQ(store->look(note).theme.name, QStringLiteral("Moss"));
}

TEST_F(NoteStoreThemesTest, DeletingRemovesOneRowAndThenFallsBackToTheTint)
{
    newTheme(QStringLiteral("U1"), QStringLiteral("First"));
    newTheme(QStringLiteral("U1"), QStringLiteral("Second"));
    Note& note = newNote(QStringLiteral("U1"), Tint::violet);
    store->deleteTheme(QStringLiteral("U1"));
    EXPECT_EQ(store->look(note).theme.name, QStringLiteral("Second"));
    store->deleteTheme(QStringLiteral("U1"));
    EXPECT_EQ(store->look(note).theme, NoteTheme::builtIn(Tint::violet));
    EXPECT_EQ(note.themeID(), QStringLiteral("U1")) << "notes are not touched";
    store->deleteTheme(QStringLiteral("U1"));
    EXPECT_EQ(store->revision() + announcements, 4) << "nothing to delete the third time: no save, no announcement";
}

TEST_F(NoteStoreThemesTest, SetThemeKeepsTintInStepWithBuiltInIds)
{
    Note& note = newNote(QString(), Tint::blue);
    note.setPaperHexOverride(QStringLiteral("#123456"));
    store->setTheme(QStringLiteral("rose"), note);
    EXPECT_EQ(note.tint(), Tint::rose);
    EXPECT_EQ(note.paperHexOverride(), QStringLiteral("#123456")) << "overrides stay";
    store->setTheme(QStringLiteral("U-THEME"), note);
    EXPECT_EQ(note.tint(), Tint::rose);
    EXPECT_EQ(store->revision() + announcements, 4);
    EXPECT_FALSE(context().hasChanges());
}

TEST_F(NoteStoreThemesTest, SavingALookMovesTheNoteOntoANewThemeThatLooksTheSame)
{
    NoteTheme& base = newTheme(QStringLiteral("T"), QStringLiteral("Base"));
    base.setWallpaperID(QStringLiteral("stock.grid"));
    base.setWallpaperBlur(40);
    Note& note = newNote(QStringLiteral("T"), Tint::amber);
    note.setPaperHexOverride(QStringLiteral("#f0e0d0"));
    note.setWallpaperBrightness(0.8);
    note.setFontFamilyOverride(QStringLiteral("Serif"));
    const ResolvedNoteLook before = store->look(note);

    NoteTheme* row = store->saveLookAsTheme(QStringLiteral(" Mine "), note);
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
    newTheme(QStringLiteral("blue"), QStringLiteral("My blue"));
    NoteTheme* gone = store->themeRow(QStringLiteral("DELETED-THEME"));
    EXPECT_EQ(gone->id(), QStringLiteral("DELETED-THEME"));
    gone->setName(QStringLiteral("Edited"));
    gone->setRevision(gone->revision() + 1);
    NotificationCenter::shared().post(tarnwickThemeChanged);
    EXPECT_EQ(listed().mid(1, 1), QStringList{QStringLiteral("blue/My blue")});
    EXPECT_EQ(listed().mid(6), QStringList{QStringLiteral("DELETED-THEME/Edited")});
    EXPECT_EQ(store->themeRow(QString())->id(), QStringLiteral("blue"));
}

TEST_F(NoteStoreThemesTest, DefaultThemeFollowsTheSettingsAndFallsBackToBlue)
{
    settings.setValue(QStringLiteral("notes.defaultThemeID"), QString());
    settings.setValue(QStringLiteral("general.defaultTint"), QStringLiteral("rose"));
    EXPECT_EQ(NoteThemes::defaultThemeID(settings), QStringLiteral("rose"));
    EXPECT_EQ(store->defaultTheme(), NoteTheme::builtIn(Tint::rose));
    settings.setValue(QStringLiteral("notes.defaultThemeID"), QStringLiteral("NO-SUCH-THEME"));
    EXPECT_EQ(store->defaultTheme(), NoteTheme::builtIn(Tint::blue));
    settings.remove(QStringLiteral("notes.defaultThemeID"));
    settings.setValue(QStringLiteral("general.defaultTint"), 3);
    EXPECT_EQ(NoteThemes::defaultThemeID(settings), QStringLiteral("blue")) << "a number is not a theme id";
}

TEST_F(NoteStoreThemesTest, ReconcilingDuplicateThemesEmptiesTheCache)
{
    // Two rows of one id, as another device may leave them. The launch loads the cache before the
    // reconciliation (legacy bodies are measured against their note's look), which then deletes the
    // lower revision without an announcement.
    newTheme(QStringLiteral("blue"), QStringLiteral("Old blue"), 0);
    newTheme(QStringLiteral("blue"), QStringLiteral("New blue"), 2);
    Note& note = newNote(QString(), Tint::blue);
    ASSERT_TRUE(context().save().ok());
    EXPECT_EQ(store->look(note).theme.name, QStringLiteral("Old blue"));

    store->reconcileForSync();
    EXPECT_EQ(store->look(note).theme.name, QStringLiteral("New blue"));
    EXPECT_EQ(store->storedThemes().size(), 1);
    EXPECT_EQ(announcements, 0);
}

}  // namespace
