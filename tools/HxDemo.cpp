// hxdemo: a guided tour of the library. Each step calls one operation once and shows what it
// returned. The menus answer -1 for their exit entry and at end of input alike, and on a
// terminal nothing tells the two apart afterwards (Ctrl-D is not remembered as the end of a pipe
// is). So Ctrl-D ends the tour at the questions, and at a menu it leaves the menu, as x does.
#include "Ciphers.h"
#include "QHxConsole.h"
#include "ToolCommon.h"

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{

const char kUsage[] = "usage: hxdemo [-h | --help | --version]\n";

const char kHelp[] =
    "A guided tour of the hxconsole library: asks a question of each kind (a name with a\n"
    "default, a number in a range, yes or no, a password typed without echo, shown scrambled\n"
    "and restored), offers both menus and pauses, and prints what each operation returned.\n"
    "\n"
    "End of input (Ctrl-D) at a question ends the tour; at a menu it leaves the menu, as x\n"
    "does. A script can answer it through a pipe or a file, a line per answer.\n"
    "\n"
    "  -h, --help    show this help and exit\n"
    "  --version     show the version and exit\n";

void Step(int number, const char* title)
{
    printf("\n%d. %s\n", number, title);
}

// A prompt answers -1 only when input ended or a read failed: nobody is left to answer.
bool Ended(const char* operation, int result)
{
    if (result >= 0)
        return false;
    // End of input leaves the cursor after the prompt.
    printf("\n   %s returned -1: no answer (end of input). The tour ends here.\n", operation);
    return true;
}

// The ciphers check nothing, so the characters each takes are checked here first.
void ShowCipher(const hxtool::Cipher& cipher, const std::string& password)
{
    const size_t bad =
        hxtool::ByteSet::Taken(cipher).FirstOutside(password.data(), password.size());
    if (bad < password.size()) {
        printf("   %s cannot take it: character %zu is outside its range.\n", cipher.className,
               bad + 1);
        return;
    }
    std::string scrambled = password, restored = password; // its size, then overwritten
    cipher.encrypt(password.data(), scrambled.data(), password.size());
    cipher.decrypt(scrambled.data(), restored.data(), scrambled.size());
    printf("   %s scrambles it to %s", cipher.className, cipher.hex ? "(hex) " : "\"");
    for (unsigned char c : scrambled)
        printf(cipher.hex ? "%02x" : "%c", c);
    printf("%s and restores \"%s\".\n", cipher.hex ? "" : "\"", restored.c_str());
}

// The first three questions, one step each; false when input ended at one.
bool AskQuestions(QHxConsole& console)
{
    Step(1, "ReadString: your name, with a default");
    char name[64] = {};
    int r = console.ReadString("Your name (Enter for operator)", name, sizeof name, "operator");
    if (Ended("ReadString", r))
        return false;
    printf("   ReadString returned %d; the name is \"%s\".\n", r, name);

    Step(2, "ReadInt: a number from 1 to 10, with a default");
    int value = 0, fallback = 5;
    r = console.ReadInt("Retries (1-10, Enter for 5)", value, &fallback, 1, 10);
    if (Ended("ReadInt", r))
        return false;
    printf("   ReadInt returned %d; the number is %d.\n", r, value);

    Step(3, "ReadYesNo: a yes/no question, with a default");
    r = console.ReadYesNo("Keep a log (y/n, Enter for yes)", 1);
    if (Ended("ReadYesNo", r))
        return false;
    printf("   ReadYesNo returned %d (%s).\n", r, r == 1 ? "yes" : "no");
    return true;
}

bool AskPassword(QHxConsole& console)
{
    Step(4, "ReadPassword: a password typed without echo, then scrambled and restored");
    char password[32] = {}; // ReadPassword fills 32 bytes at most, and asks only when empty
    // The hidden read needs a terminal to switch echo off; anywhere else it would refuse.
    const bool hidden = isatty(STDIN_FILENO);
    const char* operation = hidden ? "ReadPassword" : "ReadString";
    if (!hidden)
        printf("   (standard input is not a terminal: the password is read as a plain line)\n");
    int r = hidden ? console.ReadPassword(password, "Password")
                   : console.ReadString("Password", password, sizeof password, "");
    if (Ended(operation, r))
        return false;

    std::string typed = password;
    printf("   %s returned %d; the password has %zu character%s%s.\n", operation, r, typed.size(),
           typed.size() == 1 ? "" : "s",
           typed.size() == sizeof password - 1 ? " (the most a read takes: it may be cut)" : "");
    if (typed.empty()) {
        printf("   An empty password scrambles to an empty text.\n");
        return true;
    }
    for (const hxtool::Cipher& cipher : hxtool::kCiphers)
        ShowCipher(cipher, typed);
    return true;
}

// Both menus, one step each. They cannot end the tour (see the top of this file); after the end
// of a pipe they, and Pause, return at once.
void PickFromMenus(QHxConsole& console)
{
    std::vector<_GENERIC_ITEM> items = {{101, "Database", {}},
                                        {102, "Web server", {}},
                                        {103, "Mail server", {}},
                                        {104, "File share", {}}};
    Step(5, "ListSelect: pick one item");
    _GENERIC_ITEM chosen{};
    int r = console.ListSelect(&items, "Back up which target", &chosen, "Skip this step");
    if (r == -1)
        printf("   ListSelect returned -1: nothing chosen.\n");
    else
        printf("   ListSelect returned %d, the id of \"%s\".\n", r, chosen.name);

    Step(6, "ListSelect: pick a range of items");
    int from = 0, to = 0;
    r = console.ListSelect(&items, &from, &to, "Restore which targets", "Skip this step");
    if (r == -1)
        printf("   ListSelect returned -1: nothing chosen.\n");
    else
        printf("   ListSelect returned %d; from %d to %d (indexes, counted from 0): \"%s\" to "
               "\"%s\".\n",
               r, from, to, items[from].name, items[to].name);
}

const hxtool::ToolText kTool = {"hxdemo", kUsage, kHelp};

} // namespace

int main(int argc, char** argv)
{
    // An option is named by its position: quoted, it could carry escape sequences.
    const int status =
        hxtool::ReadCommandLine(kTool, argc, argv, nullptr, 1, [](int c, int at, const char*) {
            return hxtool::UsageError(kTool,
                                      c == 1 ? "takes no arguments"
                                             : "unknown option in argument " + std::to_string(at));
        });
    if (status >= 0)
        return status;

    // Pause writes its line without flushing; line buffering shows every line as soon as it
    // is printed, to an operator and to a script that drives the dialogue through a pipe.
    setvbuf(stdout, nullptr, _IOLBF, 0);

    printf("hxconsole tour: each step calls one operation and shows what it returned.\n"
           "End of input (Ctrl-D) at a question ends the tour; at a menu it leaves the menu,\n"
           "as x does.\n");

    QHxConsole console;
    if (!AskQuestions(console) || !AskPassword(console))
        return 0;

    PickFromMenus(console);
    Step(7, "Pause: wait for Enter");
    console.Pause("That was the last question.");
    printf("   Pause returned.\n\nEnd of the tour.\n");
    return 0;
}
