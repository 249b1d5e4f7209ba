// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QIODevice>

#include <cstring>

// The bytes of a file as a device that can only be read forward, as an archive entry is.
class ForwardOnlyDevice : public QIODevice {
public:
    explicit ForwardOnlyDevice(const QByteArray& bytes)
        : m_Bytes(bytes)
    {
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = qMin(maxSize, qint64(m_Bytes.size()) - m_nAt);
        if (n <= 0)
            return -1;
        std::memcpy(data, m_Bytes.constData() + m_nAt, size_t(n));
        m_nAt += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_Bytes;
    qint64 m_nAt = 0;
};
