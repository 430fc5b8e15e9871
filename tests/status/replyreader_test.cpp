// SPDX-License-Identifier: GPL-3.0-or-later
#include "status/replyreader.h"
#include "support/fakeserialport.h"

#include <gtest/gtest.h>

using namespace rxdeck;
using replies::ReplyKind;

namespace {

const QString settings = QStringLiteral(
    "RFP 1;AGC 1;RFG 100;FRA 07.000000;FRB 07.300000;SQL 000;BLK 00;SDW 02.5;INC 05.000;"
    "PBT +0000;BFO +0000\r\n");
const QString status = QStringLiteral("FRQ 14.200000;DET 4;SGV -110.0;BWS 3\r\n");

struct Read
{
    ReplyKind reader;
    QString arrived;
    QString taken;
    bool arrivedAnything;
};

struct Case
{
    const char* name;
    std::vector<Read> reads;
};

} // namespace

TEST(ReplyReader, EachReplyGoesToItsOwnDecoder)
{
    const auto S = ReplyKind::Settings;
    const auto P = ReplyKind::Status;
    const Case cases[] = {
        {"a status reply at the snapshot waits for the poll",
         {{S, status, "", true}, {P, "", status, false}}},
        {"a reply cut in two reads is decoded once whole",
         {{P, settings.left(30), "", true},
          {P, settings.mid(30) + status.left(10), "", true},
          {P, status.mid(10), status, true},
          {S, "", settings, false}}},
        {"a piece that a new reply follows is dropped",
         {{P, status.left(20), "", true}, {P, status, status, true}}},
        {"a reply without a line end is whole at its length; the line end after it is none",
         {{P, status.chopped(2), status.chopped(2), true}, {P, "\r\n", "", true}}},
        {"a whole line without mnemonics is the reader's own",
         {{P, " 14.200000;4;-110.0;3\r\n", " 14.200000;4;-110.0;3\r\n", true},
          {S, "x\r\n", "x\r\n", true}}},
        {"a line end split between reads ends the line it follows",
         {{P, status.chopped(1), status.chopped(1), true}, {P, "\n" + status, status, true}}},
    };
    for (const Case& c : cases) {
        test::FakeSerialPort port;
        ReplyReader reader(port);
        for (const Read& read : c.reads) {
            port.replies = {read.arrived};
            const ReplyReader::Taken taken = reader.take(read.reader);
            EXPECT_EQ(taken.text, read.taken) << c.name;
            EXPECT_EQ(taken.arrived, read.arrivedAnything) << c.name;
        }
    }
}

TEST(ReplyReader, NumbersStatusRepliesLikeTheQueriesTheyAnswer)
{
    test::FakeSerialPort port;
    ReplyReader reader(port);
    for (int i = 0; i < 3; ++i)
        reader.statusQuerySent();
    // The first two answers arrive in one read, the third split over two.
    port.replies = {status + status, status.left(5), status.mid(5)};
    EXPECT_EQ(reader.take(ReplyKind::Status).reply, 1u);
    EXPECT_TRUE(reader.take(ReplyKind::Status).text.isEmpty());
    EXPECT_EQ(reader.take(ReplyKind::Status).reply, 2u);
    // A status reply run together with a settings reply answers no query of ours.
    port.replies = {settings + status};
    EXPECT_EQ(reader.take(ReplyKind::Status).reply, 2u);
    reader.statusQuerySent();
    port.replies = {status};
    EXPECT_EQ(reader.take(ReplyKind::Status).reply, 3u);

    // After an open the answers to earlier queries are gone with the stale input: the next
    // reply answers the next query, whatever was lost.
    reader.statusQuerySent();
    reader.statusQuerySent();
    port.replies = {status.left(20)};
    reader.take(ReplyKind::Status);
    reader.restart();
    reader.statusQuerySent();
    port.replies = {status};
    EXPECT_EQ(reader.take(ReplyKind::Status).reply, 6u);
}
