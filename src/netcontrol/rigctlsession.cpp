// SPDX-License-Identifier: GPL-3.0-or-later
#include "netcontrol/rigctlsession.h"

#include "link/commands.h"
#include "link/numbertext.h"
#include "link/receiver.h"
#include "netcontrol/levels.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <QByteArrayList>
#include <QFile>
#include <utility>

namespace rxdeck::netcontrol {
namespace {

// Hamlib's return codes.
constexpr int ok = 0;
constexpr int invalidArgument = -1; // RIG_EINVAL
constexpr int notImplemented = -4;  // RIG_ENIMPL: an unknown command
constexpr int ioError = -6;         // RIG_EIO: no receiver to read or set
constexpr int notAvailable = -11;   // RIG_ENAVAIL: a receiver cannot do it

// The receiver's modes by detection digit 1..6 as Hamlib 4.5 names them, with their mode
// bits. Hamlib has no plain "ISB"; its independent-sideband mode is read as ISBUSB.
struct HamlibMode
{
    const char* token;
    quint64 bit;
};
constexpr std::array<HamlibMode, receiver::modes.size()> hamlibModes = {{
    {"AM", 0x1},
    {"FM", 0x20},
    {"CW", 0x2},
    {"USB", 0x4},
    {"LSB", 0x8},
    {"ISBUSB", quint64(1) << 38},
}};

// The receiver tunes in whole hertz in every mode.
constexpr int tuningStepHz = 1;

QByteArray maskText(quint64 mask)
{
    return "0x" + QByteArray::number(mask, 16);
}

// Every mode's bit.
QByteArray allModes()
{
    quint64 mask = 0;
    for (const HamlibMode& m : hamlibModes)
        mask |= m.bit;
    return maskText(mask);
}

// Hamlib lists modes in the order of their bits.
std::array<std::size_t, hamlibModes.size()> modesInBitOrder()
{
    std::array<std::size_t, hamlibModes.size()> order{};
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [](std::size_t a, std::size_t b) { return hamlibModes[a].bit < hamlibModes[b].bit; });
    return order;
}

// "AM CW USB LSB FM ISBUSB ", as rigctl lists modes.
QByteArray modeList()
{
    QByteArray out;
    for (const std::size_t i : modesInBitOrder())
        out += QByteArray(hamlibModes[i].token) + ' ';
    return out;
}

// A frequency as Hamlib prints it: "300.0 Hz", "3.2000 kHz", "14.2000000 MHz".
QByteArray hamlibFrequency(double hz)
{
    if (hz >= 1e6)
        return QByteArray::number(hz / 1e6, 'f', 7) + " MHz";
    if (hz >= 1e3)
        return QByteArray::number(hz / 1e3, 'f', 4) + " kHz";
    return QByteArray::number(hz, 'f', 1) + " Hz";
}

int normalBandwidthHz(std::size_t mode)
{
    return receiver::bandwidthHz(receiver::modes[mode].normalBandwidth);
}

struct Value
{
    const char* label; // shown before the value in the extended answer; none for levels
    QByteArray text;
    bool ownLine = false; // ends with a line feed in every form, whatever the separator
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
    std::vector<ScanRequest>& scans;
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
    if (!valid || !(hz >= double(receiver::lowestHz) && hz <= double(receiver::highestHz)))
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
    if (!c.state.ready || !receiver::mode(c.state.mode))
        return failure(ioError);
    return values({{"Mode", hamlibModes[std::size_t(c.state.mode - 1)].token},
                   {"Passband", QByteArray::number(receiver::bandwidthHz(c.state.bandwidth))}});
}

// The bandwidth digit for a requested passband: the narrowest at least as wide,
// the widest above that.
int bandwidthFor(qint64 hz)
{
    const auto& widths = receiver::bandwidthsHz;
    for (std::size_t i = 0; i < widths.size(); ++i)
        if (widths[i] >= hz)
            return int(i) + 1;
    return int(widths.size());
}

Answer setMode(Context& c)
{
    if (!c.state.ready)
        return failure(ioError);
    int mode = 0;
    for (std::size_t i = 0; i < hamlibModes.size(); ++i)
        if (c.args[0] == hamlibModes[i].token)
            mode = int(i) + 1;
    bool valid = false;
    const double passband = c.args[1].toDouble(&valid);
    if (mode == 0 || !valid || !(passband >= -1 && passband <= 1e9))
        return failure(invalidArgument);
    if (passband == -1) { // -1 keeps the bandwidth
        c.lines.push_back({LineKind::Mode, commands::detection(mode)});
    } else {
        const int digit = passband == 0 ? receiver::modes[std::size_t(mode - 1)].normalBandwidth
                                        : bandwidthFor(std::llround(std::ceil(passband)));
        c.lines.push_back({LineKind::Mode, commands::detectionAndBandwidth(mode, digit)});
        c.state.bandwidth = digit;
    }
    c.state.mode = mode;
    return {};
}

const char* modeToken(const RigState& state)
{
    return receiver::mode(state.mode) ? hamlibModes[std::size_t(state.mode - 1)].token : "None";
}

const QByteArrayList receiveVfos = {"VFOA", "Main", "currVFO", "VFO", "RX"};

Answer getVfoInfo(Context& c)
{
    if (c.args[0] == "?")
        return values({{"VFOs", "VFOA"}});
    if (!receiveVfos.contains(c.args[0]))
        return failure(notAvailable);
    if (!c.state.ready)
        return failure(ioError);
    return values({{"Freq", QByteArray::number(c.state.frequencyHz)},
                   {"Mode", modeToken(c.state)},
                   {"Width", QByteArray::number(receiver::bandwidthHz(c.state.bandwidth))},
                   {"Split", "0"},
                   {"SatMode", "0"}});
}

// Hamlib's CRC-32 of the rig information text (the common reflected 0xEDB88320).
quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xffffffffu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xedb88320u : crc >> 1;
    }
    return ~crc;
}

