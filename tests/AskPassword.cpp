// A program that asks for one password, for the job-control tests that run it from an
// interactive shell. It prints the answer reversed, so that the typed password itself never
// shows on the terminal, and whether echo was on once the question was over. With the argument
// block-ttou it asks with SIGTTOU blocked, which no shell's trap can do; with catch-cont it
// handles SIGCONT itself, and tells whether its handler ran and is still in place. With stop it
// wipes the answer, has a SIGWINCH handler of its own run, and stops itself, to be looked through.
#include "QHxConsole.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <termios.h>

namespace
{
volatile sig_atomic_t g_continued = 0;
void Continued(int)
{
    g_continued = 1;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && strcmp(argv[1], "block-ttou") == 0) {
        sigset_t ttou;
        sigemptyset(&ttou);
        sigaddset(&ttou, SIGTTOU);
        sigprocmask(SIG_BLOCK, &ttou, nullptr);
    }
    const bool catchCont = argc > 1 && strcmp(argv[1], "catch-cont") == 0;
    if (catchCont)
        signal(SIGCONT, Continued);
    const bool stop = argc > 1 && strcmp(argv[1], "stop") == 0;
    if (stop)
        signal(SIGWINCH, [](int) {});
    char buf[32] = {};
    int r = QHxConsole().ReadPassword(buf);
    if (stop) {
        explicit_bzero(buf, sizeof buf);
        raise(SIGWINCH);
        return raise(SIGSTOP);
    }
    std::reverse(buf, buf + strlen(buf));
    termios attributes;
    bool echo = tcgetattr(0, &attributes) == 0 && (attributes.c_lflag & ECHO) != 0;
    printf("result %d reversed [%s] echo %s\n", r, buf, echo ? "on" : "off");
    if (catchCont)
        printf("continued %d handler %s\n", static_cast<int>(g_continued),
               signal(SIGCONT, Continued) == Continued ? "kept" : "lost");
    return 0;
}
