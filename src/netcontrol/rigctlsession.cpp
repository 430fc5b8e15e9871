// SPDX-License-Identifier: GPL-3.0-or-later
#include "netcontrol/rigctlsession.h"

#include "link/commands.h"
#include "link/numbertext.h"
#include "netcontrol/levels.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <QByteArrayList>
#include <utility>

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
    if (passband == -1) { // -1 keeps the bandwidth
        c.lines.push_back({LineKind::Mode, commands::detection(mode)});
    } else {
        const int digit = passband == 0 ? normalBandwidth[std::size_t(mode - 1)]
                                        : bandwidthFor(std::llround(std::ceil(passband)));
        c.lines.push_back({LineKind::Mode, commands::detectionAndBandwidth(mode, digit)});
        c.state.bandwidth = digit;
    }
    c.state.mode = mode;
    return {};
}

int bandwidthHz(const RigState& state)
{
    return state.bandwidth >= 1 && state.bandwidth <= int(bandwidthsHz.size())
               ? bandwidthsHz[std::size_t(state.bandwidth - 1)]
               : 0;
}

const char* modeToken(const RigState& state)
{
    return state.mode >= 1 && state.mode <= int(modeTokens.size())
               ? modeTokens[std::size_t(state.mode - 1)]
               : "None";
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
                   {"Width", QByteArray::number(bandwidthHz(c.state))},
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
    QByteArray info = "VFO=VFOA Freq=" + QByteArray::number(c.state.frequencyHz) +
                      " Mode=" + modeToken(c.state) +
                      " Width=" + QByteArray::number(bandwidthHz(c.state)) + " RX=1 TX=1\n";
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
    // rigctl's capability listing, line for line, with what this receiver has.
    const QByteArray modes = "AM CW USB LSB FM ISBUSB ";
    QByteArray out = "Caps dump for model: 2\nModel name:\tWJ-8712\n"
                     "Mfg name:\tWatkins-Johnson\nBackend version:\t" +
                     version_.toLatin1() +
                     "\nBackend copyright:\tGPL\nBackend status:\tStable\n"
                     "Rig type:\tReceiver \nPTT type:\tNone\nDCD type:\tRig capable\n"
                     "Port type:\tNetwork link\nWrite delay: 0mS, timeout 1000mS, 0 retry\n"
                     "Post Write delay: 0mS\nHas targetable VFO: N\n"
                     "Has async data support: N\nAnnounce: 0x0\n"
                     "Max RIT: -0.0kHz/+0.0kHz\nMax XIT: -0.0kHz/+0.0kHz\n"
                     "Max IF-SHIFT: -0.0kHz/+0.0kHz\nPreamp: " +
                     QByteArray::number(preampDb) +
                     "dB\nAttenuator: " + QByteArray::number(attenuatorDb) +
                     "dB\nAGC levels: " + agcLevels() +
                     "\n\nCTCSS: None\nDCS: None\nGet functions: " + namesOf(functions(), false) +
                     "\nSet functions: " + namesOf(functions(), true) +
                     "\nExtra functions:\nGet level: " + rangesOf(levels(), false) +
                     "\nSet level: " + rangesOf(levels(), true) +
                     "\nExtra levels:\nGet parameters: \nSet parameters: \n"
                     "Extra parameters:\nMode list: " +
                     modes + "\nVFO list: VFOA \nVFO Ops: \nScan Ops: " + QByteArray(scanKinds) +
                     "\n"
                     "Number of banks:\t0\nMemory name desc size:\t0\nMemories: None\n";
    const QByteArray rxRange =
        "\t5000 Hz - 30000000 Hz\n\t\tVFO list: VFOA \n\t\tMode list: " + modes +
        "\n\t\tAntenna list: \n";
    for (int n = 1; n <= 5; ++n) {
        const QByteArray label = n == 1 ? "WJ-8712" : "TBD";
        out += "TX ranges #" + QByteArray::number(n) + " for " + label + ":\n";
        out += "RX ranges #" + QByteArray::number(n) + " for " + label + ":\n";
        if (n == 1)
            out += rxRange;
    }
    for (int n = 1; n <= 5; ++n) {
        const QByteArray label = n == 1 ? "WJ-8712" : "TBD";
        for (const char* way : {"TX", "RX"})
            out += QByteArray(way) + " ranges #" + QByteArray::number(n) + " status for " + label +
                   ":\tOK (0)\n";
    }
    out += "Tuning steps:\n\t1.0 Hz:   \t" + modes + "\nTuning steps status:\tOK (0)\n";
    out += "Filters:";
    static const char* const widths[] = {"300.0 Hz", "1.0000 kHz", "3.2000 kHz", "6.0000 kHz",
                                         "16.0000 kHz"};
    for (const char* width : widths)
        out += QByteArray("\n\t") + width + ":   \t" + modes;
    out += "\nBandwidths:";
    static const char* const normal[] = {"6.0000 kHz", "1.0000 kHz",  "3.2000 kHz",
                                         "3.2000 kHz", "16.0000 kHz", "3.2000 kHz"};
    static const char* const names[] = {"AM", "CW", "USB", "LSB", "FM", "ISBUSB"};
    for (std::size_t i = 0; i < std::size(names); ++i)
        out += QByteArray("\n\t") + names[i] + "\tNormal: " + normal[i] +
               ",\tNarrow: 0.0 Hz,\tWide: 0.0 Hz";
    out += "\nSpectrum scopes: None\nSpectrum modes: \nSpectrum spans: \n"
           "Spectrum averaging modes: \nSpectrum attenuator: None\n";
    // The answers this program gives; everything else a receiver of this kind lacks.
    struct Can
    {
        const char* what;
        bool yes;
    };
    static const Can cans[] = {
        {"Has priv data", false},
        {"Has Init", true},
        {"Has Cleanup", true},
        {"Has Open", true},
        {"Has Close", true},
        {"Can set Conf", false},
        {"Can get Conf", false},
        {"Can set Frequency", true},
        {"Can get Frequency", true},
        {"Can set Mode", true},
        {"Can get Mode", true},
        {"Can set VFO", true},
        {"Can get VFO", true},
        {"Can set PTT", false},
        {"Can get PTT", true},
        {"Can get DCD", true},
        {"Can set Repeater Duplex", false},
        {"Can get Repeater Duplex", false},
        {"Can set Repeater Offset", false},
        {"Can get Repeater Offset", false},
        {"Can set Split Freq", false},
        {"Can get Split Freq", false},
        {"Can set Split Mode", false},
        {"Can get Split Mode", false},
        {"Can set Split VFO", true},
        {"Can get Split VFO", true},
        {"Can set Tuning Step", false},
        {"Can get Tuning Step", false},
        {"Can set RIT", false},
        {"Can get RIT", false},
        {"Can set XIT", false},
        {"Can get XIT", false},
        {"Can set CTCSS", false},
        {"Can get CTCSS", false},
        {"Can set DCS", false},
        {"Can get DCS", false},
        {"Can set CTCSS Squelch", false},
        {"Can get CTCSS Squelch", false},
        {"Can set DCS Squelch", false},
        {"Can get DCS Squelch", false},
        {"Can set Power Stat", false},
        {"Can get Power Stat", true},
        {"Can Reset", false},
        {"Can get Ant", false},
        {"Can set Ant", false},
        {"Can set Transceive", false},
        {"Can get Transceive", false},
        {"Can set Func", true},
        {"Can get Func", true},
        {"Can set Level", true},
        {"Can get Level", true},
        {"Can set Param", false},
        {"Can get Param", false},
        {"Can send DTMF", false},
        {"Can recv DTMF", false},
        {"Can send Morse", false},
        {"Can send Voice", false},
        {"Can decode Events", false},
        {"Can set Bank", false},
        {"Can set Mem", false},
        {"Can get Mem", false},
        {"Can set Channel", false},
        {"Can get Channel", false},
        {"Can ctl Mem/VFO", false},
        {"Can Scan", true},
        {"Can get Info", true},
        {"Can get power2mW", false},
        {"Can get mW2power", false},
    };
    for (const Can& can : cans)
        out += QByteArray(can.what) + ":\t" + (can.yes ? 'Y' : 'N') + '\n';
    out += "\nOverall backend warnings: 0   \n";
    return out;
}

} // namespace rxdeck::netcontrol
