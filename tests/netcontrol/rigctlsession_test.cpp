// SPDX-License-Identifier: GPL-3.0-or-later
#include "netcontrol/rigctlsession.h"

#include <gtest/gtest.h>

using namespace rxdeck::netcontrol;

namespace {

RigState tunedTo14200()
{
    RigState state;
    state.ready = true;
    state.frequencyHz = 14200000;
    state.mode = 4;      // USB
    state.bandwidth = 3; // 3.2 kHz
    state.signalDbm = -100;
    return state;
}

struct Exchange
{
    const char* request;
    const char* reply;
    std::vector<const char*> lines; // for the receiver
};

void expectExchanges(RigState state, const std::vector<Exchange>& exchanges)
{
    RigctlSession session(QStringLiteral("2.2.0"));
    for (const Exchange& e : exchanges) {
        const Outcome outcome = session.handle(QByteArrayView(e.request), state);
        EXPECT_EQ(outcome.reply, QByteArray(e.reply)) << e.request;
        std::vector<QByteArray> lines;
        for (const ReceiverLine& line : outcome.lines)
            lines.push_back(line.line);
        EXPECT_EQ(lines, std::vector<QByteArray>(e.lines.begin(), e.lines.end())) << e.request;
        EXPECT_FALSE(outcome.close) << e.request;
    }
}

} // namespace

TEST(RigctlSession, AnswersReadsAndTurnsSetsIntoReceiverLines)
{
    expectExchanges(tunedTo14200(), {
                                        {"f", "14200000\n", {}},
                                        {"m", "USB\n3200\n", {}},
                                        {"l STRENGTH", "-27\n", {}},
                                        {"l AF", "RPRT -11\n", {}},
                                        {"F 14074000", "RPRT 0\n", {"FRQ14.074\n"}},
                                        {"F   7000000.000000  ", "RPRT 0\n", {"FRQ7\n"}},
                                        {"F 10000000.4", "RPRT 0\n", {"FRQ10\n"}},
                                        {"F 4999", "RPRT -1\n", {}},
                                        {"F 30000001", "RPRT -1\n", {}},
                                        {"F abc", "RPRT -1\n", {}},
                                        {"F", "RPRT -1\n", {}},
                                        // A get after a set answers the value just set.
                                        {"f", "10000000\n", {}},
                                        {"M LSB 0", "RPRT 0\n", {"DET5\n", "BWS3\n"}},
                                        {"M AM 0", "RPRT 0\n", {"DET1\n", "BWS4\n"}},
                                        {"M CW 500", "RPRT 0\n", {"DET3\n", "BWS2\n"}},
                                        {"M USB 3200", "RPRT 0\n", {"DET4\n", "BWS3\n"}},
                                        {"M FM 20000", "RPRT 0\n", {"DET2\n", "BWS5\n"}},
                                        {"M ISBUSB -1", "RPRT 0\n", {"DET6\n"}},
                                        {"m", "ISBUSB\n16000\n", {}},
                                        {"M XYZ 0", "RPRT -1\n", {}},
                                        {"M LSB", "RPRT -1\n", {}},
                                        {"\\get_lock_mode", "0\nRPRT 0\n", {}},
                                    });
}

TEST(RigctlSession, AnswersWhatAReceiverCanAndCannotDo)
{
    expectExchanges(tunedTo14200(), {
                                        {"\\chk_vfo", "0\n", {}},
                                        {"\\get_powerstat", "1\n", {}},
                                        {"v", "VFOA\n", {}},
                                        {"V VFOA", "RPRT 0\n", {}},
                                        {"V currVFO", "RPRT 0\n", {}},
                                        {"V VFOB", "RPRT -11\n", {}},
                                        {"s", "0\nVFOA\n", {}},
                                        {"S 0", "RPRT 0\n", {}},
                                        {"S 0 VFOA", "RPRT 0\n", {}},
                                        {"S 1 VFOB", "RPRT -11\n", {}},
                                        {"t", "0\n", {}},
                                        {"T 0", "RPRT 0\n", {}},
                                        {"T 1", "RPRT -11\n", {}},
                                        {"\\set_vfo_opt 0", "RPRT 0\n", {}},
                                        {"I 14074000", "RPRT -11\n", {}},
                                        {"k", "RPRT -4\n", {}},
                                        {"\\set_bogus 1", "RPRT -4\n", {}},
                                        {"", "", {}},
                                    });
}

