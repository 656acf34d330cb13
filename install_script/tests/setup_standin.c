/* Stands in for the game's System\Setup.exe in the script's tests. It appends its command
 * line, and whether each argument names an existing file, to Setup.log beside itself, so a
 * test can see how the script called it; it exits with SETUP_STANDIN_EXIT (default 0). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
  char log[MAX_PATH];
  DWORD n = GetModuleFileNameA(NULL, log, MAX_PATH);
  if (n == 0 || n >= MAX_PATH - 12) return 120;
  char* slash = strrchr(log, '\\');
  strcpy(slash ? slash + 1 : log, "Setup.log");
  FILE* out = fopen(log, "ab");
  if (!out) return 121;
  fprintf(out, "cmdline=%s\r\n", GetCommandLineA());
  for (int i = 1; i < argc; ++i) {
    DWORD attrs = GetFileAttributesA(argv[i]);
    int isFile = attrs != INVALID_FILE_ATTRIBUTES && !(attrs & FILE_ATTRIBUTE_DIRECTORY);
    fprintf(out, "arg%d=%s exists=%d\r\n", i, argv[i], isFile);
  }
  fclose(out);
  const char* code = getenv("SETUP_STANDIN_EXIT");
  return code ? atoi(code) : 0;
}
