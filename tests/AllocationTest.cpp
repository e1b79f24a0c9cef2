// No operation of the library allocates heap memory.
//
// This program replaces malloc and its relatives with versions that count calls while a flag
// is up and hand the work to glibc's own allocator. operator new, in every form, reaches them
// through libstdc++, and so do libc's internal allocations. Each operation runs in a child of
// its own: fresh streams, and no first-call allocation hidden by an earlier test. The streams
// the call uses are used once before counting starts, since their buffers come from malloc on
// first use, and that is libc's business.
//
// The sanitizers and valgrind bring allocators of their own that this cannot count; there the
// test is skipped, and the release build gives the proof.
#include "ChildRun.h"
#include "QAsciiCrypt.h"
#include "QHxConsole.h"
#include "QSimpleCrypt.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <malloc.h>
#include <new>
#include <stdio_ext.h>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define HX_FOREIGN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) ||                         \
    __has_feature(memory_sanitizer)
#define HX_FOREIGN_ALLOCATOR 1
#endif
#endif

using namespace hxtest;

namespace
{

std::atomic<bool> g_counting{false};
std::atomic<int> g_allocations{0};

} // namespace

#ifndef HX_FOREIGN_ALLOCATOR

namespace
{

void Note()
{
    if (g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void* __libc_valloc(size_t);
void* __libc_pvalloc(size_t);
void __libc_free(void*);

void* malloc(size_t size) noexcept
{
    Note();
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) noexcept
{
    Note();
    return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) noexcept
{
    Note();
    return __libc_realloc(block, size);
}

void* aligned_alloc(size_t alignment, size_t size) noexcept
{
    Note();
    return __libc_memalign(alignment, size);
}

void* memalign(size_t alignment, size_t size) noexcept
{
    Note();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** block, size_t alignment, size_t size) noexcept
{
    Note();
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0)
        return EINVAL;
    void* got = __libc_memalign(alignment, size);
    if (got == nullptr)
        return ENOMEM;
    *block = got;
    return 0;
}

void* valloc(size_t size) noexcept
{
    Note();
    return __libc_valloc(size);
}

void* pvalloc(size_t size) noexcept
{
    Note();
    return __libc_pvalloc(size);
}

// glibc wants free replaced along with malloc; it has nothing to count.
void free(void* block) noexcept
{
    __libc_free(block);
}
}

#endif

namespace
{

#ifdef HX_FOREIGN_ALLOCATOR
const bool kForeignAllocator = true;
#else
const bool kForeignAllocator = false;
#endif

// Valgrind serves libc's and libstdc++'s allocations itself, past the counting functions.
bool UnderValgrind()
{
    const char* preload = getenv("LD_PRELOAD");
    return preload != nullptr && strstr(preload, "vgpreload") != nullptr;
}

class NoAllocation : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (kForeignAllocator)
            GTEST_SKIP() << "a sanitizer's allocator cannot be replaced; the release build counts";
        if (UnderValgrind())
            GTEST_SKIP() << "valgrind's allocator bypasses the counter; run without it";
    }
};

// The library's operation, from creating its object to the result.
using Operation = std::function<int()>;

// Counts the allocations of `op` in the child: Outcome::values[0]. With `readsStdin`, the
// input's first line is taken through the standard input stream beforehand.
Call Counted(const Operation& op, bool readsStdin = false)
{
    return [op, readsStdin] {
        // A byte written and thrown away gives standard output its buffer; nothing is shown.
        fputc(' ', stdout);
        __fpurge(stdout);
        if (readsStdin) {
            char line[64];
            if (fgets(line, sizeof line, stdin) == nullptr)
                return Outcome{-99};
        }
        g_allocations = 0;
        g_counting = true;
        int result = op();
        g_counting = false;
        return Outcome{result, {g_allocations.load()}};
    };
}

struct Case {
    const char* name;
    std::string input;
    Operation op;
    int result;
};

void ExpectNoAllocation(const Transcript& run, int result)
{
    ASSERT_TRUE(run.returned) << "stdout: " << run.out << "\nstderr: " << run.err;
    EXPECT_EQ(run.outcome.result, result) << "the case did not take the path it is about";
    ASSERT_EQ(run.outcome.values.size(), 1u);
    EXPECT_EQ(run.outcome.values[0], 0) << "allocations";
}

