// corvanta-reader: the helper process in which Corvanta runs the readers that
// are not its own (libmdb, ODBC drivers). GuardedReader starts it with its
// limits, writes one request to its standard input and reads one reply from
// its standard output (ReaderProtocol); it is not meant to be run by hand.
//
// Exit status: 0 after a reply (the reader's error is a reply too),
// ReaderProtocol::ExitOutOfMemory when memory ran out, ExitBadRequest for a
// request it cannot read. A crash in a reader ends it by its signal, unless
// the address space was nearly used up: that is reported as memory.

#include "base/AppError.h"
#include "platform/providers/Dispatch.h"
#include "platform/providers/guarded/ReaderProtocol.h"
#include "platform/providers/sql/AccessReader.h"
#include "platform/providers/sql/SqlServerConnection.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <new>

#include <malloc.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using ReaderProtocol::Operation;
using ReaderProtocol::Reply;

// Whether the address space is within a sixteenth of its limit: a reader
// that crashes there most likely met an allocation that failed (libmdb does
// not check all of its own). Async-signal-safe.
bool NearAddressLimit()
{
    rlimit limit = {};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return false;
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[64];
    const ssize_t length = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (length <= 0)
        return false;
    unsigned long long pages = 0;
    for (ssize_t i = 0; i < length && text[i] >= '0' && text[i] <= '9'; ++i)
        pages = pages * 10 + unsigned(text[i] - '0');
    const unsigned long long used = pages * unsigned(::sysconf(_SC_PAGESIZE));
    return used >= limit.rlim_cur - limit.rlim_cur / 16;
}

// The helper fills one large table in a fresh heap, and on machines like ours
// first touching memory page by page is what the time goes on. Reserve the
// heap in one piece, ask for huge pages on it and keep it: this process is
// short-lived and has one job.
void HeapOfHugePages()
{
    constexpr std::uintptr_t kHuge = std::uintptr_t(2) << 20;
    constexpr int kHeap = 256 << 20;
    ::mallopt(M_MMAP_THRESHOLD, 32 << 20);
    ::mallopt(M_TRIM_THRESHOLD, 2 * kHeap);
    ::mallopt(M_TOP_PAD, kHeap);
    const auto begin = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    // More than the heap has free, so that it grows now, by the pad.
    // (volatile, or the compiler drops the pair).
    void* volatile grown = std::malloc(1 << 20);
    std::free(grown);
    // Later growth in the usual steps: a heap that asks for the pad again
    // would fail long before the address-space limit.
    ::mallopt(M_TOP_PAD, 128 << 10);
    const auto end = reinterpret_cast<std::uintptr_t>(::sbrk(0));
    const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t last = end & ~(kHuge - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

void OnCrash(int signal)
{
    if (NearAddressLimit())
        ::_exit(ReaderProtocol::ExitOutOfMemory);
    // The handler was reset on entry: the signal now ends the process.
    ::raise(signal);
}

void CatchCrashes()
{
    // Room to run the handler when the stack itself overflowed.
    static char alternate[64 * 1024];
    stack_t stack = {};
    stack.ss_sp = alternate;
    stack.ss_size = sizeof alternate;
    ::sigaltstack(&stack, nullptr);
    struct sigaction action = {};
    action.sa_handler = OnCrash;
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGSEGV, SIGBUS, SIGABRT, SIGTRAP, SIGILL, SIGFPE})
        ::sigaction(signal, &action, nullptr);
}

QByteArray ReadAll(int fd)
{
    QByteArray bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, n);
        else if (n == 0 || errno != EINTR)
            return bytes;
    }
}

bool WriteAll(int fd, const QByteArray& bytes)
{
    const char* at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        left -= n;
    }
    return true;
}

int g_replyFd = -1;

// A progress frame, at most four times a second: the program ends a helper
// that stays silent too long, and libmdb caught in a loop reports nothing.
void SignOfLife()
{
    static timespec last = {};
    timespec now = {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    if ((now.tv_sec - last.tv_sec) * 1000 + (now.tv_nsec - last.tv_nsec) / 1000000 < 250)
        return;
    last = now;
    static const QByteArray frame = Reply::Progress().Header();
    WriteAll(g_replyFd, frame);
}

Reply Answer(const ReaderProtocol::Request& request)
{
    using ProviderDispatch::Where;
    try {
        switch (request.operation) {
        case Operation::Open:
            return Reply::Of(ProviderDispatch::Open(request.connectionString, request.source, Where::ThisProcess));
        case Operation::TableNames:
            return Reply::Of(ProviderDispatch::TableNames(request.connectionString, Where::ThisProcess));
        case Operation::TestConnection:
            ProviderDispatch::TestConnection(request.connectionString, Where::ThisProcess);
            return Reply::Done();
        case Operation::Databases:
            return Reply::Of(SqlServerConnection(request.connectionString).Databases());
        }
    } catch (const AppError& error) {
        return Reply::Of(error);
    }
    return Reply::Done();
}

} // namespace

int main(int argc, char* argv[])
{
    // Standard output carries the reply and nothing else: whatever a library
    // prints goes nowhere.
    const int replyFd = g_replyFd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (replyFd < 0 || nowhere < 0 || ::dup2(nowhere, STDOUT_FILENO) < 0)
        return ReaderProtocol::ExitBadRequest;
    CatchCrashes();
    HeapOfHugePages();

    QCoreApplication app(argc, argv);
    const std::optional<ReaderProtocol::Request> request = ReaderProtocol::DecodeRequest(ReadAll(STDIN_FILENO));
    if (!request)
        return ReaderProtocol::ExitBadRequest;
    AccessReader::SetProgress(SignOfLife);
    try {
        const Reply reply = Answer(*request);
        if (!WriteAll(replyFd, reply.Header()) || !WriteAll(replyFd, reply.payload))
            ::_exit(ReaderProtocol::ExitBadRequest);
    } catch (const std::bad_alloc&) {
        ::_exit(ReaderProtocol::ExitOutOfMemory);
    }
    // Drivers' clean-up at exit is foreign code too, and the reply is out.
    ::_exit(0);
}
