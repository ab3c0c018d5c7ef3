// Records added, changed and deleted through the recordset, in databases built by the test:
// what reaches the file is read back through a fresh engine open and, where it is installed,
// through mdbtools.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "ForeignReaders.h"
#include "TestSupport.h"
#include "WriteFixture.h"
#include "provider/Connection.h"
#include "provider/ProviderError.h"
#include "provider/Recordset.h"
#include "provider/ValueText.h"
#include "jet/Database.h"

using namespace tessor::provider;

namespace {

struct Refusal {
    uint32_t code = 0;
    std::string text;
};

Refusal refusalOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ProviderError& e) {
        return {e.code(), e.description()};
    }
    return {};
}

bool mentions(const Refusal& r, const std::string& words) {
    return r.text.find(words) != std::string::npos;
}

// People (every writable type, AutoNumber Id) and Keyed (primary key on Code), both empty, in
// a file of their own.
class RecordsetWrite : public ::testing::Test {
protected:
    RecordsetWrite() : m_file(jettest::buildPeopleImage(), "people.mdb") {}

    std::shared_ptr<Recordset> open(const std::string& table, int mode = ado::kModeUnknown,
                                    int lock = ado::kLockPessimistic) {
        m_conn = Connection::create();
        if (mode != ado::kModeUnknown) m_conn->setMode(mode);
        m_conn->open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + m_file.path().string());
        auto rs = Recordset::create();
        rs->setCursorLocation(ado::kUseClient);
        rs->open("Select * From " + table, m_conn, ado::kOpenStatic, lock, ado::kCmdText);
        return rs;
    }

    // The table as a fresh open of the file reads it, each row as texts by column name.
    std::vector<std::map<std::string, std::string>> fileRows(const std::string& table) {
        auto db = jet::Database::open(m_file.path());
        jet::TableData data = db->readTable(table);
        std::vector<std::map<std::string, std::string>> out;
        for (const auto& row : data.rows) {
            std::map<std::string, std::string> r;
            for (size_t c = 0; c < row.size(); ++c) {
                r[data.def.columns[c].name] = ValueText::toText(shown(row[c]));
            }
            out.push_back(r);
        }
        return out;
    }

    static Variant shown(const jet::Value& v);

    void add(Recordset& rs, std::initializer_list<std::pair<const char*, const char*>> values) {
        rs.addNew();
        for (const auto& [name, text] : values)
            rs.fields().item(name).setValue(Variant(text));
        rs.update();
    }

    std::string text(Recordset& rs, const char* field) { return rs.fields().item(field).text(); }

    jettest::TempFile m_file;
    std::shared_ptr<Connection> m_conn;
};

// The engine's value as the provider shows it, built here without the provider's converter so
// that a fault in that converter cannot hide itself.
Variant RecordsetWrite::shown(const jet::Value& v) {
    if (v.isNull()) return Variant::null();
    if (auto p = v.getIf<bool>()) return Variant(*p);
    if (auto p = v.getIf<uint8_t>()) return Variant(*p);
    if (auto p = v.getIf<int16_t>()) return Variant(*p);
    if (auto p = v.getIf<int32_t>()) return Variant(*p);
    if (auto p = v.getIf<jet::Currency>()) return Variant(Currency{p->scaled});
    if (auto p = v.getIf<float>()) return Variant(*p);
    if (auto p = v.getIf<double>()) return Variant(*p);
    if (auto p = v.getIf<jet::DateTime>()) return Variant(Date{p->days});
    if (auto p = v.getIf<std::string>()) return Variant(*p);
    if (auto p = v.getIf<std::vector<uint8_t>>()) return Variant(Bytes(*p));
    if (auto p = v.getIf<jet::Guid>()) return Variant(Guid{p->bytes});
    if (auto p = v.getIf<jet::Decimal>()) return Variant(p->toString());
    return Variant::null();
}

}  // namespace