// On a pipe one plain read takes every line that is there; on a terminal each read takes one
// line, as the operator typed it. Cases that answer more than once are typed.
enum class Input { Pipe, Typed };

void RunCases(Input how, const std::vector<Case>& cases, bool readsStdin = false)
{
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string keys = c.input;
        Transcript run = how == Input::Pipe ? RunOnPipe(keys, Counted(c.op, readsStdin))
                                            : RunOnTerminal(Counted(c.op, readsStdin),
                                                            [keys](Terminal& t) { t.Type(keys); });
        ExpectNoAllocation(run, c.result);
    }
}

// Read into a cleared buffer with room for a hidden line and for `size` + 1 bytes.
Operation Reading(unsigned long size, const char* prompt, bool hidden)
{
    return [=] {
        char b[130] = {};
        return QHxConsole().Read(b, size, prompt, hidden);
    };
}

std::vector<_GENERIC_ITEM> MakeItems(int count)
{
    std::vector<_GENERIC_ITEM> items(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        _GENERIC_ITEM& item = items[static_cast<size_t>(i)];
        memset(&item, 0, sizeof item);
        item.id = 100 + i;
        snprintf(item.name, sizeof item.name, "Host %d", i + 1);
    }
    return items;
}

void* volatile g_sink;

} // namespace

// Without this, a counter that sees nothing would prove nothing.
TEST_F(NoAllocation, CounterSeesEveryWayToAllocate)
{
    const std::vector<std::pair<const char*, std::function<void()>>> ways = {
        {"malloc", [] { free(g_sink = malloc(16)); }},
        {"calloc", [] { free(g_sink = calloc(4, 4)); }},
        {"realloc", [] { free(g_sink = realloc(nullptr, 16)); }},
        {"aligned_alloc", [] { free(g_sink = aligned_alloc(64, 64)); }},
        {"posix_memalign",
         [] {
             void* p = nullptr;
             if (posix_memalign(&p, 64, 64) == 0)
                 free(g_sink = p);
         }},
        {"memalign", [] { free(g_sink = memalign(64, 64)); }},
        {"valloc", [] { free(g_sink = valloc(64)); }},
        {"new", [] { delete static_cast<int*>(g_sink = new int(1)); }},
        {"new[]", [] { delete[] static_cast<char*>(g_sink = new char[32]); }},
        {"aligned new",
         [] {
             struct alignas(64) Wide {
                 char bytes[64];
             };
             delete static_cast<Wide*>(g_sink = new Wide);
         }},
        {"nothrow new", [] { delete static_cast<int*>(g_sink = new (std::nothrow) int(1)); }},
        {"libc inside", [] { free(g_sink = strdup("text")); }},
    };
    for (const auto& way : ways) {
        g_allocations = 0;
        g_counting = true;
        way.second();
        g_counting = false;
        EXPECT_GE(g_allocations.load(), 1) << way.first;
    }
}

TEST_F(NoAllocation, LineReader)
{
    const std::vector<Case> cases = {
        {"a line", "hello\n", Reading(15, "Name", false), 5},
        {"a chunk", "123456789\n", Reading(7, nullptr, false), 7},
        {"end of input", "", Reading(15, "Name", false), -1},
        // Not a terminal: the failure report goes through strerror and standard error.
        {"hidden, no terminal", "secret\n", Reading(128, "Key", true), -1},
    };
    RunCases(Input::Pipe, cases);
}

TEST_F(NoAllocation, TypedPrompts)
{
    int value = 0;
    int* v = &value;
    const std::vector<Case> cases = {
        {"ReadInt escape", "x\n", [v] { return QHxConsole().ReadInt(*v, 'x'); }, 1},
        {"ReadInt number", "42\n",
         [v] {
             int r = QHxConsole().ReadInt(*v, 'x');
             return r == 0 ? *v : -2;
         },
         42},
        {"ReadInt range, complaint then default", "12\n\n",
         [v] {
             int d = 5;
             int r = QHxConsole().ReadInt("Count", *v, &d, 1, 10);
             return r == 0 ? *v : -2;
         },
         5},
        {"ReadInt, bad default", "",
         [v] {
             int d = 11;
             return QHxConsole().ReadInt("Count", *v, &d, 1, 10);
         },
         -1},
        {"ReadYesNo", "maybe\n\nyes\n", [] { return QHxConsole().ReadYesNo("Sure", 0); }, 1},
        {"ReadString default", "\n",
         [] {
             char b[16] = {};
             return QHxConsole().ReadString("Host", b, sizeof b, "abc");
         },
         3},
        {"ReadPassword, known", "",
         [] {
             char b[32] = "known";
             return QHxConsole().ReadPassword(b);
         },
         0},
    };
    RunCases(Input::Typed, cases);

    // Pause reads through the stream, and its input's first line warms the stream up.
    const std::vector<Case> pause = {{"Pause", "warm-up\n\n",
                                      [] {
                                          QHxConsole().Pause("Done");
                                          return 0;
                                      },
                                      0}};
    RunCases(Input::Pipe, pause, true);
}

