// Tasks and mutexes over pthreads; the accounting allocator over malloc.
#include "platform/vxtask.h"

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cerrno>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

int vx_task_create_join(vx_task_t* task, vx_task_fn fn, void* arg, size_t stack_size)
{
    if (!task || !fn)
        return -1;
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0)
        return -1;
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_JOINABLE);
    if (stack_size > 0)
        pthread_attr_setstacksize(&attr, stack_size < (size_t)PTHREAD_STACK_MIN ? (size_t)PTHREAD_STACK_MIN : stack_size);
    int rc = pthread_create(task, &attr, fn, arg);
    pthread_attr_destroy(&attr);
    return rc == 0 ? 0 : -1;
}

int vx_task_join(vx_task_t task)
{
    return pthread_join(task, nullptr) == 0 ? 0 : -1;
}

int vx_task_set_name(const char* name)
{
    if (!name)
        return -1;
#if defined(__linux__)
    char cut[16];
    snprintf(cut, sizeof cut, "%s", name);
    return prctl(PR_SET_NAME, (unsigned long)cut, 0, 0, 0) == 0 ? 0 : -1;
#else
    return 0;  // names are a debugging aid only
#endif
}

int vx_mutex_init(vx_mutex_t* mutex)
{
    return mutex && pthread_mutex_init(&mutex->mutex, nullptr) == 0 ? 0 : -1;
}

int vx_mutex_lock(vx_mutex_t* mutex)
{
    return mutex && pthread_mutex_lock(&mutex->mutex) == 0 ? 0 : -1;
}

int vx_mutex_unlock(vx_mutex_t* mutex)
{
    return mutex && pthread_mutex_unlock(&mutex->mutex) == 0 ? 0 : -1;
}

int vx_mutex_uninit(vx_mutex_t* mutex)
{
    return mutex && pthread_mutex_destroy(&mutex->mutex) == 0 ? 0 : -1;
}

int vx_cond_init(vx_cond_t* cond)
{
    if (!cond)
        return -1;
    // The monotonic clock: a change of the wall clock must not stretch a poll.
    pthread_condattr_t attr;
    if (pthread_condattr_init(&attr) != 0)
        return -1;
    int rc = pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    if (rc == 0)
        rc = pthread_cond_init(&cond->cond, &attr);
    pthread_condattr_destroy(&attr);
    return rc == 0 ? 0 : -1;
}

int vx_cond_wait_ms(vx_cond_t* cond, vx_mutex_t* mutex, int ms)
{
    if (!cond || !mutex || ms < 0)
        return -1;
    struct timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += ms / 1000;
    until.tv_nsec += (long)(ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec++;
        until.tv_nsec -= 1000000000L;
    }
    const int rc = pthread_cond_timedwait(&cond->cond, &mutex->mutex, &until);
    return rc == 0 ? 0 : rc == ETIMEDOUT ? 1 : -1;
}

int vx_cond_broadcast(vx_cond_t* cond)
{
    return cond && pthread_cond_broadcast(&cond->cond) == 0 ? 0 : -1;
}

int vx_cond_uninit(vx_cond_t* cond)
{
    return cond && pthread_cond_destroy(&cond->cond) == 0 ? 0 : -1;
}

namespace {

// Each block carries its size in front so that a free can be counted; the
// header keeps the block aligned as malloc's own.
union BlockHead {
    size_t size;
    max_align_t align;
};

std::atomic<size_t> g_in_use{0};
std::atomic<size_t> g_peak{0};

void count_alloc(size_t size)
{
    size_t now = g_in_use.fetch_add(size) + size;
    size_t peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}

void* finish_block(void* raw, size_t size, const char* file, int line)
{
    if (!raw) {
        fprintf(stderr, "%s:%d: no memory for %lu bytes\n", file ? file : "?", line, (unsigned long)size);
        return nullptr;
    }
    BlockHead* head = (BlockHead*)raw;
    head->size = size;
    count_alloc(size);
    return head + 1;
}

}  // namespace

void* __vx_malloc(size_t size, const char* file, int line)
{
    if (size > SIZE_MAX - sizeof(BlockHead))
        return finish_block(nullptr, size, file, line);
    return finish_block(malloc(sizeof(BlockHead) + size), size, file, line);
}

void* __vx_calloc(size_t count, size_t size, const char* file, int line)
{
    if (size != 0 && count > (SIZE_MAX - sizeof(BlockHead)) / size)
        return finish_block(nullptr, SIZE_MAX, file, line);
    const size_t bytes = count * size;
    return finish_block(calloc(1, sizeof(BlockHead) + bytes), bytes, file, line);
}

void __vx_free(void* block, const char*, int)
{
    if (!block)
        return;
    BlockHead* head = (BlockHead*)block - 1;
    g_in_use.fetch_sub(head->size);
    free(head);
}

size_t vx_mem_in_use()
{
    return g_in_use.load();
}

size_t vx_mem_peak()
{
    return g_peak.load();
}

void vx_mem_reset_peak()
{
    g_peak.store(g_in_use.load());
}

void vx_sleep_ms(int ms)
{
    struct timespec ts = {ms / 1000, (long)(ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0) {
    }
}
