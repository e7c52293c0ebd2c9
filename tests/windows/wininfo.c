/* What a Windows viewer would see of a top-level window, for the tests under Wine.
 *
 * usage: wininfo.exe TITLE [SECONDS] [--close]
 *
 * Waits up to SECONDS (default 30) for a visible top-level window titled exactly TITLE,
 * then for its size to hold still, and prints, one a line:
 *   class=NAME            the window class
 *   window=WxH            the whole window, frame included
 *   client=WxH            the client area
 *   text=TEXT             the text of each static control inside it (a message box's
 *                         message), line breaks as \n
 * With --close, it then presses the window's first button, or closes it when it has none.
 * Exit status: 0 found, 1 not found in time, 2 bad usage. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

struct Search {
  const char* title;
  HWND found;
};

static BOOL CALLBACK matchTitle(HWND window, LPARAM data) {
  struct Search* search = (struct Search*)data;
  char title[512];
  if (!IsWindowVisible(window)) return TRUE;
  if (GetWindowTextA(window, title, sizeof title) <= 0) return TRUE;
  if (strcmp(title, search->title) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

static HWND firstButton = NULL;

static BOOL CALLBACK printChild(HWND child, LPARAM unused) {
  char className[64];
  char text[2048];
  (void)unused;
  GetClassNameA(child, className, sizeof className);
  if (_stricmp(className, "Button") == 0 && !firstButton) firstButton = child;
  if (_stricmp(className, "Static") != 0) return TRUE;
  if (GetWindowTextA(child, text, sizeof text) <= 0) return TRUE;
  fputs("text=", stdout);
  for (const char* c = text; *c; ++c) {
    if (*c == '\r') continue;
    if (*c == '\n') {
      fputs("\\n", stdout);
    } else {
      putchar(*c);
    }
  }
  putchar('\n');
  return TRUE;
}

int main(int argc, char** argv) {
  struct Search search = {NULL, NULL};
  double seconds = 30.0;
  int close = 0;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--close") == 0) {
      close = 1;
    } else if (!search.title) {
      search.title = argv[i];
    } else {
      seconds = atof(argv[i]);
    }
  }
  if (!search.title) {
    fputs("usage: wininfo.exe TITLE [SECONDS] [--close]\n", stderr);
    return 2;
  }
  for (int waited = 0; waited <= seconds * 10.0; ++waited) {
    EnumWindows(matchTitle, (LPARAM)&search);
    if (search.found) break;
    Sleep(100);
  }
  if (!search.found) {
    fprintf(stderr, "wininfo: no window titled \"%s\"\n", search.title);
    return 1;
  }
  /* A window may still be sized just after it shows (the show fits its frame inside the
     screen then): it is read once its size has held for half a second, or at the timeout. */
  RECT outer = {0, 0, 0, 0};
  RECT last = {0, 0, 0, 0};
  for (int steady = 0, waited = 0; steady < 5 && waited <= seconds * 10.0; ++waited) {
    GetWindowRect(search.found, &outer);
    steady = EqualRect(&outer, &last) ? steady + 1 : 0;
    last = outer;
    Sleep(100);
  }
  char className[256];
  RECT client;
  GetClassNameA(search.found, className, sizeof className);
  GetClientRect(search.found, &client);
  printf("class=%s\n", className);
  printf("window=%ldx%ld\n", outer.right - outer.left, outer.bottom - outer.top);
  printf("client=%ldx%ld\n", client.right - client.left, client.bottom - client.top);
  EnumChildWindows(search.found, printChild, 0);
  fflush(stdout);
  if (close) {
    if (firstButton) {
      SendMessageA(firstButton, BM_CLICK, 0, 0);
    } else {
      PostMessageA(search.found, WM_CLOSE, 0, 0);
    }
  }
  return 0;
}
