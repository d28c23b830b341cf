// Preloaded into a whole-program run to kill it at an exact moment: when the
// program is about to rename a finished temporary file over a final name
// ending in $PEDKIN_KILL_AT_RENAME, for the $PEDKIN_KILL_AT_COUNT-th time
// (default 1), the temporary file is cut to half its length (a write broken
// off) and the process is killed with SIGKILL, as `kill -9` would do. A
// moment picked by polling from outside would race with writes that take
// milliseconds.
#include <dlfcn.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

extern "C" int rename(const char* from, const char* to) {
  using Rename = int (*)(const char*, const char*);
  static const auto next = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "rename"));
  static int seen = 0;
  const char* suffix = std::getenv("PEDKIN_KILL_AT_RENAME");
  if (suffix != nullptr && *suffix != '\0') {
    const std::size_t n = std::strlen(to), k = std::strlen(suffix);
    if (n >= k && std::strcmp(to + n - k, suffix) == 0) {
      const char* count = std::getenv("PEDKIN_KILL_AT_COUNT");
      if (++seen == (count != nullptr ? std::atoi(count) : 1)) {
        struct stat st {};
        if (::stat(from, &st) == 0) (void)::truncate(from, st.st_size / 2);
        ::kill(::getpid(), SIGKILL);
      }
    }
  }
  return next(from, to);
}
