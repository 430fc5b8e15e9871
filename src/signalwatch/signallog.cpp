// SPDX-License-Identifier: GPL-3.0-or-later
#include "signalwatch/signallog.h"

#include <QFileInfo>

namespace rxdeck::signalwatch {
namespace {

// Rows this large are written at once rather than waiting for the timer.
constexpr qsizetype flushSize = 64 * 1024;

} // namespace

SignalLog::SignalLog(QObject* parent) : QObject(parent)
{
    flushTimer_.setInterval(flushIntervalMs);
    connect(&flushTimer_, &QTimer::timeout, this, &SignalLog::flush);
}

SignalLog::~SignalLog()
{
    if (running())
        flush();
}

bool SignalLog::start(const QString& path, QString* error)
{
    stop();
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error)
            *error = file_.errorString();
        return false;
    }
    if (file_.size() == 0)
        pending_ = header;
    flushTimer_.start();
    emit runningChanged(true);
    if (!flush()) {
        if (error)
            *error = tr("it cannot be written");
        return false;
    }
    return true;
}

void SignalLog::stop()
{
    if (!running())
        return;
    flush();
    flushTimer_.stop();
    file_.close();
    pending_.clear();
    emit runningChanged(false);
}

QByteArray SignalLog::row(const Reading& reading)
{
    const ReceiverStatus& s = reading.status;
    QByteArray line = reading.timeUtc.toUTC().toString(Qt::ISODateWithMs).toLatin1();
    line += ',' + QByteArray::number(s.frequencyHz) + ',' + modeName(s.mode).toLatin1() + ',' +
            QByteArray::number(bandwidthHz(s.bandwidth)) + ',' +
            QByteArray::number(s.signalDbm, 'f', 1) + '\n';
    return line;
}

void SignalLog::add(const ReceiverStatus& status, const QDateTime& timeUtc)
{
    if (!running())
        return;
    pending_ += row({timeUtc, status});
    if (pending_.size() >= flushSize)
        flush();
}

void SignalLog::addNow(const ReceiverStatus& status)
{
    add(status, QDateTime::currentDateTimeUtc());
}

bool SignalLog::flush()
{
    if (!running())
        return false;
    // Writing to a file whose folder was removed succeeds and goes nowhere.
    if (!QFileInfo::exists(file_.fileName())) {
        fail(tr("%1 is gone (was its folder removed?)").arg(file_.fileName()));
        return false;
    }
    if (pending_.isEmpty())
        return true;
    if (file_.write(pending_) != pending_.size() || !file_.flush()) {
        fail(file_.errorString());
        return false;
    }
    pending_.clear();
    return true;
}

void SignalLog::fail(const QString& reason)
{
    flushTimer_.stop();
    file_.close();
    pending_.clear();
    emit runningChanged(false);
    emit failed(tr("Signal log stopped: %1").arg(reason));
}

} // namespace rxdeck::signalwatch
