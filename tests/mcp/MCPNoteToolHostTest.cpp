#include <gtest/gtest.h>

#include <QJsonArray>
#include <QTemporaryDir>

#include "MCPFakes.h"
#include "mcp/MCPNoteToolHost.h"
#include "model/Note.h"
#include "platform/Clock.h"
#include "platform/ModelContainer.h"
#include "platform/NotificationCenter.h"
#include "platform/StoreTestSupport.h"
#include "shelf/SearchEngine.h"
#include "store/NoteStore.h"
#include "store/TarnwickSchemaV2.h"

namespace {

// The endpoint over a real store file, the real search engine and the note tool host; only the
// approval and the token are fakes. reopen() stands for a relaunch.
class NoteToolHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        reopen();
    }
    void reopen()
    {
        service.reset(), host.reset(), search.reset(), store.reset(), container.reset();
        container = std::move(ModelContainer::open(TarnwickSchemaV2::schema(), dir.filePath("default.store"))).value();
        store = std::make_unique<NoteStore>(container->mainContext(), Clock::system(), settings,
                                            NotificationCenter::shared());
        search = std::make_unique<SearchEngine>(
            SearchEngine::Source{[this] { return store->allActive(); }, [this] { return store->captures(); }});
        host = std::make_unique<MCPNoteToolHost>(*store, *search);
        service = std::make_unique<MCPService>(*host, approver, tokens, settings);
        service->loadToken();
    }
    Note* add(const QString& title, const QString& body, int minutes)
    {
        Note* note = container->mainContext().insert(std::make_unique<Note>(
            title, body, Tint::green, Opacity::solid, std::nullopt, std::nullopt, QDateTime::currentDateTimeUtc()));
        note->setUpdatedAt(QDateTime::fromSecsSinceEpoch(1'750'000'000 + minutes * 60, Qt::UTC));
        return note;
    }
    static QString idOf(const Note* note) { return note->uuid().toString(QUuid::WithoutBraces).toUpper(); }
    const QJsonObject tool(const QString& name, const QJsonObject& arguments)
    {
        HTTPRequest request{"POST", "/mcp/" + service->token()};
        request.headers.insert("host", "127.0.0.1:48219");
        request.headers.insert("content-type", "application/json");
        request.headers.insert("mcp-session-id", service->openSession("Tools test"));
        request.body = QJsonDocument(QJsonObject{{"jsonrpc", "2.0"},
                                                 {"id", 1},
                                                 {"method", "tools/call"},
                                                 {"params", QJsonObject{{"name", name}, {"arguments", arguments}}}})
                           .toJson();
        QByteArray response;
        service->respond(request, [&](const QByteArray& bytes) { response = bytes; });
        answered += response;
        return ServiceFixture::bodyOf(response);
    }
    static QStringList ids(const QJsonObject& reply)
    {
        QStringList out;
        for (const QJsonValue& n : reply["result"]["structuredContent"]["notes"].toArray()) out << n["id"].toString();
        return out;
    }

    QTemporaryDir dir;
    Settings settings{std::make_unique<MemorySettingsBackend>()};
    FakeApprover approver;
    FakeTokenStore tokens;
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<NoteStore> store;
    std::unique_ptr<SearchEngine> search;
    std::unique_ptr<MCPNoteToolHost> host;
    std::unique_ptr<MCPService> service;
    QByteArray answered;
};

}  // namespace

TEST_F(NoteToolHostTest, LockedAndBinnedNotesNeverLeaveThroughAnyTool)
{
    Note* shown = add("Zebra crossing", "paint the zebra stripes", 10);
    shown->setIsPinned(true);
    Note* locked = add("Vault zebra", "zebra 4417", 30);
    locked->setIsLocked(true);
    locked->setIsPinned(true);
    Note* binned = add("Zebra bin", "zebra binned words", 20);
    binned->setIsTrashed(true);
    ASSERT_TRUE(container->mainContext().save().ok());

    EXPECT_EQ(ids(tool("search_notes", {{"query", "zebra"}})), QStringList{idOf(shown)});
    EXPECT_EQ(ids(tool("search_notes", {{"query", ""}})), QStringList{idOf(shown)});
    EXPECT_EQ(ids(tool("list_notes", {})), QStringList{idOf(shown)});
    EXPECT_EQ(ids(tool("list_notes", {{"section", "pinned"}})), QStringList{idOf(shown)});
    // A page of one is still one note that may leave, with a newer locked note ahead of it.
    add("Vault newer", "zebra", 1)->setIsLocked(true);
    EXPECT_EQ(ids(tool("list_notes", {{"limit", 1}})), QStringList{idOf(shown)});
    EXPECT_EQ(ids(tool("search_notes", {{"query", "zebra"}, {"limit", 1}})), QStringList{idOf(shown)});
    for (const Note* hidden : {locked, binned})
        EXPECT_EQ(tool("read_note", {{"id", idOf(hidden)}})["error"]["message"], "note not found");
    for (const char* secret : {"Vault", "4417", "binned words", "Zebra bin"})
        EXPECT_FALSE(answered.contains(secret)) << secret;

    // Even a caller that forgets to drop locked notes gets nothing of their content.
    const MCPNoteRecord sealed = MCPNoteToolHost::record(*locked);
    EXPECT_TRUE(sealed.isLocked);
    EXPECT_TRUE(sealed.title.isEmpty() && sealed.displayTitle.isEmpty() && sealed.body.isEmpty());
    EXPECT_TRUE(sealed.tags.isEmpty() && !sealed.updatedAt.isValid());
}