TEST(RigctlSession, LongNamesExtendedAnswersAndSeveralCommandsOnALine)
{
    expectExchanges(tunedTo14200(),
                    {
                        {"\\get_freq", "14200000\n", {}},
                        {"\\set_freq 7000000", "RPRT 0\n", {"FRQ7\n"}},
                        {"+f", "get_freq:\nFrequency: 7000000\nRPRT 0\n", {}},
                        {"+\\get_mode", "get_mode:\nMode: USB\nPassband: 3200\nRPRT 0\n", {}},
                        {"+M LSB 0", "set_mode: LSB 0\nRPRT 0\n", {"DET5\n", "BWS3\n"}},
                        {";m", "get_mode:;Mode: LSB;Passband: 3200;RPRT 0\n", {}},
                        {"|v", "get_vfo:|VFO: VFOA|RPRT 0\n", {}},
                        {"+l STRENGTH", "get_level: STRENGTH\n-27\nRPRT 0\n", {}},
                        {"+T 1", "set_ptt: 1\nRPRT -11\n", {}},
                        {"+\\chk_vfo", "ChkVFO: 0\n", {}},
                        // As rigctld: the prefix belongs to the command it stands before.
                        {"+fmv", "get_freq:\nFrequency: 7000000\nRPRT 0\nLSB\n3200\nVFOA\n", {}},
                        {"f m", "7000000\nLSB\n3200\n", {}},
                        {"F 7100000 f", "RPRT 0\n7100000\n", {"FRQ7.1\n"}},
                        // An unknown command ends the line: what follows cannot be trusted.
                        {"fkF 7000000", "7100000\nRPRT -4\n", {}},
                    });
}

TEST(RigctlSession, WithoutAStatusReplyGetsAndSetsFailAndSendNothing)
{
    RigState state = tunedTo14200();
    state.ready = false;
    expectExchanges(state, {
                               {"f", "RPRT -6\n", {}},
                               {"m", "RPRT -6\n", {}},
                               {"l STRENGTH", "RPRT -6\n", {}},
                               {"F 14074000", "RPRT -6\n", {}},
                               {"M LSB 0", "RPRT -6\n", {}},
                               {"+f", "get_freq:\nRPRT -6\n", {}},
                               {"v", "VFOA\n", {}},
                           });
}

TEST(RigctlSession, DumpStateDescribesTheReceiverAndAddsKeysAfterCheckVfo)
{
    const QByteArray caps = "1\n2\n0\n"
                            "5000.000000 30000000.000000 0x400000002f -1 -1 0x1 0x0\n"
                            "0 0 0 0 0 0 0\n"
                            "0 0 0 0 0 0 0\n"
                            "0x400000002f 1\n"
                            "0 0\n"
                            "0x1 6000\n0x20 16000\n0x2 1000\n0x400000000c 3200\n"
                            "0x400000002f 300\n0x400000002f 1000\n0x400000002f 3200\n"
                            "0x400000002f 6000\n0x400000002f 16000\n"
                            "0 0\n"
                            "0\n0\n0\n0\n"
                            "\n\n"
                            "0x0\n0x0\n0x40000000\n0x0\n0x0\n0x0\n";
    const QByteArray keys = "vfo_ops=0x0\nptt_type=0x0\ntargetable_vfo=0x0\ntimeout=1000\n"
                            "rig_model=2\nrigctld_version=Rxdeck-2.2.0\ndone\n";
    RigState state;
    RigctlSession session(QStringLiteral("2.2.0"));
    EXPECT_EQ(session.handle("\\dump_state", state).reply, caps);
    session.handle("\\chk_vfo", state);
    EXPECT_EQ(session.handle("\\dump_state", state).reply, caps + keys);
}

TEST(RigctlSession, QuitAndBadLinesCloseTheConnection)
{
    struct Case
    {
        QByteArray line;
        QByteArray reply;
    };
    const Case cases[] = {
        {"q", "RPRT 0\n"},      {"f q f", "RPRT -6\nRPRT 0\n"},
        {"GET / HTTP/1.1", ""}, {"POST /json HTTP/1.0", ""},
        {"f\x01", ""},          {QByteArray("f\0", 2), ""},
        {"\xc3\xa9", ""},
    };
    for (const Case& c : cases) {
        RigState state;
        RigctlSession session(QStringLiteral("2.2.0"));
        const Outcome outcome = session.handle(c.line, state);
        EXPECT_TRUE(outcome.close) << c.line.toHex().constData();
        EXPECT_EQ(outcome.reply, c.reply) << c.line.toHex().constData();
    }
}
