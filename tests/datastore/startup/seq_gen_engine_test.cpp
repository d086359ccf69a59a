// Identifier batches in SeqGenState on SQLite, PostgreSQL and MariaDB
// through ODBC: reservations, a sequence shared by two columns, and two
// processes drawing from one sequence at once.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "db_engine_support.h"
#include "log_capture.h"
#include "temp_dir.h"
#include "velmora/data_dictionary.h"
#include "velmora/seq_gen.h"
#include "velmora/seq_state.h"
#include "velmora/table_defn.h"

using namespace db_engine;

namespace {

// Two tables; Ticket's two columns share one sequence.
const char kDictionary[] = R"(<?xml version="1.0"?>
<data-dictionary>
  <table name="Ticket"><columns>
    <column name="TicketId"><data-type>INT</data-type>
      <uniquevalue-generation><generator-name>SharedGen</generator-name></uniquevalue-generation></column>
    <column name="ParentId"><data-type>INT</data-type>
      <uniquevalue-generation><generator-name>SharedGen</generator-name></uniquevalue-generation></column>
  </columns></table>
  <table name="Note"><columns>
    <column name="NoteId"><data-type>INT</data-type>
      <uniquevalue-generation><generator-name>It's\odd</generator-name></uniquevalue-generation></column>
  </columns></table>
</data-dictionary>
)";

// The database layer with one connection "main" to the test's database and
// the identifier state wired to it.
class SeqGenOnEngine : public tw::engines::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        layer_ = std::make_unique<DBLayer>();
        ASSERT_TRUE(AddEngineEntry(engine(), database_name(), "main"));
        ASSERT_EQ(EstablishDBConnections(), VELMORA_SUCCESS);
        ASSERT_EQ(InitSeqState(), VELMORA_SUCCESS);
        SetSeqBatchReserver(UpdateSeqGen);
    }
    void TearDown() override
    {
        SetSeqBatchReserver(nullptr);
        FreeSeqState();
        CloseSeqGenConnections();
        FreeTableDefns();
        layer_.reset();
        EngineTest::TearDown();
    }
    // The stored batch end of a sequence, or -1 when it has no row.
    long long StoredEnd(const std::string& sequence)
    {
        auto rows = db().Query("select CURRENTBATCHEND from SeqGenState where SEQNAME = " + Literal(sequence));
        if (!rows || rows->empty() || !(*rows)[0][0])
            return -1;
        return std::stoll(*(*rows)[0][0]);
    }
    SeqStateRecord Batch(const char* sequence)
    {
        auto* record = static_cast<SeqStateRecord*>(HashGet(&gv_seqState, sequence));
        return record ? *record : SeqStateRecord{-1, -1};
    }
    std::unique_ptr<DBLayer> layer_;
};

TEST_P(SeqGenOnEngine, BatchesFollowTheStoredEndWhateverTheName)
{
    LogCapture log;
    EXPECT_EQ(UpdateSeqGen(nullptr, "Plain"), VELMORA_FAILURE) << "no SeqGenState yet";
    bool missingLogged = false;
    for (const std::string& line : log.Lines())
        missingLogged |= line == "[ERROR] Table doesn't Exists for UpdateSeqGen";
    EXPECT_TRUE(missingLogged);

    ASSERT_EQ(PrepareSeqGenState(), VELMORA_SUCCESS);
    ASSERT_EQ(PrepareSeqGenState(), VELMORA_SUCCESS) << "an existing table is kept";
    ASSERT_TRUE(db().Execute("insert into SeqGenState (SEQNAME, CURRENTBATCHEND) values ('Stored', 600)"))
        << db().LastError();

    struct Case {
        std::string sequence;
        SeqStateRecord first, second;
        long long storedEnd;
    };
    const Case cases[] = {
        {"Plain", {1, 300}, {301, 600}, 600},            // first use inserts the row
        {"Stored", {601, 900}, {901, 1200}, 1200},       // continues after a stored end
        {"It's \\ odd'; --", {1, 300}, {301, 600}, 600}, // quotes and backslashes stay text
        {std::string(SEQ_NAME_MAX_LENGTH, 'n'), {1, 300}, {301, 600}, 600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sequence);
        ASSERT_EQ(UpdateSeqGen(nullptr, c.sequence.c_str()), VELMORA_SUCCESS);
        EXPECT_EQ(Batch(c.sequence.c_str()).nextValue, c.first.nextValue);
        EXPECT_EQ(Batch(c.sequence.c_str()).batchEnd, c.first.batchEnd);
        ASSERT_EQ(UpdateSeqGen(nullptr, c.sequence.c_str()), VELMORA_SUCCESS);
        EXPECT_EQ(Batch(c.sequence.c_str()).nextValue, c.second.nextValue);
        EXPECT_EQ(Batch(c.sequence.c_str()).batchEnd, c.second.batchEnd);
        EXPECT_EQ(StoredEnd(c.sequence), c.storedEnd);
    }
    EXPECT_EQ(UpdateSeqGen(nullptr, std::string(SEQ_NAME_MAX_LENGTH + 1, 'n').c_str()), VELMORA_FAILURE);
    auto count = db().Query("select count(*) from SeqGenState");
    ASSERT_TRUE(count) << db().LastError();
    EXPECT_EQ(*(*count)[0][0], "4") << "one row per sequence, nothing else";
}

