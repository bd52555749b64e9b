// The crash hook. A fatal signal may arrive with the heap or stdio in any state, so the report
// is built on the stack with the small formatter below and written with plain write(2) calls;
// everything that needs more (the documents folder, the build id, the time zone, loading the
// unwinder) is worked out once at installation.
#include <elf.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/Platform.h"

namespace platform {
namespace {

// Text of fixed capacity; what does not fit is cut.
template <size_t N>
struct SafeText {
    char text[N];
    size_t length = 0;

    SafeText& add(const char* s) {
        while (*s != '\0' && length < N - 1)
            text[length++] = *s++;
        text[length] = '\0';
        return *this;
    }
    SafeText& number(uint64_t v, int width = 1, int base = 10) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[v % unsigned(base)];
            v /= unsigned(base);
        } while (v != 0 && n < int(sizeof digits));
        while (n < width && n < int(sizeof digits))
            digits[n++] = '0';
        char out[2] = {0, 0};
        while (n > 0) {
            out[0] = digits[--n];
            add(out);
        }
        return *this;
    }
    SafeText& signedNumber(long v) {
        if (v < 0)
            add("-");
        return number(v < 0 ? 0 - uint64_t(v) : uint64_t(v));
    }
    SafeText& hex(uint64_t v) { return add("0x").number(v, 1, 16); }
};

void writeAll(int fd, const char* text, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, text, n);
        if (w <= 0)
            return;
        text += w;
        n -= size_t(w);
    }
}

template <size_t N>
void writeText(int fd, const SafeText<N>& t) {
    writeAll(fd, t.text, t.length);
}

// Everything the hook needs that cannot be had safely inside it.
char g_docsLine[1100];
char g_buildId[80] = "unknown";
long g_utcOffset = 0;
// Room to run the hook when the crash is a stack overflow.
alignas(16) char g_altStack[64 * 1024];

const char* signalName(int sig) {
    switch (sig) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGFPE:
            return "SIGFPE";
        case SIGILL:
            return "SIGILL";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "?";
    }
}

// The program's own GNU build id, which names the exact binary (and its debug symbols).
int readBuildId(dl_phdr_info* info, size_t, void*) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_NOTE)
            continue;
        const char* p = reinterpret_cast<const char*>(info->dlpi_addr + ph.p_vaddr);
        const char* end = p + ph.p_memsz;
        while (p + sizeof(ElfW(Nhdr)) <= end) {
            const auto* note = reinterpret_cast<const ElfW(Nhdr)*>(p);
            const char* name = p + sizeof(ElfW(Nhdr));
            const char* desc = name + ((note->n_namesz + 3) & ~3u);
            if (note->n_type == NT_GNU_BUILD_ID && note->n_namesz == 4 &&
                std::memcmp(name, "GNU", 4) == 0 && desc + note->n_descsz <= end) {
                SafeText<sizeof g_buildId> id;
                for (unsigned k = 0; k < note->n_descsz; ++k)
                    id.number(uint8_t(desc[k]), 2, 16);
                std::memcpy(g_buildId, id.text, id.length + 1);
                return 1;
            }
            p = desc + ((note->n_descsz + 3) & ~3u);
        }
    }
    return 1;  // the first object is the program itself; libraries do not matter
}

