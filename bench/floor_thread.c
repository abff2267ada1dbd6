/* The floor for the decision benchmark: a program built like setup that
   starts one thread and waits for it, and does nothing else. */
#include <pthread.h>
#include <stddef.h>

static void* Work(void* arg) { return arg; }

int main(void) {
  pthread_t thread;
  if (pthread_create(&thread, NULL, Work, NULL) != 0) return 1;
  pthread_join(thread, NULL);
  return 0;
}
