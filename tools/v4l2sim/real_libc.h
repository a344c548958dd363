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

namespace kovracam::v4l2sim::real {

#define KOVRACAM_REAL_FUNCTION(name)                                                            \
  inline auto* name() {                                                                         \
    static auto* const function = reinterpret_cast<decltype(&::name)>(dlsym(RTLD_NEXT, #name)); \
    return function;                                                                            \
  }

KOVRACAM_REAL_FUNCTION(open)
KOVRACAM_REAL_FUNCTION(openat)
KOVRACAM_REAL_FUNCTION(close)
KOVRACAM_REAL_FUNCTION(read)
KOVRACAM_REAL_FUNCTION(write)
KOVRACAM_REAL_FUNCTION(dup)
KOVRACAM_REAL_FUNCTION(dup2)
KOVRACAM_REAL_FUNCTION(dup3)
KOVRACAM_REAL_FUNCTION(fcntl)
KOVRACAM_REAL_FUNCTION(ioctl)
KOVRACAM_REAL_FUNCTION(mmap)
KOVRACAM_REAL_FUNCTION(munmap)
KOVRACAM_REAL_FUNCTION(poll)
KOVRACAM_REAL_FUNCTION(ppoll)
KOVRACAM_REAL_FUNCTION(select)
KOVRACAM_REAL_FUNCTION(pselect)
KOVRACAM_REAL_FUNCTION(stat)
KOVRACAM_REAL_FUNCTION(lstat)
KOVRACAM_REAL_FUNCTION(fstat)
KOVRACAM_REAL_FUNCTION(fstatat)
KOVRACAM_REAL_FUNCTION(statx)
KOVRACAM_REAL_FUNCTION(access)
KOVRACAM_REAL_FUNCTION(faccessat)
KOVRACAM_REAL_FUNCTION(readlink)
KOVRACAM_REAL_FUNCTION(readlinkat)
KOVRACAM_REAL_FUNCTION(realpath)
KOVRACAM_REAL_FUNCTION(opendir)
KOVRACAM_REAL_FUNCTION(fdopendir)
KOVRACAM_REAL_FUNCTION(readdir)
KOVRACAM_REAL_FUNCTION(readdir64)
KOVRACAM_REAL_FUNCTION(closedir)
KOVRACAM_REAL_FUNCTION(rewinddir)

#undef KOVRACAM_REAL_FUNCTION

}  // namespace kovracam::v4l2sim::real