TEST_F(NoteToolHostTest, CreatedNoteIsSavedWithTheDefaultThemeAndReadBack)
{
    settings.setValue("mcp.readOnly", false);
    settings.setValue("notes.defaultThemeID", "amber");
    const QString id = tool("create_note", {{"title", "From MCP"},
                                            {"body", "line one\nline two"}})["result"]["structuredContent"]["id"]
                           .toString();
    ASSERT_FALSE(id.isEmpty());
    EXPECT_EQ(ids(tool("list_notes", {})), QStringList{id});

    reopen();  // it is on disk, not only in memory
    const std::optional<MCPNoteRecord> note = host->note(QUuid::fromString(id));
    ASSERT_TRUE(note);
    EXPECT_EQ(note->title, "From MCP");
    EXPECT_EQ(note->body, "line one\nline two");
    Note* stored = store->note(QUuid::fromString(id));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->themeID(), "amber");
    EXPECT_EQ(stored->tint(), Tint::amber);
    EXPECT_EQ(stored->opacityRaw(), "solid");

    // A user theme's id is kept, and the tint stays blue.
    settings.setValue("notes.defaultThemeID", "3F2504E0-4F89-11D3-9A0C-0305E82C3301");
    const QString secondID = *host->create({}, {});
    EXPECT_EQ(store->activeNoteID(), QUuid::fromString(secondID));
    Note* second = store->note(QUuid::fromString(secondID));
    EXPECT_EQ(second->themeID(), "3F2504E0-4F89-11D3-9A0C-0305E82C3301");
    EXPECT_EQ(second->tint(), Tint::blue);
    EXPECT_FALSE(container->mainContext().hasChanges());
}

// A note the disk refused is answered as an error and not made at all: the client's next try makes
// one note, not two. A store that lives in memory refuses writes the same way.
TEST_F(NoteToolHostTest, ANoteNotOnDiskIsAnErrorAndNotMade)
{
    settings.setValue("mcp.readOnly", false);
    ASSERT_TRUE(ModelContainerTesting::exec(
        *container, "CREATE TRIGGER no BEFORE INSERT ON Note BEGIN SELECT RAISE(ABORT, 'disk full'); END"));
    const QJsonObject refused = tool("create_note", {{"title", "Lost?"}, {"body", "no"}});
    EXPECT_EQ(refused["error"]["message"].toString(), "Tarnwick couldn't save the note: disk full");
    EXPECT_FALSE(refused.contains("result"));
    EXPECT_EQ(store->activeNoteID(), std::nullopt);
    ASSERT_TRUE(ModelContainerTesting::exec(*container, "DROP TRIGGER no"));
    store->saveNow();
    EXPECT_TRUE(ids(tool("list_notes", {})).isEmpty());
    reopen();
    EXPECT_TRUE(ids(tool("list_notes", {})).isEmpty());

    host->setVolatile("kept in memory only");
    EXPECT_EQ(tool("create_note", {{"title", "x"}})["error"]["message"].toString(),
              "Tarnwick couldn't save the note: kept in memory only");
}

// The endpoint's search finds a word in capitals ending in sigma wherever it stands, in any case.
TEST_F(NoteToolHostTest, SearchFindsEitherSigmaForTheOther)
{
    Note* road = add("ΟΔΟΣΤΡΩΜΑ", "", 10);
    Note* lower = add("lower", "οδοσ", 20);
    Note* final = add("final", "ΟΔΟΣ road", 30);
    ASSERT_TRUE(container->mainContext().save().ok());
    // The title match first, then the body matches, newest first.
    const QStringList all{idOf(road), idOf(final), idOf(lower)};
    for (const char* query : {"ΟΔΟΣ", "οδοσ", "οδος"})
        EXPECT_EQ(ids(tool("search_notes", {{"query", QString::fromUtf8(query)}})), all) << query;
}
