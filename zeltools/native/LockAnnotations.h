// What the lock classes tell the tools that check locking.
//
// Clang's thread-safety analysis (-Wthread-safety) reads the attributes
// behind the VANTREL_* capability macros: a class marked as a capability is a
// lock, its lock and unlock functions acquire and release it, and a member
// marked as guarded by it may be touched only while it is held. With any
// other compiler the macros are empty.
//
// ThreadSanitizer sees a hand-made lock as plain atomics and so cannot report
// lock-order inversions through it. The VANTREL_TSAN_MUTEX_* macros call its
// mutex annotations around the real acquisition and release; without TSan
// they expand to nothing and cost nothing.
#ifndef VANTREL_ZELTOOLS_NATIVE_LOCKANNOTATIONS_H
#define VANTREL_ZELTOOLS_NATIVE_LOCKANNOTATIONS_H

#if defined(__clang__)
#define VANTREL_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define VANTREL_THREAD_ATTRIBUTE(x)
#endif

#define VANTREL_CAPABILITY(name) VANTREL_THREAD_ATTRIBUTE(capability(name))
#define VANTREL_SCOPED_CAPABILITY VANTREL_THREAD_ATTRIBUTE(scoped_lockable)
#define VANTREL_GUARDED_BY(lock) VANTREL_THREAD_ATTRIBUTE(guarded_by(lock))
#define VANTREL_REQUIRES(...) VANTREL_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define VANTREL_ACQUIRE(...) VANTREL_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define VANTREL_RELEASE(...) VANTREL_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define VANTREL_TRY_ACQUIRE(...) VANTREL_THREAD_ATTRIBUTE(try_acquire_capability(__VA_ARGS__))
#define VANTREL_ASSERT_CAPABILITY(lock) VANTREL_THREAD_ATTRIBUTE(assert_capability(lock))
#define VANTREL_NO_THREAD_SAFETY_ANALYSIS VANTREL_THREAD_ATTRIBUTE(no_thread_safety_analysis)

#if defined(__SANITIZE_THREAD__)
#define VANTREL_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VANTREL_TSAN 1
#endif
#endif

#ifdef VANTREL_TSAN
#include <sanitizer/tsan_interface.h>
#define VANTREL_TSAN_MUTEX_CREATE(addr, flags) __tsan_mutex_create(addr, flags)
#define VANTREL_TSAN_MUTEX_DESTROY(addr, flags) __tsan_mutex_destroy(addr, flags)
#define VANTREL_TSAN_MUTEX_PRE_LOCK(addr, flags) __tsan_mutex_pre_lock(addr, flags)
#define VANTREL_TSAN_MUTEX_POST_LOCK(addr, flags, rec) __tsan_mutex_post_lock(addr, flags, rec)
#define VANTREL_TSAN_MUTEX_PRE_UNLOCK(addr, flags) __tsan_mutex_pre_unlock(addr, flags)
#define VANTREL_TSAN_MUTEX_POST_UNLOCK(addr, flags) __tsan_mutex_post_unlock(addr, flags)
#define VANTREL_TSAN_TRY_LOCK __tsan_mutex_try_lock
#define VANTREL_TSAN_TRY_LOCK_FAILED (__tsan_mutex_try_lock | __tsan_mutex_try_lock_failed)
#else
#define VANTREL_TSAN_MUTEX_CREATE(addr, flags)
#define VANTREL_TSAN_MUTEX_DESTROY(addr, flags)
#define VANTREL_TSAN_MUTEX_PRE_LOCK(addr, flags)
#define VANTREL_TSAN_MUTEX_POST_LOCK(addr, flags, rec)
#define VANTREL_TSAN_MUTEX_PRE_UNLOCK(addr, flags)
#define VANTREL_TSAN_MUTEX_POST_UNLOCK(addr, flags)
#define VANTREL_TSAN_TRY_LOCK 0
#define VANTREL_TSAN_TRY_LOCK_FAILED 0
#endif

#endif  // VANTREL_ZELTOOLS_NATIVE_LOCKANNOTATIONS_H
