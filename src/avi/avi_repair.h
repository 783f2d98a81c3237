#pragma once
// Makes a movie that was cut off (a crash, a kill, a power cut, a copy cut short) whole again:
// rebuilds the RIFF and list sizes, the stream lengths and every index from the chunks that are
// in the file. A chunk or record cut in half is dropped, and so is what a take wrote past its
// last checkpoint that is not a chunk; nothing else is. Works on the files Writer makes and on
// other writers' of the same kind (AVI with a super index per stream, in one or more RIFF
// segments, with padding, records and chunks of their own among the frames).

#include "avi/byte_file.h"

namespace avi {

enum class RepairResult {
    Repaired,
    NothingToDo, // the file is whole already
    NotReadable, // not an AVI this can read, or one a repair would take something readable
                 // from, or larger than a repair can hold in memory; left as it was
    WriteFailed, // the file could not be written; it may be cut shorter than before
};

[[nodiscard]] RepairResult Repair(ByteFile& file);

// Whether Repair would have anything to do, without writing: Repaired for a cut-off movie,
// NothingToDo for a whole one, NotReadable for anything else. A whole movie made by Writer is
// known from its headers and indexes, without reading every chunk, however long it is.
[[nodiscard]] RepairResult CheckRepair(ByteFile& file);

} // namespace avi
