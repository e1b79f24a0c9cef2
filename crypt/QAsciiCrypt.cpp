#include "QAsciiCrypt.h"

QHxAsciiCrypt::QHxAsciiCrypt() {}
QHxAsciiCrypt::~QHxAsciiCrypt() {}
void QHxAsciiCrypt::Encrypt(const char*, char*, unsigned int) {}
void QHxAsciiCrypt::Decrypt(const char*, char*, int) {}
