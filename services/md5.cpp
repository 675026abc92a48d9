#include "md5.h"

#include <QByteArray>
#include <QCryptographicHash>

MD5::MD5(const std::string &data)
{
    const QByteArray bytes = QByteArray::fromRawData(data.data(), static_cast<int>(data.size()));
    m_digest = QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toStdString();
}

std::string MD5::md5() const
{
    return m_digest;
}
