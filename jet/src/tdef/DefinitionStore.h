#pragma once

#include <cstdint>

#include "jet/Schema.h"
#include "page/PageSet.h"
#include "page/PageSpace.h"
#include "tdef/StoredTableDef.h"

namespace jet {

class TextCodec;

// Puts a table definition on its TDEF pages within a change: the chain grows by pages taken
// from the free map or gives surplus pages back, so a definition that outgrows its page (or
// shrinks) stays one chain starting at the same page.
class DefinitionStore {
public:
    // def.tdefPage must be set; def.tdefPages is the current chain (empty for a new table,
    // whose first page has just been allocated) and is updated. A Jet 3 `text` writes the
    // Access 97 layout (see TableDefWriter).
    static void write(PageSet& pages, PageSpace& space, StoredTableDef& def,
                      const TextCodec* text = nullptr);
    // Frees every page of the chain.
    static void release(PageSpace& space, const StoredTableDef& def);
};

}  // namespace jet
