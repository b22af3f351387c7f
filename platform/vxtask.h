// Tasks, mutexes and the accounting allocator (stand-ins for the device's OS
// library) over pthreads and malloc.
#pragma once
#include <cstddef>
#include <pthread.h>

typedef pthread_t vx_task_t;
typedef void* (*vx_task_fn)(void* arg);

// Starts a joinable thread running fn(arg); stack_size 0 keeps the default.
// 0 and *task, or -1.
int vx_task_create_join(vx_task_t* task, vx_task_fn fn, void* arg, size_t stack_size);
// Waits for the thread to end. 0 or -1.
int vx_task_join(vx_task_t task);
// Names the calling thread (cut to 15 characters, as the kernel keeps it).
int vx_task_set_name(const char* name);

// Sleeps the whole time, through signals.
void vx_sleep_ms(int ms);

struct vx_mutex_t {
    pthread_mutex_t mutex;
};

int vx_mutex_init(vx_mutex_t* mutex);
int vx_mutex_lock(vx_mutex_t* mutex);
int vx_mutex_unlock(vx_mutex_t* mutex);
int vx_mutex_uninit(vx_mutex_t* mutex);

// A wake-up for threads that poll: a wait ends when another thread signals or
// when the poll interval has passed, whichever comes first.
struct vx_cond_t {
    pthread_cond_t cond;
};

int vx_cond_init(vx_cond_t* cond);
// Called with the mutex held; 0 when signalled, 1 when ms passed, -1 on error.
int vx_cond_wait_ms(vx_cond_t* cond, vx_mutex_t* mutex, int ms);
int vx_cond_broadcast(vx_cond_t* cond);
int vx_cond_uninit(vx_cond_t* cond);

// Allocation with the caller's source name and line. The blocks are counted
// so that a unit's memory use can be read back; free them with __vx_free.
void* __vx_malloc(size_t size, const char* file, int line);
void* __vx_calloc(size_t count, size_t size, const char* file, int line);
void __vx_free(void* block, const char* file, int line);

// Bytes in blocks of __vx_malloc/__vx_calloc not yet freed, and the most
// there have been since the last reset.
size_t vx_mem_in_use();
size_t vx_mem_peak();
void vx_mem_reset_peak();
