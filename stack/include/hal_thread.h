/*
 * Threads and semaphores for programs written against the stack: a thread runs one function,
 * a semaphore counts.
 */
#ifndef HAL_THREAD_H_
#define HAL_THREAD_H_

#include "libiec61850_common_api.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct sThread* Thread;
typedef void* Semaphore;
typedef void* (*ThreadExecutionFunction)(void* parameter);

/* A thread that will run function(parameter) once started. With autodestroy the thread frees
 * itself when the function returns (do not call Thread_destroy then); otherwise Thread_destroy
 * waits for the function to return and frees the thread. NULL when out of resources. */
LIB61850_API Thread Thread_create(ThreadExecutionFunction function, void* parameter, bool autodestroy);
LIB61850_API void Thread_start(Thread thread);
LIB61850_API void Thread_destroy(Thread thread);
LIB61850_API void Thread_sleep(int millies);

LIB61850_API Semaphore Semaphore_create(int initialValue);
/* Waits until the count is positive and decrements it. */
LIB61850_API void Semaphore_wait(Semaphore self);
LIB61850_API void Semaphore_post(Semaphore self);
LIB61850_API void Semaphore_destroy(Semaphore self);

#ifdef __cplusplus
}
#endif

#endif /* HAL_THREAD_H_ */