TEST_F(RecordsetWrite, TypedTextOfEveryKindReachesTheFileAndTheSnapshot) {
    auto rs = open("People");
    const std::string memo(5000, 'm');
    add(*rs, {{"Flag", "Yes"},
              {"Small", "7"},
              {"Short", "-3"},
              {"Price", "12.3456"},
              {"Ratio", "0.5"},
              {"Amount", "1e3"},
              {"When", "2024/02/29 13:45:07"},
              {"Key", "{01234567-89AB-CDEF-0123-456789ABCDEF}"},
              {"Exact", "12.345"},
              {"Name", "Zo\xC3\xAB"},
              {"Bin", "0A0B0C"},
              {"Blob", "FFD8FF"},
              {"Code", "abc"}});
    rs->addNew();
    rs->fields().item("Notes").setValue(Variant(memo));
    rs->fields().item("Amount").setValue(Variant(int32_t(42)));  // not text: converted
    rs->update();

    // The AutoNumbers the database gave are in the snapshot; the new record is current.
    ASSERT_EQ(rs->recordCount(), 2);
    EXPECT_EQ(rs->editMode(), ado::kEditNone);
    EXPECT_EQ(rs->bookmark(), 2);
    EXPECT_EQ(text(*rs, "Id"), "2");
    rs->moveFirst();
    EXPECT_EQ(text(*rs, "Id"), "1");

    const std::map<std::string, std::string> want = {
        {"Id", "1"},
        {"Flag", "True"},
        {"Small", "7"},
        {"Short", "-3"},
        {"Price", "12.3456"},
        {"Ratio", "0.5"},
        {"Amount", "1000"},
        {"When", "2024/02/29 13:45:07"},
        {"Key", "{01234567-89AB-CDEF-0123-456789ABCDEF}"},
        {"Exact", "12.34"},  // rounded half to even to the field's two places
        {"Name", "Zo\xC3\xAB"},
        {"Bin", "0A0B0C"},
        {"Blob", "FFD8FF"},
        {"Notes", ""},
        {"Code", "abc"}};
    auto rows = fileRows("People");
    ASSERT_EQ(rows.size(), 2u);
    for (const auto& [name, value] : want) {
        // A fixed-length text field is stored padded with blanks to its size.
        const std::string got = name == "Code" ? rows[0][name].substr(0, 3) : rows[0][name];
        EXPECT_EQ(got, value) << name;
        const std::string shown = rs->fields().item(name).text();
        EXPECT_EQ(name == "Code" ? shown.substr(0, 3) : shown, value) << name;
    }
    EXPECT_EQ(rows[1]["Id"], "2");
    EXPECT_EQ(rows[1]["Notes"], memo);
    EXPECT_EQ(rows[1]["Amount"], "42");
    EXPECT_EQ(rows[1]["Name"], "");

    jettest::ForeignTable t = jettest::readWithMdbExport(m_file.path(), "People");
    if (!t.available) GTEST_SKIP() << "mdb-export is not installed";
    ASSERT_TRUE(t.ok) << t.output;
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.rows[0][t.column("Name")], "Zo\xC3\xAB");
    EXPECT_EQ(t.rows[0][t.column("Short")], "-3");
    EXPECT_EQ(t.rows[1][t.column("Id")], "2");
    EXPECT_EQ(t.rows[1][t.column("Notes")].size(), memo.size());
}

TEST_F(RecordsetWrite, ChangedRecordIsRewrittenAndKeepsItsPlaceUntilRequery) {
    auto rs = open("People");
    for (const char* name : {"carl", "anna", "bob"})
        add(*rs, {{"Name", name}, {"Short", "1"}});
    rs->setSort("Name ASC");
    EXPECT_EQ(text(*rs, "Name"), "anna");

    // Fields written but not saved read back as written; the file does not have them yet.
    rs->fields().item("Name").setValue(Variant("zoe"));
    rs->fields().item("Short").setValue(Variant(" 9 "));
    EXPECT_EQ(rs->editMode(), ado::kEditInProgress);
    EXPECT_EQ(text(*rs, "Name"), "zoe");
    EXPECT_EQ(rs->textAt(0, 10), "anna");
    EXPECT_EQ(fileRows("People")[1]["Name"], "anna");
    rs->update();
    EXPECT_EQ(rs->textAt(0, 10), "zoe");  // still first, as a client cursor keeps it
    EXPECT_EQ(rs->bookmark(), 1);
    auto rows = fileRows("People");
    EXPECT_EQ(rows[1]["Name"], "zoe");
    EXPECT_EQ(rows[1]["Short"], "9");
    EXPECT_EQ(rows[1]["Id"], "2");

    // Moving on saves a pending edit; cancelUpdate drops one.
    rs->fields().item("Short").setValue(Variant("5"));
    rs->moveNext();
    EXPECT_EQ(fileRows("People")[1]["Short"], "5");
    EXPECT_EQ(text(*rs, "Name"), "bob");
    rs->fields().item("Name").setValue(Variant("never"));
    rs->cancelUpdate();
    EXPECT_EQ(text(*rs, "Name"), "bob");
    rs->moveLast();
    EXPECT_EQ(fileRows("People")[2]["Name"], "bob");

    // A new record under a sort goes to the end; requery puts everything in order.
    add(*rs, {{"Name", "adam"}});
    EXPECT_EQ(rs->bookmark(), 4);
    EXPECT_EQ(rs->textAt(3, 10), "adam");
    rs->requery();
    std::vector<std::string> names;
    for (long p = 0; p < rs->recordCount(); ++p)
        names.push_back(rs->textAt(p, 10));
    EXPECT_EQ(names, (std::vector<std::string>{"adam", "bob", "carl", "zoe"}));
}

