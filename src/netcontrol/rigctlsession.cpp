// SPDX-License-Identifier: GPL-3.0-or-later
#include "netcontrol/rigctlsession.h"

#include "link/commands.h"
#include "link/numbertext.h"

#include <array>
#include <cmath>
#include <QByteArrayList>

namespace rxdeck::netcontrol {
namespace {

// Hamlib's return codes.
constexpr int ok = 0;
constexpr int invalidArgument = -1; // RIG_EINVAL
constexpr int notImplemented = -4;  // RIG_ENIMPL: an unknown command
constexpr int ioError = -6;         // RIG_EIO: no receiver to read or set
constexpr int notAvailable = -11;   // RIG_ENAVAIL: a receiver cannot do it

constexpr double lowestHz = 5e3;
constexpr double highestHz = 30e6;
constexpr double s9Dbm = -73;

// Detection digits 1..6 and the tokens Hamlib 4.5 parses for them. Hamlib has no
// plain "ISB"; its independent-sideband mode is read as ISBUSB.
constexpr std::array<const char*, 6> modeTokens = {"AM", "FM", "CW", "USB", "LSB", "ISBUSB"};
// The width each mode starts with, as a bandwidth digit.
constexpr std::array<int, 6> normalBandwidth = {4, 5, 2, 3, 3, 3};
// Bandwidth digits 1..5 in Hz.
constexpr std::array<int, 5> bandwidthsHz = {300, 1000, 3200, 6000, 16000};

// Hamlib mode bits: AM 0x1, CW 0x2, USB 0x4, LSB 0x8, FM 0x20, ISBUSB bit 38.
constexpr char allModes[] = "0x400000002f";

struct Value
{
    const char* label; // shown before the value in the extended answer; none for levels
    QByteArray text;
};

struct Answer
{
    int code = ok;
    std::vector<Value> values;
    bool plainReport = false; // a get that still ends with "RPRT 0" in the plain answer
};

struct Context
{
    const QByteArrayList& args;
    RigState& state;
    std::vector<ReceiverLine>& lines;
};

Answer failure(int code)
{
    return {code, {}, false};
}

Answer values(std::vector<Value> v, bool plainReport = false)
{
    return {ok, std::move(v), plainReport};
}

Answer getFrequency(Context& c)
{
    if (!c.state.ready)
        return failure(ioError);
    return values({{"Frequency", QByteArray::number(c.state.frequencyHz)}});
}

Answer setFrequency(Context& c)
{
    if (!c.state.ready)
        return failure(ioError);
    bool valid = false;
    const double hz = c.args[0].toDouble(&valid);
    if (!valid || !(hz >= lowestHz && hz <= highestHz))
        return failure(invalidArgument);
    // The receiver tunes in whole hertz; its frequencies travel as text in MHz.
    const qint64 wholeHz = std::llround(hz);
    c.lines.push_back(
        {LineKind::Frequency, commands::frequency(frequencyText(double(wholeHz) / 1e6))});
    c.state.frequencyHz = wholeHz;
    return {};
}

Answer getMode(Context& c)
{
    if (!c.state.ready || c.state.mode < 1 || c.state.mode > int(modeTokens.size()))
        return failure(ioError);
    const int bandwidth = c.state.bandwidth >= 1 && c.state.bandwidth <= int(bandwidthsHz.size())
                              ? bandwidthsHz[std::size_t(c.state.bandwidth - 1)]
                              : 0;
    return values({{"Mode", modeTokens[std::size_t(c.state.mode - 1)]},
                   {"Passband", QByteArray::number(bandwidth)}});
}

// The bandwidth digit for a requested passband: the narrowest at least as wide,
// the widest above that.
int bandwidthFor(qint64 hz)
{
    for (std::size_t i = 0; i < bandwidthsHz.size(); ++i)
        if (bandwidthsHz[i] >= hz)
            return int(i) + 1;
    return int(bandwidthsHz.size());
}

Answer setMode(Context& c)
{
    if (!c.state.ready)
        return failure(ioError);
    int mode = 0;
    for (std::size_t i = 0; i < modeTokens.size(); ++i)
        if (c.args[0] == modeTokens[i])
            mode = int(i) + 1;
    bool valid = false;
    const double passband = c.args[1].toDouble(&valid);
    if (mode == 0 || !valid || !(passband >= -1 && passband <= 1e9))
        return failure(invalidArgument);
    c.lines.push_back({LineKind::Detection, commands::detection(mode)});
    c.state.mode = mode;
    if (passband != -1) { // -1 keeps the bandwidth
        const int digit = passband == 0 ? normalBandwidth[std::size_t(mode - 1)]
                                        : bandwidthFor(std::llround(std::ceil(passband)));
        c.lines.push_back({LineKind::Bandwidth, commands::bandwidth(digit)});
        c.state.bandwidth = digit;
    }
    return {};
}

Answer getLevel(Context& c)
{
    if (c.args[0] != "STRENGTH")
        return failure(notAvailable);
    if (!c.state.ready)
        return failure(ioError);
    return values({{nullptr, QByteArray::number(std::lround(c.state.signalDbm - s9Dbm))}});
}

Answer getVfo(Context&)
{
    return values({{"VFO", "VFOA"}});
}

Answer setVfo(Context& c)
{
    static const QByteArrayList receiveVfos = {"VFOA", "Main", "currVFO", "VFO", "RX"};
    return receiveVfos.contains(c.args[0]) ? Answer{} : failure(notAvailable);
}

Answer getSplit(Context&)
{
    return values({{"Split", "0"}, {"TX VFO", "VFOA"}});
}

Answer getPtt(Context&)
{
    return values({{"PTT", "0"}});
}

// Accepts the one value a receiver has (split off, PTT off, VFO option off).
Answer acceptZero(Context& c)
{
    return c.args[0] == "0" ? Answer{} : failure(notAvailable);
}

Answer getPower(Context&)
{
    return values({{"Power Status", "1"}});
}

Answer getLockMode(Context&)
{
    // Hamlib 4.5.4 asks for this before each set_mode and drops the set without it.
    return values({{"Locked", "0"}}, true);
}

Answer unavailable(Context&)
{
    return failure(notAvailable);
}

enum class Special
{
    None,
    CheckVfo,
    DumpState,
    Quit
};

struct Command
{
    char shortName; // 0 for commands with a long name only
    const char* longName;
    int minArgs;
    int maxArgs;
    Answer (*run)(Context&);
    Special special = Special::None;
};

const Command commandTable[] = {
    {'f', "get_freq", 0, 0, getFrequency},
    {'F', "set_freq", 1, 1, setFrequency},
    {'m', "get_mode", 0, 0, getMode},
    {'M', "set_mode", 2, 2, setMode},
    {'l', "get_level", 1, 1, getLevel},
    {'v', "get_vfo", 0, 0, getVfo},
    {'V', "set_vfo", 1, 1, setVfo},
    {'s', "get_split_vfo", 0, 0, getSplit},
    {'S', "set_split_vfo", 1, 2, acceptZero},
    {'t', "get_ptt", 0, 0, getPtt},
    {'T', "set_ptt", 1, 1, acceptZero},
    {0, "set_vfo_opt", 1, 1, acceptZero},
    {0, "get_powerstat", 0, 0, getPower},
    {0, "get_lock_mode", 0, 0, getLockMode},
    {0, "chk_vfo", 0, 0, nullptr, Special::CheckVfo},
    {0, "dump_state", 0, 0, nullptr, Special::DumpState},
    {'q', "quit", 0, 0, nullptr, Special::Quit},
    {'Q', "quit", 0, 0, nullptr, Special::Quit},
    // Known to Hamlib, beyond a receiver of this kind.
    {'I', "set_split_freq", 1, 1, unavailable},
    {'i', "get_split_freq", 0, 0, unavailable},
    {'X', "set_split_mode", 2, 2, unavailable},
    {'x', "get_split_mode", 0, 0, unavailable},
    {'L', "set_level", 2, 2, unavailable},
    {'U', "set_func", 2, 2, unavailable},
    {'u', "get_func", 1, 1, unavailable},
    {'P', "set_parm", 2, 2, unavailable},
    {'p', "get_parm", 1, 1, unavailable},
    {'J', "set_rit", 1, 1, unavailable},
    {'j', "get_rit", 0, 0, unavailable},
    {'Z', "set_xit", 1, 1, unavailable},
    {'z', "get_xit", 0, 0, unavailable},
    {'N', "set_ts", 1, 1, unavailable},
    {'n', "get_ts", 0, 0, unavailable},
    {'G', "vfo_op", 1, 1, unavailable},
    {'g', "scan", 2, 2, unavailable},
    {'E', "set_mem", 1, 1, unavailable},
    {'e', "get_mem", 0, 0, unavailable},
    {'Y', "set_ant", 2, 2, unavailable},
    {'y', "get_ant", 1, 1, unavailable},
    {'R', "set_rptr_shift", 1, 1, unavailable},
    {'r', "get_rptr_shift", 0, 0, unavailable},
    {'O', "set_rptr_offs", 1, 1, unavailable},
    {'o', "get_rptr_offs", 0, 0, unavailable},
    {'C', "set_ctcss_tone", 1, 1, unavailable},
    {'c', "get_ctcss_tone", 0, 0, unavailable},
    {'b', "send_morse", 1, 1, unavailable},
    {'w', "send_cmd", 1, 1, unavailable},
    {'1', "dump_caps", 0, 0, unavailable},
    {0, "set_powerstat", 1, 1, unavailable},
    {0, "set_lock_mode", 1, 1, unavailable},
    {0, "get_dcd", 0, 0, unavailable},
};

const Command* findShort(char name)
{
    for (const Command& c : commandTable)
        if (c.shortName == name)
            return &c;
    return nullptr;
}

const Command* findLong(QByteArrayView name)
{
    for (const Command& c : commandTable)
        if (name == c.longName)
            return &c;
    return nullptr;
}

QByteArray report(int code)
{
    return "RPRT " + QByteArray::number(code) + '\n';
}

// The plain answer is the values, one a line, or "RPRT n"; the extended answer
// (after "+", ";", "|" or ",") echoes the command, labels the values and always
// ends with "RPRT n", its records ended by that separator.
QByteArray format(const Command& command, const QByteArrayList& args, const Answer& answer,
                  char separator)
{
    if (separator == 0) {
        if (answer.code != ok || answer.values.empty())
            return report(answer.code);
        QByteArray out;
        for (const Value& v : answer.values)
            out += v.text + '\n';
        return answer.plainReport ? out + report(ok) : out;
    }
    QByteArray out = QByteArray(command.longName) + ':';
    if (!args.isEmpty())
        out += ' ' + args.join(' ');
    out += separator;
    if (answer.code == ok)
        for (const Value& v : answer.values)
            out += (v.label ? QByteArray(v.label) + ": " : QByteArray()) + v.text + separator;
    return out + report(answer.code);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

bool acceptableLine(QByteArrayView line)
{
    for (const char c : line)
        if (!(c >= 0x20 && c < 0x7f) && c != '\t')
            return false;
    // A browser pointed at the port: "GET / HTTP/1.1" and its kin.
    static const char* const methods[] = {"GET ",    "POST ",    "HEAD ",  "PUT ",  "OPTIONS ",
                                          "DELETE ", "CONNECT ", "PATCH ", "TRACE "};
    for (const char* method : methods)
        if (line.startsWith(method))
            return false;
    return !line.contains("HTTP/");
}

Outcome RigctlSession::handle(QByteArrayView line, RigState& state)
{
    Outcome outcome;
    if (!acceptableLine(line)) {
        outcome.close = true;
        return outcome;
    }
    qsizetype pos = 0;
    const qsizetype end = line.size();
    const auto skipBlanks = [&] {
        while (pos < end && isBlank(line[pos]))
            ++pos;
    };
    const auto token = [&] {
        const qsizetype start = pos;
        while (pos < end && !isBlank(line[pos]))
            ++pos;
        return line.sliced(start, pos - start).toByteArray();
    };

    while (true) {
        skipBlanks();
        if (pos >= end)
            break;
        char separator = 0;
        if (const char c = line[pos]; c == '+' || c == ';' || c == '|' || c == ',') {
            separator = c == '+' ? '\n' : c;
            ++pos;
            if (pos >= end)
                break;
        }
        const Command* command = nullptr;
        if (line[pos] == '\\') {
            ++pos;
            command = findLong(token());
        } else {
            command = findShort(line[pos++]);
        }
        if (!command) {
            // The rest of the line cannot be trusted to be commands.
            outcome.reply += report(notImplemented);
            break;
        }
        QByteArrayList args;
        for (int i = 0; i < command->maxArgs; ++i) {
            skipBlanks();
            if (pos >= end)
                break;
            args << token();
        }
        if (args.size() < command->minArgs) {
            outcome.reply += report(invalidArgument);
            break;
        }

        switch (command->special) {
        case Special::CheckVfo:
            vfoChecked_ = true;
            outcome.reply += separator ? QByteArray("ChkVFO: 0\n") : QByteArray("0\n");
            continue;
        case Special::DumpState:
            outcome.reply += dumpState();
            continue;
        case Special::Quit:
            outcome.reply += report(ok);
            outcome.close = true;
            return outcome;
        case Special::None:
            break;
        }
        Context context{args, state, outcome.lines};
        outcome.reply += format(*command, args, command->run(context), separator);
    }
    return outcome;
}

QByteArray RigctlSession::dumpState() const
{
    QByteArray out;
    out += "1\n"; // protocol version
    out += "2\n"; // rig model: NET rigctl
    out += "0\n"; // ITU region
    // Receive range: start, end, modes, low and high power, VFOs (VFOA), antennas.
    out += QByteArray("5000.000000 30000000.000000 ") + allModes + " -1 -1 0x1 0x0\n";
    out += "0 0 0 0 0 0 0\n";
    out += "0 0 0 0 0 0 0\n";             // no transmit range
    out += QByteArray(allModes) + " 1\n"; // tuning step: 1 Hz in every mode
    out += "0 0\n";
    // Filters: each mode's normal width first, then all five widths.
    out += "0x1 6000\n0x20 16000\n0x2 1000\n0x400000000c 3200\n";
    for (const int hz : bandwidthsHz)
        out += QByteArray(allModes) + ' ' + QByteArray::number(hz) + '\n';
    out += "0 0\n";
    out += "0\n0\n0\n0\n";      // RIT, XIT, IF shift, announcements
    out += "\n\n";              // no preamplifier or attenuator steps
    out += "0x0\n0x0\n";        // functions: get, set
    out += "0x40000000\n0x0\n"; // levels: STRENGTH to get, none to set
    out += "0x0\n0x0\n";        // parameters: get, set
    if (vfoChecked_) {
        out += "vfo_ops=0x0\nptt_type=0x0\ntargetable_vfo=0x0\ntimeout=1000\nrig_model=2\n";
        out += "rigctld_version=Rxdeck-" + version_.toLatin1() + '\n';
        out += "done\n";
    }
    return out;
}

} // namespace rxdeck::netcontrol
