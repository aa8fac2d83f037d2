#include "net/sha256.h"

#include <openssl/evp.h>

std::string Sha256Hex(const uint8_t* pData, size_t nLength)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int nDigest = 0;
    static const uint8_t cEmpty = 0;
    if (EVP_Digest(nLength ? pData : &cEmpty, nLength, digest, &nDigest, EVP_sha256(), nullptr) != 1)
        return {};
    static const char kHex[] = "0123456789abcdef";
    std::string strHex;
    strHex.reserve(nDigest * 2);
    for (unsigned int i = 0; i < nDigest; ++i) {
        strHex += kHex[digest[i] >> 4];
        strHex += kHex[digest[i] & 0xF];
    }
    return strHex;
}
