#ifndef HXCONSOLE_QSIMPLECRYPT_H
#define HXCONSOLE_QSIMPLECRYPT_H

#ifndef HX_EXPORT
#define HX_EXPORT __attribute__((visibility("default")))
#endif

class HX_EXPORT QHxSimpleCrypt
{
  public:
    QHxSimpleCrypt();
    virtual ~QHxSimpleCrypt();

    void Encrypt(const char* plain, char* out, unsigned int len);
    void Decrypt(const char* scrambled, char* out, int len);
};

#endif
