#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "jet/Env.h"
#include "page/Pager.h"

namespace jet {

// How refusals name a database: "The database '<path>'", or "The database" for one without a
// path (in memory).
inline std::string databaseName(const FileIO& file) {
    const std::string name = file.name();
    return name.empty() ? std::string("The database") : "The database '" + name + "'";
}

// Rollback journal: how one change to the database becomes all-or-nothing.
//
// Invariants of the database file and its journal, kept by every change:
//  1. Before any byte of a page that already exists in the database file changes, that page's
//     stored (encoded) content, the file's length and a checksum over both are in the journal,
//     and the journal has been synced.
//  2. A journal whose checksum holds is "hot" unless its change finished (rule 4): the
//     database may hold any mix of old and new pages, and the only way back to a sound file is
//     to copy every journaled page back and cut the file to the journaled length. Doing so
//     twice is harmless.
//  3. A journal whose checksum fails was never complete, so rule 1 guarantees the database was
//     not touched yet; it is simply removed.
//  4. A change is done, and permanent, when all its pages are written and the database synced.
//     The journal also holds the file's length after the change and a sum of every page the
//     change writes, as stored; a journal whose database already matches them restores nothing,
//     whether or not its header was blanked. The header is blanked afterwards all the same. The
//     journal file stays for the next change and goes when the database closes; a journal that
//     restores nothing is removed only by a program that has the file to itself.
//  5. No open of the database reads it while a hot journal lies beside it: an open for writing
//     rolls back first (holding the file alone), a read-only open refuses.
//  6. Pages added past the end of the file need no journal record: cutting the file back to the
//     journaled length removes them.
//  7. After any failure while writing, the open database takes no more changes until it is
//     opened again; its own attempt to roll back from memory may have failed as well.
//
// The syncs of one change, and why neither can go:
//  a. the journal's bytes (and on the first change of an open, its name, by syncing the
//     folder): rule 1, before the first page of the database is overwritten;
//  b. the database: rule 4, the change is permanent once this returns.
// Two per change. The blanked header needs no sync of its own: should a power loss bring the
// old header back, the sums after the change show that the database already holds it, so the
// next open does not undo a change reported done (with the header's sync this cost three, and
// removing and creating the journal for each change a fourth, the folder after the removal).
// The journal is written over rather than emptied first, so that its length and blocks stay as
// they were and sync a. carries the new bytes alone; a journal may therefore be longer than what
// its header counts, and only that is read. Journals of the first layout (without the sums)
// are still read, and are hot whenever their checksum holds.
class Journal {
public:
    // Writes the dirty pages (plain bytes, ascending page numbers) under the protection of a
    // journal and blanks the journal once the database is synced. Throws on failure after
    // trying to put the file back as it was; a hot journal may be left for the next open.
    static void commit(Pager& pager, JournalStore& store,
                       const std::map<uint32_t, std::vector<uint8_t>>& dirty);

    // Rolls back a hot journal left beside the file. Returns true when it did. A read-only open
    // cannot write the pages back and is refused (hr::kLocked) instead; a journal that was never
    // completed is removed (when writable) or ignored.
    static bool recover(FileIO& db, JournalStore& store, bool readOnly);

    // Removes a journal that restores nothing, when nobody else has the database open; leaves
    // a hot journal, and ignores failures (a leftover blank journal is harmless).
    static void discard(FileIO& db, JournalStore& store);

    // True when a journal lies beside the file that would roll a change back.
    static bool isHot(FileIO& db, JournalStore& store);

    static constexpr char kMagic[8] = {'T', 'S', 'J', 'R', 'N', 'L', '0', '2'};
    static constexpr char kFirstMagic[8] = {'T', 'S', 'J', 'R', 'N', 'L', '0', '1'};
    static constexpr size_t kHeaderSize = 32;

private:
    // The journal's bytes when they restore something.
    static std::optional<std::vector<uint8_t>> readHot(FileIO& db, JournalStore& store);
};

}  // namespace jet
