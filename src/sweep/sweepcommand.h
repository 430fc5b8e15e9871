// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "signalwatch/sweepplan.h"

#include <QObject>
#include <QString>

class QFile;

namespace rxdeck::remote {
class PortRouter;
}

namespace rxdeck::signalwatch {
class SweepRun;
}

namespace rxdeck::sweep {

// What the command line asks for.
struct Request
{
    QString port; // a device, socket://HOST:PORT or rfc2217://HOST:PORT
    signalwatch::SweepPlan plan;
    int sweeps = 1; // 0: until interrupted
    int intervalMs = 0;
    QString output; // empty: standard output
};

// One run of rxdeck-sweep: opens the port, sweeps, writes a row per sweep, and ends
// with the program's exit status.
class SweepCommand : public QObject
{
    Q_OBJECT
public:
    SweepCommand(Request request, QFile& out, QObject* parent = nullptr);
    ~SweepCommand() override;

    void start();
    // Ctrl-C: finished rows stand, the receiver goes back, the program ends.
    void interrupt();

signals:
    void done(int exitStatus);

private:
    void begin();
    void fail(const QString& reason);
    void showProgress(int bin, qint64 hz, double dbm);

    Request request_;
    QFile& out_;
    remote::PortRouter* port_;
    signalwatch::SweepRun* run_ = nullptr;
    bool progress_;
    int sweep_ = 1;
};

} // namespace rxdeck::sweep