uint64_t programCounter(void* context) {
    const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return uint64_t(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return uint64_t(uc->uc_mcontext.pc);
#else
    (void)uc;
    return 0;
#endif
}

void copyFile(const char* path, int to) {
    int from = ::open(path, O_RDONLY | O_CLOEXEC);
    if (from < 0)
        return;
    char buf[4096];
    for (ssize_t n; (n = ::read(from, buf, sizeof buf)) > 0;)
        writeAll(to, buf, size_t(n));
    ::close(from);
}

void writeReport(int fd, int sig, const siginfo_t* info, void* context) {
    SafeText<1024> head;
    head.add("rvServer v1.0.3 crash report\nsignal ").number(unsigned(sig)).add(" (");
    head.add(signalName(sig)).add(")\ncode ").signedNumber(info->si_code);
    // A signal sent by another process has no faulting access, only a sender.
    if (info->si_code <= 0) {
        head.add(" (sent by process ").signedNumber(info->si_pid).add(")\nfault address none");
    } else {
        head.add("\nfault address ").hex(uint64_t(uintptr_t(info->si_addr)));
    }
    head.add("\nprogram counter ").hex(programCounter(context));
    head.add("\nprocess ").signedNumber(::getpid());
    head.add("\nthread ").signedNumber(long(::syscall(SYS_gettid)));
    head.add("\nbuild id ").add(g_buildId).add("\n\nbacktrace of the crashing thread:\n");
    writeText(fd, head);
    void* frames[64];
    ::backtrace_symbols_fd(frames, ::backtrace(frames, 64), fd);
    const char mapHeading[] = "\nmemory map:\n";
    writeAll(fd, mapHeading, sizeof mapHeading - 1);
    copyFile("/proc/self/maps", fd);
}

void onFatalSignal(int sig, siginfo_t* info, void* context) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    ::mkdir("dumps", 0755);
    char name[160];
    formatCrashDumpName(name, sizeof name, int64_t(now.tv_sec) + g_utcOffset, long(::getpid()),
                        long(::syscall(SYS_gettid)));
    int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd >= 0) {
        writeReport(fd, sig, info, context);
        ::close(fd);
    }
    // The report is on disk; what follows is best effort. The one thread that uses stdio is
    // this one and its stream locks are recursive, so a crash inside stdio cannot hang here.
    std::fputs(g_docsLine, stdout);
    std::fflush(nullptr);
    // The handler was reset on entry: the signal now takes its default course.
    ::raise(sig);
}

}  // namespace

size_t formatCrashDumpName(char* out, size_t capacity, int64_t localSeconds, long pid, long tid) {
    // Calendar date from days since 1970 (proleptic Gregorian, in 400-year eras).
    int64_t days = localSeconds / 86400;
    int64_t secs = localSeconds % 86400;
    if (secs < 0)
        secs += 86400, --days;
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    SafeText<160> t;
    t.add("dumps/rvServer_v1.0.3-").number(uint64_t(year), 4).number(uint64_t(month), 2);
    t.number(uint64_t(day), 2).add("-").number(uint64_t(secs / 3600), 2);
    t.number(uint64_t(secs / 60 % 60), 2).number(uint64_t(secs % 60), 2);
    t.add("-").signedNumber(pid).add("-").signedNumber(tid).add(".dmp");
    if (capacity == 0)
        return 0;
    const size_t n = t.length < capacity - 1 ? t.length : capacity - 1;
    std::memcpy(out, t.text, n);
    out[n] = '\0';
    return n;
}

std::string crashDumpName(int64_t localSeconds, long pid, long tid) {
    char name[160];
    formatCrashDumpName(name, sizeof name, localSeconds, pid, tid);
    return name;
}

void installCrashHook() {
    std::snprintf(g_docsLine, sizeof g_docsLine, "Docs folder is %s\n", documentsFolder().c_str());
    ::dl_iterate_phdr(readBuildId, nullptr);
    time_t now = ::time(nullptr);
    tm local{};
    ::localtime_r(&now, &local);
    g_utcOffset = local.tm_gmtoff;
    // The first backtrace loads the unwinder, which allocates: do it here, not in the hook.
    void* frame[1];
    ::backtrace(frame, 1);

    stack_t alt{};
    alt.ss_sp = g_altStack;
    alt.ss_size = sizeof g_altStack;
    ::sigaltstack(&alt, nullptr);
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
        struct sigaction sa {};
        sa.sa_sigaction = onFatalSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_SIGINFO | SA_RESETHAND | SA_ONSTACK;
        ::sigaction(sig, &sa, nullptr);
    }
}

}  // namespace platform
