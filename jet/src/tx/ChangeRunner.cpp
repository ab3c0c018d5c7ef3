#include "tx/ChangeRunner.h"

#include "jet/Error.h"
#include "tx/Journal.h"

namespace jet {

namespace {

// The file's write lock, held for the whole of a change.
struct WriteLock {
    FileIO& file;
    explicit WriteLock(FileIO& f) : file(f) {
        if (!file.lockForWrite())
            throw Error(hr::kLocked, databaseName(file) +
                                         " is open elsewhere; records can only be changed "
                                         "while no other program has it open.");
    }
    ~WriteLock() { file.unlockForWrite(); }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
};

// Attaches a change's pages to the pager for as long as it is being prepared.
struct OverlayScope {
    Pager& pager;
    OverlayScope(Pager& p, const PageOverlay& overlay) : pager(p) { pager.setOverlay(&overlay); }
    ~OverlayScope() { pager.setOverlay(nullptr); }
    OverlayScope(const OverlayScope&) = delete;
    OverlayScope& operator=(const OverlayScope&) = delete;
};

}  // namespace

ChangeRunner::ChangeRunner(Pager& pager, std::shared_ptr<JournalStore> journal)
    : m_pager(pager), m_journal(std::move(journal)) {}

ChangeRunner::~ChangeRunner() {
    if (m_journal && m_wroteJournal) Journal::discard(m_pager.file(), *m_journal);
}

void ChangeRunner::checkWritable() const {
    if (!m_journal)
        throw Error(hr::kNotSupported,
                    "This database was opened without a journal, so it cannot be changed safely.");
    if (!m_failure.empty())
        throw Error(hr::kIoError, "An earlier change to the database failed (" + m_failure +
                                      "); close and reopen the database before changing it "
                                      "again.");
}

void ChangeRunner::step(const std::function<void(PageSet&)>& body) {
    if (m_batch) {
        try {
            body(*m_batch);
        } catch (...) {
            m_spoiled = true;
            throw;
        }
        // Later steps of the same change read the definitions as this step left them.
        const std::set<uint32_t> touched = m_batch->takeTouched();
        for (Observer* o : m_observers)
            o->stepDone(touched);
        return;
    }
    WriteLock lock(m_pager.file());
    PageSet pages(m_pager);
    {
        OverlayScope scope(m_pager, pages);
        body(pages);  // refusals surface here, before anything is written
    }
    commit(pages);
}

void ChangeRunner::flushHeld() {
    if (!m_batch) return;
    try {
        bool any = false;
        for (Observer* o : m_observers)
            any = o->flushHeld() || any;
        if (!any) return;
        // held work may have moved pages (index roots): definitions must say so
        const std::set<uint32_t> touched = m_batch->takeTouched();
        for (Observer* o : m_observers)
            o->stepDone(touched);
    } catch (...) {
        m_spoiled = true;
        throw;
    }
}

void ChangeRunner::commit(PageSet& pages) {
    try {
        m_wroteJournal = m_wroteJournal || !pages.dirty().empty();
        Journal::commit(m_pager, *m_journal, pages.dirty());
    } catch (const std::exception& e) {
        m_failure = e.what();
        for (Observer* o : m_observers) {
            try {
                o->written(true);
            } catch (...) {
                // The file cannot be read either; the first failure is the one to report.
            }
        }
        throw;
    }
    for (Observer* o : m_observers)
        o->written(false);
}

void ChangeRunner::batch(const std::function<void()>& body) {
    if (m_batch) {
        body();
        return;
    }
    checkWritable();
    WriteLock lock(m_pager.file());
    PageSet pages(m_pager);
    struct BatchScope {
        ChangeRunner& runner;
        BatchScope(ChangeRunner& r, PageSet& p) : runner(r) {
            runner.m_batch = &p;
            runner.m_spoiled = false;
            for (Observer* o : runner.m_observers)
                o->batchStarted(p);
            runner.m_pager.setOverlay(&p);
        }
        ~BatchScope() {
            runner.m_pager.setOverlay(nullptr);
            for (Observer* o : runner.m_observers)
                o->batchEnded();
            runner.m_batch = nullptr;
        }
        BatchScope(const BatchScope&) = delete;
        BatchScope& operator=(const BatchScope&) = delete;
    };
    auto forget = [this] {
        for (Observer* o : m_observers)
            o->dropped();
    };
    bool spoiled = false;
    try {
        BatchScope scope(*this, pages);
        body();
        if (!m_spoiled) flushHeld();
        spoiled = m_spoiled;
    } catch (...) {
        forget();
        throw;
    }
    if (spoiled) {
        forget();
        throw Error(hr::kFail,
                    "A step of the change was refused, so none of the change was written.");
    }
    commit(pages);
}

}  // namespace jet