Answer getRigInfo(Context& c)
{
    if (!c.state.ready)
        return failure(ioError);
    QByteArray info =
        "VFO=VFOA Freq=" + QByteArray::number(c.state.frequencyHz) + " Mode=" + modeToken(c.state) +
        " Width=" + QByteArray::number(receiver::bandwidthHz(c.state.bandwidth)) + " RX=1 TX=1\n";
    info += "VFO=VFOB Freq=0 Mode=None Width=0 RX=0 TX=0\nSplit=0 SatMode=0\n";
    info += "Rig=WJ-8712\nApp=Rxdeck\nVersion=20210506 1.0.0\n";
    info += "CRC=0x" + QByteArray::number(crc32(info), 16).rightJustified(8, '0') + '\n';
    return values({{nullptr, info}});
}

Answer getVfoList(Context&)
{
    return values({{"VFOs", "VFOA "}});
}

// Squelch open: the signal above the squelch threshold, which the panel shows as
// the slider's value below 0 dBm.
Answer getDcd(Context& c)
{
    if (!c.state.ready)
        return failure(ioError);
    const auto squelch = c.state.setting(Setting::Squelch);
    if (!squelch)
        return failure(notAvailable);
    return values({{"DCD", c.state.signalDbm > -*squelch ? "1" : "0"}});
}

// A level's or function's value, from the one table of them.
Answer getControl(Context& c, std::span<const Control> controls)
{
    if (c.args[0] == "?")
        return values({{nullptr, namesOf(controls, false)}});
    const Control* control = findControl(controls, c.args[0]);
    if (!control)
        return failure(notAvailable);
    if (!c.state.ready)
        return failure(ioError);
    const auto value = control->read(c.state);
    if (!value)
        return failure(notAvailable);
    return values({{nullptr, valueText(*control, *value)}});
}

// A level or function set: the panel control's own line, or a refusal that sends nothing.
Answer setControl(Context& c, std::span<const Control> controls)
{
    if (c.args[0] == "?")
        return values({{nullptr, namesOf(controls, true)}}, true);
    const Control* control = findControl(controls, c.args[0]);
    if (!control || !control->write)
        return failure(notAvailable);
    if (!c.state.ready)
        return failure(ioError);
    RigState changed = c.state;
    const auto line = writeText(*control, c.args[1], changed);
    if (!line)
        return failure(invalidArgument);
    c.state = changed;
    if (!line->isEmpty())
        c.lines.push_back({lineKindOf(control->setting), *line});
    return {};
}

