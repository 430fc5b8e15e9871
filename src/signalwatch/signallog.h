// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "signalwatch/readings.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QTimer>

namespace rxdeck::signalwatch {

// A CSV file with one row per status reply:
//   time_utc,frequency_hz,mode,bandwidth_hz,signal_dbm
// Rows collect in memory and reach the disk at least once a second, so the poll never
// waits for the disk. A failed write (a full disk, a removed folder) stops the log and
// says why; the program runs on.
class SignalLog : public QObject
{
    Q_OBJECT
public:
    static constexpr int flushIntervalMs = 1000;
    static constexpr char header[] = "time_utc,frequency_hz,mode,bandwidth_hz,signal_dbm\n";

    explicit SignalLog(QObject* parent = nullptr);
    ~SignalLog() override;

    // Appends to `path`, writing the header when the file is new or empty. False when
    // the file could not be opened, with the reason in `error`.
    bool start(const QString& path, QString* error = nullptr);
    // Writes what is pending and closes the file.
    void stop();
    bool running() const { return file_.isOpen(); }
    QString path() const { return file_.fileName(); }

    void add(const rxdeck::ReceiverStatus& status, const QDateTime& timeUtc);
    void addNow(const rxdeck::ReceiverStatus& status);

    // The row for one reading, with its line feed.
    static QByteArray row(const Reading& reading);

    // Writes what is pending now; false when that failed and stopped the log.
    bool flush();

signals:
    void runningChanged(bool running);
    // The log stopped by itself; `reason` is for the user.
    void failed(const QString& reason);

private:
    void fail(const QString& reason);

    QFile file_;
    QByteArray pending_;
    QTimer flushTimer_;
};

} // namespace rxdeck::signalwatch