TEST_F(RecordsetWrite, RefusedValuesChangeNothingAndKeepThePendingEdit) {
    auto rs = open("Keyed");
    add(*rs, {{"Code", "1"}, {"Label", "one"}});

    // A text the field's type cannot take: refused at the write, naming field and value.
    rs->addNew();
    rs->fields().item("Label").setValue(Variant("two"));
    Refusal r = refusalOf([&] { rs->fields().item("Code").setValue(Variant("twelve")); });
    EXPECT_EQ(r.code, hr::kTypeMismatch);
    EXPECT_TRUE(mentions(r, "Code") && mentions(r, "twelve")) << r.text;
    r = refusalOf([&] { rs->fields().item("Label").setValue(Variant(std::string(21, 'x'))); });
    EXPECT_EQ(r.code, hr::kTypeMismatch);
    EXPECT_TRUE(mentions(r, "20 characters")) << r.text;
    EXPECT_EQ(text(*rs, "Label"), "two");

    // A value the database refuses (a key it already has): the engine's words, nothing
    // stored, the new record still pending with what was typed.
    rs->fields().item("Code").setValue(Variant("1"));
    r = refusalOf([&] { rs->update(); });
    EXPECT_NE(r.code, 0u);
    EXPECT_TRUE(mentions(r, "duplicate")) << r.text;
    EXPECT_EQ(rs->editMode(), ado::kEditAdd);
    EXPECT_EQ(rs->recordCount(), 1);
    EXPECT_EQ(fileRows("Keyed").size(), 1u);
    // A refused save does not let the cursor move away either.
    EXPECT_NE(refusalOf([&] { rs->moveFirst(); }).code, 0u);
    EXPECT_EQ(rs->editMode(), ado::kEditAdd);
    rs->fields().item("Code").setValue(Variant("2"));
    rs->update();
    EXPECT_EQ(rs->recordCount(), 2);
    auto rows = fileRows("Keyed");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1]["Code"], "2");
    EXPECT_EQ(rows[1]["Label"], "two");

    // The same for a change of a stored record.
    rs->moveFirst();
    rs->fields().item("Code").setValue(Variant("2"));
    EXPECT_NE(refusalOf([&] { rs->update(); }).code, 0u);
    EXPECT_EQ(text(*rs, "Code"), "2");  // the pending value
    EXPECT_EQ(rs->textAt(0, 0), "1");   // the snapshot
    EXPECT_EQ(fileRows("Keyed")[0]["Code"], "1");
    rs->cancelUpdate();

    // The database numbers AutoNumbers itself.
    auto people = open("People");
    people->addNew();
    r = refusalOf([&] { people->fields().item("Id").setValue(Variant("5")); });
    EXPECT_TRUE(mentions(r, "AutoNumber")) << r.text;
}

