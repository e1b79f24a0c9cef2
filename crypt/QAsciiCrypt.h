#ifndef HXCONSOLE_QASCIICRYPT_H
#define HXCONSOLE_QASCIICRYPT_H

#ifndef HX_EXPORT
#define HX_EXPORT __attribute__((visibility("default")))
#endif

class HX_EXPORT QHxAsciiCrypt
{
  public:
    QHxAsciiCrypt();
    virtual ~QHxAsciiCrypt();

    void Encrypt(const char* plain, char* out, unsigned int len);
    void Decrypt(const char* scrambled, char* out, int len);
};

#endif
