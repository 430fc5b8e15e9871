// SPDX-License-Identifier: GPL-3.0-or-later
#include "signalwatch/signallog.h"
#include "support/files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

namespace {

using rxdeck::ReceiverStatus;
using rxdeck::signalwatch::SignalLog;

const QDateTime noon = QDateTime(QDate(2026, 3, 1), QTime(12, 0, 0, 250), Qt::UTC);

TEST(SignalLog, WritesTheHeaderOnceAndARowPerReply)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("signal.csv"));
    {
        SignalLog log;
        ASSERT_TRUE(log.start(path));
        log.add(ReceiverStatus{14'200'000, 4, 3, -73.5, 0}, noon);
        log.add(ReceiverStatus{7'050'000, 5, 2, -120, 1}, noon.addMSecs(100));
    }
    SignalLog again; // a second run appends under the same header
    ASSERT_TRUE(again.start(path));
    again.add(ReceiverStatus{0, 9, 0, -3, 2}, noon.addSecs(1));
    ASSERT_TRUE(again.flush());
    EXPECT_EQ(rxdeck::test::fileContents(path),
              "time_utc,frequency_hz,mode,bandwidth_hz,signal_dbm\n"
              "2026-03-01T12:00:00.250Z,14200000,USB,3200,-73.5\n"
              "2026-03-01T12:00:00.350Z,7050000,LSB,1000,-120.0\n"
              "2026-03-01T12:00:01.250Z,0,,0,-3.0\n");
}

TEST(SignalLog, AFailedWriteStopsTheLogWithAReason)
{
    QTemporaryDir folder;
    const QString removed = folder.filePath(QStringLiteral("gone/signal.csv"));
    ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("gone")));
    const struct
    {
        QString path;
        std::function<void()> spoil;
    } cases[] = {
        {QStringLiteral("/dev/full"), [] {}},
        {removed, [&] { QDir(folder.filePath(QStringLiteral("gone"))).removeRecursively(); }},
    };
    for (const auto& c : cases) {
        SignalLog log;
        QSignalSpy failed(&log, &SignalLog::failed);
        log.start(c.path);
        c.spoil();
        log.add(ReceiverStatus{14'200'000, 4, 3, -73.5, 0}, noon);
        EXPECT_FALSE(log.flush()) << c.path.toStdString();
        EXPECT_FALSE(log.running()) << c.path.toStdString();
        ASSERT_EQ(failed.size(), 1) << c.path.toStdString();
        EXPECT_TRUE(failed.at(0).at(0).toString().startsWith(QStringLiteral("Signal log stopped")));
        log.add(ReceiverStatus{}, noon); // a stopped log takes readings and drops them
    }
}

} // namespace
