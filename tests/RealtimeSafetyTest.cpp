// Proves that processBlock never allocates, frees or takes a lock: the C
// library's allocation functions and the mutex lock are replaced here by
// counting versions, armed only around processBlock on the test's thread.

#include "ProcessorHarness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <dlfcn.h>
#include <pthread.h>

#if defined(__SANITIZE_ADDRESS__)
#define OVALMERE_COUNTING_ALLOCATOR 0
#else
#define OVALMERE_COUNTING_ALLOCATOR 1
#endif

namespace
{
thread_local bool armed = false;
std::atomic<long> events { 0 };

void note() noexcept
{
    if (armed)
        events.fetch_add (1, std::memory_order_relaxed);
}

struct Armed
{
    Armed() { armed = true; }
    ~Armed() { armed = false; }
};
} // namespace

#if OVALMERE_COUNTING_ALLOCATOR
extern "C"
{
void* __libc_malloc (size_t);
void* __libc_calloc (size_t, size_t);
void* __libc_realloc (void*, size_t);
void* __libc_memalign (size_t, size_t);
void __libc_free (void*);

void* malloc (size_t size) { note(); return __libc_malloc (size); }
void* calloc (size_t count, size_t size) { note(); return __libc_calloc (count, size); }
void* realloc (void* p, size_t size) { note(); return __libc_realloc (p, size); }
void* memalign (size_t alignment, size_t size) { note(); return __libc_memalign (alignment, size); }
void* aligned_alloc (size_t alignment, size_t size) { note(); return __libc_memalign (alignment, size); }

int posix_memalign (void** out, size_t alignment, size_t size)
{
    note();
    *out = __libc_memalign (alignment, size);
    return *out != nullptr ? 0 : 12;
}

void free (void* p)
{
    if (p != nullptr)
        note();
    __libc_free (p);
}

int pthread_mutex_lock (pthread_mutex_t* mutex)
{
    using Lock = int (*) (pthread_mutex_t*);
    static const auto next = reinterpret_cast<Lock> (dlsym (RTLD_NEXT, "pthread_mutex_lock"));
    note();
    return next (mutex);
}
}
#endif

TEST (RealtimeSafety, CountingHooksSeeAllocationsAndLocks)
{
#if OVALMERE_COUNTING_ALLOCATOR
    events = 0;
    {
        Armed a;
        auto* p = new std::vector<int> (100);
        delete p;
        std::mutex m;
        m.lock();
        m.unlock();
    }
    EXPECT_GE (events.load(), 5);
#else
    GTEST_SKIP() << "the address sanitizer owns the allocator";
#endif
}

TEST (RealtimeSafety, ProcessBlockNeverAllocatesOrLocks)
{
#if ! OVALMERE_COUNTING_ALLOCATOR
    GTEST_SKIP() << "the address sanitizer owns the allocator";
#endif
    struct Mode { const char* name; std::vector<std::pair<const char*, float>> settings; int channels; };
    const Mode modes[] = {
        { "defaults", {}, 2 },
        { "forward only", { { "GRANULAR", 0.0f }, { "REVERB", 0.0f } }, 2 },
        { "reverse", { { "REVERSE", 1.0f } }, 2 },
        { "freeze", { { "FREEZE", 1.0f }, { "FEEDBACK", 0.3f } }, 2 },
        { "granular freeze reverse", { { "FREEZE", 1.0f }, { "REVERSE", 1.0f }, { "FEEDBACK", 0.2f } }, 2 },
        { "free time, bypassed", { { "SYNC", 0.0f }, { "ONOFF", 0.0f } }, 2 },
        { "mono", {}, 1 },
    };

    for (const auto& mode : modes)
    {
        for (const int blockSize : { 1, 64, 512, 4096, 5000 })
        {
            SCOPED_TRACE (std::string (mode.name) + ", block " + std::to_string (blockSize));
            Harness h (48000.0, mode.channels);
            for (const auto& [id, value] : mode.settings)
                h.set (id, value);

            juce::AudioBuffer<float> buffer (mode.channels, blockSize);
            juce::MidiBuffer midi;
            const auto noise = makeNoise (blockSize, 5);
            const auto blocks = juce::jmax (40, 48000 / blockSize);

            events = 0;
            for (int b = 0; b < blocks; ++b)
            {
                for (int ch = 0; ch < mode.channels; ++ch)
                    buffer.copyFrom (ch, 0, noise.data(), blockSize);

                // Switching modes mid-stream must be allocation-free too.
                if (b == blocks / 2)
                    h.set ("REVERSE", 1.0f);

                Armed a;
                h.processor->processBlock (buffer, midi);
            }
            EXPECT_EQ (events.load(), 0);
        }
    }
}