TEST_F(RecordsetWrite, DeleteRemovesTheRecordAndLeavesTheOthersInPlace) {
    auto rs = open("People");
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        add(*rs, {{"Name", name}});
    rs->setSort("Name DESC");  // f e d c b a

    // The delete loop of the record commands: highest position first, so that the lower
    // positions still point at the records picked.
    for (long position : {4L, 2L, 1L}) {
        rs->move(position, ado::kBookmarkFirst);
        rs->deleteRecord(ado::kAffectCurrent);
    }
    std::vector<std::string> names;
    for (long p = 0; p < rs->recordCount(); ++p)
        names.push_back(rs->textAt(p, 10));
    EXPECT_EQ(names, (std::vector<std::string>{"f", "c", "a"}));
    auto rows = fileRows("People");
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& row : rows)
        EXPECT_TRUE(row.at("Name") == "a" || row.at("Name") == "c" || row.at("Name") == "f");

    // The deleted record stays current without values until a move; MoveNext reaches the one
    // that followed it, MovePrevious the one before.
    rs->move(1, ado::kBookmarkFirst);
    rs->deleteRecord();
    EXPECT_EQ(refusalOf([&] { rs->fields().item("Name").value(); }).code, hr::kNoCurrentRecord);
    EXPECT_EQ(refusalOf([&] { rs->deleteRecord(); }).code, hr::kNoCurrentRecord);
    rs->moveNext();
    EXPECT_EQ(text(*rs, "Name"), "a");
    rs->deleteRecord();
    EXPECT_TRUE(rs->isEOF());
    rs->movePrevious();
    EXPECT_EQ(text(*rs, "Name"), "f");
    EXPECT_EQ(rs->recordCount(), 1);

    // Deleting while a new record is pending drops only the new record.
    rs->addNew();
    rs->fields().item("Name").setValue(Variant("new"));
    rs->deleteRecord();
    EXPECT_EQ(rs->editMode(), ado::kEditNone);
    EXPECT_EQ(rs->recordCount(), 1);
    EXPECT_EQ(fileRows("People").size(), 1u);

    // New records after deletions still go where the sort has its end.
    add(*rs, {{"Name", "g"}});
    EXPECT_EQ(rs->textAt(1, 10), "g");
    EXPECT_EQ(fileRows("People").size(), 2u);

    jettest::ForeignTable t = jettest::readWithMdbExport(m_file.path(), "People");
    if (!t.available) GTEST_SKIP() << "mdb-export is not installed";
    ASSERT_TRUE(t.ok) << t.output;
    EXPECT_EQ(t.rows.size(), 2u);
}

TEST_F(RecordsetWrite, NewRecordWithNothingWrittenIsNotStored) {
    auto rs = open("People");
    add(*rs, {{"Name", "x"}});
    rs->addNew();
    EXPECT_FALSE(rs->isBOF() || rs->isEOF());
    EXPECT_TRUE(rs->fields().item("Name").value().isNull());
    EXPECT_EQ(refusalOf([&] { rs->bookmark(); }).code, hr::kNoCurrentRecord);
    rs->moveFirst();
    EXPECT_EQ(rs->editMode(), ado::kEditNone);
    EXPECT_EQ(rs->recordCount(), 1);
    EXPECT_EQ(fileRows("People").size(), 1u);
    // cancelUpdate after addNew goes back to the record that was current.
    rs->addNew();
    rs->cancelUpdate();
    EXPECT_EQ(text(*rs, "Name"), "x");
    // An update without an edit writes nothing.
    rs->update();
    EXPECT_EQ(fileRows("People").size(), 1u);
}

