#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "jet/Env.h"
#include "page/PageSet.h"
#include "page/Pager.h"

namespace jet {

// Runs the changes of one open database, each all or nothing. A change holds the file's
// write lock while it runs, gathers the pages it prepares in a PageSet attached to the pager (so
// every reader sees the change so far) and writes them under the journal (Journal.h) once they
// are all ready; a refusal before that leaves the file untouched. A batch (Database::transact)
// gathers several steps into one change. After a failure while writing, every further change is
// refused until the database is opened again (Journal.h, rule 7). Not thread-safe.
class ChangeRunner {
public:
    // What the layers above keep in step with the changes (definitions, caches, held work).
    class Observer {
    public:
        virtual ~Observer() = default;
        // A step of a batch handed out these pages for writing: what was read from them is stale.
        virtual void stepDone(const std::set<uint32_t>& touched) = 0;
        // The change reached the file, or writing it failed: whatever was read may be stale.
        virtual void written(bool failed) = 0;
        // A batch was dropped unwritten: what was read inside it describes pages that never
        // came to be.
        virtual void dropped() = 0;
        // A batch begins or ends; work can be held aside for it (index entries of inserts).
        virtual void batchStarted(PageSet& pages) {}
        virtual void batchEnded() {}
        // Puts the work held aside into the batch's pages; true when there was any.
        virtual bool flushHeld() { return false; }
    };

    // journal may be null (an in-memory image opened without one): every change is refused.
    ChangeRunner(Pager& pager, std::shared_ptr<JournalStore> journal);
    // Removes the blank journal the changes left, when nobody else has the file open.
    ~ChangeRunner();
    ChangeRunner(const ChangeRunner&) = delete;
    ChangeRunner& operator=(const ChangeRunner&) = delete;

    // Observers are told in the order they were added; each must outlive the runner's use.
    void addObserver(Observer& observer) { m_observers.push_back(&observer); }

    // Throws unless the database can take a change: a journal, no earlier failure.
    void checkWritable() const;
    // One change; inside a batch, one step of it. body prepares the pages; a throw from it drops
    // the change (inside a batch: the whole batch).
    void step(const std::function<void(PageSet&)>& body);
    // Runs body as one change: every step made inside it reaches the file together, or none
    // does. When anything inside throws, the whole change is dropped and the exception passes
    // on, even if body caught it (then hr::kFail). Nested calls join the outer batch.
    void batch(const std::function<void()>& body);
    // Inside a batch, puts the work held aside into its pages now, for readers inside the
    // change that need all of it. Does nothing outside a batch.
    void flushHeld();
    // The batch being prepared; null outside one.
    PageSet* currentBatch() const { return m_batch; }

private:
    void commit(PageSet& pages);

    Pager& m_pager;
    std::shared_ptr<JournalStore> m_journal;
    std::vector<Observer*> m_observers;
    std::string m_failure;  // set after a failed write
    PageSet* m_batch = nullptr;
    bool m_spoiled = false;  // something inside the batch threw
    bool m_wroteJournal = false;
};

}  // namespace jet
