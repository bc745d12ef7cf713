#include <gtest/gtest.h>

#include "design/HexColor.h"
#include "model/NoteTheme.h"
#include "platform/NotificationCenter.h"
#include "store/NoteThemes.h"
#include "support/NoteStoreFixture.h"
#include "themes/NotePalette.h"

namespace {

struct NotePaletteTest : tarnwick::test::NoteStoreTestBase {
    void SetUp() override
    {
        note = addNote("Plan");
        store->saveNow();
        token = NotificationCenter::shared().observe(tarnwickThemeChanged, [this](const Notification&) { ++posts; });
        palette = std::make_unique<NotePalette>(*store, *note,
                                                NotePalette::Editors{[this](const QString& id) { edited << id; },
                                                                     [this](const ResolvedNoteTheme& base, Note* n) {
                                                                         createdFrom = base;
                                                                         createdFor = n;
                                                                     }});
    }
    // Saves and posts since the last call.
    std::pair<qint64, int> counts()
    {
        std::pair<qint64, int> c{store->revision() - lastRevision, posts - lastPosts};
        lastRevision = store->revision();
        lastPosts = posts;
        return c;
    }
    Note* note = nullptr;
    std::unique_ptr<NotePalette> palette;
    ObserverToken token;
    int posts = 0, lastPosts = 0;
    qint64 lastRevision = 0;
    QStringList edited;
    ResolvedNoteTheme createdFrom;
    Note* createdFor = nullptr;
};

}  // namespace

TEST_F(NotePaletteTest, EachBindingWritesSavesAndPostsOnce)
{
    counts();
    const QColor themePaper = palette->paper();
    EXPECT_FALSE(palette->hasOverrides());
    palette->setPaper(themePaper);
    EXPECT_EQ(counts(), std::make_pair(qint64(1), 1));
    EXPECT_EQ(*note->paperHexOverride(), hexString(themePaper)) << "equal to the theme's still counts";
    EXPECT_TRUE(palette->hasOverrides());
    palette->setInk(QColor(0x9E, 0x3B, 0x2E));
    EXPECT_EQ(counts(), std::make_pair(qint64(1), 1));
    EXPECT_EQ(*note->inkHexOverride(), "9E3B2E");
    palette->setFamily("DejaVu Serif");
    EXPECT_EQ(counts(), std::make_pair(qint64(1), 1));
    EXPECT_EQ(palette->family(), "DejaVu Serif");
    EXPECT_EQ(sql("SELECT fontFamilyOverride FROM Note"), "DejaVu Serif");

    palette->clearOverrides();
    EXPECT_EQ(counts(), std::make_pair(qint64(1), 1)) << "Reset saves once";
    EXPECT_FALSE(palette->hasOverrides());
    EXPECT_EQ(
        sql("SELECT paperHexOverride IS NULL AND inkHexOverride IS NULL AND fontFamilyOverride IS NULL FROM Note"),
        "1");
}

TEST_F(NotePaletteTest, SystemClearsTheTypefaceAndShowsTheThemes)
{
    auto row =
        std::make_unique<NoteTheme>("SERIF", "Serif", Qt::white, QStringLiteral("DejaVu Serif"), std::nullopt, 1.0, 0);
    context().insert(std::move(row));
    store->saveNow();
    palette->pick("SERIF");
    palette->setFamily("Nowhere Sans");
    EXPECT_EQ(palette->family(), "Nowhere Sans");
    palette->setFamily("System");
    EXPECT_FALSE(note->fontFamilyOverride());
    EXPECT_EQ(palette->family(), "DejaVu Serif") << "back to the theme's own family";

    // Non-colour overrides show the theme's colours; Reset drops them.
    note->setPaperHexOverride(QStringLiteral("not a colour"));
    EXPECT_EQ(hexString(palette->paper()), "FFFFFF");
    EXPECT_TRUE(palette->hasOverrides());
    palette->clearOverrides();
    EXPECT_FALSE(note->paperHexOverride());
}

TEST_F(NotePaletteTest, PickingKeepsOverridesAndRunsEveryTime)
{
    palette->setPaper(QColor(0x22, 0xBB, 0x55));
    counts();
    palette->pick("green");
    palette->pick("green");
    EXPECT_EQ(counts().second, 2);
    EXPECT_EQ(note->tintRaw(), "green");
    EXPECT_EQ(palette->selectedID(), "green");
    EXPECT_EQ(hexString(palette->paper()), "22BB55");
    palette->pick("GONE");
    EXPECT_EQ(palette->selectedID(), "green") << "an unknown id resolves to the tint's theme";
}

TEST_F(NotePaletteTest, SaveAsThemeMovesTheNoteOntoANewThemeEachTime)
{
    palette->setInk(QColor(0x9E, 0x3B, 0x2E));
    palette->saveAsTheme(QStringLiteral(" \t "));
    const QString first = note->themeID();
    EXPECT_FALSE(palette->hasOverrides());
    palette->saveAsTheme(QString());
    EXPECT_NE(note->themeID(), first);
    EXPECT_EQ(sql("SELECT COUNT(*) FROM NoteTheme WHERE name = 'My theme'"), "2");
    EXPECT_EQ(sql(QStringLiteral("SELECT revision FROM NoteTheme WHERE id = '%1'").arg(first)), "0");
    EXPECT_EQ(hexString(palette->ink()), "9E3B2E");
    EXPECT_EQ(palette->selectedID(), note->themeID());
}

TEST_F(NotePaletteTest, EditAndCreateOpenTheThemeWindow)
{
    palette->pick("rose");
    palette->edit("rose");
    EXPECT_EQ(edited, QStringList({"rose"}));
    EXPECT_EQ(note->themeID(), "rose") << "editing keeps the note's theme";
    palette->setPaper(QColor(0x2B, 0x5C, 0x93));
    palette->create();
    EXPECT_EQ(createdFor, note);
    EXPECT_EQ(hexString(createdFrom.paper), "2B5C93") << "a new theme starts from the note's own paper";
}
