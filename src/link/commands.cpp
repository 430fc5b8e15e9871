// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/commands.h"

#include "link/numbertext.h"

namespace rxdeck::commands {
namespace {

// One byte per character; the receiver speaks ASCII. Control characters inside a
// text (a stray line feed in a reply copied into a limit box, say) would split or
// garble the line, so they are dropped; other non-ASCII characters become "?".
QByteArray line(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size() + 1);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == 0x7f)
            continue;
        bytes += u < 0x80 ? char(u) : '?';
    }
    return bytes + '\n';
}

QByteArray withInteger(const char* mnemonic, int value)
{
    return QByteArray(mnemonic) + QByteArray::number(value) + '\n';
}

} // namespace

QByteArray settingsQuery()
{
    return QByteArray(settingsQueryText) + '\n';
}

QByteArray statusQuery()
{
    return QByteArray(statusQueryText) + '\n';
}

QByteArray frequency(const QString& text)
{
    return line(QStringLiteral("FRQ") + text);
}

QByteArray rfPath(int path)
{
    return withInteger("RFP", path);
}

QByteArray agc(int mode)
{
    return withInteger("AGC", mode);
}

QByteArray manualGain(int gain)
{
    return withInteger("AGC0;RFG", gain);
}

QByteArray detection(int mode)
{
    return withInteger("DET", mode);
}

QByteArray bandwidth(int setting)
{
    return withInteger("BWS", setting);
}

QByteArray detectionAndBandwidth(int mode, int setting)
{
    return "DET" + QByteArray::number(mode) + ";" + withInteger("BWS", setting);
}

QByteArray passband(int hz)
{
    return withInteger("PBT", hz);
}

QByteArray bfo(int hz)
{
    return withInteger("BFO", hz);
}

QByteArray blanker(int level)
{
    return withInteger("BLK", level);
}

QByteArray squelch(int level)
{
    return withInteger("SQL", level);
}

QString dwellSecondsText(int halfSeconds)
{
    return frequencyText(halfSeconds / 2.0);
}

QByteArray dwell(int halfSeconds)
{
    return line(QStringLiteral("SDW") + dwellSecondsText(halfSeconds));
}

QByteArray step(int kHz)
{
    return withInteger("inc", kHz);
}

QByteArray scanStart(const QString& highLimit, const QString& lowLimit)
{
    return line(QStringLiteral("FRA0;FRB") + highLimit + QStringLiteral(";FRA") + lowLimit +
                QStringLiteral(";SCF2;OPR1"));
}

QByteArray scanStop()
{
    return QByteArrayLiteral("OPR0\n");
}

} // namespace rxdeck::commands
