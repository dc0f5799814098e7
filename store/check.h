// Consistency check of a table file and its companion file.
//
// The check reads the raw structure of an open table and lists what breaks
// the rules of the record format, one line per finding:
//
//   table file   its length against data start + record count x record size
//   fields       a field reaching past the record or into the RecordId;
//                two fields of one name
//   records      RecordId 0; an identifier not below the next record id; an
//                identifier that another slot also carries
//   chains       for every Memo and Bytes field of every slot: block numbers
//                within 1 .. block count - 1, used 1..500 (500 in every block
//                but the last), previous links that match the walk, no cycle,
//                no block shared with another chain
//   free list    walked from the first free block: blocks in range, used 0,
//                previous links (except at the head, whose link is never kept
//                up to date), no cycle, its length equal to the free count
//   blocks       a block both free and in a chain; blocks in neither
//   companion    its length against 512 x block count
//
// Two findings are unused space rather than damage: blocks in neither the
// free list nor a chain, and bytes past the last block. A write stopped
// part-way (a failed write, a killed process) may leave them; every reader
// passes them by, and no value depends on them.
//
// Slots count from 0 (slot k lies at data start + k x record size); fields
// count from 1, as the store numbers them. A line names a field by number
// and by its name as stored (GBK), so lines are GBK text; everything else in
// them is ASCII.
//
// The check never follows a link twice, never reads outside a block and
// allocates in proportion to the files' lengths, whatever their bytes.
#pragma once

#include <string>
#include <vector>

namespace tarvok::store {

class RecordStore;

// Opens the table at `path` (GBK) read-only through a store of its own and
// checks it. Returns the store's code when the table cannot be opened (the
// open's own validation comes first: a foreign header gives -22, a file too
// short for its record count -48, a wrong password -78 ...) or its files
// cannot be locked for reading; 0 otherwise. On 0, *problems holds the
// findings, empty when the table is consistent; unused space goes to
// *unused when given, else to *problems as well.
int CheckTable(const std::string& path, const std::string& password,
               std::vector<std::string>* problems, std::vector<std::string>* unused = nullptr);

// Checks the current table of `store`, which may be open read-only or for
// reading and writing. The whole table and its companion are locked for the
// duration, so no other opener writes while the check reads. Returns -67
// when there is no current table, a lock error, or 0 with *problems filled
// as above. The store's LastError is not touched.
int CheckCurrentTable(RecordStore& store, std::vector<std::string>* problems,
                      std::vector<std::string>* unused = nullptr);

}  // namespace tarvok::store
