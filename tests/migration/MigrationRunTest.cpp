// The migration engine on the test server when its connection fails: a lost answer or a killed
// session moves the table again on a new session, and a table that was there before is never
// dropped, whether the run goes on or a later run resumes it.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "support/TestServer.h"
#include "transfer/TransferTestSupport.h"
#include "transfer/migration/MigrationPlan.h"
#include "transfer/migration/MigrationRun.h"

using namespace keldara;
using namespace keldara::transfer::migration;

namespace {

// A flaky session that owns the real one it forwards to.
struct FlakySession : test::Flaky {
    FlakySession(std::unique_ptr<dao::Connection> own, dao::Connection& killer)
        : Flaky(*own, killer), own(std::move(own)) {}
    std::unique_ptr<dao::Connection> own;
};

class MigrationRunTest : public test::MySqlTest {
  protected:
    // Tables "a" and "b" of `count` numbered records each (k, v, n).
    MigrationPlan plan(long count) {
        source_ = test::records(test::numbered(count));
        dao::DatabaseSchema schema;
        std::vector<dao::FieldInfo> fields;
        for (int i = 0; i < source_.fieldCount(); ++i) fields.push_back(source_.fieldInfo(i));
        fields[1].definedSize = 20;  // v, a text of at most 20 characters
        schema.tables = {dao::SchemaOfFields("a", fields), dao::SchemaOfFields("b", fields)};
        return PlanMigration(schema);
    }

    // Ends whose first session goes wrong once at the first statement starting with `prefix`.
    MigrationEnds ends(test::Flaky::Fault fault, const QString& prefix) {
        MigrationEnds ends;
        ends.openTable = [this](const QString&) {
            return std::make_unique<dao::Recordset>(source_);
        };
        ends.connect = [this, fault, prefix]() -> std::unique_ptr<dao::Connection> {
            auto session = dao::openConnection(scratchConnectionString() + ";COPY=1");
            if (sessions_++ != 1) return session;  // the first is the run's own
            auto flaky = std::make_unique<FlakySession>(std::move(session), *connection_);
            flaky->fault = fault;
            flaky->prefix = prefix;
            flaky->nth = 1;
            return flaky;
        };
        return ends;
    }

    dao::Recordset source_;
    int sessions_ = 0;
    MigrationProgress progress_;
    QTemporaryDir folder_;
};

TEST_F(MigrationRunTest, ALostSessionMovesTheTableAgainFromTheStart) {
    const struct {
        test::Flaky::Fault fault;
        const char* prefix;
    } cases[] = {{test::Flaky::Fault::AnswerLost, "CREATE TABLE"},
                 {test::Flaky::Fault::Killed, "DROP TABLE"},
                 {test::Flaky::Fault::AnswerLost, "LOAD DATA"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.prefix);
        run({"DROP TABLE IF EXISTS a", "DROP TABLE IF EXISTS b"});
        sessions_ = 0;
        MigrationOptions options;
        options.jobs = 1;
        options.retryForSeconds = 30;
        const MigrationReport report =
            Migrate(plan(12000), ends(c.fault, c.prefix), options, progress_);
        EXPECT_FALSE(report.failed()) << report.text().toStdString();
        for (const char* table : {"a", "b"})
            EXPECT_TRUE(tableRows(table) == test::rowsOf(source_)) << table;
    }
}

// A table that was there is never dropped nor filled twice: when a run that was adding rows to
// it stopped, a run that resumes leaves it as it is and says why, and moves the others.
TEST_F(MigrationRunTest, ATableThatWasThereIsNeverFilledTwice) {
    run({"CREATE TABLE a (k INT, v VARCHAR(20), n INT)", "INSERT INTO a VALUES (0, 'old', 0)",
         "DROP TABLE IF EXISTS b"});
    MigrationOptions options;
    options.ifExists = IfExists::Append;
    options.jobs = 1;
    options.statePath = folder_.filePath("state.json");
    options.sourceName = "numbers";
    struct StopsInTheFirstTable : MigrationProgress {
        bool started = false;
        void tableProgress(const QString&, long done) override { started = started || done > 0; }
        bool stopRequested() override { return started; }
    } stopping;
    sessions_ = 2;  // no fault
    const MigrationReport stopped = Migrate(plan(12000), ends({}, {}), options, stopping);
    ASSERT_TRUE(stopped.stopped) << stopped.text().toStdString();
    const std::vector<QString> kept = tableRows("a");
    EXPECT_EQ(std::count(kept.begin(), kept.end(), "0 | old | 0"), 1) << "the old row stays";

    const MigrationReport resumed = Migrate(plan(12000), ends({}, {}), options, progress_);
    EXPECT_TRUE(resumed.tables[0].error.contains("which was there before"))
        << resumed.text().toStdString();
    EXPECT_TRUE(resumed.tables[1].error.isEmpty()) << resumed.text().toStdString();
    EXPECT_EQ(tableRows("a"), kept);
    EXPECT_TRUE(tableRows("b") == test::rowsOf(source_));
}

}  // namespace
