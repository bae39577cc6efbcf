// Keeps the statically linked C++ runtime within glibc 2.28.
//
// The module carries its own copy of libstdc++ (std::from_chars alone would
// otherwise demand a 2021 libstdc++ of the system). That archive was built
// against the build machine's glibc, so the parts of it the module pulls in
// (std::pmr behind from_chars, the exception and string support) refer to
// symbols at the build glibc's newest versions: the pthread functions at
// GLIBC_2.34 (where libpthread moved into libc), __libc_single_threaded at
// 2.32, arc4random at 2.36. The definitions below satisfy those references
// inside the module, each with glibc 2.28's means, so the module asks the
// system for nothing newer than 2.28. All are hidden: the dynamic symbol
// table never shows them, so nothing outside the module sees them.
#include <cstdint>  // first: it defines __GLIBC__
#include <cstdlib>

#if defined(TARNWICK_STATIC_RUNTIME) && defined(__GLIBC__) && defined(__x86_64__)

#define TARNWICK_HIDDEN __attribute__((visibility("hidden")))

// The pthread functions at the version every x86-64 glibc has had since the
// first; from 2.34 on, libc keeps them under that version too.
#define TARNWICK_OLD_PTHREAD(ret, name, params, args)                                    \
    extern "C" ret tarnwick_old_##name params;                                           \
    __asm__(".symver tarnwick_old_" #name "," #name "@GLIBC_2.2.5");                     \
    extern "C" TARNWICK_HIDDEN ret name params { return tarnwick_old_##name args; }

// The types as opaque as the runtime's calls allow: a key is an unsigned
// int, a rwlock is only ever passed by address.
using tarnwick_key_t = unsigned int;
TARNWICK_OLD_PTHREAD(int, pthread_key_create, (tarnwick_key_t * key, void (*destructor)(void*)),
                     (key, destructor))
TARNWICK_OLD_PTHREAD(int, pthread_key_delete, (tarnwick_key_t key), (key))
TARNWICK_OLD_PTHREAD(void*, pthread_getspecific, (tarnwick_key_t key), (key))
TARNWICK_OLD_PTHREAD(int, pthread_setspecific, (tarnwick_key_t key, const void* value), (key, value))
TARNWICK_OLD_PTHREAD(int, pthread_rwlock_rdlock, (void* lock), (lock))
TARNWICK_OLD_PTHREAD(int, pthread_rwlock_wrlock, (void* lock), (lock))
TARNWICK_OLD_PTHREAD(int, pthread_rwlock_unlock, (void* lock), (lock))

extern "C" {

// The runtime skips atomic reference counting while this says the process
// has one thread. Zero claims nothing, so the runtime always counts
// atomically: correct under any threading, at the cost of a locked
// instruction where glibc 2.32 could have spared it.
TARNWICK_HIDDEN char __libc_single_threaded = 0;

int getentropy(void* buffer, std::size_t length);  // GLIBC_2.25

// Only std::random_device could call this (the module never makes one);
// like glibc's, it cannot fail.
TARNWICK_HIDDEN std::uint32_t arc4random() {
    std::uint32_t value;
    if (getentropy(&value, sizeof value) != 0) std::abort();
    return value;
}

}  // extern "C"

#endif
