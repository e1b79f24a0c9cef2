#include "QSimpleCrypt.h"

QHxSimpleCrypt::QHxSimpleCrypt() {}
QHxSimpleCrypt::~QHxSimpleCrypt() {}
void QHxSimpleCrypt::Encrypt(const char*, char*, unsigned int) {}
void QHxSimpleCrypt::Decrypt(const char*, char*, int) {}
