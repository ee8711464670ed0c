// MD5 message digest (RFC 1321).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace TVSP {

// Context as RFC 1321 declares it: state (ABCD), bit count modulo 2^64, input buffer.
struct MD5_CTX {
    std::uint32_t state[4];
    std::uint32_t count[2];
    unsigned char buffer[64];
};

void MD5Init(MD5_CTX* context);
void MD5Update(MD5_CTX* context, const unsigned char* input, std::size_t inputLen);
void MD5Final(unsigned char digest[16], MD5_CTX* context);

// Digest of the bytes as 32 lower-case hexadecimal digits.
std::string Md5Hex(std::string_view bytes);

}  // namespace TVSP
