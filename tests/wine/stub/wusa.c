/*
 * A stand-in for the Windows Update standalone installer, for the wine runs
 * of esu-prereq-check. It appends its command line, as one line, to
 * wusa-args.txt next to itself and ends with the code written in decimal in
 * wusa-code.txt next to itself (0 when that file is missing).
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

/* path of `name` in the folder of this program, into out[size]. */
static int SiblingPath(const char* name, char* out, size_t size)
{
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
    if (length == 0 || length >= sizeof self)
        return 0;
    char* slash = strrchr(self, '\\');
    if (slash)
        slash[1] = '\0';
    return snprintf(out, size, "%s%s", self, name) < (int)size;
}

int main(void)
{
    char path[MAX_PATH + 32];
    if (SiblingPath("wusa-args.txt", path, sizeof path)) {
        FILE* args = fopen(path, "ab");
        if (args) {
            fprintf(args, "%s\n", GetCommandLineA());
            fclose(args);
        }
    }
    unsigned long code = 0;
    if (SiblingPath("wusa-code.txt", path, sizeof path)) {
        FILE* in = fopen(path, "rb");
        if (in) {
            if (fscanf(in, "%lu", &code) != 1)
                code = 0;
            fclose(in);
        }
    }
    ExitProcess((UINT)code);
}
