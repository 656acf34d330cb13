/* Starts a command line exactly as Orvane.exe does (CreateProcessA with no application
 * name, so a .BAT goes to the command processor), waits for it and returns its exit code.
 * The line comes from ORVANE_LAUNCH_CMDLINE rather than argv: Wine would re-quote argv
 * from Linux, and the point is to hand the script the very text Orvane.exe builds.
 * ORVANE_LAUNCH_TEMP, when set, becomes the child's TEMP and TMP, which name one folder on
 * Windows (the unzip program asks Windows, which reads TMP first): Wine takes both from its
 * own registry, not from the Linux environment. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

int main(void) {
  const char* text = getenv("ORVANE_LAUNCH_CMDLINE");
  if (!text || !*text) {
    fprintf(stderr, "launch: ORVANE_LAUNCH_CMDLINE is not set\n");
    return 120;
  }
  const char* temp = getenv("ORVANE_LAUNCH_TEMP");
  if (temp && *temp) {
    SetEnvironmentVariableA("TEMP", temp);
    SetEnvironmentVariableA("TMP", temp);
  }
  char* line = _strdup(text); /* CreateProcessA may write into its command line */
  STARTUPINFOA startup;
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.wShowWindow = SW_SHOWNORMAL;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started;
  if (!CreateProcessA(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &started)) {
    fprintf(stderr, "launch: CreateProcessA failed, error %lu\n", GetLastError());
    return 121;
  }
  WaitForSingleObject(started.hProcess, INFINITE);
  DWORD code = 122;
  GetExitCodeProcess(started.hProcess, &code);
  CloseHandle(started.hThread);
  CloseHandle(started.hProcess);
  free(line);
  return (int)code;
}