Answer getLevel(Context& c)
{
    return getControl(c, levels());
}

Answer setLevel(Context& c)
{
    return setControl(c, levels());
}

Answer getFunc(Context& c)
{
    return getControl(c, functions());
}

Answer setFunc(Context& c)
{
    return setControl(c, functions());
}

// The receiver has none of Hamlib's parameters: empty lists.
Answer getParm(Context& c)
{
    return c.args[0] == "?" ? values({{nullptr, ""}}) : failure(notAvailable);
}

Answer setParm(Context& c)
{
    return c.args[0] == "?" ? values({{nullptr, ""}}, true) : failure(notAvailable);
}

Answer getInfo(Context&)
{
    return values({{"Info", "Watkins-Johnson WJ-8712"}});
}

Answer dumpConf(Context&)
{
    // Written by Hamlib's configuration dump itself, with its own line end.
    return values({{nullptr, "model: WJ-8712", true}}, true);
}

Answer getVfo(Context&)
{
    return values({{"VFO", "VFOA"}});
}

Answer setVfo(Context& c)
{
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

// The scan kinds this program runs, by Hamlib's names. rigctld 4.5's dump_state has no
// key for them (its NET rigctl clients take none), so only dump_caps and "g ?" say so.
constexpr char scanKinds[] = "MEM STOP ";

Answer scan(Context& c)
{
    if (c.args[0] == "?")
        return values({{nullptr, scanKinds}});
    if (c.args.size() < 2)
        return failure(invalidArgument);
    const bool start = c.args[0] == "MEM";
    if (!start && c.args[0] != "STOP")
        return failure(notAvailable);
    bool valid = false;
    c.args[1].toInt(&valid);
    if (!valid)
        return failure(invalidArgument);
    if (!c.state.ready)
        return failure(ioError);
    c.scans.push_back(start ? ScanRequest::Memories : ScanRequest::Stop);
    return {};
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
    DumpCaps,
    SendCommand,
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
    {'L', "set_level", 2, 2, setLevel},
    {'u', "get_func", 1, 1, getFunc},
    {'U', "set_func", 2, 2, setFunc},
    {'p', "get_parm", 1, 1, getParm},
    {'P', "set_parm", 2, 2, setParm},
    {'_', "get_info", 0, 0, getInfo},
    {'3', "dump_conf", 0, 0, dumpConf},
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
    {'J', "set_rit", 1, 1, unavailable},
    {'j', "get_rit", 0, 0, unavailable},
    {'Z', "set_xit", 1, 1, unavailable},
    {'z', "get_xit", 0, 0, unavailable},
    {'N', "set_ts", 1, 1, unavailable},
    {'n', "get_ts", 0, 0, unavailable},
    {'G', "vfo_op", 1, 1, unavailable},
    {'g', "scan", 2, 2, scan},
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
    {'w', "send_cmd", 1, 1, nullptr, Special::SendCommand},
    {'1', "dump_caps", 0, 0, nullptr, Special::DumpCaps},
    {0, "get_vfo_info", 1, 1, getVfoInfo},
    {0, "get_rig_info", 0, 0, getRigInfo},
    {0, "get_vfo_list", 0, 0, getVfoList},
    {0, "get_dcd", 0, 0, getDcd},
    {0, "set_powerstat", 1, 1, unavailable},
    {0, "set_lock_mode", 1, 1, unavailable},
    {0, "send_dtmf", 1, 1, unavailable},
    {0, "recv_dtmf", 0, 0, unavailable},
    {0, "pause", 1, 1, unavailable},
    {0, "set_twiddle", 1, 1, unavailable},
    {0, "get_twiddle", 0, 0, unavailable},
    {0, "set_ctcss_sql", 1, 1, unavailable},
    {0, "get_ctcss_sql", 0, 0, unavailable},
    {0, "set_dcs_sql", 1, 1, unavailable},
    {0, "get_dcs_sql", 0, 0, unavailable},
    {0, "send_voice_mem", 1, 1, unavailable},
    {0, "set_cache", 1, 1, unavailable},
    {0, "get_cache", 0, 0, unavailable},
    {0, "uplink", 1, 1, unavailable},
    {0, "password", 1, 1, unavailable},
    {0, "set_separator", 1, 1, unavailable},
    {0, "get_separator", 0, 0, unavailable},
    {0, "send_raw", 2, 2, unavailable},
    {0, "stop_morse", 0, 0, unavailable},
    {0, "wait_morse", 0, 0, unavailable},
    {0, "halt", 0, 0, unavailable},
    {0, "get_modes", 0, 0, unavailable},
    {0, "get_mode_bandwidths", 1, 1, unavailable},
    {0, "set_clock", 1, 1, unavailable},
    {0, "get_clock", 0, 0, unavailable},
};

// Hamlib's one-byte command forms, as rigctld 4.5 reads them.
struct OneByteForm
{
    unsigned char byte;
    const char* longName;
};

const OneByteForm oneByteForms[] = {
    {0x87, "set_powerstat"}, {0x88, "get_powerstat"},  {0x89, "send_dtmf"},
    {0x8a, "recv_dtmf"},     {0x8b, "get_dcd"},        {0x8c, "pause"},
    {0x8d, "set_twiddle"},   {0x8e, "get_twiddle"},    {0x8f, "dump_state"},
    {0x90, "set_ctcss_sql"}, {0x91, "get_ctcss_sql"},  {0x92, "set_dcs_sql"},
    {0x93, "get_dcs_sql"},   {0x94, "send_voice_mem"}, {0x95, "set_cache"},
    {0x96, "get_cache"},     {0x97, "uplink"},         {0x98, "password"},
    {0xa0, "set_separator"}, {0xa1, "get_separator"},  {0xa2, "set_lock_mode"},
    {0xa3, "get_lock_mode"}, {0xa4, "send_raw"},       {0xbb, "stop_morse"},
    {0xbc, "wait_morse"},    {0xf0, "chk_vfo"},        {0xf1, "halt"},
    {0xf2, "set_vfo_opt"},   {0xf3, "get_vfo_info"},   {0xf4, "get_vfo_list"},
    {0xf5, "get_rig_info"},  {0xf6, "get_modes"},      {0xf7, "get_mode_bandwidths"},
    {0xf8, "set_clock"},     {0xf9, "get_clock"},
};

const char* longFormOf(char byte)
{
    for (const OneByteForm& form : oneByteForms)
        if (form.byte == static_cast<unsigned char>(byte))
            return form.longName;
    return nullptr;
}

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

// The receiver's gain controls as Hamlib's AGC codes: "0=OFF 2=FAST 3=SLOW".
QByteArray agcLevels()
{
    return QByteArray::number(agcOff) + "=OFF " + QByteArray::number(agcFast) + "=FAST " +
           QByteArray::number(agcSlow) + "=SLOW";
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
            out += (v.label ? QByteArray(v.label) + ": " : QByteArray()) + v.text +
                   (v.ownLine ? '\n' : separator);
    return out + report(answer.code);
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// An answer-form prefix: "+" for the extended answer, any other punctuation for the same
// with that separator, as rigctld reads them. "\\" starts a long name and "_" is a command.
bool isPrefix(char c)
{
    return std::ispunct(static_cast<unsigned char>(c)) && !QByteArrayView("\\_#()").contains(c);
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

QByteArray withLongForms(QByteArrayView line)
{
    QByteArray out;
    out.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        // A command stands at the start, after a blank or after an answer-form prefix.
        const bool commandPlace = i == 0 || isBlank(line[i - 1]) || isPrefix(line[i - 1]);
        const char* longName = commandPlace ? longFormOf(c) : nullptr;
        if (longName)
            out += QByteArray("\\") + longName + ' ';
        else
            out += c;
    }
    return out;
}

Outcome RigctlSession::handle(QByteArrayView request, RigState& state)
{
    Outcome outcome;
    const QByteArray expanded = withLongForms(request);
    const QByteArrayView line(expanded);
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
    // Reads a command's missing arguments from the line; false when the line ran out first.
    const auto takeArgs = [&](Waiting& w) {
        const Command& command = commandTable[w.command];
        while (w.args.size() < command.maxArgs) {
            // "L ?" asks for the list and needs no value.
            if (!w.args.isEmpty() && w.args.front() == "?")
                return true;
            skipBlanks();
            if (pos >= end)
                break;
            w.args << token();
        }
        return w.args.size() >= command.minArgs;
    };

    if (waiting_) {
        if (!takeArgs(*waiting_))
            return outcome;
        const Waiting w = *std::exchange(waiting_, std::nullopt);
        if (!run(w.command, w.args, w.separator, state, outcome))
            return outcome;
    }
    while (true) {
        skipBlanks();
        if (pos >= end)
            break;
        char separator = std::exchange(nextSeparator_, 0);
        if (isPrefix(line[pos])) {
            separator = line[pos] == '+' ? '\n' : line[pos];
            ++pos;
            skipBlanks();
            if (pos >= end) {
                // A prefix alone on its line sets the form of the next command's answer.
                nextSeparator_ = separator;
                break;
            }
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
        Waiting w{std::size_t(command - std::begin(commandTable)), separator, {}};
        if (command->special == Special::SendCommand) {
            // Its argument is the rest of the line.
            skipBlanks();
            w.args << line.sliced(pos).toByteArray();
            pos = end;
        }
        if (!takeArgs(w)) {
            // As rigctld: the arguments may come on the next lines.
            waiting_ = std::move(w);
            break;
        }
        if (!run(w.command, w.args, separator, state, outcome))
            break;
    }
    return outcome;
}

bool RigctlSession::run(std::size_t index, const QByteArrayList& args, char separator,
                        RigState& state, Outcome& outcome)
{
    const Command& command = commandTable[index];
    switch (command.special) {
    case Special::CheckVfo:
        vfoChecked_ = true;
        // rigctld ends this answer with an empty line in every form but "+".
        outcome.reply += separator == 0      ? QByteArray("0\n")
                         : separator == '\n' ? QByteArray("ChkVFO: 0\n")
                                             : QByteArray("ChkVFO: 0\n\n");
        return true;
    case Special::DumpState:
        outcome.reply += dumpState();
        return true;
    case Special::DumpCaps:
        outcome.reply += dumpCaps() + report(ok);
        return true;
    case Special::SendCommand: {
        // The one line passed on that this program takes is its own scan command:
        // Hamlib 4.5's NET rigctl refuses "g" for want of scan kinds it can learn, but
        // passes "w g MEM 0" on.
        QByteArrayList words = args[0].simplified().split(' ');
        const auto scanCommand = std::find_if(std::begin(commandTable), std::end(commandTable),
                                              [](const Command& c) { return c.shortName == 'g'; });
        if (words.size() == 3 && (words[0] == "g" || words[0] == "\\scan")) {
            words.removeFirst();
            return run(std::size_t(scanCommand - std::begin(commandTable)), words, separator, state,
                       outcome);
        }
        outcome.reply += report(notAvailable);
        return true;
    }
    case Special::Quit:
        outcome.reply += report(ok);
        outcome.close = true;
        return false;
    case Special::None:
        break;
    }
    Context context{args, state, outcome.lines, outcome.scans};
    outcome.reply += format(command, args, command.run(context), separator);
    return true;
}

QByteArray RigctlSession::dumpState() const
{
    QByteArray out;
    out += "1\n"; // protocol version
    out += "2\n"; // rig model: NET rigctl
    out += "0\n"; // ITU region
    const QByteArray modes = allModes();
    // Receive range: start, end, modes, low and high power, VFOs (VFOA), antennas.
    out += QByteArray::number(double(receiver::lowestHz), 'f', 6) + ' ' +
           QByteArray::number(double(receiver::highestHz), 'f', 6) + ' ' + modes +
           " -1 -1 0x1 0x0\n";
    out += "0 0 0 0 0 0 0\n";
    out += "0 0 0 0 0 0 0\n"; // no transmit range
    out += modes + ' ' + QByteArray::number(tuningStepHz) + '\n';
    out += "0 0\n";
    // Filters: the modes of each normal width first, in the order of the detection
    // digits, then every width for every mode.
    std::vector<int> listed;
    for (std::size_t i = 0; i < hamlibModes.size(); ++i) {
        const int hz = normalBandwidthHz(i);
        if (std::find(listed.begin(), listed.end(), hz) != listed.end())
            continue;
        listed.push_back(hz);
        quint64 mask = 0;
        for (std::size_t j = i; j < hamlibModes.size(); ++j)
            if (normalBandwidthHz(j) == hz)
                mask |= hamlibModes[j].bit;
        out += maskText(mask) + ' ' + QByteArray::number(hz) + '\n';
    }
    for (const int hz : receiver::bandwidthsHz)
        out += modes + ' ' + QByteArray::number(hz) + '\n';
    out += "0 0\n";
    out += "0\n0\n0\n0\n"; // RIT, XIT, IF shift, announcements
    // The RF path's two stages, in dB.
    out += QByteArray::number(preampDb) + " \n" + QByteArray::number(attenuatorDb) + " \n";
    out += maskOf(functions(), false) + '\n' + maskOf(functions(), true) + '\n';
    out += maskOf(levels(), false) + '\n' + maskOf(levels(), true) + '\n';
    out += "0x0\n0x0\n"; // parameters: get, set
    if (vfoChecked_) {
        out += "vfo_ops=0x0\nptt_type=0x0\ntargetable_vfo=0x0\n";
        // One VFO: without has_set_vfo=0 Hamlib's client tries VFOB while connecting and then
        // takes VFOB for the current one.
        out += "has_set_vfo=0\nhas_get_vfo=1\nhas_set_freq=1\nhas_get_freq=1\n"
               "has_set_conf=0\nhas_get_conf=0\nhas_power2mW=0\nhas_mW2power=0\n";
        out += "timeout=1000\nrig_model=2\n";
        out += "rigctld_version=Rxdeck-" + version_.toLatin1() + '\n';
        // Hamlib's codes; the receiver has no tone squelch, so no tone lists, as rigctld.
        out += "agc_levels=" + agcLevels() + '\n';
        out += "done\n";
    }
    return out;
}

QByteArray RigctlSession::dumpCaps() const
{
    // rigctl's capability listing, line for line, with what this receiver has: the fixed
    // lines are in dumpcaps.txt, the rest is filled in from the tables.
    static const QByteArray layout = [] {
        QFile file(QStringLiteral(":/netcontrol/dumpcaps.txt"));
        const bool opened = file.open(QIODevice::ReadOnly);
        Q_ASSERT(opened); // compiled in
        QByteArray text = opened ? file.readAll() : QByteArray();
        // Its own heading lines start with "#"; no line of the listing does.
        while (text.startsWith('#'))
            text.remove(0, text.indexOf('\n') + 1);
        return text;
    }();
    const QByteArray modes = modeList();
    QByteArray filters;
    for (const int hz : receiver::bandwidthsHz)
        filters += "\n\t" + hamlibFrequency(hz) + ":   \t" + modes;
    QByteArray bandwidths;
    for (const std::size_t i : modesInBitOrder())
        bandwidths += QByteArray("\n\t") + hamlibModes[i].token +
                      "\tNormal: " + hamlibFrequency(normalBandwidthHz(i)) +
                      ",\tNarrow: " + hamlibFrequency(0) + ",\tWide: " + hamlibFrequency(0);
    const std::pair<const char*, QByteArray> fields[] = {
        {"version", version_.toLatin1()},
        {"preampDb", QByteArray::number(preampDb)},
        {"attenuatorDb", QByteArray::number(attenuatorDb)},
        {"agcLevels", agcLevels()},
        {"getFunctions", namesOf(functions(), false)},
        {"setFunctions", namesOf(functions(), true)},
        {"getLevels", rangesOf(levels(), false)},
        {"setLevels", rangesOf(levels(), true)},
        {"modes", modes},
        {"scanOps", scanKinds},
        {"lowestHz", QByteArray::number(receiver::lowestHz)},
        {"highestHz", QByteArray::number(receiver::highestHz)},
        {"tuningStep", hamlibFrequency(tuningStepHz)},
        {"filters", filters},
        {"bandwidths", bandwidths},
    };
    QByteArray out = layout;
    for (const auto& [name, value] : fields)
        out.replace('{' + QByteArray(name) + '}', value);
    return out;
}

} // namespace rxdeck::netcontrol