TEST_F(RecordsetWrite, ReadOnlyOpensAndClosedConnectionsRefuseWithAReason) {
    {
        auto rs = open("People");
        add(*rs, {{"Name", "kept"}});
        m_conn->close();
        Refusal r = refusalOf([&] { rs->fields().item("Name").setValue(Variant("lost")); });
        EXPECT_EQ(r.code, hr::kConnectionInvalid);
        EXPECT_TRUE(mentions(r, "closed")) << r.text;
    }
    auto checkRefused = [&](Recordset& rs, const std::string& words) {
        for (const auto& action : std::vector<std::function<void()>>{
                 [&] { rs.addNew(); },
                 [&] { rs.fields().item("Name").setValue(Variant("changed")); },
                 [&] { rs.deleteRecord(); }}) {
            Refusal r = refusalOf(action);
            EXPECT_NE(r.code, 0u);
            EXPECT_TRUE(mentions(r, words)) << r.text;
        }
        EXPECT_EQ(rs.editMode(), ado::kEditNone);
    };
    auto readOnly = open("People", ado::kModeRead);
    checkRefused(*readOnly, "read-only");
    m_conn->close();
    auto locked = open("People", ado::kModeUnknown, ado::kLockReadOnly);
    checkRefused(*locked, "read-only");
    auto schema = m_conn->openSchema(ado::kSchemaTables);
    Refusal r = refusalOf([&] { schema->addNew(); });
    EXPECT_EQ(r.code, hr::kNotSupported);
    m_conn->close();

    // A file this user may only read, opened exclusively as the editor opens it: shown
    // read-only, held against writers, and never changed. Root may write anything, so the
    // check runs as an unprivileged user in a child process.
    std::filesystem::permissions(m_file.path(), std::filesystem::perms::owner_read |
                                                    std::filesystem::perms::group_read |
                                                    std::filesystem::perms::others_read);
    std::filesystem::permissions(m_file.path().parent_path(), std::filesystem::perms::all);
    int opened[2], done[2];
    ASSERT_EQ(::pipe(opened), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(opened[0]);
        ::close(done[1]);
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        int failures = 0;
        try {
            auto shown = open("People", ado::kModeShareExclusive);
            failures += shown->recordCount() != 1;
            Refusal r = refusalOf([&] { shown->fields().item("Name").setValue(Variant("x")); });
            failures += !mentions(r, "read-only");
            char byte = 1;
            failures += ::write(opened[1], &byte, 1) != 1;
            failures += ::read(done[0], &byte, 1) != 0;  // held open until the parent has tried
        } catch (...) {
            failures += 10;
        }
        ::_exit(failures);
    }
    ::close(opened[1]);  // a child that fails before its open is seen as an end of file
    ::close(done[0]);
    char byte = 0;
    const bool shown = ::read(opened[0], &byte, 1) == 1;
    EXPECT_TRUE(shown) << "the file was not opened";
    // While it is shown, a writer that may write the file (root) is kept out.
    if (shown && ::geteuid() == 0) {
        auto writer = Connection::create();
        writer->setMode(ado::kModeShareExclusive);
        Refusal held = refusalOf([&] {
            writer->open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + m_file.path().string());
        });
        EXPECT_TRUE(mentions(held, "already opened")) << held.text;
    }
    ::close(done[1]);  // lets the child go on
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    ::close(opened[0]);

    auto rows = fileRows("People");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["Name"], "kept");
}

// Reading a table tells how far it is, and can be stopped: the open then fails with
// hr::kCanceled and leaves the recordset closed; a stopped requery keeps the rows it had.
TEST_F(RecordsetWrite, ReadingATableReportsProgressAndCanBeStopped) {
    constexpr int kRows = 9000;  // more than two steps of the loader's progress
    {
        jet::OpenOptions options;
        options.readOnly = false;
        auto db = jet::Database::open(m_file.path(), options);
        db->transact([&] {
            for (int i = 0; i < kRows; ++i)
                db->insertRow("People", jettest::peopleRow(i, 0, 0));
        });
    }
    std::vector<std::pair<size_t, size_t>> seen;
    auto counting = [&](size_t stopAt) {
        return [&seen, stopAt](size_t done, size_t total) {
            seen.emplace_back(done, total);
            return done < stopAt;
        };
    };
    m_conn = Connection::create();
    m_conn->open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + m_file.path().string());
    auto rs = Recordset::create();
    rs->setCursorLocation(ado::kUseClient);
    rs->setLoadProgress(counting(4096));
    Refusal stopped = refusalOf([&] { rs->open("Select * From People", m_conn); });
    EXPECT_EQ(stopped.code, hr::kCanceled);
    EXPECT_TRUE(mentions(stopped, "People")) << stopped.text;
    EXPECT_FALSE(rs->isOpen());
    EXPECT_EQ(seen, (std::vector<std::pair<size_t, size_t>>{{0, kRows}, {4096, kRows}}));

    seen.clear();
    rs->setLoadProgress(counting(SIZE_MAX));
    rs->open("Select * From People", m_conn);
    EXPECT_EQ(rs->recordCount(), kRows);
    EXPECT_EQ(seen, (std::vector<std::pair<size_t, size_t>>{{0, kRows}, {4096, kRows}, {8192, kRows}}));

    rs->setLoadProgress(counting(0));
    rs->moveLast();
    EXPECT_EQ(refusalOf([&] { rs->requery(); }).code, hr::kCanceled);
    EXPECT_EQ(rs->recordCount(), kRows);
    EXPECT_EQ(text(*rs, "Name"), "name-" + std::to_string(kRows - 1));
}
