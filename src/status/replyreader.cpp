// SPDX-License-Identifier: GPL-3.0-or-later
#include "status/replyreader.h"

#include "link/serialport.h"

namespace rxdeck {
namespace {

using replies::ReplyKind;

constexpr qsizetype maxWaiting = 4096;

std::size_t slot(ReplyKind kind)
{
    return kind == ReplyKind::Settings ? 0 : 1;
}

} // namespace

ReplyReader::ReplyReader(SerialPort& port, QObject* parent) : QObject(parent), port_(port) {}

ReplyReader::Taken ReplyReader::take(ReplyKind kind)
{
    const QString fresh = port_.input();
    sort(fresh, kind);
    Taken taken;
    taken.arrived = !fresh.isEmpty();
    taken.text = std::exchange(waiting_[slot(kind)], QString());
    if (kind == ReplyKind::Status)
        taken.reply = firstWaitingReply_;
    return taken;
}

void ReplyReader::restart()
{
    waiting_ = {};
    line_.clear();
    afterCr_ = false;
    statusReplies_ = statusQueries_;
}

void ReplyReader::hold(ReplyKind kind, const QString& piece)
{
    QString& waiting = waiting_[slot(kind)];
    // Nobody took these for a long while (the snapshot is over): old news.
    if (waiting.size() + piece.size() > maxWaiting)
        waiting.clear();
    if (waiting.isEmpty() && kind == ReplyKind::Status)
        firstWaitingReply_ = statusReplies_;
    waiting += piece;
}

void ReplyReader::sort(const QString& fresh, ReplyKind reader)
{
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
        // A read that starts with a whole reply of its own begins a new line, even when
        // the last one never got its line end.
        if (start == 0 && !line_.isEmpty() && replies::kindOf(piece) != ReplyKind::Unknown) {
            if (replies::kindOf(line_) == ReplyKind::Status)
                ++statusReplies_;
            line_.clear();
        }
        line_ += piece;
        ReplyKind kind = replies::kindOf(line_);
        if (kind == ReplyKind::Unknown)
            kind = reader;
        hold(kind, piece);
        if (ended) {
            if (kind == ReplyKind::Status)
                ++statusReplies_;
            line_.clear();
        }
        start = end;
    }
    if (line_.size() > maxWaiting)
        line_.clear();
}

} // namespace rxdeck
