// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/serialport.h"

#include <functional>
#include <QByteArrayList>
#include <QStringList>

namespace rxdeck::test {

// A serial port in memory: records every line written while open, counts writes
// attempted while closed, and returns queued replies one read at a time.
class FakeSerialPort : public SerialPort
{
public:
    bool portOpen() const override { return open_; }
    bool setPortOpen(bool open) override
    {
        if (open)
            ++openAttempts;
        if (open && unavailable.contains(commPort_))
            return false;
        open_ = open;
        if (open)
            ++opens;
        return true;
    }
    OpenFailure openFailure() const override { return failure; }
    void setCommPort(int port) override { commPort_ = port; }
    int commPort() const override { return commPort_; }
    void output(const QByteArray& line) override
    {
        if (!open_) {
            ++writesWhileClosed;
            return;
        }
        if (failWrites) {
            open_ = false;
            emit lost();
            return;
        }
        if (onOutput)
            onOutput(line);
        written.append(line);
    }
    QString input() override { return replies.isEmpty() ? QString() : replies.takeFirst(); }

    // Test side.
    // The device vanishes: the port closes itself.
    void lose()
    {
        open_ = false;
        emit lost();
    }
    QByteArrayList takeWritten()
    {
        QByteArrayList lines = written;
        written.clear();
        return lines;
    }

    QByteArrayList written;
    QStringList replies;    // each read takes the next one; none left reads empty
    QList<int> unavailable; // port numbers that fail to open
    OpenFailure failure{OpenFailure::Kind::NoSuchDevice, {}}; // why they fail
    int openAttempts = 0;
    int writesWhileClosed = 0;
    int opens = 0;
    bool failWrites = false;
    std::function<void(const QByteArray&)> onOutput; // sees the panel at each write

private:
    bool open_ = false;
    int commPort_ = 1;
};

} // namespace rxdeck::test
