/* Preloaded into sanitizer runs only (scripts/sanitize-env.sh): dlclose() keeps every
 * library mapped until the process exits.
 *
 * Mesa unloads its DRI driver when SDL closes the X display on the way out, and what the
 * driver still pointed at from its own globals then looks leaked, with stacks into a
 * module that no longer exists: neither a suppression nor a reader can place them. Kept
 * mapped, that memory stays reachable and LeakSanitizer reports only what nothing holds.
 * Our own code is never unloaded, so this hides nothing of ours. */
#include <stddef.h>

int dlclose(void* handle) {
  (void)handle;
  return 0;
}
