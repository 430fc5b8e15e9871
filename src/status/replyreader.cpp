// SPDX-License-Identifier: GPL-3.0-or-later
#include "status/replyreader.h"

#include "link/serialport.h"

namespace rxdeck {
namespace {

using replies::ReplyKind;

constexpr qsizetype maxLine = 4096;

std::size_t slot(ReplyKind kind)
{
    return kind == ReplyKind::Settings ? 0 : 1;
}

ReplyKind kindOf(const QString& line, ReplyKind reader)
{
    const ReplyKind kind = replies::kindOf(line);
    return kind == ReplyKind::Unknown ? reader : kind;
}

} // namespace

ReplyReader::ReplyReader(SerialPort& port, QObject* parent) : QObject(parent), port_(port) {}

ReplyReader::Taken ReplyReader::take(ReplyKind kind)
{
    const QString fresh = port_.input();
    sort(fresh, kind);
    Taken taken;
    taken.arrived = !fresh.isEmpty();
    if (taken.arrived)
        lastArrival_.start();
    const qint64 wait = port_.replyWaitMs();
    taken.silent =
        !taken.arrived && (wait == 0 || !lastArrival_.isValid() || lastArrival_.elapsed() > wait);
    taken.text = std::exchange(latest_[slot(kind)], QString());
    if (kind == ReplyKind::Status)
        taken.reply = latestReply_;
    return taken;
}

void ReplyReader::restart()
{
    latest_ = {};
    line_.clear();
    afterCr_ = false;
    lastArrival_.invalidate();
    statusReplies_ = statusQueries_;
}

void ReplyReader::finish(ReplyKind reader)
{
    if (line_.trimmed().isEmpty()) {
        line_.clear(); // a stray line end
        return;
    }
    const ReplyKind kind = kindOf(line_, reader);
    if (kind == ReplyKind::Status) {
        // More replies than queries: the extra one answers none of ours.
        if (statusReplies_ < statusQueries_)
            ++statusReplies_;
        latestReply_ = statusReplies_ == 0 ? 0 : statusReplies_ - 1;
    }
    latest_[slot(kind)] = std::exchange(line_, QString());
}

void ReplyReader::closeUnended(ReplyKind reader, bool drop)
{
    if (line_.isEmpty())
        return;
    const int length = kindOf(line_, reader) == ReplyKind::Settings ? replies::settingsLength
                                                                    : replies::statusLength;
    if (line_.size() >= length) {
        finish(reader);
    } else if (drop) {
        line_.clear();
        emit pieceDropped();
    }
}

void ReplyReader::sort(const QString& fresh, ReplyKind reader)
{
    if (fresh.isEmpty()) {
        // Quiet since the last read: a piece gets a while for the rest.
        closeUnended(reader, lastArrival_.isValid() && lastArrival_.elapsed() > pieceLifeMs);
        return;
    }
    qsizetype start = 0;
    // A line feed right after a carriage return that ended the last read belongs
    // to the line that carriage return ended.
    if (afterCr_ && fresh.startsWith(u'\n')) {
        start = 1;
        afterCr_ = false;
    }
    while (start < fresh.size()) {
        qsizetype end = start;
        bool ended = false;
        while (end < fresh.size() && !ended) {
            const QChar c = fresh.at(end++);
            if (c == u'\n') {
                ended = true;
            } else if (c == u'\r') {
                ended = true;
                if (end < fresh.size() && fresh.at(end) == u'\n')
                    ++end;
            }
        }
        const QString piece = fresh.sliced(start, end - start);
        afterCr_ = piece.endsWith(u'\r');
        // A read that starts with a reply of its own begins a new line: the last one
        // never got its line end.
        if (start == 0 && replies::kindOf(piece) != ReplyKind::Unknown)
            closeUnended(reader, true);
        line_ += piece;
        if (ended)
            finish(reader);
        start = end;
    }
    // The read ended: a line as long as its reply needs no line end.
    closeUnended(reader, false);
    if (line_.size() > maxLine) {
        line_.clear();
        emit pieceDropped();
    }
}

} // namespace rxdeck
