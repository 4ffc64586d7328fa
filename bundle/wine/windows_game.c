/* The Windows stand-in game, kaldrith.exe: what Wine runs where a real Wine is installed.
 * It opens a window with the game's name and the values it was started with, and is told
 * through its environment how to end:
 *
 *   KALDRA_STANDIN_SECONDS         end after this many seconds (otherwise when closed)
 *   KALDRA_STANDIN_EXIT            end with this status (0 when unset)
 *   KALDRA_STANDIN_CRASH           crash (a write through a null pointer) instead of ending
 *   KALDRA_STANDIN_HELPER_SECONDS  leave a helper process behind that lives this long
 *
 * Standard output is the game log; the launch log gets Wine's own messages. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char lines[512];

static double envSeconds(const char* name) {
  const char* text = getenv(name);
  char* end = NULL;
  double seconds = text && *text ? strtod(text, &end) : -1;
  return end && *end == '\0' && seconds >= 0 && seconds < 86400 ? seconds : -1;
}

/* Milliseconds since 1970, for a bench to match against its own clock. */
static long long unixMilliseconds(void) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks = {.LowPart = now.dwLowDateTime, .HighPart = now.dwHighDateTime};
  return (long long)(ticks.QuadPart / 10000ULL) - 11644473600000LL;
}

static void end(HWND window) {
  const char* status = getenv("KALDRA_STANDIN_EXIT");
  printf("Kaldrith stand-in game ended\n");
  fflush(stdout);
  double helper = envSeconds("KALDRA_STANDIN_HELPER_SECONDS");
  if (helper >= 0) {
    /* A process of the prefix that outlives the game, as a game's launcher or crash
     * reporter would. */
    char self[MAX_PATH], command[MAX_PATH + 32];
    GetModuleFileNameA(NULL, self, sizeof self);
    snprintf(command, sizeof command, "\"%s\" --helper %g", self, helper);
    STARTUPINFOA startup = {.cb = sizeof startup};
    PROCESS_INFORMATION process;
    if (CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process)) {
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
  }
  if (getenv("KALDRA_STANDIN_CRASH")) *(volatile int*)NULL = 1;
  DestroyWindow(window);
  ExitProcess(status ? (UINT)atoi(status) & 0xFF : 0);
}

static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      InflateRect(&area, -16, -16);
      DrawTextA(dc, lines, -1, &area, DT_LEFT | DT_TOP | DT_NOPREFIX);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_TIMER:
    case WM_CLOSE:
      end(window);
      return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "--helper") == 0) {
    Sleep((DWORD)(atof(argv[2]) * 1000));
    return 0;
  }
  WCHAR locale[LOCALE_NAME_MAX_LENGTH] = L"";
  GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
  const char* scanCode = getenv("KALDRA_MAC_PICKUP_SCANCODE");
  char folder[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof folder, folder);
  snprintf(lines, sizeof lines, "Kaldrith\n\nLanguage: %ls\nPickup scan code: %s\nFolder: %s",
           locale, scanCode && *scanCode ? scanCode : "(none)", folder);
  printf("Kaldrith stand-in game started in %s\n", folder);
  fflush(stdout);

  WNDCLASSA type = {.lpfnWndProc = windowProc,
                    .hInstance = GetModuleHandleA(NULL),
                    .hCursor = LoadCursor(NULL, IDC_ARROW),
                    .hbrBackground = (HBRUSH)(COLOR_WINDOW + 1),
                    .lpszClassName = "KaldrithGame"};
  RegisterClassA(&type);
  HWND window = CreateWindowA("KaldrithGame", "Kaldrith", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 80, 80,
                              480, 220, NULL, NULL, type.hInstance, NULL);
  if (!window) {
    printf("Kaldrith stand-in game: no window (error %lu)\n", GetLastError());
    return 70;
  }
  UpdateWindow(window);
  printf("Kaldrith window shown at %lld\n", unixMilliseconds());
  fflush(stdout);
  double seconds = envSeconds("KALDRA_STANDIN_SECONDS");
  if (seconds >= 0) SetTimer(window, 1, (UINT)(seconds * 1000), NULL);

  MSG message;
  while (GetMessageA(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
