/* Stands in for the game's System\Setup.exe in the script's tests. It appends its command
 * line, and whether each argument names an existing file, to Setup.log beside itself (in
 * UTF-8, read through the wide functions, so a name outside the code page shows as it
 * arrived), so a test can see how the script called it; it exits with SETUP_STANDIN_EXIT
 * (default 0). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include <shellapi.h>

static void put(FILE* out, const wchar_t* text) {
  char utf8[4 * MAX_PATH * 4];
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, (int)sizeof utf8, NULL, NULL);
  if (n > 0) fputs(utf8, out);
}

int main(void) {
  wchar_t log[MAX_PATH];
  DWORD n = GetModuleFileNameW(NULL, log, MAX_PATH);
  if (n == 0 || n >= MAX_PATH - 12) return 120;
  wchar_t* slash = wcsrchr(log, L'\\');
  wcscpy(slash ? slash + 1 : log, L"Setup.log");
  FILE* out = _wfopen(log, L"ab");
  if (!out) return 121;
  fputs("cmdline=", out);
  put(out, GetCommandLineW());
  fputs("\r\n", out);
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  for (int i = 1; argv && i < argc; ++i) {
    DWORD attrs = GetFileAttributesW(argv[i]);
    int isFile = attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
    fprintf(out, "arg%d=", i);
    put(out, argv[i]);
    fprintf(out, " exists=%d\r\n", isFile);
  }
  fclose(out);
  const char* code = getenv("SETUP_STANDIN_EXIT");
  return code ? atoi(code) : 0;
}
