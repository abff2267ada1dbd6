/* Preloaded into Wine for a run: sleeps last as long as on Windows with its
   default timer, whole ticks of 15.625 ms, rather than Linux's exact time.
   Wine's Sleep waits in select() with no descriptors; only those are changed.
   Built by the test with the host's C compiler. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stddef.h>
#include <sys/select.h>

#define TICK_US 15625L

int select(int n, fd_set* r, fd_set* w, fd_set* e, struct timeval* tv) {
  static int (*real)(int, fd_set*, fd_set*, fd_set*, struct timeval*);
  if (!real) real = (int (*)(int, fd_set*, fd_set*, fd_set*, struct timeval*))dlsym(RTLD_NEXT, "select");
  if (n == 0 && !r && !w && !e && tv) {
    long us = (long)tv->tv_sec * 1000000L + (long)tv->tv_usec;
    us = (us + TICK_US - 1) / TICK_US * TICK_US;
    tv->tv_sec = us / 1000000L;
    tv->tv_usec = us % 1000000L;
  }
  return real(n, r, w, e, tv);
}