TEST_P(SeqGenOnEngine, SharedSequenceKeepsItsFirstBatchAndRenewsAfter300)
{
    TempDir dir;
    WriteWholeFile(dir.file("dict.xml"), kDictionary);
    ASSERT_EQ(LoadDataDictFromXMLFile(dir.file("dict.xml").c_str()), VELMORA_SUCCESS);
    ASSERT_EQ(PrepareSeqGenState(), VELMORA_SUCCESS);
    ASSERT_EQ(SequenceGenerator(), VELMORA_SUCCESS);

    // One reservation per sequence, INSTANCE_ID included.
    EXPECT_EQ(StoredEnd("SharedGen"), 300);
    EXPECT_EQ(StoredEnd("It's\\odd"), 300);
    EXPECT_EQ(StoredEnd(SEQ_INSTANCE_ID_KEY), 300);
    EXPECT_EQ(GenerateInstanceID(), 1);

    const ColumnDefn* ticketId = GetColumnDefnEntry("Ticket", "TicketId");
    const ColumnDefn* parentId = GetColumnDefnEntry("Ticket", "ParentId");
    ASSERT_TRUE(ticketId && parentId);
    std::set<int32_t> drawn;
    for (int i = 0; i < 301; i++) {
        int32_t id = GenerateID("Ticket", i % 2 ? parentId : ticketId);
        ASSERT_TRUE(drawn.insert(id).second) << id << " twice";
    }
    EXPECT_EQ(*drawn.begin(), 1) << "the first batch was not abandoned";
    EXPECT_EQ(*drawn.rbegin(), 301) << "the 301st number opens the next batch";
    EXPECT_EQ(StoredEnd("SharedGen"), 600);
}

// Two processes that start together from one that holds no ODBC handle
// (a forked child must not share its parent's connections).
class SeqGenRace : public tw::engines::EngineTest {
protected:
    odbc_setup::PrivateOdbcConfig config_;
};

// Draws count identifiers of one sequence in a process of its own,
// connected from scratch, and writes them to path one a line.
[[noreturn]] void DrawInChild(tw::engines::Engine engine, const std::string& database, int count,
                              const std::string& path, int startPipe)
{
    char go = 0;
    if (read(startPipe, &go, 1) != 1)
        _exit(3);
    ClearDBProviders();
    InitDBProvider();
    if (!AddEngineEntry(engine, database, "main") || EstablishDBConnections() != VELMORA_SUCCESS ||
        InitSeqState() != VELMORA_SUCCESS || PrepareSeqGenState() != VELMORA_SUCCESS)
        _exit(4);
    SetSeqBatchReserver(UpdateSeqGen);
    FILE* out = fopen(path.c_str(), "w");
    if (out == nullptr)
        _exit(5);
    ColumnDefn column{};
    column.generatorName = const_cast<char*>("Race");
    StoreSeqBatch("Race", 1, 0); // an empty batch: the first draw reserves
    for (int i = 0; i < count; i++)
        fprintf(out, "%d\n", GenerateID("Race", &column));
    fclose(out);
    CloseSeqGenConnections();
    CloseAllDBConnections();
    _exit(0);
}

TEST_P(SeqGenRace, TwoProcessesNeverDrawTheSameIdentifier)
{
    constexpr int kPerProcess = 10000;
    TempDir dir;
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    std::vector<pid_t> children;
    for (int child = 0; child < 2; child++) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0)
            DrawInChild(engine(), database_name(), kPerProcess, dir.file("ids" + std::to_string(child)), start[0]);
        children.push_back(pid);
    }
    // Both start at once, so both try to insert the sequence's first row.
    ASSERT_EQ(write(start[1], "gg", 2), 2);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    }
    close(start[0]);
    close(start[1]);

    std::set<long> seen;
    for (int child = 0; child < 2; child++) {
        std::ifstream in(dir.file("ids" + std::to_string(child)));
        long id = 0, count = 0;
        while (in >> id) {
            count++;
            ASSERT_GT(id, 0) << "a reservation failed";
            ASSERT_TRUE(seen.insert(id).second) << id << " handed out twice";
        }
        EXPECT_EQ(count, kPerProcess);
    }
    // 34 batches each, and the table recorded every one of them.
    auto rows = db().Query("select CURRENTBATCHEND from SeqGenState where SEQNAME = 'Race'");
    ASSERT_TRUE(rows && rows->size() == 1) << db().LastError();
    EXPECT_EQ(*(*rows)[0][0], std::to_string(2 * 34 * SEQ_BATCH_SIZE));
}

TW_INSTANTIATE_ENGINE_TESTS(SeqGenOnEngine, tw::engines::Engine::sqlite, tw::engines::Engine::postgresql,
                            tw::engines::Engine::mariadb);
TW_INSTANTIATE_ENGINE_TESTS(SeqGenRace, tw::engines::Engine::sqlite, tw::engines::Engine::postgresql,
                            tw::engines::Engine::mariadb);

} // namespace
