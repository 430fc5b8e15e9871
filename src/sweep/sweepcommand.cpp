// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep/sweepcommand.h"

#include "link/openfailure.h"
#include "link/qtserialport.h"
#include "remote/portrouter.h"
#include "signalwatch/sweeprun.h"
#include "status/replyreader.h"

#include <cstdio>
#include <QFile>
#include <unistd.h>

namespace rxdeck::sweep {
namespace {

// The port goes in as Comm1 names it, so that a device and a serial server's address
// take the same way as in Rxdeck.
constexpr int commPort = 1;

} // namespace

SweepCommand::SweepCommand(Request request, QFile& out, QObject* parent)
    : QObject(parent), request_(std::move(request)), out_(out),
      port_(new remote::PortRouter(std::make_unique<QtSerialPort>(), this)),
      progress_(isatty(STDERR_FILENO) == 1)
{
}

SweepCommand::~SweepCommand() = default;

void SweepCommand::start()
{
    qputenv("RXDECK_COMM1", request_.port.toLocal8Bit());
    port_->setCommPort(commPort);
    connect(port_, &SerialPort::opened, this, &SweepCommand::begin);
    connect(port_, &SerialPort::openFailed, this,
            [this] { fail(openFailureReason(port_->openFailure(), request_.port)); });
    connect(port_, &SerialPort::lost, this, [this] {
        const QString reason = port_->lossReason();
        fail(reason.isEmpty() ? tr("the link to the receiver was lost") : reason);
    });
    if (!port_->setPortOpen(true))
        fail(openFailureReason(port_->openFailure(), request_.port));
    else if (port_->portOpen())
        begin();
}

void SweepCommand::begin()
{
    auto* reader = new ReplyReader(*port_, this);
    run_ = new signalwatch::SweepRun(*port_, *reader, this);
    connect(run_, &signalwatch::SweepRun::stepRead, this, &SweepCommand::showProgress);
    connect(run_, &signalwatch::SweepRun::rowFinished, this,
            [this](const signalwatch::SweepRow& row) {
                const QByteArray line = row.rtlPowerLine();
                if (out_.write(line) != line.size() || !out_.flush()) {
                    fail(tr("cannot write the output: %1").arg(out_.errorString()));
                    return;
                }
                ++sweep_;
            });
    connect(run_, &signalwatch::SweepRun::finished, this, [this](const QString& error) {
        if (progress_)
            std::fputs("\n", stderr);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "rxdeck-sweep: %s\n", qPrintable(error));
            emit done(1);
            return;
        }
        emit done(0);
    });
    run_->start(request_.plan, request_.sweeps, request_.intervalMs);
}

void SweepCommand::interrupt()
{
    if (run_ && run_->running())
        run_->stop();
    else
        emit done(0);
}

void SweepCommand::fail(const QString& reason)
{
    if (run_ && run_->running()) {
        // Ends the run; its end reports.
        disconnect(run_, nullptr, this, nullptr);
        run_->stop();
    }
    std::fprintf(stderr, "rxdeck-sweep: %s\n", qPrintable(reason));
    emit done(1);
}

void SweepCommand::showProgress(int bin, qint64 hz, double dbm)
{
    if (!progress_)
        return;
    std::fprintf(stderr, "\rsweep %d: %d/%d  %.6f MHz  %6.1f dBm ", sweep_, bin + 1,
                 request_.plan.bins(), double(hz) / 1e6, dbm);
    std::fflush(stderr);
}

} // namespace rxdeck::sweep
