#pragma once

#include <cstdint>
#include <memory>

#include "index/IndexBatch.h"
#include "page/DatabaseHeader.h"
#include "page/Pager.h"
#include "tx/ChangeRunner.h"

namespace jet::index {

// The IndexBatch of the batch being prepared, if any: made when a batch starts, written into
// its pages when the runner asks for held work (before the batch is written, or when a step
// needs the indexes whole), dropped with the batch.
class HeldIndexEntries : public ChangeRunner::Observer {
public:
    // Both must outlive this; the header is read when a batch starts (its sort order).
    HeldIndexEntries(Pager& pager, const DatabaseHeader& header)
        : m_pager(pager), m_header(header) {}

    // Null outside a batch.
    IndexBatch* batch() { return m_batch.get(); }
    bool holdsAny() const { return m_batch && !m_batch->empty(); }

    void batchStarted(PageSet& pages) override {
        m_batch = std::make_unique<IndexBatch>(pages, m_header.sortOrder);
    }
    void batchEnded() override { m_batch.reset(); }
    bool flushHeld() override {
        if (!holdsAny()) return false;
        m_batch->flush(m_pager);
        return true;
    }
    void stepDone(const std::set<uint32_t>&) override {}
    void written(bool) override {}
    void dropped() override {}

private:
    Pager& m_pager;
    const DatabaseHeader& m_header;
    std::unique_ptr<IndexBatch> m_batch;
};

}  // namespace jet::index
