#pragma once

#include <string>

// MD5 digest of a byte string, as 32 lower-case hexadecimal digits.
class MD5
{
public:
    explicit MD5(const std::string &data);
    std::string md5() const;

private:
    std::string m_digest;
};
