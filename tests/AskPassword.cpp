// A program that asks for one password, for the job-control tests that run it from an
// interactive shell. It prints the answer reversed, so that the typed password itself never
// shows on the terminal, and whether echo was on once the question was over. With the argument
// block-ttou it asks with SIGTTOU blocked, which no shell's trap can do.
#include "QHxConsole.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <termios.h>

int main(int argc, char** argv)
{
    if (argc > 1 && strcmp(argv[1], "block-ttou") == 0) {
        sigset_t ttou;
        sigemptyset(&ttou);
        sigaddset(&ttou, SIGTTOU);
        sigprocmask(SIG_BLOCK, &ttou, nullptr);
    }
    char buf[32] = {};
    int r = QHxConsole().ReadPassword(buf);
    std::reverse(buf, buf + strlen(buf));
    termios attributes;
    bool echo = tcgetattr(0, &attributes) == 0 && (attributes.c_lflag & ECHO) != 0;
    printf("result %d reversed [%s] echo %s\n", r, buf, echo ? "on" : "off");
    return 0;
}
