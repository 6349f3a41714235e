#pragma once
// The one-page sheet run in the terminal, rendered by the console front end.

namespace ferrolan {

struct Context;
struct SheetDescription;
struct PageProcedures;

// Runs the one-page sheet in the terminal: creates the Text page, waits for
// its worker to end, runs the shutdown. Exit code 0 when the status reads
// "OK", 1 otherwise.
int runConsoleSheet(Context& ctx, const SheetDescription& sheet, PageProcedures& procedures);

}  // namespace ferrolan
