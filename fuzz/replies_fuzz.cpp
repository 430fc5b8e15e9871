// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the decoding of the receiver's two replies. Each input is one read of
// the port, taken as Latin-1 text, and is decoded both as a settings reply and as a status
// reply; the S-meter, the grouped frequency and the lamp indices are worked out from what was
// decoded. Besides the sanitizers, these properties must hold:
//
//  - only the characters at the field positions matter: masking everything else changes
//    nothing, and cutting the reply short leaves whole fields alone and empties the ones past
//    the end;
//  - a reply written the way the receiver writes it decodes to the values it was written from;
//  - the dwell label and the dwell slider agree; the S-meter is a bar; lamp indices are in range.

#include "link/commands.h"
#include "link/numbertext.h"
#include "status/replies.h"

#include <array>
#include <cmath>
#include "require.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fuzzer/FuzzedDataProvider.h>
#include <limits>
#include <QString>

namespace {

using namespace rxdeck;

// 1-based first and last character positions of a field.
struct Span
{
    int first;
    int last;
};

constexpr Span rfPathAt{5, 5}, agcAt{11, 11}, lowAt{25, 33}, highAt{39, 47}, squelchAt{53, 55},
    blankerAt{61, 62}, dwellAt{68, 71}, stepAt{77, 78}, passbandAt{88, 92}, bfoAt{98, 102};
constexpr std::array settingsSpans{rfPathAt,  agcAt,   lowAt,  highAt,     squelchAt,
                                   blankerAt, dwellAt, stepAt, passbandAt, bfoAt};

constexpr Span frequencyAt{4, 13}, modeAt{19, 19}, signalAt{25, 28}, bandwidthAt{36, 36};
constexpr std::array statusSpans{frequencyAt, modeAt, signalAt, bandwidthAt};

template <std::size_t N> bool inAnySpan(const std::array<Span, N>& spans, int position)
{
    for (const Span& s : spans)
        if (position >= s.first && position <= s.last)
            return true;
    return false;
}

// The reply with every character outside the fields replaced by `filler`.
template <std::size_t N>
QString masked(const QString& reply, const std::array<Span, N>& spans, QChar filler)
{
    QString out = reply;
    for (qsizetype i = 0; i < out.size(); ++i)
        if (!inAnySpan(spans, int(i) + 1))
            out[i] = filler;
    return out;
}

bool operator==(const replies::Settings& a, const replies::Settings& b)
{
    return a.rfPath == b.rfPath && a.agc == b.agc && a.lowLimit == b.lowLimit &&
           a.highLimit == b.highLimit && a.squelch == b.squelch && a.blanker == b.blanker &&
           a.dwellHalfSeconds == b.dwellHalfSeconds && a.dwellSeconds == b.dwellSeconds &&
           a.step == b.step && a.passband == b.passband && a.bfo == b.bfo;
}

bool operator==(const replies::Status& a, const replies::Status& b)
{
    return a.frequency == b.frequency && a.mode == b.mode && a.signal == b.signal &&
           a.bandwidth == b.bandwidth;
}

bool fitsInt16(const std::optional<int>& v)
{
    return !v || (*v >= std::numeric_limits<std::int16_t>::min() &&
                  *v <= std::numeric_limits<std::int16_t>::max());
}

// A field of a reply cut after `kept` characters: whole fields are as in the full reply,
// fields that start past the end are empty, a text field cut in the middle is a prefix.
enum class Cut
{
    Whole,
    Gone,
    Partial
};
Cut cutOf(Span span, qsizetype kept)
{
    if (span.last <= kept)
        return Cut::Whole;
    return span.first > kept ? Cut::Gone : Cut::Partial;
}

template <typename T>
void checkCut(Cut cut, const std::optional<T>& shortValue, const std::optional<T>& fullValue)
{
    if (cut == Cut::Whole)
        REQUIRE(shortValue == fullValue);
    if (cut == Cut::Gone)
        REQUIRE(!shortValue);
}

void checkCut(Cut cut, const QString& shortText, const QString& fullText)
{
    if (cut == Cut::Whole)
        REQUIRE(shortText == fullText);
    if (cut == Cut::Gone)
        REQUIRE(shortText.isEmpty());
    if (cut == Cut::Partial)
        REQUIRE(fullText.startsWith(shortText));
}

void checkCut(Cut cut, QChar shortChar, QChar fullChar)
{
    if (cut == Cut::Whole)
        REQUIRE(shortChar == fullChar);
    if (cut == Cut::Gone)
        REQUIRE(shortChar.isNull());
}

void checkSettings(const QString& reply, qsizetype kept, QChar filler)
{
    const replies::Settings s = replies::decodeSettings(reply);

    REQUIRE(s.lowLimit.size() <= 9 && s.highLimit.size() <= 9);
    REQUIRE(fitsInt16(s.squelch) && fitsInt16(s.blanker) && fitsInt16(s.dwellHalfSeconds) &&
            fitsInt16(s.step) && fitsInt16(s.passband) && fitsInt16(s.bfo));
    // The dwell label shows the seconds that the slider's half seconds were made from.
    REQUIRE(s.dwellHalfSeconds.has_value() == !s.dwellSeconds.isEmpty());
    if (s.dwellHalfSeconds)
        REQUIRE(roundHalfEven(2 * decimalValue(s.dwellSeconds)) == *s.dwellHalfSeconds);

    if (const auto i = replies::rfPathIndex(s.rfPath))
        REQUIRE(*i >= 0 && *i < 3 && s.rfPath == QChar(u'1' + *i));
    if (const auto text = replies::agcText(s.agc))
        REQUIRE(*text == u"Manual" || *text == u"Slow" || *text == u"Fast");

    REQUIRE(replies::decodeSettings(masked(reply, settingsSpans, filler)) == s);

    const replies::Settings c = replies::decodeSettings(QStringView(reply).left(kept));
    checkCut(cutOf(rfPathAt, kept), c.rfPath, s.rfPath);
    checkCut(cutOf(agcAt, kept), c.agc, s.agc);
    checkCut(cutOf(lowAt, kept), c.lowLimit, s.lowLimit);
    checkCut(cutOf(highAt, kept), c.highLimit, s.highLimit);
    checkCut(cutOf(squelchAt, kept), c.squelch, s.squelch);
    checkCut(cutOf(blankerAt, kept), c.blanker, s.blanker);
    checkCut(cutOf(dwellAt, kept), c.dwellHalfSeconds, s.dwellHalfSeconds);
    if (cutOf(dwellAt, kept) != Cut::Partial)
        checkCut(cutOf(dwellAt, kept), c.dwellSeconds, s.dwellSeconds);
    checkCut(cutOf(stepAt, kept), c.step, s.step);
    checkCut(cutOf(passbandAt, kept), c.passband, s.passband);
    checkCut(cutOf(bfoAt, kept), c.bfo, s.bfo);
}

void checkSMeter(double signal)
{
    REQUIRE(!std::isnan(signal));
    const auto lit = replies::sMeter(signal);
    for (std::size_t i = 0; i < lit.size(); ++i) {
        REQUIRE(lit[i] == (signal > replies::sMeterThresholds[i]));
        if (i > 0)
            REQUIRE(lit[i - 1] || !lit[i]); // a bar from the left, no gaps
    }
}

void checkStatus(const QString& reply, qsizetype kept, QChar filler)
{
    const replies::Status s = replies::decodeStatus(reply);
    REQUIRE(s.frequency.size() <= 10 && s.signal.size() <= 4);

    // The display is the field with one point added after its seventh character.
    const QString grouped = replies::groupedFrequency(s.frequency);
    const qsizetype point = std::min<qsizetype>(7, s.frequency.size());
    REQUIRE(grouped.size() == s.frequency.size() + 1 && grouped.at(point) == u'.');
    REQUIRE(QString(grouped).remove(point, 1) == s.frequency);

    checkSMeter(decimalValue(s.signal));

    if (const auto i = replies::modeIndex(s.mode))
        REQUIRE(*i >= 0 && *i < 6 && s.mode == QChar(u'1' + *i));
    if (const auto i = replies::bandwidthIndex(s.bandwidth))
        REQUIRE(*i >= 0 && *i < 5 && s.bandwidth == QChar(u'1' + *i));

    REQUIRE(replies::decodeStatus(masked(reply, statusSpans, filler)) == s);

    const replies::Status c = replies::decodeStatus(QStringView(reply).left(kept));
    checkCut(cutOf(frequencyAt, kept), c.frequency, s.frequency);
    checkCut(cutOf(modeAt, kept), c.mode, s.mode);
    checkCut(cutOf(signalAt, kept), c.signal, s.signal);
    checkCut(cutOf(bandwidthAt, kept), c.bandwidth, s.bandwidth);
}

QString latin1(const std::string& bytes)
{
    return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

// A settings reply written the way the receiver writes it, from values picked by the input,
// with whatever else the input holds after it; it must decode to those values.
void checkWrittenSettings(FuzzedDataProvider& in)
{
    const char rfPath = in.ConsumeIntegral<char>();
    const char agc = in.ConsumeIntegral<char>();
    const int gain = in.ConsumeIntegralInRange(0, 127);
    const std::string low = in.ConsumeBytesAsString(9);
    const std::string high = in.ConsumeBytesAsString(9);
    if (low.size() < 9 || high.size() < 9)
        return;
    const int squelch = in.ConsumeIntegralInRange(0, 136);
    const int blanker = in.ConsumeIntegralInRange(0, 10);
    const int halfSeconds = in.ConsumeIntegralInRange(1, 40);
    const int step = in.ConsumeIntegralInRange(1, 25);
    const int passband = in.ConsumeIntegralInRange(-2000, 2000);
    const int bfo = in.ConsumeIntegralInRange(-8000, 8000);

    char head[16];
    std::snprintf(head, sizeof head, "RFP %c;AGC %c", rfPath, agc);
    char gainText[16];
    std::snprintf(gainText, sizeof gainText, ";RFG %03d;FRA ", gain);
    char tail[96];
    std::snprintf(tail, sizeof tail, ";SQL %03d;BLK %02d;SDW %04.1f;INC %06.3f;PBT %+05d;BFO %+05d",
                  squelch, blanker, halfSeconds / 2.0, double(step), passband, bfo);
    const std::string text = std::string(head, 11) + gainText + low + ";FRB " + high + tail;
    REQUIRE(text.size() == 102);
    const QString reply = latin1(text + in.ConsumeRemainingBytesAsString());

    const replies::Settings s = replies::decodeSettings(reply);
    REQUIRE(s.rfPath == QChar::fromLatin1(rfPath) && s.agc == QChar::fromLatin1(agc));
    REQUIRE(s.lowLimit == latin1(low) && s.highLimit == latin1(high));
    REQUIRE(s.squelch == squelch && s.blanker == blanker && s.step == step);
    REQUIRE(s.passband == passband && s.bfo == bfo);
    REQUIRE(s.dwellHalfSeconds == halfSeconds);
    REQUIRE(s.dwellSeconds == commands::dwellSecondsText(halfSeconds));
}

// A status reply as the receiver writes it: the frequency as nn.nnnnnn and the signal as
// six characters with one decimal, of which the decoder reads the first four.
void checkWrittenStatus(FuzzedDataProvider& in)
{
    const int hertz = in.ConsumeIntegralInRange(0, 99'999'999);
    const char mode = in.ConsumeIntegral<char>();
    const int tenths = in.ConsumeIntegralInRange(-1999, 9999);
    const char bandwidth = in.ConsumeIntegral<char>();

    char text[64];
    const int length =
        std::snprintf(text, sizeof text, "FRQ %02d.%06d;DET %c;SGV %6.1f;BWS %c", hertz / 1'000'000,
                      hertz % 1'000'000, mode, tenths / 10.0, bandwidth);
    REQUIRE(length == 36);
    const QString reply = latin1(std::string(text, 36) + in.ConsumeRemainingBytesAsString());

    const replies::Status s = replies::decodeStatus(reply);
    char frequency[16];
    std::snprintf(frequency, sizeof frequency, " %02d.%06d", hertz / 1'000'000, hertz % 1'000'000);
    REQUIRE(s.frequency == QLatin1String(frequency));
    char grouped[16];
    std::snprintf(grouped, sizeof grouped, " %02d.%03d.%03d", hertz / 1'000'000,
                  hertz / 1000 % 1000, hertz % 1000);
    REQUIRE(replies::groupedFrequency(s.frequency) == QLatin1String(grouped));
    REQUIRE(s.mode == QChar::fromLatin1(mode) && s.bandwidth == QChar::fromLatin1(bandwidth));

    // Four characters of "%6.1f" hold the whole dBm, cut toward zero.
    const int dbm = tenths / 10;
    REQUIRE(decimalValue(s.signal) == dbm);
    const auto lit = replies::sMeter(decimalValue(s.signal));
    std::size_t count = 0;
    while (count < lit.size() && lit[count])
        ++count;
    const std::array<int, 12> thresholds{-114, -111, -108, -105, -102, -99,
                                         -96,  -93,  -90,  -80,  -70,  -60};
    std::size_t below = 0;
    for (int t : thresholds)
        below += dbm > t ? 1 : 0;
    REQUIRE(count == below);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString reply = QString::fromLatin1(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype kept = size == 0 ? 0 : data[0] % (size + 1);
    const QChar filler = size == 0 ? QChar(u'#') : QChar::fromLatin1(char(data[size - 1]));
    checkSettings(reply, kept, filler);
    checkStatus(reply, kept, filler);

    FuzzedDataProvider settingsInput(data, size);
    checkWrittenSettings(settingsInput);
    FuzzedDataProvider statusInput(data, size);
    checkWrittenStatus(statusInput);
    return 0;
}
