/* An aarch64 interpreter as a program of this machine, for
   tools/cross_aarch64.sh: runs INTERPRETER under qemu-aarch64 with the tree
   ROOT as its file system prefix, itself as the interpreter's argv[0] (and
   so sys.executable), and the rest of its arguments. Tests start child
   interpreters through sys.executable, which without binfmt_misc the system
   cannot run as an aarch64 program itself.

   Built static, so that an LD_PRELOAD set for the child interpreter (the
   tests' aarch64 shims) is not applied to the launcher itself; it passes it
   on to the emulated interpreter alone, never to the emulator. */
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
  char** args = calloc((size_t)argc + 8, sizeof *args);
  if (args == NULL) return 127;
  int n = 0;
  args[n++] = "qemu-aarch64";
  args[n++] = "-L";
  args[n++] = ROOT;
  const char* preload = getenv("LD_PRELOAD");
  if (preload != NULL && *preload != '\0') {
    static const char kName[] = "LD_PRELOAD=";
    char* setting = malloc(sizeof kName + strlen(preload));
    if (setting == NULL) return 127;
    strcpy(setting, kName);
    strcat(setting, preload);
    args[n++] = "-E";
    args[n++] = setting;
    unsetenv("LD_PRELOAD");
  }
  args[n++] = "-0";
  args[n++] = argv[0];
  args[n++] = INTERPRETER;
  for (int k = 1; k < argc; ++k) args[n++] = argv[k];
  execvp(args[0], args);
  return 127;
}
