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
    RigctlSession session(QStringLiteral("1.2.3"));
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
                                        // A get after a set answers the value just set.
                                        {"f", "10000000\n", {}},
                                        {"M LSB 0", "RPRT 0\n", {"DET5;BWS3\n"}},
                                        {"M AM 0", "RPRT 0\n", {"DET1;BWS4\n"}},
                                        {"M CW 500", "RPRT 0\n", {"DET3;BWS2\n"}},
                                        {"M USB 3200", "RPRT 0\n", {"DET4;BWS3\n"}},
                                        {"M FM 20000", "RPRT 0\n", {"DET2;BWS5\n"}},
                                        {"M ISBUSB -1", "RPRT 0\n", {"DET6\n"}},
                                        {"m", "ISBUSB\n16000\n", {}},
                                        {"M XYZ 0", "RPRT -1\n", {}},
                                        {"\\get_lock_mode", "0\nRPRT 0\n", {}},
                                    });
}

TEST(RigctlSession, AnswersWhatAReceiverCanAndCannotDo)
{
    expectExchanges(tunedTo14200(),
                    {
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
                        {"u ?", "NB \n", {}},
                        {"u NB", "RPRT -11\n", {}},
                        {"l ?", "PREAMP ATT RF SQL PBT_IN CWPITCH AGC STRENGTH NB \n", {}},
                        {"g MEM 0", "RPRT 0\n", {}},
                        {"\\scan STOP 0", "RPRT 0\n", {}},
                        {"g ?", "MEM STOP \n", {}},
                        {"g VFO 0", "RPRT -11\n", {}},
                        {"w g MEM 0", "RPRT 0\n", {}},
                        {"w FRQ7", "RPRT -11\n", {}},
                        {"k", "RPRT -4\n", {}},
                        {"\\get_split_info", "RPRT -4\n", {}},
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
                        {"+M LSB 0", "set_mode: LSB 0\nRPRT 0\n", {"DET5;BWS3\n"}},
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
                            "10 \n10 \n"
                            "0x2\n0x2\n0x4040020a33\n0x4000020a33\n0x0\n0x0\n";
    const QByteArray keys = "vfo_ops=0x0\nptt_type=0x0\ntargetable_vfo=0x0\n"
                            "has_set_vfo=0\nhas_get_vfo=1\nhas_set_freq=1\nhas_get_freq=1\n"
                            "has_set_conf=0\nhas_get_conf=0\nhas_power2mW=0\nhas_mW2power=0\n"
                            "timeout=1000\nrig_model=2\nrigctld_version=Rxdeck-1.2.3\n"
                            "agc_levels=0=OFF 2=FAST 3=SLOW\ndone\n";
    RigState state;
    RigctlSession session(QStringLiteral("1.2.3"));
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
        RigctlSession session(QStringLiteral("1.2.3"));
        const Outcome outcome = session.handle(c.line, state);
        EXPECT_TRUE(outcome.close) << c.line.toHex().constData();
        EXPECT_EQ(outcome.reply, c.reply) << c.line.toHex().constData();
    }
}

// The queries programs make of a rig, in rigctld's own layout (compared with rigctld -m 1 of
// Hamlib 4.5.4), and Hamlib's one-byte forms of its long commands.
TEST(RigctlSession, AnswersRigctldsOtherQueriesAndItsOneByteForms)
{
    RigState state = tunedTo14200();
    state.set(Setting::Squelch, 110); // -110 dBm: the signal at -100 opens it
    const QByteArray info = "VFO=VFOA Freq=14200000 Mode=USB Width=3200 RX=1 TX=1\n"
                            "VFO=VFOB Freq=0 Mode=None Width=0 RX=0 TX=0\n"
                            "Split=0 SatMode=0\nRig=WJ-8712\nApp=Rxdeck\n"
                            "Version=20210506 1.0.0\nCRC=0x";
    expectExchanges(state, {
                               {"\\get_vfo_info VFOA", "14200000\nUSB\n3200\n0\n0\n", {}},
                               {"\\get_vfo_info VFOB", "RPRT -11\n", {}},
                               {"\x8b", "1\n", {}},
                               {"\x87 1", "RPRT -11\n", {}},
                               {"\xf1", "RPRT -11\n", {}}, // halt: not ours to do
                               {"f \x8b", "14200000\n1\n", {}},
                           });
    RigctlSession session(QStringLiteral("1.2.3"));
    const QByteArray rigInfo = session.handle("\\get_rig_info", state).reply;
    ASSERT_TRUE(rigInfo.startsWith(info)) << rigInfo.constData();
    // Hamlib's CRC-32 of the text before it, then an empty line, as rigctld prints it.
    EXPECT_EQ(rigInfo.mid(info.size()), "636c2a33\n\n");
    const QByteArray caps = session.handle("1", state).reply;
    EXPECT_TRUE(caps.startsWith("Caps dump for model: 2\nModel name:\tWJ-8712\n"));
    EXPECT_TRUE(caps.endsWith("Can get mW2power:\tN\n\nOverall backend warnings: 0   \nRPRT 0\n"));

    state.set(Setting::Squelch, 90); // -90 dBm: closed
    EXPECT_EQ(session.handle("\x8b", state).reply, "0\n");
    // Bytes that are no command close the connection, as before.
    for (const char* line : {"\x80", "\xff", "f\x8b"})
        EXPECT_TRUE(session.handle(line, state).close) << line;
}

// Each panel control as a Hamlib level or function: a set sends the control's own line and
// reads back at once; what the receiver cannot take is refused and sends nothing.
TEST(RigctlSession, EveryPanelControlIsALevelOrFunction)
{
    RigState state = tunedTo14200();
    for (const auto& [setting, value] : {std::pair{Setting::RfPath, 1},
                                         {Setting::Agc, 1},
                                         {Setting::Gain, 100},
                                         {Setting::Passband, 0},
                                         {Setting::Bfo, 0},
                                         {Setting::Blanker, 0},
                                         {Setting::Squelch, 136}})
        state.set(setting, value);
    expectExchanges(state,
                    {
                        {"l SQL", "0.000000\n", {}},
                        {"L SQL 1", "RPRT 0\n", {"SQL0\n"}},
                        {"l AGC", "3\n", {}},
                        {"L AGC 0", "RPRT 0\n", {"AGC0;RFG100\n"}},
                        {"L RF 0.5", "RPRT 0\n", {"AGC0;RFG64\n"}},
                        {"L ATT 10", "RPRT 0\n", {"RFP2\n"}},
                        {"l ATT", "10\n", {}},
                        {"L PREAMP 10", "RPRT 0\n", {"RFP3\n"}},
                        {"l ATT", "0\n", {}},
                        {"L ATT 0", "RPRT 0\n", {}}, // the preamplifier stays
                        {"L PREAMP 0", "RPRT 0\n", {"RFP1\n"}},
                        {"L PBT_IN -1500.000000", "RPRT 0\n", {"PBT-1500\n"}},
                        {"L NB 0.3", "RPRT 0\n", {"BLK3\n"}},
                        {"u NB", "1\n", {}},
                        {"U NB 0", "RPRT 0\n", {"BLK0\n"}},
                        {"l NB", "0.000000\n", {}},
                        {"U NB 1", "RPRT 0\n", {"BLK1\n"}},
                        {"+L CWPITCH -8000", "set_level: CWPITCH -8000\nRPRT 0\n", {"BFO-8000\n"}},
                        // Beyond the receiver: refused, nothing sent, nothing changed.
                        {"L SQL 1.01", "RPRT -1\n", {}},
                        {"L RF -0.1", "RPRT -1\n", {}},
                        {"L PBT_IN 2001", "RPRT -1\n", {}},
                        {"L CWPITCH 10.5", "RPRT -1\n", {}},
                        {"L ATT 20", "RPRT -1\n", {}},
                        {"L AGC 1", "RPRT -1\n", {}},
                        {"L NB abc", "RPRT -1\n", {}},
                        {"U NB 2", "RPRT -1\n", {}},
                        {"L STRENGTH 0", "RPRT -11\n", {}},
                        {"L AF 0.5", "RPRT -11\n", {}},
                        {"l CWPITCH", "-8000\n", {}},
                    });
}

// rigctld's forms beyond one whole command a line: arguments on the lines that follow, a
// prefix alone on its line, the lists with their report, information and configuration.
TEST(RigctlSession, ReadsRigctldsOtherForms)
{
    expectExchanges(tunedTo14200(),
                    {
                        {"F", "", {}},
                        {"", "", {}},
                        {"7000000 f", "RPRT 0\n7000000\n", {"FRQ7\n"}},
                        {"L", "", {}},
                        {"?", "PREAMP ATT RF SQL PBT_IN CWPITCH AGC NB \nRPRT 0\n", {}},
                        {"+", "", {}},
                        {"f", "get_freq:\nFrequency: 7000000\nRPRT 0\n", {}},
                        {"f", "7000000\n", {}},
                        {"+ v", "get_vfo:\nVFO: VFOA\nRPRT 0\n", {}},
                        {"+\\get_info", "get_info:\nInfo: Watkins-Johnson WJ-8712\nRPRT 0\n", {}},
                        {";3", "dump_conf:;model: WJ-8712\nRPRT 0\n", {}},
                        {";\\chk_vfo", "ChkVFO: 0\n\n", {}},
                    });
}
