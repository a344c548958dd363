#pragma once
// The C library's own functions behind the ones the simulator replaces. The simulator calls
// only these itself, so that its own work never comes back through its replacements.

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <unistd.h>

// A 32-bit build takes 64-bit file offsets and times, as 32-bit programs of today (Wine among
// them) are built: the C library's headers then name the 64-bit calls by the plain names, and
// the libc's symbols behind those are the *64 and *_time64 ones.
#if defined(__i386__)
#if !defined(__USE_FILE_OFFSET64) || !defined(__USE_TIME_BITS64)
#error "the 32-bit simulator needs -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64"
#endif
#define KOVRACAM_PLAIN_NAMES_ARE_64 1
#define KOVRACAM_LIBC_SYMBOL(plain, wide) wide
#else
#define KOVRACAM_LIBC_SYMBOL(plain, wide) plain
#endif

namespace kovracam::v4l2sim::real {

#define KOVRACAM_REAL_SYMBOL(name, symbol)                                                       \
  inline auto* name() {                                                                          \
    static auto* const function = reinterpret_cast<decltype(&::name)>(dlsym(RTLD_NEXT, symbol)); \
    return function;                                                                             \
  }
#define KOVRACAM_REAL_FUNCTION(name) KOVRACAM_REAL_SYMBOL(name, #name)
#define KOVRACAM_REAL_WIDE(name, wide) KOVRACAM_REAL_SYMBOL(name, KOVRACAM_LIBC_SYMBOL(#name, wide))

KOVRACAM_REAL_WIDE(open, "open64")
KOVRACAM_REAL_WIDE(openat, "openat64")
KOVRACAM_REAL_FUNCTION(close)
KOVRACAM_REAL_FUNCTION(read)
KOVRACAM_REAL_FUNCTION(write)
KOVRACAM_REAL_FUNCTION(dup)
KOVRACAM_REAL_FUNCTION(dup2)
KOVRACAM_REAL_FUNCTION(dup3)
KOVRACAM_REAL_WIDE(fcntl, "__fcntl_time64")
KOVRACAM_REAL_WIDE(ioctl, "__ioctl_time64")
KOVRACAM_REAL_WIDE(mmap, "mmap64")
KOVRACAM_REAL_FUNCTION(munmap)
KOVRACAM_REAL_FUNCTION(poll)
KOVRACAM_REAL_WIDE(ppoll, "__ppoll64")
KOVRACAM_REAL_WIDE(select, "__select64")
KOVRACAM_REAL_WIDE(pselect, "__pselect64")
KOVRACAM_REAL_WIDE(stat, "__stat64_time64")
KOVRACAM_REAL_WIDE(lstat, "__lstat64_time64")
KOVRACAM_REAL_WIDE(fstat, "__fstat64_time64")
KOVRACAM_REAL_WIDE(fstatat, "__fstatat64_time64")
KOVRACAM_REAL_FUNCTION(statx)
KOVRACAM_REAL_FUNCTION(access)
KOVRACAM_REAL_FUNCTION(faccessat)
KOVRACAM_REAL_FUNCTION(readlink)
KOVRACAM_REAL_FUNCTION(readlinkat)
KOVRACAM_REAL_FUNCTION(realpath)
KOVRACAM_REAL_FUNCTION(opendir)
KOVRACAM_REAL_FUNCTION(fdopendir)
KOVRACAM_REAL_WIDE(readdir, "readdir64")
KOVRACAM_REAL_FUNCTION(readdir64)
KOVRACAM_REAL_FUNCTION(closedir)
KOVRACAM_REAL_FUNCTION(rewinddir)

#undef KOVRACAM_REAL_WIDE
#undef KOVRACAM_REAL_FUNCTION
#undef KOVRACAM_REAL_SYMBOL

}  // namespace kovracam::v4l2sim::real
