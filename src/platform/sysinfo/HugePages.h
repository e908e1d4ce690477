#pragma once

// Large lists and merges touch hundreds of megabytes of fresh memory. Where
// the system gives huge pages only to memory that asks for them, the C
// library's heap can ask, which makes that first touch several times
// cheaper; but the library reads that setting only when a program starts.
namespace HugePages {

// Starts this program again, once, with the heap asking for huge pages, when
// the system offers them on request and the setting is not made yet. Call
// it first thing in main(); it returns when there is nothing to do or the
// restart is not possible, and the program goes on as it is. Any
// glibc.malloc.hugetlb setting in GLIBC_TUNABLES (=0 under a debugger or
// valgrind, say) keeps it from restarting.
void RestartWithHugePageHeap(char** argv);

} // namespace HugePages