TEST_F(NoAllocation, Menus)
{
    // Made before the child starts counting; the menus only read it.
    std::vector<_GENERIC_ITEM> items = MakeItems(5);
    std::vector<_GENERIC_ITEM>* list = &items;
    auto one = [list](const char* title) {
        return [list, title] {
            _GENERIC_ITEM chosen;
            return QHxConsole().ListSelect(list, title, &chosen, nullptr);
        };
    };
    auto range = [list](const char* title) {
        return [list, title] {
            int from = 0, to = 0;
            int r = QHxConsole().ListSelect(list, &from, &to, title, "Back");
            return r < 0 ? r : from * 10 + to;
        };
    };
    const std::vector<Case> cases = {
        {"single choice", "\n9\nX\n2\n", one("Hosts"), 101},
        {"single choice, end of input", "7\n\x04", one(nullptr), -1},
        {"range, complaints then a range", "4-2\n7\n\n2-4\n", range(nullptr), 13},
        {"range, ALL", "all\n", range("Hosts"), 4},
        {"range, end of input", "0\n\x04", range(nullptr), -1},
    };
    RunCases(Input::Typed, cases);
}

TEST_F(NoAllocation, HiddenReadsOnTerminal)
{
    // The first line typed warms up the standard input stream; the hidden read gets the next.
    auto typed = [](const std::string& keys) {
        return [keys](Terminal& t) {
            t.Type("warm-up\n");
            ASSERT_TRUE(t.WaitForEcho(false));
            t.Type(keys);
        };
    };
    const std::vector<Case> cases = {
        {"Read", "secret\n", Reading(128, "Key", true), 6},
        {"Read, end of input", "\x04", Reading(128, "Key", true), -1},
        {"ReadPassword", "secret\n",
         [] {
             char b[32] = {};
             return QHxConsole().ReadPassword(b) == 0 ? static_cast<int>(strlen(b)) : -2;
         },
         6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Transcript run = RunOnTerminal(Counted(c.op, true), typed(c.input));
        ExpectNoAllocation(run, c.result);
        EXPECT_TRUE(run.echoAfter);
    }
}

namespace
{

// Builds the cipher, scrambles and restores a text both ways, and says whether it came back.
template <class Cipher, int Last>
int RoundTrips(size_t length, bool inPlace)
{
    char plain[600];
    char work[600];
    char scrambled[600];
    for (size_t i = 0; i < length; ++i)
        plain[i] = static_cast<char>(32 + i * 7 % (Last - 31));
    memcpy(work, plain, length);
    Cipher cipher;
    char* out = inPlace ? work : scrambled;
    cipher.Encrypt(work, out, static_cast<unsigned int>(length));
    cipher.Decrypt(out, work, static_cast<int>(length));
    return memcmp(work, plain, length) == 0 ? 0 : 1;
}

} // namespace

TEST_F(NoAllocation, Ciphers)
{
    // Short texts and one long enough for the way Decrypt handles long texts.
    const std::vector<Case> cases = {
        {"Simple, short", "", [] { return RoundTrips<QHxSimpleCrypt, 127>(20, false); }, 0},
        {"Simple, long, in place", "", [] { return RoundTrips<QHxSimpleCrypt, 127>(600, true); },
         0},
        {"Ascii, short, in place", "", [] { return RoundTrips<QHxAsciiCrypt, 122>(20, true); }, 0},
        {"Ascii, long", "", [] { return RoundTrips<QHxAsciiCrypt, 122>(600, false); }, 0},
    };
    RunCases(Input::Pipe, cases);
}
