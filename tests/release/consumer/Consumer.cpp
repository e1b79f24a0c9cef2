// Uses each of the three installed classes once; exits 0 when all of them behaved.
#include <QAsciiCrypt.h>
#include <QHxConsole.h>
#include <QSimpleCrypt.h>

#include <cstdio>
#include <cstring>

int main()
{
    const char plain[] = "installed library";
    const unsigned int len = sizeof plain - 1;
    char scrambled[sizeof plain] = {};
    char restored[sizeof plain] = {};
    int failures = 0;

    QHxAsciiCrypt ascii;
    ascii.Encrypt(plain, scrambled, len);
    ascii.Decrypt(scrambled, restored, len);
    failures += memcmp(restored, plain, len) != 0 || memcmp(scrambled, plain, len) == 0;

    QHxSimpleCrypt simple;
    simple.Encrypt(plain, scrambled, len);
    simple.Decrypt(scrambled, restored, len);
    failures += memcmp(restored, plain, len) != 0 || memcmp(scrambled, plain, len) == 0;

    // Standard input holds one line, "consumer".
    QHxConsole console;
    char name[16] = {};
    failures += console.Read(name, sizeof name - 1, "Name", false) != 8 || strcmp(name, "consumer");

    printf("\n%s\n", failures == 0 ? "consumer: all good" : "consumer: FAILED");
    return failures == 0 ? 0 : 1;
}
