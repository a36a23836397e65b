#pragma once
// Standard output as Linux tools treat it: a reader that went away (the end
// of "| head") ends the program quietly, while any other failed write (a full
// disk) is an error.

namespace cli {

// True when standard output is a pipe or FIFO that no program reads any more.
bool StandardOutputReaderGone();

}  // namespace cli
